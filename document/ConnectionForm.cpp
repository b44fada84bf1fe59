#include "document/ConnectionForm.h"

#include "common/CodePage.h"
#include "common/IntText.h"
#include "document/VantelDoc.h"

namespace {

template <typename T>
bool Store(T& field, T value) {
    if (field == value) return false;
    field = value;
    return true;
}

int64_t Number(const std::wstring& text, int64_t minimum, int64_t maximum) {
    return ParseIntText(text, minimum, maximum).value_or(0);
}

}  // namespace

ConnectionForm ConnectionForm::FromDocument(VantelDoc& document) {
    const CommsSettings& settings = document.Settings();
    const SerialLineSettings& line = document.SerialLine();
    ConnectionForm form;
    form.serial = document.IsSerial();
    form.host = CodePage::WideFromNarrow(document.EthernetMaster().host);
    form.port = std::to_wstring(document.EthernetMaster().port);
    form.protocol = settings.protocol;
    form.pollRate = std::to_wstring(settings.pollrate);
    form.timeout = std::to_wstring(settings.timeout);
    form.retries = std::to_wstring(settings.retries);
    form.modbusAddress = std::to_wstring(settings.modbusaddress);
    form.comport = line.comport;
    form.baud = line.baud;
    form.parity = line.parity;
    form.stopbits = line.stopbits;
    form.handshaking = line.handshaking;
    form.webPort = std::to_wstring(document.WebPort());
    return form;
}

bool ConnectionForm::OkEnabled() const {
    if (!serial && host.empty()) return false;
    return ParseIntText(port, 1, kMaxPort) && ParseIntText(pollRate, 1, kMaxMilliseconds) &&
           ParseIntText(timeout, 1, kMaxMilliseconds) && ParseIntText(retries, 0, kMaxRetries) &&
           ParseIntText(modbusAddress, 0, kMaxModbusAddress) && ParseIntText(webPort, 1, kMaxPort);
}

bool ConnectionForm::ApplyTo(VantelDoc& document) const {
    if (!OkEnabled()) return false;
    CommsSettings& settings = document.Settings();
    SerialLineSettings& line = document.SerialLine();
    ModbusMasterEthernet& ethernet = document.EthernetMaster();
    int changes = 0;
    // A serial link needs no host; the one the user had stays for the day
    // the link is a network one again.
    if (!host.empty()) changes += Store(ethernet.host, CodePage::NarrowFromWide(host));
    changes += Store(ethernet.port, static_cast<uint16_t>(Number(port, 1, kMaxPort)));
    if (document.IsSerial() != serial) {
        document.SetSerial(serial);
        ++changes;
    }
    changes += Store(line.comport, comport);
    changes += Store(line.baud, baud);
    changes += Store(line.parity, parity);
    changes += Store(line.stopbits, stopbits);
    changes += Store(line.handshaking, handshaking);
    changes += Store(settings.modbusaddress,
                     static_cast<uint8_t>(Number(modbusAddress, 0, kMaxModbusAddress)));
    changes += Store(settings.protocol, protocol);
    changes += Store(settings.pollrate, static_cast<uint32_t>(Number(pollRate, 1, kMaxMilliseconds)));
    changes += Store(settings.timeout, static_cast<uint32_t>(Number(timeout, 1, kMaxMilliseconds)));
    changes += Store(settings.retries, static_cast<uint32_t>(Number(retries, 0, kMaxRetries)));
    const int32_t web = static_cast<int32_t>(Number(webPort, 1, kMaxPort));
    if (document.WebPort() != web) {
        document.SetWebPort(web);
        ++changes;
    }
    if (changes > 0) document.SetModified(true);
    return changes > 0;
}

#include "document/dialogs/DialogConnection.h"

#include <cwctype>

#include "document/VantelDoc.h"
#include "engine/SerialPort.h"
#include "protocol/ProtocolTable.h"
#include "resources/ResourceIds.h"

namespace {

constexpr uint32_t kBaudRates[] = {110,   300,   600,   1200,  2400,   4800,   9600,
                                   14400, 19200, 38400, 57600, 115200, 128000, 256000};

// The number of a port named "COM" and digits; 0 for any other name.
uint32_t PortNumber(const std::wstring& name) {
    if (name.size() < 4 || name.compare(0, 3, L"COM") != 0) return 0;
    uint32_t number = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::iswdigit(name[i]) || number > 100000) return 0;
        number = number * 10 + static_cast<uint32_t>(name[i] - L'0');
    }
    return number;
}

// A value the lists do not offer (a port that is unplugged now, a rate from
// a hand-edited project) is still shown as the current choice rather than
// silently replaced by another.
void EnsureEntry(CommonControls::ComboBoxLParam& list, LPARAM value, const std::wstring& text) {
    for (const auto& entry : list.Entries()) {
        if (entry.second == value) return;
    }
    list.AddEntry(text, value);
}

}  // namespace

DialogConnection::DialogConnection(ConnectionForm form, std::vector<std::wstring> portNames)
    : form_(std::move(form)),
      portNames_(std::move(portNames)),
      port_(1, ConnectionForm::kMaxPort),
      pollRate_(1, ConnectionForm::kMaxMilliseconds),
      timeout_(1, ConnectionForm::kMaxMilliseconds),
      retries_(0, ConnectionForm::kMaxRetries),
      modbusAddress_(0, ConnectionForm::kMaxModbusAddress),
      webPort_(1, ConnectionForm::kMaxPort) {}

bool DialogConnection::Edit(Window* owner, VantelDoc& document) {
    std::vector<std::wstring> ports;
    EnumerateSerialPorts(ports);
    DialogConnection dialog(ConnectionForm::FromDocument(document), std::move(ports));
    if (dialog.Run(owner, IDD_CONNECTION) != kOk) return false;
    dialog.Form().ApplyTo(document);
    return true;
}

void DialogConnection::FillLists() {
    for (const auto& [id, name] : ProtocolTable()) protocol_.AddEntry(name, id);
    for (const std::wstring& name : portNames_) {
        if (const uint32_t number = PortNumber(name)) comPort_.AddEntry(name, number);
    }
    EnsureEntry(comPort_, form_.comport, L"COM" + std::to_wstring(form_.comport));
    for (uint32_t rate : kBaudRates) baud_.AddEntry(std::to_wstring(rate), rate);
    EnsureEntry(baud_, form_.baud, std::to_wstring(form_.baud));
    parity_.AddEntry(L"None", 0);
    parity_.AddEntry(L"Odd", 1);
    parity_.AddEntry(L"Even", 2);
    stopBits_.AddEntry(L"1", 0);
    stopBits_.AddEntry(L"2", 2);
    handshaking_.AddEntry(L"None", 0);
    handshaking_.AddEntry(L"Hardware", 1);
    handshaking_.AddEntry(L"Software", 2);
    protocol_.SelectValue(form_.protocol);
    comPort_.SelectValue(form_.comport);
    baud_.SelectValue(form_.baud);
    parity_.SelectValue(form_.parity);
    stopBits_.SelectValue(form_.stopbits);
    handshaking_.SelectValue(form_.handshaking);
}

DWORD DialogConnection::OnInitDialog() {
    network_.SetCheckedState(!form_.serial);
    serial_.SetCheckedState(form_.serial);
    host_.SetText(form_.host);
    port_.SetText(form_.port);
    pollRate_.SetText(form_.pollRate);
    timeout_.SetText(form_.timeout);
    retries_.SetText(form_.retries);
    modbusAddress_.SetText(form_.modbusAddress);
    webPort_.SetText(form_.webPort);
    FillLists();
    const std::pair<CommonControls::CommonControl*, int> controls[] = {
        {&network_, IDC_CONN_NETWORK},     {&serial_, IDC_CONN_SERIAL},
        {&host_, IDC_CONN_HOST},           {&port_, IDC_CONN_PORT},
        {&protocol_, IDC_CONN_PROTOCOL},   {&pollRate_, IDC_CONN_POLL_RATE},
        {&timeout_, IDC_CONN_TIMEOUT},     {&retries_, IDC_CONN_RETRIES},
        {&modbusAddress_, IDC_CONN_MODBUS_ADDRESS}, {&comPort_, IDC_CONN_COM_PORT},
        {&baud_, IDC_CONN_BAUD},           {&parity_, IDC_CONN_PARITY},
        {&stopBits_, IDC_CONN_STOP_BITS},  {&handshaking_, IDC_CONN_HANDSHAKING},
        {&webPort_, IDC_CONN_WEB_PORT},
    };
    for (const auto& [control, id] : controls) {
        if (const DWORD error = control->Attach(this, id)) return error;
    }
    ShowLinkChoice();
    Refresh();
    return 0;
}

void DialogConnection::ShowLinkChoice() {
    const bool serial = serial_.Checked();
    host_.Enable(!serial);
    port_.Enable(!serial);
    for (CommonControls::ComboBoxLParam* list : {&comPort_, &baud_, &parity_, &stopBits_, &handshaking_})
        list->Enable(serial);
}

void DialogConnection::ReadFields() {
    form_.serial = serial_.Checked();
    form_.host = host_.GetText();
    form_.port = port_.GetText();
    form_.pollRate = pollRate_.GetText();
    form_.timeout = timeout_.GetText();
    form_.retries = retries_.GetText();
    form_.modbusAddress = modbusAddress_.GetText();
    form_.webPort = webPort_.GetText();
    if (auto value = protocol_.Value()) form_.protocol = static_cast<uint8_t>(*value);
    if (auto value = comPort_.Value()) form_.comport = static_cast<uint32_t>(*value);
    if (auto value = baud_.Value()) form_.baud = static_cast<uint32_t>(*value);
    if (auto value = parity_.Value()) form_.parity = static_cast<uint8_t>(*value);
    if (auto value = stopBits_.Value()) form_.stopbits = static_cast<uint8_t>(*value);
    if (auto value = handshaking_.Value()) form_.handshaking = static_cast<uint32_t>(*value);
}

void DialogConnection::Refresh() {
    ReadFields();
    EnableOk(form_.OkEnabled());
}

bool DialogConnection::OnControlCommand(HWND, UINT code, UINT id) {
    if ((id == IDC_CONN_NETWORK || id == IDC_CONN_SERIAL) && code == BN_CLICKED) ShowLinkChoice();
    // The same check after every edit, choice and click.
    Refresh();
    return false;
}

void DialogConnection::OnOK() { ReadFields(); }

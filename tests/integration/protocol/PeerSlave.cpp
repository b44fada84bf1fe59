#include "PeerSlave.h"

#include "SlaveMemory.h"

using namespace std::chrono_literals;

namespace {

std::string BitText(const std::vector<uint8_t>& bits) {
    std::string text;
    for (const uint8_t b : bits) text += b ? '1' : '0';
    return text;
}

std::string WordText(const std::vector<uint16_t>& words) {
    std::string text;
    for (const uint16_t w : words) text += (text.empty() ? "" : ",") + std::to_string(w);
    return text;
}

std::vector<std::string> PymodbusCommand(const std::string& mode, const std::string& device) {
    const SlaveMemory memory = MakeSlaveMemory();
    return {"/usr/bin/python3", KESTROM_PYMODBUS_SLAVE,
            "--mode",           mode,
            "--device",         device,
            "--coils",          BitText(memory.coils),
            "--discrete",       BitText(memory.discrete),
            "--holding",        WordText(memory.holding),
            "--input",          WordText(memory.input)};
}

}  // namespace

std::string PeerSlave::Name(Kind kind) {
    switch (kind) {
        case Kind::LibmodbusTcp:
            return "LibmodbusTcp";
        case Kind::LibmodbusRtu:
            return "LibmodbusRtuOnPty";
        case Kind::PymodbusTcp:
            return "PymodbusTcp";
        case Kind::PymodbusRtuOverTcp:
            return "PymodbusRtuOverTcp";
        case Kind::PymodbusRtu:
            return "PymodbusRtuOnPty";
    }
    return "Unknown";
}

uint8_t PeerSlave::protocol() const {
    return kind_ == Kind::LibmodbusTcp || kind_ == Kind::PymodbusTcp ? 0 : 1;
}

bool PeerSlave::StartProcess(const std::vector<std::string>& argv, uint16_t& port,
                             std::string& error) {
    if (!process_.Start(argv)) {
        error = process_.error();
        return false;
    }
    // A cold Python start with pymodbus imports takes a second or two.
    std::string line;
    if (!process_.ReadLine(PeerProcess::Stream::Output, line, 20s) ||
        line.rfind("READY ", 0) != 0) {
        std::string rest;
        process_.ReadLine(PeerProcess::Stream::Error, rest, 200ms);
        error = "peer " + argv[0] + " did not become ready: " + line + " " + process_.errorText();
        return false;
    }
    port = static_cast<uint16_t>(std::stoi(line.substr(6)));
    return true;
}

bool PeerSlave::Start(std::string& error) {
    const bool onPty = kind_ == Kind::LibmodbusRtu || kind_ == Kind::PymodbusRtu;
    std::string device;
    if (onPty) {
        pty_ = std::make_unique<PtyPair>();
        if (!pty_->Open(error)) return false;
        device = pty_->first();
    }
    std::vector<std::string> argv;
    switch (kind_) {
        case Kind::LibmodbusTcp:
            argv = {KESTROM_LIBMODBUS_SLAVE, "tcp"};
            break;
        case Kind::LibmodbusRtu:
            argv = {KESTROM_LIBMODBUS_SLAVE, "rtu", device};
            break;
        case Kind::PymodbusTcp:
            argv = PymodbusCommand("tcp", "");
            break;
        case Kind::PymodbusRtuOverTcp:
            argv = PymodbusCommand("rtu-over-tcp", "");
            break;
        case Kind::PymodbusRtu:
            argv = PymodbusCommand("serial", device);
            break;
    }
    uint16_t port = 0;
    if (!StartProcess(argv, port, error)) return false;
    link_ =
        onPty ? ByteLink::OpenPty(pty_->second(), error) : ByteLink::ConnectTcp(port, 5s, error);
    return link_.valid();
}

bool PeerSlave::Exchange(const Bytes& request, Bytes& reply, std::string& error) {
    link_.Drain();
    if (!link_.Send(request)) {
        error = "cannot send the request";
        return false;
    }
    // 100 ms of silence ends an RTU frame here: well beyond the character gaps
    // of a peer that writes its reply at once, well below the wait for one.
    const bool ok = protocol() == 0 ? link_.ReceiveMbap(reply, 3s)
                                    : link_.ReceiveUntilSilence(reply, 100ms, 3s);
    if (!ok) error = Name(kind_) + " sent no reply to " + ToHex(request);
    return ok;
}

#include "PeerSlave.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include "SlaveMemory.h"

using namespace std::chrono_literals;

namespace {

template <typename T>
std::string Join(const std::vector<T>& values) {
    std::string text;
    for (const T v : values) text += (text.empty() ? "" : ",") + std::to_string(v);
    return text;
}

}  // namespace

bool StartSimulator(PeerProcess& process, const std::string& device,
                    const std::vector<std::string>& options, std::string& error) {
    std::vector<std::string> argv = {KESTROM_SLAVE_SIM, "--quiet", "--serial", device};
    argv.insert(argv.end(), options.begin(), options.end());
    std::string line;
    return process.Start(argv, error) && process.WaitForLine("serving", line, 10s, error);
}

bool StartTcpSimulator(PeerProcess& process, const std::vector<std::string>& options,
                       uint16_t& port, std::string& error) {
    std::vector<std::string> argv = {KESTROM_SLAVE_SIM, "--quiet", "--port", "0"};
    argv.insert(argv.end(), options.begin(), options.end());
    std::string line;
    if (!process.Start(argv, error) || !process.WaitForLine("listening on", line, 10s, error))
        return false;
    port = static_cast<uint16_t>(std::stoi(line.substr(line.rfind(':') + 1)));
    return true;
}

std::string PeerSlave::Name(Kind kind) {
    static const char* const names[] = {"PymodbusTcp", "PymodbusRtuOverTcp", "PymodbusRtuOnPty",
                                        "LibmodbusTcp", "LibmodbusRtuOnPty"};
    return names[static_cast<int>(kind)];
}

bool PeerSlave::Start(Kind kind, uint32_t baud, std::string& error) {
    kind_ = kind;
    const bool pty = kind == Kind::PymodbusRtu || kind == Kind::LibmodbusRtu;
    if (pty) {
        pty_.emplace();
        error = pty_->error;
        if (!pty_->Ready()) return false;
    }
    const SlaveMemory m = MakeSlaveMemory();
    const std::vector<std::string> tables = {"co:0=" + Join(m.coils), "di:0=" + Join(m.discrete),
                                             "hr:0=" + Join(m.holding), "ir:0=" + Join(m.input)};
    const bool pymodbus = kind <= Kind::PymodbusRtu;
    std::vector<std::string> argv = {"/usr/bin/python3", KESTROM_PEER_SLAVE,
                                     pymodbus ? "pymodbus" : "libmodbus"};
    if (pty) {
        argv.insert(argv.end(), {"serial", pty_->slaveEnd, std::to_string(baud)});
    } else {
        argv.push_back(kind == Kind::PymodbusRtuOverTcp ? "rtu-over-tcp" : "tcp");
    }
    argv.push_back("unit=" + std::to_string(kSlaveAddress));
    argv.insert(argv.end(), tables.begin(), tables.end());
    // A cold Python start with pymodbus's imports takes a second or two.
    std::string line;
    if (!process_.Start(argv, error) || !process_.WaitForLine("READY ", line, 20s, error))
        return false;
    port_ = static_cast<uint16_t>(std::stoi(line.substr(line.find("READY ") + 6)));
    return true;
}

int PeerSlave::Connect(std::string& error) const {
    if (onPty()) {
        const int fd = open(device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios tio{};
        if (fd >= 0 && tcgetattr(fd, &tio) == 0) cfmakeraw(&tio), tcsetattr(fd, TCSANOW, &tio);
        if (fd < 0) error = "cannot open " + device();
        return fd;
    }
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port_);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
    error = "cannot connect to port " + std::to_string(port_);
    close(fd);
    return -1;
}

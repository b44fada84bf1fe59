#include "engine/posix/SerialPorts.h"

#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "common/CodePage.h"
#include "engine/SerialPort.h"

namespace fs = std::filesystem;

namespace {

// A ttyS node whose driver reports no UART type has no port behind it.
bool HasUart(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    serial_struct info{};
    bool present = ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    close(fd);
    return present;
}

bool NumberAfter(const std::string& name, const std::string& prefix, unsigned long& number) {
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) return false;
    const std::string digits = name.substr(prefix.size());
    if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    if (digits.size() > 6) return false;
    number = std::stoul(digits);
    return true;
}

}  // namespace

std::vector<std::wstring> ListSerialDevices(const std::string& devFolder, bool probeTtyS) {
    std::vector<unsigned long> comPorts;
    std::vector<std::string> paths;
    std::vector<std::string> byId;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(devFolder, error)) {
        const std::string name = entry.path().filename().string();
        unsigned long number = 0;
        if (NumberAfter(name, "ttyS", number)) {
            if (!probeTtyS || HasUart(entry.path().string())) comPorts.push_back(number + 1);
        } else if (NumberAfter(name, "ttyUSB", number) || NumberAfter(name, "ttyACM", number)) {
            paths.push_back(entry.path().string());
        }
    }
    for (const auto& entry :
         fs::directory_iterator(fs::path(devFolder) / "serial" / "by-id", error))
        byId.push_back(entry.path().string());
    std::sort(comPorts.begin(), comPorts.end());
    std::sort(paths.begin(), paths.end());
    std::sort(byId.begin(), byId.end());
    std::vector<std::wstring> list;
    for (unsigned long port : comPorts) list.push_back(L"COM" + std::to_wstring(port));
    for (const std::string& path : paths) list.push_back(CodePage::WideFromNarrow(path));
    for (const std::string& path : byId) list.push_back(CodePage::WideFromNarrow(path));
    return list;
}

bool EnumerateSerialPorts(std::vector<std::wstring>& list) {
    const std::vector<std::wstring> found = ListSerialDevices("/dev", true);
    list.insert(list.end(), found.begin(), found.end());
    return !found.empty();
}

#include "../HttpClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <vector>

namespace {

// Prints the status, whether json.loads took the body, each header as
// "name<TAB>value", an empty line and the body.
const char kClient[] = R"PY(
import http.client, json, sys
port, target, method = int(sys.argv[1]), sys.argv[2], sys.argv[3]
c = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
c.putrequest(method, target, skip_accept_encoding=True)
c.endheaders()
r = c.getresponse()
body = r.read()
ok = 1
if method == "GET":
    try:
        json.loads(body.decode("utf-8"))
    except Exception:
        ok = 0
out = sys.stdout.buffer
out.write(b"%d\n%d\n" % (r.status, ok))
for name, value in r.getheaders():
    out.write(("%s\t%s\n" % (name.lower(), value)).encode("latin-1"))
out.write(b"\n" + body)
)PY";

std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

int Connect(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool SendAll(int fd, const char* bytes, size_t size) {
    while (size > 0) {
        ssize_t n = ::send(fd, bytes, size, MSG_NOSIGNAL);
        if (n <= 0) return false;
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

}  // namespace

HttpAnswer HttpGet(uint16_t port, const std::string& target, const std::string& method) {
    HttpAnswer answer;
    const std::string command = "/usr/bin/python3 -c " + Quote(kClient) + " " +
                                std::to_string(port) + " " + Quote(target) + " " + method;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return answer;
    std::string output;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe.get())) > 0;)
        output.append(buffer, n);
    size_t at = 0;
    auto line = [&]() {
        size_t end = output.find('\n', at);
        if (end == std::string::npos) end = output.size();
        std::string text = output.substr(at, end - at);
        at = std::min(end + 1, output.size());
        return text;
    };
    const std::string status = line();
    if (status.empty()) return answer;
    answer.status = std::atoi(status.c_str());
    answer.validJson = line() == "1";
    for (std::string header = line(); !header.empty(); header = line()) {
        size_t tab = header.find('\t');
        answer.headers.emplace(header.substr(0, tab), header.substr(tab + 1));
    }
    answer.body = output.substr(at);
    answer.received = true;
    return answer;
}

std::string RawExchange(uint16_t port, const std::string& request, int timeoutMs) {
    std::string reply;
    int fd = Connect(port);
    if (fd < 0) return reply;
    SendAll(fd, request.data(), request.size());
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd entry{fd, POLLIN, 0};
        if (::poll(&entry, 1, 50) <= 0) continue;
        ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        reply.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return reply;
}

uint64_t SendChunkedBody(uint16_t port, const std::string& head, uint64_t bodyBytes, int stallMs) {
    int fd = Connect(port);
    if (fd < 0) return 0;
    SendAll(fd, head.data(), head.size());
    const std::string chunk = "10000\r\n" + std::string(0x10000, 'x') + "\r\n";
    uint64_t sent = 0;
    size_t offset = 0;
    while (sent < bodyBytes) {
        pollfd entry{fd, POLLOUT, 0};
        if (::poll(&entry, 1, stallMs) <= 0 || (entry.revents & (POLLERR | POLLHUP))) break;
        ssize_t n =
            ::send(fd, chunk.data() + offset, chunk.size() - offset, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n <= 0) break;
        sent += static_cast<uint64_t>(n);
        offset = (offset + static_cast<size_t>(n)) % chunk.size();
    }
    ::close(fd);
    return sent;
}

bool CanConnect(uint16_t port) {
    int fd = Connect(port);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

uint64_t ResidentBytes() {
    std::ifstream status("/proc/self/statm");
    uint64_t pages = 0, resident = 0;
    status >> pages >> resident;
    return resident * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

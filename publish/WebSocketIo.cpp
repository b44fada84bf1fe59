#include "publish/WebSocketIo.h"

#include <cstdlib>

namespace WebSocketIo {
namespace {

Wait ToWait(int pollResult) {
    if (pollResult > 0) return Wait::Ready;
    return pollResult == 0 ? Wait::TimedOut : Wait::Failed;
}

void Describe(std::uintptr_t socket, bool peer, std::string& ip, int& port) {
    ip.clear();
    port = 0;
    char host[64] = {}, service[16] = {};
    if (!Os::Name(socket, peer, host, sizeof host, service, sizeof service)) return;
    ip = host;
    port = std::atoi(service);
}

}  // namespace

Wait WaitReadable(std::uintptr_t socket, int timeoutMs) {
    return ToWait(Os::Poll(socket, false, timeoutMs));
}

Wait WaitAnyReadable(const std::uintptr_t* sockets, std::size_t count, bool* ready, int timeoutMs) {
    return ToWait(Os::PollReadable(sockets, count, ready, timeoutMs));
}

Wait WaitWritable(std::uintptr_t socket, int timeoutMs) {
    return ToWait(Os::Poll(socket, true, timeoutMs));
}

void PeerAddress(std::uintptr_t socket, std::string& ip, int& port) {
    Describe(socket, true, ip, port);
}

void LocalAddress(std::uintptr_t socket, std::string& ip, int& port) {
    Describe(socket, false, ip, port);
}

}  // namespace WebSocketIo

#pragma once

#include <cstdint>
#include <map>
#include <string>

// A plain HTTP/1.1 client against the web server under test, over the few
// socket calls of TestSocket (one small file per platform).
struct HttpAnswer {
    bool received = false;
    int status = 0;
    std::multimap<std::string, std::string> headers;  // names in lower case
    std::string body;

    std::string Header(const std::string& lowerName) const {
        auto found = headers.find(lowerName);
        return found == headers.end() ? std::string() : found->second;
    }
};

HttpAnswer HttpGet(uint16_t port, const std::string& target, const std::string& method = "GET");

// Raw bytes to 127.0.0.1:port, then everything the server sends until it
// closes the connection or timeoutMs pass.
std::string RawExchange(uint16_t port, const std::string& request, int timeoutMs = 5000);

// Sends a head, then up to bodyBytes of chunked body as fast as the server
// takes them; returns how many it took before closing or stalling for stallMs.
uint64_t SendChunkedBody(uint16_t port, const std::string& head, uint64_t bodyBytes, int stallMs);

bool CanConnect(uint16_t port);

namespace TestSocket {
// A connected, non-blocking socket to 127.0.0.1:port; -1 when refused.
intptr_t Connect(uint16_t port);
// Whether the socket became readable (or writable) within timeoutMs; an error
// or a hang-up counts as ready, so that the next call reports it.
bool Wait(intptr_t socket, bool writable, int timeoutMs);
// One send or recv: the count, or 0 or less at the end or on an error.
long Send(intptr_t socket, const char* bytes, size_t size);
long Receive(intptr_t socket, char* buffer, size_t size);
void Close(intptr_t socket);
// The process's resident memory in bytes (0 where unknown).
uint64_t ResidentBytes();
// A GET (or HEAD) as an HTTP client nobody here wrote sends it (curl on
// Linux; under Wine a plain request over Connect): everything the server
// answered, head and body.
std::string ClientExchange(uint16_t port, const std::string& target, const std::string& method);
// Whether a JSON decoder nobody here wrote takes the text (true where none is at hand).
bool ValidJson(const std::string& text);
}  // namespace TestSocket

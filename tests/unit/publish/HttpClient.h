#pragma once

#include <cstdint>
#include <map>
#include <string>

// A real HTTP client against the web server under test. Natively a GET goes
// through Python's http.client (a client nobody here wrote, which also
// checks that the body is standard JSON); under Wine, through a plain
// HTTP/1.1 exchange over Winsock.
struct HttpAnswer {
    bool received = false;
    int status = 0;
    // Names in lower case.
    std::multimap<std::string, std::string> headers;
    std::string body;
    // Natively: Python's json module decoded the body.
    bool validJson = true;

    std::string Header(const std::string& lowerName) const;
    size_t HeaderCount(const std::string& lowerName) const { return headers.count(lowerName); }
};

HttpAnswer HttpGet(uint16_t port, const std::string& target, const std::string& method = "GET");

// Raw bytes to 127.0.0.1:port, then everything the server sends until it
// closes the connection or timeoutMs pass.
std::string RawExchange(uint16_t port, const std::string& request, int timeoutMs = 5000);

// Sends a head, then up to bodyBytes of chunked body as fast as the server
// takes them; returns how many body bytes it took before closing or
// stalling for stallMs.
uint64_t SendChunkedBody(uint16_t port, const std::string& head, uint64_t bodyBytes, int stallMs);

bool CanConnect(uint16_t port);

// The process's resident memory in bytes (0 when unknown).
uint64_t ResidentBytes();

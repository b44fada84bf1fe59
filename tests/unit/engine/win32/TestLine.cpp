#include "TestLine.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

HANDLE Far(std::intptr_t farEnd) { return reinterpret_cast<HANDLE>(farEnd); }

}  // namespace

TestLine::TestLine() {
    const char* ports = std::getenv("KESTROM_TEST_LINE_COMPORTS");
    unsigned nearPort = 0;
    unsigned farPort = 0;
    if (ports == nullptr || std::sscanf(ports, "%u,%u", &nearPort, &farPort) != 2) return;
    const std::wstring name = L"\\\\.\\COM" + std::to_wstring(farPort);
    const HANDLE handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    // Reads return at once with what has arrived.
    COMMTIMEOUTS timeouts{MAXDWORD, 0, 0, 0, 0};
    if (handle == INVALID_HANDLE_VALUE) return;
    SetCommTimeouts(handle, &timeouts);
    settings.comport = nearPort;
    farEnd = reinterpret_cast<std::intptr_t>(handle);
}

TestLine::~TestLine() {
    if (farEnd != -1) CloseHandle(Far(farEnd));
}

bool TestLine::Write(const std::vector<std::uint8_t>& bytes) {
    DWORD written = 0;
    return WriteFile(Far(farEnd), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
           written == bytes.size();
}

std::vector<std::uint8_t> TestLine::Read(int timeoutMs) {
    std::vector<std::uint8_t> bytes(256);
    DWORD got = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (ReadFile(Far(farEnd), bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
           got == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    bytes.resize(got);
    return bytes;
}

// socat keeps the pty pair open whatever this end does.
bool TestLine::HangUp() { return false; }

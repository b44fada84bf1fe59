#include "engine/Serial.h"

#include <windows.h>

#include <string>
#include <vector>

#include "common/CodePage.h"
#include "engine/Event.h"
#include "engine/win32/SerialDcb.h"

std::wstring SerialDeviceName(const SerialSettings& settings) {
    if (!settings.devicePath.empty()) return CodePage::WideFromNarrow(settings.devicePath);
    return L"\\\\.\\COM" + std::to_wstring(settings.comport);
}

// Each transfer has its own OVERLAPPED record, completion event and buffer,
// held until the transfer has completed or been cancelled and waited for, so
// the system never writes into a record or buffer that another transfer (or
// nobody) owns.
struct Serial::Native {
    HANDLE handle = INVALID_HANDLE_VALUE;
    Event txEvent{Event::AutoReset};
    Event rxEvent{Event::AutoReset};
    OVERLAPPED txIo{};
    OVERLAPPED rxIo{};
    std::vector<std::uint8_t> out;
    std::uint8_t rxByte = 0;
    bool writePending = false;
    bool readPending = false;
    // The read time-out the driver holds now; set again only when it changes.
    DWORD readTimeout = MAXDWORD;

    static HANDLE EventHandle(const Event& event) {
        return reinterpret_cast<HANDLE>(event.GetWaitHandle().native);
    }

    // Abandons a transfer and waits for the driver to give its record back.
    void Cancel(OVERLAPPED& io, Event& event, bool& pending) {
        if (!pending) return;
        CancelIoEx(handle, &io);
        DWORD count = 0;
        GetOverlappedResult(handle, &io, &count, TRUE);
        event.Reset();
        pending = false;
    }
};

Serial::Serial() : native_(new Native) {}

Serial::~Serial() {
    Close();
    delete native_;
}

bool Serial::Open(const SerialSettings& settings) {
    Close();
    Native& n = *native_;
    const std::wstring name = SerialDeviceName(settings);
    n.handle = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
    if (n.handle == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(n.handle, &dcb)) {
        Close();
        return false;
    }
    FillDcb(dcb, settings);
    if (!SetCommState(n.handle, &dcb)) {
        Close();
        return false;
    }
    n.readTimeout = MAXDWORD;
    return true;
}

void Serial::Close() {
    Native& n = *native_;
    if (n.handle == INVALID_HANDLE_VALUE) return;
    n.Cancel(n.rxIo, n.rxEvent, n.readPending);
    n.Cancel(n.txIo, n.txEvent, n.writePending);
    CloseHandle(n.handle);
    n.handle = INVALID_HANDLE_VALUE;
}

bool Serial::IsOpen() const { return native_->handle != INVALID_HANDLE_VALUE; }

bool Serial::DiscardInput() { return IsOpen() && PurgeComm(native_->handle, PURGE_RXCLEAR); }

bool Serial::StartWrite(std::span<const std::uint8_t> bytes) {
    Native& n = *native_;
    if (!IsOpen() || n.writePending) return false;
    n.out.assign(bytes.begin(), bytes.end());
    n.txIo = OVERLAPPED{};
    n.txIo.hEvent = Native::EventHandle(n.txEvent);
    if (!WriteFile(n.handle, n.out.data(), static_cast<DWORD>(n.out.size()), nullptr, &n.txIo) &&
        GetLastError() != ERROR_IO_PENDING) {
        return false;
    }
    // Done at once or later: either way the event is set on completion.
    n.writePending = true;
    return true;
}

bool Serial::WritePending() const { return native_->writePending; }

Waitable& Serial::WriteCompletion() { return native_->txEvent; }

bool Serial::FinishWrite(std::size_t& written) {
    Native& n = *native_;
    DWORD count = 0;
    BOOL ok = GetOverlappedResult(n.handle, &n.txIo, &count, TRUE);
    n.writePending = false;
    written = count;
    return ok != FALSE;
}

void Serial::CancelWrite() {
    native_->Cancel(native_->txIo, native_->txEvent, native_->writePending);
}

bool Serial::StartRead(std::uint32_t timeoutMs) {
    Native& n = *native_;
    if (!IsOpen() || n.readPending) return false;
    if (n.readTimeout != timeoutMs) {
        // No interval or per-byte time: the one-byte read completes with its
        // byte, or empty once the total time has passed.
        COMMTIMEOUTS timeouts{};
        if (!GetCommTimeouts(n.handle, &timeouts)) return false;
        timeouts.ReadIntervalTimeout = 0;
        timeouts.ReadTotalTimeoutMultiplier = 0;
        timeouts.ReadTotalTimeoutConstant = timeoutMs;
        timeouts.WriteTotalTimeoutMultiplier = 0;
        timeouts.WriteTotalTimeoutConstant = 0;
        if (!SetCommTimeouts(n.handle, &timeouts)) return false;
        n.readTimeout = timeoutMs;
    }
    n.rxIo = OVERLAPPED{};
    n.rxIo.hEvent = Native::EventHandle(n.rxEvent);
    if (!ReadFile(n.handle, &n.rxByte, 1, nullptr, &n.rxIo) && GetLastError() != ERROR_IO_PENDING)
        return false;
    n.readPending = true;
    return true;
}

bool Serial::ReadPending() const { return native_->readPending; }

Waitable& Serial::ReadCompletion() { return native_->rxEvent; }

bool Serial::FinishRead(std::uint8_t& byte, std::size_t& count) {
    Native& n = *native_;
    DWORD got = 0;
    BOOL ok = GetOverlappedResult(n.handle, &n.rxIo, &got, TRUE);
    n.readPending = false;
    byte = n.rxByte;
    count = got;
    if (!ok && got == 0) {
        // Windows completes a read whose time ran out successfully with no
        // byte; Wine reports the same end as a time-out status.
        const DWORD error = GetLastError();
        if (error == ERROR_TIMEOUT || error == WAIT_TIMEOUT) return true;
    }
    return ok != FALSE;
}

void Serial::CancelRead() {
    native_->Cancel(native_->rxIo, native_->rxEvent, native_->readPending);
}

// Every byte comes through its own overlapped read; whether one has completed
// is for the wait to tell.
bool Serial::CompleteReadAtOnce() { return false; }

#include "protocol/DebugTrace.h"

#include <atomic>

namespace DebugTrace {

namespace {
std::atomic<Sink>& CurrentSink() {
    static std::atomic<Sink> sink{PlatformSink()};
    return sink;
}
}  // namespace

Sink SetSink(Sink sink) { return CurrentSink().exchange(sink); }

bool Enabled() { return CurrentSink().load() != nullptr; }

void Write(const std::wstring& line) { Write(line.c_str()); }

void Write(const wchar_t* line) {
    if (Sink sink = CurrentSink().load()) sink(line);
}

}  // namespace DebugTrace

#include <windows.h>

#include "protocol/DebugTrace.h"

namespace {
void ToDebugger(const wchar_t* line) { OutputDebugStringW(line); }
}  // namespace

DebugTrace::Sink DebugTrace::PlatformSink() { return &ToDebugger; }

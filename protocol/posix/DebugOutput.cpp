#include "protocol/DebugTrace.h"

// There is no debugger output channel here; traces are off unless a sink is
// installed.
DebugTrace::Sink DebugTrace::PlatformSink() { return nullptr; }

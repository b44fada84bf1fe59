#pragma once

#include <string>

// Step traces of the parsers for a developer's debugger. The default sink is
// the platform's debugger output (OutputDebugStringW on Windows, nothing
// elsewhere); tests and tools may install their own. Sinks are called on the
// thread that traces and must be safe to call from any thread.
namespace DebugTrace {

using Sink = void (*)(const wchar_t* line);

// Installs a sink (nullptr silences the traces) and returns the previous one.
Sink SetSink(Sink sink);

bool Enabled();
void Write(const std::wstring& line);
void Write(const wchar_t* line);

// The platform's own sink; lives in the platform folder.
Sink PlatformSink();

}  // namespace DebugTrace

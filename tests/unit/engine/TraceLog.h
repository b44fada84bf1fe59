#pragma once

#include <mutex>
#include <string>

#include "protocol/DebugTrace.h"

// The parsers' step traces for as long as it lives, from whichever thread
// traces: how a master ended a frame shows in them.
class TraceLog {
  public:
    TraceLog() : previous_(DebugTrace::SetSink(Collect)) {
        std::lock_guard guard(Lock());
        Text().clear();
    }
    ~TraceLog() { DebugTrace::SetSink(previous_); }
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    size_t Count(const std::wstring& line) const {
        std::lock_guard guard(Lock());
        size_t count = 0;
        for (size_t at = Text().find(line); at != std::wstring::npos;
             at = Text().find(line, at + 1))
            ++count;
        return count;
    }
    bool Has(const std::wstring& line) const { return Count(line) > 0; }

  private:
    static std::mutex& Lock() {
        static std::mutex lock;
        return lock;
    }
    static std::wstring& Text() {
        static std::wstring text;
        return text;
    }
    static void Collect(const wchar_t* line) {
        std::lock_guard guard(Lock());
        Text() += line;
    }
    DebugTrace::Sink previous_;
};

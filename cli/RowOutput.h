#pragma once

#include <chrono>
#include <cstdio>
#include <string_view>

// Where the rows go: standard output, written so that printing keeps up with
// polling at poll rate 0. On a terminal every row is shown at once. Into a
// pipe or a file the rows are buffered and written in blocks, yet none waits
// long: they are flushed when the program has had nothing to print for a
// moment (FlushIfQuiet), when the oldest of them has waited MaxDelay
// (FlushIfOverdue), and at the end.
class RowOutput {
  public:
    using Clock = std::chrono::steady_clock;
    // How long a row may wait in the buffer while rows keep coming.
    static constexpr std::chrono::milliseconds MaxDelay{100};
    // How long without a row counts as a quiet moment.
    static constexpr std::chrono::milliseconds QuietTime{10};

    // interactive: flush after every line (a terminal).
    RowOutput(std::FILE* out, bool interactive);
    ~RowOutput();
    RowOutput(const RowOutput&) = delete;
    RowOutput& operator=(const RowOutput&) = delete;

    // One line; the line end is added.
    void Line(std::string_view text);
    // Whether rows are waiting in the buffer.
    bool Pending() const { return pending_; }
    void FlushIfOverdue();
    // Called when nothing arrived for QuietTime.
    void FlushIfQuiet() { Flush(); }
    void Flush();

  private:
    std::FILE* out_;
    bool interactive_;
    bool pending_ = false;
    Clock::time_point oldest_;
};

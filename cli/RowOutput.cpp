#include "cli/RowOutput.h"

namespace {

// Large enough that a burst of the longest rows (a 340-byte packet takes
// about 1100 characters) goes out in a few writes.
constexpr std::size_t kBufferBytes = 64 * 1024;

}  // namespace

RowOutput::RowOutput(std::FILE* out, bool interactive) : out_(out), interactive_(interactive) {
    // Only before the first output may the buffer change; a stream already
    // written to keeps the one it has.
    if (!interactive_) std::setvbuf(out_, nullptr, _IOFBF, kBufferBytes);
}

RowOutput::~RowOutput() { Flush(); }

void RowOutput::Line(std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), out_);
    std::fputc('\n', out_);
    if (interactive_) {
        std::fflush(out_);
        return;
    }
    if (!pending_) {
        pending_ = true;
        oldest_ = Clock::now();
    }
}

void RowOutput::FlushIfOverdue() {
    if (pending_ && Clock::now() - oldest_ >= MaxDelay) Flush();
}

void RowOutput::Flush() {
    std::fflush(out_);
    pending_ = false;
}

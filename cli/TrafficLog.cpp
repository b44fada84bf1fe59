#include "cli/TrafficLog.h"

#include <cstdio>

bool TrafficLog::Append(const std::string& line) const {
    // One open per line, the whole line in one write: rows never interleave
    // with a half-written line, whatever else appends to the file.
    std::FILE* file = std::fopen(path_.c_str(), "a");
    if (file == nullptr) return false;
    std::string text = line + "\n";
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && written;
}

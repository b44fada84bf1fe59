#pragma once

#include <string>

// The traffic log: one text line per traffic row, appended to a file that
// is opened and closed around every line, so other programs can read (or
// rotate) it while the program runs, and a file that cannot be opened costs
// that line only. Each line goes out whole in one write: a file another
// program holds for a moment never gets half a row.
class TrafficLog {
  public:
    explicit TrafficLog(std::wstring path) : path_(std::move(path)) {}

    // The line in the program's 8-bit code page with the platform's line
    // end. False when it could not be written whole.
    bool Append(const std::wstring& line) const;
    const std::wstring& Path() const { return path_; }

  private:
    std::wstring path_;
};

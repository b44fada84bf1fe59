#pragma once

#include <string>

// The traffic log file: one line per row, appended in text mode. The file is
// opened and closed around every line, so other programs can read (or
// rotate) it while the program runs, and a file that cannot be opened costs
// that line only.
class TrafficLog {
  public:
    explicit TrafficLog(std::string path) : path_(std::move(path)) {}

    // False when the line could not be written whole.
    bool Append(const std::string& line) const;
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

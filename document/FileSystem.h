#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The few file-system operations the document needs, implemented once per
// platform (win32/ and posix/). Paths are wide text; on Linux they are passed
// to the system as UTF-8.
namespace FileSystem {

enum class ReadStatus {
    Ok,
    CantOpen,  // missing, a folder, or no permission
    Empty,
    TooLarge,   // above the caller's cap; nothing was read
    ReadError,  // the file shrank or the read failed part way
};

// Reads the whole file into bytes when it holds between 1 and maxBytes bytes.
ReadStatus ReadWholeFile(const std::wstring& path, size_t maxBytes, std::vector<uint8_t>& bytes);

// Replaces the file's contents with bytes so that at every moment the path
// names either the old file or the complete new one: the bytes go to a new
// file beside it, are flushed to the disk, and that file then takes the old
// one's place. False on any failure; the old file is then untouched and the
// temporary file is gone.
bool ReplaceWholeFile(const std::wstring& path, const std::vector<uint8_t>& bytes);

// The path of a special folder named by its Windows CSIDL number; false when
// the platform has no such folder.
bool SpecialFolderPath(int csidl, std::wstring& path);

// Creates a folder; one that exists already is no error.
bool CreateFolder(const std::wstring& path);

// Appends bytes to the end of the file, made when missing, with one open,
// one write and one close: other programs may read, move or hold the file
// between calls, and what one call writes is never split. False when the
// file cannot be opened or not everything was written.
bool AppendToFile(const std::wstring& path, const std::string& bytes);

// How lines end in the platform's text files ("\r\n" on Windows).
const char* TextLineEnd();

// The separator put between a folder and a name, and the characters that end
// a folder part when a path is split.
wchar_t PathSeparator();
const wchar_t* PathSeparators();

}  // namespace FileSystem

#pragma once

#include <string>

// Wide text is UTF-16 on Windows and UTF-32 elsewhere. Files, ordering rules and
// the web interface are defined on UTF-16 code units and UTF-8, so every
// conversion goes through these functions instead of the platform's wchar_t.
namespace Utf16 {

// Code points above U+FFFF become surrogate pairs; lone surrogates are kept as
// they are, so any text read from a UTF-16 file writes back unchanged.
std::u16string FromWide(const std::wstring& wide);
std::wstring ToWide(const std::u16string& units);

// Orders two texts by their UTF-16 code units (a < b gives a negative result).
int Compare(const std::wstring& a, const std::wstring& b);

// UTF-8 for the web interface; a lone surrogate becomes U+FFFD.
std::string ToUtf8(const std::wstring& wide);
std::wstring FromUtf8(const std::string& utf8);

}  // namespace Utf16

#pragma once

#include <string>

// Stored texts (string values, host names) are 8-bit; the program works in wide
// text. Both directions use one code page, so a text survives any number of
// round trips: the ANSI code page on Windows, Latin-1 elsewhere (ASCII maps to
// itself on both).
namespace CodePage {

std::string NarrowFromWide(const std::wstring& wide);
std::wstring WideFromNarrow(const std::string& narrow);

}  // namespace CodePage

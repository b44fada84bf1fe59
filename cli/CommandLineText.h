#pragma once

#include <string>

// Paths and texts from the command line as the program works with them: UTF-8
// on Linux, the ANSI code page on Windows (what main's arguments are in).
std::wstring WideFromArgument(const std::string& argument);
// Wide text for the console: UTF-8 on Linux, the ANSI code page on Windows.
std::string ConsoleText(const std::wstring& text);

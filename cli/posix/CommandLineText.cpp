#include "cli/CommandLineText.h"

#include "common/Utf16.h"

std::wstring WideFromArgument(const std::string& argument) { return Utf16::FromUtf8(argument); }

std::string ConsoleText(const std::wstring& text) { return Utf16::ToUtf8(text); }

#include "cli/CommandLineText.h"

#include "common/CodePage.h"

std::wstring WideFromArgument(const std::string& argument) {
    return CodePage::WideFromNarrow(argument);
}

std::string ConsoleText(const std::wstring& text) { return CodePage::NarrowFromWide(text); }

#include "engine/ProgrammingError.h"

#include <cstdio>

void ReportProgrammingError(const wchar_t* text, const wchar_t* caption) {
    std::fprintf(stderr, "%ls: %ls\n", caption, text);
}

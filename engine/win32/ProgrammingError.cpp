#include "engine/ProgrammingError.h"

#include <windows.h>

void ReportProgrammingError(const wchar_t* text, const wchar_t* caption) {
    MessageBoxW(nullptr, text, caption, MB_OK);
}

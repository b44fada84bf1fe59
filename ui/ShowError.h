#pragma once

#include <windows.h>

// Shows a Win32 error code as the system's text for it, followed by the
// code in brackets, in a message box titled "Error" without an owner.
void ShowError(DWORD code);

// The text ShowError shows, for callers that put it elsewhere.
wchar_t* FormatErrorText(DWORD code, wchar_t* buffer, size_t capacity);

#pragma once

#include <windows.h>

#include <functional>
#include <string>

// Runs action on the first visible dialog box this thread shows while the
// caller blocks in a modal loop (a dialog's Run, a message box, a menu):
// the action fills, checks and closes it.
void WhenDialogAppears(std::function<void(HWND dialog)> action);

// Handles the messages waiting for this thread, for about milliseconds.
void PumpMessages(DWORD milliseconds = 50);

// The text of a window.
std::wstring TextOf(HWND hwnd);

// The class name of a window ("#32770" for a dialog box).
std::wstring ClassOf(HWND hwnd);

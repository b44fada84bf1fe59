#pragma once

#include <optional>
#include <string>

class Window;

// The shell's file dialogs for project files: the types "Kestrom Master
// Files" (*.xmb, chosen first) and "All Files" (*.*). Nothing when the
// user cancels. The dialogs are modal to owner, so the window cannot start
// a run or close under them.
std::optional<std::wstring> AskOpenPath(Window* owner);
// Adds ".xmb" to a name typed without an extension.
std::optional<std::wstring> AskSavePath(Window* owner);

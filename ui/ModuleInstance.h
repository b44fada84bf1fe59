#pragma once

#include <windows.h>

// The module whose resources (menus, dialogs, strings, icons) the program
// loads: the executable itself unless the entry point says otherwise.
HINSTANCE ModuleInstance();
void SetModuleInstance(HINSTANCE instance);

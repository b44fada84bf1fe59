#pragma once

#include <string>

// The project path of the program's command line: the whole line without
// surrounding blanks, and without the double quotes around it when it
// starts and ends with one ("C:\My Projects\plant.xmb"). A lone quote, or
// nothing, names no project.
std::wstring CommandLinePath(const wchar_t* commandLine);

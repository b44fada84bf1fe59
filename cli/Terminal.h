#pragma once

#include <cstdio>

// Whether the stream writes to a terminal (a console window on Windows), where
// a person reads each line as it comes.
bool IsTerminal(std::FILE* stream);

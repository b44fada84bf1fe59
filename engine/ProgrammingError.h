#pragma once

// A fault in the program itself that it survives (a worker still running while
// its object is destroyed). Windows shows it in a message box without owner, so
// it is seen even in a program without a console; elsewhere it goes to stderr.
void ReportProgrammingError(const wchar_t* text, const wchar_t* caption);

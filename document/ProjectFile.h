#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "document/ProjectSetup.h"

// The ".xmb" project file: one object with the set-up's members at the top
// level and only "polls" and "datamap" nested, written in name order.

// Something the reader corrected or left out of a file that otherwise loaded.
// The set-up it gives is safe to run; the caller shows these to the user.
struct ProjectLoadNote {
    enum class Kind {
        PollUnknownFunction,  // the poll was left out
        PollSizeZero,         // the poll was left out
        PresetCorrected,      // the function's default preset is used instead
        DataTypeUnknown,      // the data map entry was left out
        DataValueUnreadable,  // the entry was kept with the value 0
    };
    Kind kind;
    // The poll's position in the file's list (from 1), or the entry's address.
    uint32_t where;
    std::wstring text;
};

struct ProjectLoadResult {
    // Why the file did not load, and on which line when the text could not be
    // parsed (0 otherwise).
    std::wstring error;
    int line = 0;
    std::vector<ProjectLoadNote> notes;
};

// The preset a poll of this function is polled with: the given one when it
// exists and suits the function, otherwise the function's default (0 for the
// bit functions 1, 2, 5 and 15, 1 for the others). A bit preset never goes
// with a register function nor the reverse, and function 6 writes exactly one
// 16-bit register.
int32_t SuitablePreset(uint8_t functionCode, int32_t preset);

// Writes the set-up to path; true only when the whole file is in place.
bool SaveProject(const std::wstring& path, const ProjectSetup& setup);
// The text SaveProject writes behind the byte order mark.
std::wstring ProjectText(const ProjectSetup& setup);

// Reads the file at path into a copy of current (reset first) and, only when
// the whole file loaded, makes that copy current. On failure current is
// untouched and result says why.
bool OpenProject(const std::wstring& path, ProjectSetup& current, ProjectLoadResult& result);
// OpenProject on a file's bytes read already.
bool OpenProjectBytes(std::span<const uint8_t> bytes, ProjectSetup& current,
                      ProjectLoadResult& result);

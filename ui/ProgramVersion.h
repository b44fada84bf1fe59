#pragma once

#include <optional>

// The product version of the running program file, from its version
// resource: major.minor.build.revision.
struct ProgramVersion {
    unsigned major;
    unsigned minor;
    unsigned build;
    unsigned revision;
};

// Nothing when the program file has no version resource.
std::optional<ProgramVersion> ReadProgramVersion();

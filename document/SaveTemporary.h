#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The name of the temporary file a save writes beside the file it replaces:
// the file's own name, ".~", the saving process's id, "-" and a counter
// ("plant.xmb.~4711-0"). A save that is killed before its rename leaves that
// file behind; the next save of the same file recognises it by this pattern
// and removes it once its process has ended.
namespace SaveTemporary {

// The temporary's name for a file name (no folder), a process id and a counter.
std::wstring Name(const std::wstring& fileName, uint32_t processId, unsigned counter);

// The process id in name when name is a temporary of fileName; nothing for
// any other name (another file's temporary, or "plant.xmb.~old").
std::optional<uint32_t> OwnerOf(const std::wstring& name, const std::wstring& fileName);

}  // namespace SaveTemporary

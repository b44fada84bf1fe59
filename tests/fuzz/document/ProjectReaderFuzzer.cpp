// Feeds arbitrary bytes to the project-file reader as if they were a file.
// Beyond "no crash, no leak, no undefined behaviour" it checks what the
// document relies on after a file loaded:
// - every poll has a function, a size of at least 1 and a preset that suits it;
// - every data map entry has a known type;
// - the loaded set-up saves and reads back to the same polls and addresses,
//   without a note (but for values whose text form cannot carry them).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "common/Utf16.h"
#include "document/FileHandler.h"
#include "document/ProjectFile.h"
#include "json/jsonObject.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

std::vector<uint8_t> Saved(const ProjectSetup& setup) {
    std::vector<uint8_t> bytes = {0xFF, 0xFE};
    for (char16_t unit : Utf16::FromWide(ProjectText(setup))) {
        bytes.push_back(static_cast<uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<uint8_t>(unit >> 8));
    }
    return bytes;
}

bool Load(std::span<const uint8_t> bytes, ProjectSetup& setup, ProjectLoadResult& result) {
    const bool loaded = OpenProjectBytes(bytes, setup, result);
    Check(loaded || !result.error.empty());
    // The tree parses the same text alike: only a poll the file holds can
    // fail a text that parsed, and it fails with no line.
    json::jsonObject root;
    int line = 0;
    std::wstring error;
    const bool parsed = FileHandler::ParseBytes(bytes, root, line, error);
    Check(parsed == (loaded || result.line == 0));
    return loaded;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ProjectSetup setup;
    ProjectLoadResult result;
    if (!Load(std::span<const uint8_t>(data, size), setup, result)) return 0;

    for (const Poll& poll : setup.polls) {
        Check(poll.function != nullptr);
        Check(poll.size >= 1);
        Check(SuitablePreset(poll.function->code, poll.formatpreset) == poll.formatpreset);
    }
    for (const auto& [address, entry] : setup.datamap.entries()) {
        Check(entry.item.type >= DataItem::Unknown && entry.item.type <= DataItem::Byte);
    }

    ProjectSetup reread;
    ProjectLoadResult again;
    Check(Load(Saved(setup), reread, again));
    // A double near its limit formats with 15 digits to a text beyond it, which
    // does not read back; that is the value's text form, not the file's.
    for (const ProjectLoadNote& note : again.notes)
        Check(note.kind == ProjectLoadNote::Kind::DataValueUnreadable);
    Check(reread.polls.size() == setup.polls.size());
    for (size_t i = 0; i < setup.polls.size(); ++i) {
        Check(reread.polls[i].function == setup.polls[i].function);
        Check(reread.polls[i].start == setup.polls[i].start);
        Check(reread.polls[i].size == setup.polls[i].size);
        Check(reread.polls[i].formatpreset == setup.polls[i].formatpreset);
    }
    Check(reread.datamap.size() == setup.datamap.size());
    Check(reread.host == setup.host && reread.port == setup.port && reread.line == setup.line);
    return 0;
}

// Request targets (path and query, as a client sends them) through the web
// interface's handler on a document with mapped values of every type. The
// input is split at line feeds into several requests answered in turn, so
// subscribe, ident and updates meet in any order. Besides memory and
// undefined-behaviour faults, it stops when an answer is not one UTF-8 JSON
// value without raw control characters, when a request adds or removes a
// mapped address or changes a value other than by ident, or when the change
// list outgrows its cap.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "common/Utf16.h"
#include "document/VantelDoc.h"
#include "publish/WebInterface.h"

namespace {

void Fail(const char* why, const std::string& target) {
    std::fprintf(stderr, "web_target: %s (target %s)\n", why, target.c_str());
    std::abort();
}

// Values the answers must write out in full and escaped.
void MapValues(VantelDoc& doc) {
    auto& map = doc.Settings().datamap;
    map.Insert(0, DataItem::MakeUnsignedShort(0));
    map.Insert(1, DataItem::MakeBit(true));
    map.Insert(100, DataItem::MakeUnsignedShort(17));
    map.Insert(200, DataItem::MakeUnsignedInt(4000000000u));
    map.Insert(300, DataItem::MakeFloat(-1.5e-20f));
    map.Insert(400, DataItem::MakeDouble(1e300));
    map.Insert(500, DataItem::MakeString("q\"\\\x01\xff"));
    map.Insert(65535, DataItem::MakeUnsignedShort(65535));
}

void CheckAnswer(const std::string& answer, const std::string& target) {
    if (answer.empty()) Fail("empty answer", target);
    const char first = answer.front();
    const char last = answer.back();
    if (!((first == '{' && last == '}') || (first == '[' && last == ']')))
        Fail("the answer is not one JSON object or array", target);
    for (unsigned char c : answer)
        if (c < 0x20) Fail("a raw control character in the answer", target);
    if (Utf16::ToUtf8(Utf16::FromUtf8(answer)) != answer) Fail("the answer is not UTF-8", target);
}

std::map<uint16_t, DataItem::Type> Types(VantelDoc& doc) {
    std::map<uint16_t, DataItem::Type> types;
    const DataMap copy = doc.Settings().datamap.Copy();
    for (const auto& [address, entry] : copy.entries()) types[address] = entry.item.type;
    return types;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // One document for every input (building one costs more than the
    // requests), set back to the same values and an empty subscription.
    static VantelDoc doc;
    static WebInterface web(doc);
    doc.Settings().datamap.Clear();
    MapValues(doc);
    {
        std::lock_guard<CriticalSection> hold(doc.WebLock());
        doc.Subscriptions().clear();
        doc.Updates().clear();
    }
    const auto before = Types(doc);
    const std::string input(reinterpret_cast<const char*>(data), size);
    bool identSeen = false;
    std::string target;
    size_t from = 0;
    while (from <= input.size()) {
        size_t end = input.find('\n', from);
        if (end == std::string::npos) end = input.size();
        target = input.substr(from, end - from);
        identSeen = identSeen || target.rfind("/ident", 0) == 0;
        CheckAnswer(web.Answer(target), target);
        {
            std::lock_guard<CriticalSection> hold(doc.WebLock());
            if (doc.Updates().size() > VantelDoc::kMaxWebUpdates + doc.Subscriptions().size())
                Fail("the change list outgrew its cap", target);
        }
        from = end + 1;
    }
    const auto after = Types(doc);
    if (after.size() != before.size()) Fail("a request added or removed an address", target);
    if (!identSeen && after != before) Fail("a value changed type without ident", target);
    return 0;
}

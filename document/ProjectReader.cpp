#include "document/ProjectReader.h"

#include <utility>

#include "common/CodePage.h"
#include "json/jsonBool.h"
#include "json/jsonInt.h"
#include "json/jsonString.h"
#include "protocol/FormatPreset.h"

namespace {

// Members of the two lists' elements, by position in Element::members.
constexpr const wchar_t* kPollMembers[] = {L"function", L"start", L"size", L"formatpreset"};
constexpr const wchar_t* kDataMembers[] = {L"addr", L"type", L"value"};
enum { PollFunction, PollStart, PollSize, PollPreset };
enum { DataAddress, DataType, DataValue };

// The depth of a list's elements: the root object is 1, the list 2.
constexpr int kElementDepth = 3;

std::wstring Number(uint32_t value) { return std::to_wstring(value); }

template <typename T>
void ReadInt(const json::jsonObject& object, const wchar_t* name, T& field) {
    if (const json::jsonInt* value = object.GetInt(name))
        field = static_cast<T>(static_cast<uint32_t>(value->Value()));
}

}  // namespace

ProjectReader::ProjectReader() { valueText_.reserve(64); }

void ProjectReader::Name(std::wstring_view name) {
    if (reading_ != List::None) {
        if (depth_ == kElementDepth) member_ = MemberIndex(name);
        return;
    }
    if (depth_ == 1) {
        named_ = name == L"polls"     ? List::Polls
                 : name == L"datamap" ? List::Datamap
                                      : List::None;
    }
    tree_.Name(name);
}

void ProjectReader::BeginObject() { Begin(true); }

void ProjectReader::EndObject() { End(); }

void ProjectReader::BeginArray() { Begin(false); }

void ProjectReader::EndArray() { End(); }

void ProjectReader::String(std::wstring_view text) { Value(Member::Text, 0, text); }

void ProjectReader::Int(int32_t value) { Value(Member::Integer, value, {}); }

void ProjectReader::Double(double value) {
    if (reading_ != List::None) return Value(Member::Other, 0, {});
    NoList();
    tree_.Double(value);
}

void ProjectReader::Bool(bool value) {
    if (reading_ != List::None) return Value(Member::Other, 0, {});
    NoList();
    tree_.Bool(value);
}

void ProjectReader::Null() {
    if (reading_ != List::None) return Value(Member::Other, 0, {});
    NoList();
    tree_.Null();
}

void ProjectReader::NoList() {
    if (depth_ != 1) return;
    // A top-level "polls" or "datamap" that is no array: no list at all.
    if (named_ == List::Polls) pollsGiven_ = false;
    if (named_ == List::Datamap) datamapGiven_ = false;
    named_ = List::None;
}

void ProjectReader::Value(Member::Kind kind, int32_t number, std::wstring_view text) {
    if (reading_ == List::None) {
        NoList();
        if (kind == Member::Integer) {
            tree_.Int(number);
        } else {
            tree_.String(text);
        }
        return;
    }
    if (depth_ == kElementDepth - 1) {
        // An element that is no object.
        StartElement(false);
        ElementDone();
        return;
    }
    if (depth_ != kElementDepth || member_ < 0) return;
    Member& member = element_.members[member_];
    member.kind = kind;
    member.number = number;
    if (kind == Member::Text) member.text.assign(text);
}

void ProjectReader::Begin(bool isObject) {
    if (reading_ == List::None) {
        if (depth_ == 1 && named_ != List::None) {
            const List list = named_;
            named_ = List::None;
            if (!isObject) {
                // The list's elements are read from here; a later one of the
                // same name replaces this one.
                reading_ = list;
                ++depth_;
                if (list == List::Polls) {
                    pollsGiven_ = true;
                    polls_.clear();
                    pollNotes_.clear();
                    pollError_.clear();
                    pollPosition_ = 0;
                } else {
                    datamapGiven_ = true;
                    datamap_.Clear();
                    dataNotes_.clear();
                }
                return;
            }
            named_ = list;
            NoList();
        }
        ++depth_;
        if (isObject) {
            tree_.BeginObject();
        } else {
            tree_.BeginArray();
        }
        return;
    }
    if (depth_ == kElementDepth - 1) {
        StartElement(isObject);
    } else if (depth_ == kElementDepth && member_ >= 0) {
        // A container where a number or text belongs.
        element_.members[member_].kind = Member::Other;
    }
    ++depth_;
}

void ProjectReader::End() {
    --depth_;
    if (reading_ == List::None) {
        tree_.EndObject();  // either kind ends the same way in the tree
        return;
    }
    if (depth_ == kElementDepth - 1) {
        ElementDone();
    } else if (depth_ == 1) {
        reading_ = List::None;
    }
    if (depth_ == kElementDepth) member_ = -1;
}

// Every member absent again; the texts keep their room for the next element.
void ProjectReader::StartElement(bool isObject) {
    element_.isObject = isObject;
    for (Member& member : element_.members) member.kind = Member::Absent;
    member_ = -1;
}

int ProjectReader::MemberIndex(std::wstring_view name) const {
    if (reading_ == List::Polls) {
        for (int i = 0; i < 4; ++i)
            if (name == kPollMembers[i]) return i;
    } else {
        for (int i = 0; i < 3; ++i)
            if (name == kDataMembers[i]) return i;
    }
    return -1;
}

void ProjectReader::ElementDone() {
    member_ = -1;
    if (reading_ == List::Polls) {
        PollDone();
    } else {
        DataEntryDone();
    }
}

// One poll of the file. A malformed element fails the whole file; a poll that
// cannot be polled safely is left out or corrected, with a note.
void ProjectReader::PollDone() {
    const uint32_t position = ++pollPosition_;
    if (!pollError_.empty()) return;  // the first malformed poll is the one reported
    const std::wstring where = L"Poll " + Number(position);
    if (!element_.isObject) {
        pollError_ = where + L" is not an object";
        return;
    }
    const Member* m = element_.members;
    if (m[PollFunction].kind != Member::Integer || m[PollStart].kind != Member::Integer ||
        m[PollSize].kind != Member::Integer) {
        pollError_ = where + L" needs an integer function, start and size";
        return;
    }
    const auto code = static_cast<uint8_t>(m[PollFunction].number);
    int32_t preset = 0;
    if (m[PollPreset].kind == Member::Integer) preset = static_cast<uint8_t>(m[PollPreset].number);

    Poll poll;
    if (!MakePoll(code, static_cast<uint16_t>(m[PollStart].number),
                  static_cast<uint16_t>(m[PollSize].number), preset, poll)) {
        pollNotes_.push_back(
            {ProjectLoadNote::Kind::PollUnknownFunction, position,
             where + L": function " + Number(code) + L" is not supported; the poll was left out"});
        return;
    }
    if (poll.size == 0) {
        pollNotes_.push_back({ProjectLoadNote::Kind::PollSizeZero, position,
                              where + L": size 0; the poll was left out"});
        return;
    }
    const int32_t suitable = SuitablePreset(code, preset);
    if (suitable != preset) {
        pollNotes_.push_back({ProjectLoadNote::Kind::PresetCorrected, position,
                              where + L": format preset " + Number(preset) +
                                  L" does not suit function " + Number(code) + L"; preset " +
                                  Number(suitable) + L" is used"});
        poll.formatpreset = suitable;
    }
    polls_.push_back(poll);
}

// One data map element; malformed elements are skipped, as are types the
// program does not know (with a note, since the user made that entry).
void ProjectReader::DataEntryDone() {
    const Member* m = element_.members;
    if (!element_.isObject || m[DataAddress].kind != Member::Integer ||
        m[DataType].kind != Member::Integer || m[DataValue].kind != Member::Text)
        return;
    const auto addr = static_cast<uint16_t>(m[DataAddress].number);
    const int32_t type = m[DataType].number;
    if (type < DataItem::Unknown || type > DataItem::Byte) {
        dataNotes_.push_back({ProjectLoadNote::Kind::DataTypeUnknown, addr,
                              L"Address " + Number(addr) + L": type " + std::to_wstring(type) +
                                  L" is unknown; the entry was left out"});
        return;
    }
    DataItem item(static_cast<DataItem::Type>(type));
    valueText_.assign(m[DataValue].text);
    if (item.type != DataItem::Unknown && !item.SetFromText(valueText_)) {
        dataNotes_.push_back({ProjectLoadNote::Kind::DataValueUnreadable, addr,
                              L"Address " + Number(addr) + L": value \"" + valueText_ +
                                  L"\" cannot be read as " + DataItem::TypeName(item.type) +
                                  L"; 0 is used"});
    }
    // A later element for the same address wins.
    if (DataMapEntry* entry = datamap_.Find(addr)) {
        entry->item = std::move(item);
    } else {
        datamap_.Insert(addr, item);
    }
}

bool ProjectReader::Finish(ProjectSetup& setup, ProjectLoadResult& result) {
    const json::jsonObject& root = root_;
    if (const json::jsonInt* webport = root.GetInt(L"webport")) setup.webport = webport->Value();
    if (const json::jsonString* host = root.GetString(L"host"))
        setup.host = CodePage::NarrowFromWide(host->Value());
    ReadInt(root, L"port", setup.port);

    ReadInt(root, L"protocol", setup.protocol);
    ReadInt(root, L"pollrate", setup.pollrate);
    ReadInt(root, L"modbusaddress", setup.modbusaddress);
    ReadInt(root, L"timeout", setup.timeout);
    ReadInt(root, L"retries", setup.retries);
    setup.polls.clear();
    if (pollsGiven_) {
        if (!pollError_.empty()) {
            result.error = pollError_;
            return false;
        }
        setup.polls = std::move(polls_);
        result.notes = std::move(pollNotes_);
    }
    if (datamapGiven_ && setup.datamap.empty()) {
        setup.datamap = std::move(datamap_);
        result.notes.insert(result.notes.end(), dataNotes_.begin(), dataNotes_.end());
    } else if (datamapGiven_) {
        for (const auto& [address, entry] : datamap_.entries()) {
            if (DataMapEntry* kept = setup.datamap.Find(address)) {
                kept->item = entry.item;
            } else {
                setup.datamap.Insert(address, entry.item);
            }
        }
        result.notes.insert(result.notes.end(), dataNotes_.begin(), dataNotes_.end());
    }

    // The file keeps the port number's low 16 bits.
    if (const json::jsonInt* comport = root.GetInt(L"comport"))
        setup.line.comport = static_cast<uint16_t>(comport->Value());
    ReadInt(root, L"baud", setup.line.baud);
    ReadInt(root, L"databits", setup.line.databits);
    ReadInt(root, L"parity", setup.line.parity);
    ReadInt(root, L"stopbits", setup.line.stopbits);
    ReadInt(root, L"handshaking", setup.line.handshaking);

    const json::jsonBase* serial = root.Find(L"Serial");
    setup.serial = serial && serial->Type() == json::TypeBool &&
                   static_cast<const json::jsonBool*>(serial)->Value();
    return true;
}

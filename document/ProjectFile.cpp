#include "document/ProjectFile.h"

#include <memory>
#include <utility>

#include "common/CodePage.h"
#include "document/FileHandler.h"
#include "json/json.h"
#include "protocol/FormatPreset.h"
#include "protocol/ValueEncoding.h"

namespace {

// The value text is formatted into a buffer of 256 characters, so a text of
// more than 255 characters is saved cut; files of other versions rely on it.
constexpr size_t kValueBuffer = 256;

bool IsBitFunction(uint8_t code) {
    return code == FunctionCode::ReadCoils || code == FunctionCode::ReadInputs ||
           code == FunctionCode::WriteSingleCoil || code == FunctionCode::ForceMultipleCoils;
}

// Integers are stored as the file's signed 32-bit numbers; unsigned fields
// keep all their bits that way.
int32_t AsFileInt(uint32_t value) { return static_cast<int32_t>(value); }

template <typename T>
void ReadInt(const json::jsonObject& object, const wchar_t* name, T& field) {
    if (const json::jsonInt* value = object.GetInt(name))
        field = static_cast<T>(static_cast<uint32_t>(value->Value()));
}

std::wstring Number(uint32_t value) { return std::to_wstring(value); }

json::jsonArray PollsToJson(const std::vector<Poll>& polls) {
    json::jsonArray array;
    for (const Poll& poll : polls) {
        json::jsonObject* element = array.AddObject();
        element->SetInt(L"formatpreset", poll.formatpreset);
        element->SetInt(L"function", poll.FunctionCode());
        element->SetInt(L"size", poll.size);
        element->SetInt(L"start", poll.start);
    }
    return array;
}

json::jsonArray DataMapToJson(const DataMap& datamap) {
    json::jsonArray array;
    wchar_t text[kValueBuffer];
    for (const auto& [address, entry] : datamap.entries()) {
        json::jsonObject* element = array.AddObject();
        element->SetInt(L"addr", address);
        element->SetInt(L"type", entry.item.type);
        size_t length = entry.item.FormatText(text, kValueBuffer);
        element->SetString(L"value", std::wstring_view(text, length));
    }
    return array;
}

// One poll of the file. False when the element is malformed, which fails the
// whole file; a poll that cannot be polled safely is left out or corrected,
// with a note.
bool ReadPoll(const json::jsonBase* element, uint32_t position, std::vector<Poll>& polls,
              ProjectLoadResult& result) {
    const std::wstring where = L"Poll " + Number(position);
    if (!element || element->Type() != json::TypeObject) {
        result.error = where + L" is not an object";
        return false;
    }
    const auto& object = static_cast<const json::jsonObject&>(*element);
    const json::jsonInt* function = object.GetInt(L"function");
    const json::jsonInt* start = object.GetInt(L"start");
    const json::jsonInt* size = object.GetInt(L"size");
    if (!function || !start || !size) {
        result.error = where + L" needs an integer function, start and size";
        return false;
    }
    uint8_t code = static_cast<uint8_t>(function->Value());
    int32_t preset = 0;
    if (const json::jsonInt* value = object.GetInt(L"formatpreset"))
        preset = static_cast<uint8_t>(value->Value());

    Poll poll;
    if (!MakePoll(code, static_cast<uint16_t>(start->Value()), static_cast<uint16_t>(size->Value()),
                  preset, poll)) {
        result.notes.push_back(
            {ProjectLoadNote::Kind::PollUnknownFunction, position,
             where + L": function " + Number(code) + L" is not supported; the poll was left out"});
        return true;
    }
    if (poll.size == 0) {
        result.notes.push_back({ProjectLoadNote::Kind::PollSizeZero, position,
                                where + L": size 0; the poll was left out"});
        return true;
    }
    int32_t suitable = SuitablePreset(code, preset);
    if (suitable != preset) {
        result.notes.push_back({ProjectLoadNote::Kind::PresetCorrected, position,
                                where + L": format preset " + Number(preset) +
                                    L" does not suit function " + Number(code) + L"; preset " +
                                    Number(suitable) + L" is used"});
        poll.formatpreset = suitable;
    }
    polls.push_back(poll);
    return true;
}

// One data map element; malformed elements are skipped, as are types the
// program does not know (with a note, since the user made that entry).
void ReadDataMapEntry(const json::jsonBase* element, DataMap& datamap, ProjectLoadResult& result) {
    if (!element || element->Type() != json::TypeObject) return;
    const auto& object = static_cast<const json::jsonObject&>(*element);
    const json::jsonInt* address = object.GetInt(L"addr");
    const json::jsonInt* type = object.GetInt(L"type");
    const json::jsonString* value = object.GetString(L"value");
    if (!address || !type || !value) return;
    const auto addr = static_cast<uint16_t>(address->Value());
    if (type->Value() < DataItem::Unknown || type->Value() > DataItem::Byte) {
        result.notes.push_back({ProjectLoadNote::Kind::DataTypeUnknown, addr,
                                L"Address " + Number(addr) + L": type " +
                                    std::to_wstring(type->Value()) +
                                    L" is unknown; the entry was left out"});
        return;
    }
    DataItem item(static_cast<DataItem::Type>(type->Value()));
    if (item.type != DataItem::Unknown && !item.SetFromText(value->Value())) {
        result.notes.push_back({ProjectLoadNote::Kind::DataValueUnreadable, addr,
                                L"Address " + Number(addr) + L": value \"" + value->Value() +
                                    L"\" cannot be read as " + DataItem::TypeName(item.type) +
                                    L"; 0 is used"});
    }
    // A later element for the same address wins.
    if (DataMapEntry* entry = datamap.Find(addr)) {
        entry->item = item;
    } else {
        datamap.Insert(addr, item);
    }
}

}  // namespace

int32_t SuitablePreset(uint8_t functionCode, int32_t preset) {
    const bool bitFunction = IsBitFunction(functionCode);
    const int32_t fallback = bitFunction ? PresetId::Bit : PresetId::ShortUint;
    const FormatPreset* row = FindPreset(preset);
    if (!row) return fallback;
    if ((row->encoding == ValueEncoding::Bit) != bitFunction) return fallback;
    if (functionCode == FunctionCode::WriteSingleRegister && ByteCountFor(*row, 1) != 2)
        return PresetId::ShortUint;
    return preset;
}

json::jsonObject ProjectToJson(const ProjectSetup& setup) {
    json::jsonObject root;
    root.SetInt(L"webport", setup.webport);
    root.SetString(L"host", CodePage::WideFromNarrow(setup.host));
    root.SetInt(L"port", setup.port);
    root.SetInt(L"protocol", setup.protocol);
    root.SetInt(L"pollrate", AsFileInt(setup.pollrate));
    root.SetInt(L"modbusaddress", setup.modbusaddress);
    root.SetInt(L"timeout", AsFileInt(setup.timeout));
    root.SetInt(L"retries", AsFileInt(setup.retries));
    root.Set(L"polls", std::make_unique<json::jsonArray>(PollsToJson(setup.polls)));
    root.Set(L"datamap", std::make_unique<json::jsonArray>(DataMapToJson(setup.datamap)));
    root.SetInt(L"comport", AsFileInt(setup.line.comport));
    root.SetInt(L"baud", AsFileInt(setup.line.baud));
    root.SetInt(L"databits", setup.line.databits);
    root.SetInt(L"parity", setup.line.parity);
    root.SetInt(L"stopbits", setup.line.stopbits);
    root.SetInt(L"handshaking", AsFileInt(setup.line.handshaking));
    root.SetBool(L"Serial", setup.serial);
    return root;
}

bool ProjectFromJson(const json::jsonObject& root, ProjectSetup& setup, ProjectLoadResult& result) {
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
    if (const json::jsonArray* polls = root.GetArray(L"polls")) {
        for (size_t i = 0; i < polls->Count(); ++i) {
            if (!ReadPoll(polls->At(i), static_cast<uint32_t>(i + 1), setup.polls, result))
                return false;
        }
    }
    if (const json::jsonArray* datamap = root.GetArray(L"datamap")) {
        for (size_t i = 0; i < datamap->Count(); ++i)
            ReadDataMapEntry(datamap->At(i), setup.datamap, result);
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

bool SaveProject(const std::wstring& path, const ProjectSetup& setup) {
    return FileHandler(path).Write(ProjectToJson(setup));
}

bool OpenProject(const std::wstring& path, ProjectSetup& current, ProjectLoadResult& result) {
    result = ProjectLoadResult();
    json::jsonObject root;
    if (!FileHandler(path).Read(root, result.line, result.error)) return false;
    result.line = 0;
    ProjectSetup loaded = current.Defaults();
    if (!ProjectFromJson(root, loaded, result)) {
        result.notes.clear();
        return false;
    }
    current = std::move(loaded);
    return true;
}

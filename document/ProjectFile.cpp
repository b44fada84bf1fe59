#include "document/ProjectFile.h"

#include <utility>

#include "common/CodePage.h"
#include "document/FileHandler.h"
#include "document/ProjectReader.h"
#include "json/StreamWriter.h"
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

void WriteInt(json::StreamWriter& out, const wchar_t* name, int32_t value) {
    out.Name(name);
    out.Int(value);
}

void WritePolls(json::StreamWriter& out, const std::vector<Poll>& polls) {
    out.Name(L"polls");
    out.BeginArray();
    for (const Poll& poll : polls) {
        out.BeginObject();
        WriteInt(out, L"formatpreset", poll.formatpreset);
        WriteInt(out, L"function", poll.FunctionCode());
        WriteInt(out, L"size", poll.size);
        WriteInt(out, L"start", poll.start);
        out.EndObject();
    }
    out.EndArray();
}

void WriteDataMap(json::StreamWriter& out, const DataMap& datamap) {
    out.Name(L"datamap");
    out.BeginArray();
    wchar_t text[kValueBuffer];
    for (const auto& [address, entry] : datamap.entries()) {
        out.BeginObject();
        WriteInt(out, L"addr", address);
        WriteInt(out, L"type", entry.item.type);
        out.Name(L"value");
        size_t length = entry.item.FormatText(text, kValueBuffer);
        out.String(std::wstring_view(text, length));
        out.EndObject();
    }
    out.EndArray();
}

// The members in name order (UTF-16 code units: capitals first), as a tree of
// them would be written, so files stay byte for byte what they always were.
void WriteProject(json::StreamWriter& out, const ProjectSetup& setup) {
    out.BeginObject();
    out.Name(L"Serial");
    out.Bool(setup.serial);
    WriteInt(out, L"baud", AsFileInt(setup.line.baud));
    WriteInt(out, L"comport", AsFileInt(setup.line.comport));
    WriteInt(out, L"databits", setup.line.databits);
    WriteDataMap(out, setup.datamap);
    WriteInt(out, L"handshaking", AsFileInt(setup.line.handshaking));
    out.Name(L"host");
    out.String(CodePage::WideFromNarrow(setup.host));
    WriteInt(out, L"modbusaddress", setup.modbusaddress);
    WriteInt(out, L"parity", setup.line.parity);
    WriteInt(out, L"pollrate", AsFileInt(setup.pollrate));
    WritePolls(out, setup.polls);
    WriteInt(out, L"port", setup.port);
    WriteInt(out, L"protocol", setup.protocol);
    WriteInt(out, L"retries", AsFileInt(setup.retries));
    WriteInt(out, L"stopbits", setup.line.stopbits);
    WriteInt(out, L"timeout", AsFileInt(setup.timeout));
    WriteInt(out, L"webport", setup.webport);
    out.EndObject();
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

std::wstring ProjectText(const ProjectSetup& setup) {
    // About 40 characters per data map entry and 60 per poll.
    json::StreamWriter out(setup.datamap.size() * 40 + setup.polls.size() * 60 + 512);
    WriteProject(out, setup);
    return out.TakeText();
}

bool SaveProject(const std::wstring& path, const ProjectSetup& setup) {
    return FileHandler(path).WriteText(ProjectText(setup));
}

namespace {

bool Load(ProjectReader& reader, ProjectSetup& current, ProjectLoadResult& result) {
    result.line = 0;
    ProjectSetup loaded = current.Defaults();
    if (!reader.Finish(loaded, result)) {
        result.notes.clear();
        return false;
    }
    current = std::move(loaded);
    return true;
}

}  // namespace

bool OpenProject(const std::wstring& path, ProjectSetup& current, ProjectLoadResult& result) {
    result = ProjectLoadResult();
    ProjectReader reader;
    if (!FileHandler(path).Read(reader, result.line, result.error)) return false;
    return Load(reader, current, result);
}

bool OpenProjectBytes(std::span<const uint8_t> bytes, ProjectSetup& current,
                      ProjectLoadResult& result) {
    result = ProjectLoadResult();
    ProjectReader reader;
    if (!FileHandler::ParseBytes(bytes, reader, result.line, result.error)) return false;
    return Load(reader, current, result);
}

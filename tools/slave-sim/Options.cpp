#include "tools/slave-sim/Options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace slavesim {

namespace {

const char kHelp[] =
#include "tools/slave-sim/HelpText.inc"
    ;

bool ParseInteger(const std::string& text, long long min, long long max, long long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long long parsed = std::strtoll(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed < min || parsed > max) return false;
    *value = parsed;
    return true;
}

bool ParseReal(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const double parsed = std::strtod(text.c_str(), &end);
    if (*end != '\0' || errno == ERANGE) return false;
    *value = parsed;
    return true;
}

std::vector<std::string> SplitValues(const std::string& text) {
    std::vector<std::string> values;
    size_t begin = 0;
    while (true) {
        const size_t end = text.find(',', begin);
        values.push_back(text.substr(begin, end - begin));
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    return values;
}

// "TABLE:ADDR[-LAST]" with the rest (":TYPE") left in *rest.
bool ParseTableRange(const std::string& text, Table* table, uint32_t* first,
                     std::optional<uint32_t>* last, std::string* rest, std::string* error) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) {
        *error = "'" + text + "' needs TABLE:ADDRESS";
        return false;
    }
    const auto named = TableFromName(text.substr(0, colon));
    if (!named) {
        *error =
            "unknown table '" + text.substr(0, colon) + "' (coil, di, hr, ir, float or double)";
        return false;
    }
    *table = *named;
    const size_t typeColon = text.find(':', colon + 1);
    const std::string range = text.substr(colon + 1, typeColon - colon - 1);
    *rest = typeColon == std::string::npos ? "" : text.substr(typeColon + 1);
    const size_t dash = range.find('-');
    long long value = 0;
    if (!ParseInteger(range.substr(0, dash), 0, 65535, &value)) {
        *error = "address '" + range.substr(0, dash) + "' is not 0..65535";
        return false;
    }
    *first = static_cast<uint32_t>(value);
    last->reset();
    if (dash != std::string::npos) {
        if (!ParseInteger(range.substr(dash + 1), *first, 65535, &value)) {
            *error = "range end '" + range.substr(dash + 1) + "' is not " + std::to_string(*first) +
                     "..65535";
            return false;
        }
        *last = static_cast<uint32_t>(value);
    }
    return true;
}

// The registers one typed value occupies, most significant word first.
bool EncodeRegisters(const std::string& type, const std::string& text, std::vector<uint16_t>* words,
                     std::string* error) {
    long long integer = 0;
    double real = 0;
    if (type == "u16") {
        if (!ParseInteger(text, -32768, 65535, &integer)) {
            *error = "'" + text + "' is not a 16-bit value";
            return false;
        }
        *words = {static_cast<uint16_t>(integer & 0xFFFF)};
    } else if (type == "u32" || type == "u32cdab") {
        if (!ParseInteger(text, -2147483648LL, 4294967295LL, &integer)) {
            *error = "'" + text + "' is not a 32-bit value";
            return false;
        }
        const uint32_t bits = static_cast<uint32_t>(integer);
        *words = {static_cast<uint16_t>(bits >> 16), static_cast<uint16_t>(bits)};
        if (type == "u32cdab") std::swap((*words)[0], (*words)[1]);
    } else if (type == "f32" || type == "f32cdab") {
        if (!ParseReal(text, &real)) {
            *error = "'" + text + "' is not a number";
            return false;
        }
        const float narrow = static_cast<float>(real);
        uint32_t bits;
        std::memcpy(&bits, &narrow, sizeof bits);
        *words = {static_cast<uint16_t>(bits >> 16), static_cast<uint16_t>(bits)};
        if (type == "f32cdab") std::swap((*words)[0], (*words)[1]);
    } else if (type == "f64") {
        if (!ParseReal(text, &real)) {
            *error = "'" + text + "' is not a number";
            return false;
        }
        uint64_t bits;
        std::memcpy(&bits, &real, sizeof bits);
        *words = {static_cast<uint16_t>(bits >> 48), static_cast<uint16_t>(bits >> 32),
                  static_cast<uint16_t>(bits >> 16), static_cast<uint16_t>(bits)};
    } else {
        *error =
            "unknown register type '" + type + "' (u16, u32, u32cdab, f32, f32cdab, f64, ascii)";
        return false;
    }
    return true;
}

bool SetText(Bank* bank, Table table, uint32_t first, std::optional<uint32_t> last,
             const std::string& text, std::string* error) {
    const uint32_t needed = static_cast<uint32_t>((text.size() + 1) / 2);
    const uint32_t end = last ? *last + 1 : first + needed;
    if (end > 65536 || first + needed > end) {
        *error = "text '" + text + "' does not fit its registers";
        return false;
    }
    for (uint32_t a = first; a < end; ++a) {
        const size_t at = 2 * (a - first);
        const uint8_t high = at < text.size() ? static_cast<uint8_t>(text[at]) : 0;
        const uint8_t low = at + 1 < text.size() ? static_cast<uint8_t>(text[at + 1]) : 0;
        bank->SetRegister(table, static_cast<uint16_t>(a), static_cast<uint16_t>(high << 8 | low));
    }
    return true;
}

bool SetOne(Bank* bank, Table table, const std::string& type, uint32_t address, uint32_t limit,
            const std::string& text, uint32_t* width, std::string* error) {
    *width = 1;
    if (IsBitTable(table)) {
        if (text != "0" && text != "1") {
            *error = "a bit is 0 or 1, not '" + text + "'";
            return false;
        }
        bank->SetBit(table, static_cast<uint16_t>(address), text == "1");
        return true;
    }
    if (table == Table::Float || table == Table::Double) {
        double real = 0;
        if (!ParseReal(text, &real)) {
            *error = "'" + text + "' is not a number";
            return false;
        }
        if (table == Table::Float) {
            bank->SetFloat(static_cast<uint16_t>(address), static_cast<float>(real));
        } else {
            bank->SetDouble(static_cast<uint16_t>(address), real);
        }
        return true;
    }
    std::vector<uint16_t> words;
    if (!EncodeRegisters(type, text, &words, error)) return false;
    if (address + words.size() - 1 > limit) {
        *error = "'" + text + "' does not fit below address " + std::to_string(limit + 1);
        return false;
    }
    for (size_t i = 0; i < words.size(); ++i) {
        bank->SetRegister(table, static_cast<uint16_t>(address + i), words[i]);
    }
    *width = static_cast<uint32_t>(words.size());
    return true;
}

}  // namespace

bool ApplySet(const std::string& text, Bank* bank, std::string* error) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        *error = "--set '" + text + "' needs TABLE:ADDRESS=VALUE";
        return false;
    }
    Table table;
    uint32_t first = 0;
    std::optional<uint32_t> last;
    std::string type;
    if (!ParseTableRange(text.substr(0, equals), &table, &first, &last, &type, error)) return false;
    if (!type.empty() && !IsRegisterTable(table)) {
        *error = "only hr and ir take a type";
        return false;
    }
    if (type.empty()) type = "u16";
    const std::string valueText = text.substr(equals + 1);
    if (type == "ascii") return SetText(bank, table, first, last, valueText, error);
    const std::vector<std::string> values = SplitValues(valueText);
    uint32_t address = first;
    size_t index = 0;
    // Without a range end, exactly the values given; with one, the range is
    // filled and the last value repeats.
    while (last ? address <= *last : index < values.size()) {
        const std::string& value = values[std::min(index, values.size() - 1)];
        uint32_t width = 1;
        if (!SetOne(bank, table, type, address, last.value_or(65535), value, &width, error)) {
            return false;
        }
        address += width;
        ++index;
        if (address > 65535) break;
    }
    if (index < values.size()) {
        *error = "more values than the range " + std::to_string(first) + "-" +
                 std::to_string(last.value_or(first)) + " holds";
        return false;
    }
    return true;
}

const char* HelpText() { return kHelp; }

ParseOutcome ParseOptions(int argc, char** argv, Options* options, Bank* bank, std::string* error) {
    std::vector<std::string> animateOnly;
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        bool hasValue = false;
        const size_t equals = name.find('=');
        if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name = name.substr(0, equals);
            hasValue = true;
        }
        auto take = [&]() -> bool {
            if (hasValue) return true;
            if (i + 1 >= argc) {
                *error = name + " needs a value";
                return false;
            }
            value = argv[++i];
            hasValue = true;
            return true;
        };
        auto integer = [&](long long min, long long max, long long* out) -> bool {
            if (!take()) return false;
            if (!ParseInteger(value, min, max, out)) {
                *error = name + " needs a number from " + std::to_string(min) + " to " +
                         std::to_string(max) + ", not '" + value + "'";
                return false;
            }
            return true;
        };
        auto flag = [&]() -> bool {
            if (hasValue) {
                *error = name + " takes no value";
                return false;
            }
            return true;
        };
        long long number = 0;
        if (name == "--help" || name == "-h") {
            return ParseOutcome::Help;
        } else if (name == "--port") {
            if (!integer(0, 65535, &number)) return ParseOutcome::Error;
            options->port = static_cast<int>(number);
        } else if (name == "--bind") {
            if (!take()) return ParseOutcome::Error;
            options->bindAddress = value;
        } else if (name == "--max-clients") {
            if (!integer(1, 64, &number)) return ParseOutcome::Error;
            options->maxClients = static_cast<int>(number);
        } else if (name == "--no-listen") {
            if (!flag()) return ParseOutcome::Error;
            options->listen = false;
        } else if (name == "--refuse") {
            if (!take()) return ParseOutcome::Error;
            Range range;
            bool valid = true;
            if (value == "all") {
                range = {1, UINT64_MAX};
            } else if (value.rfind("conn=", 0) == 0) {
                valid = ParseRange(value.substr(5), UINT64_MAX, &range);
            } else if (ParseInteger(value, 1, INT64_MAX, &number)) {
                range = {1, static_cast<uint64_t>(number)};
            } else {
                valid = false;
            }
            if (!valid) {
                *error = "--refuse needs N, all or conn=N[-M], not '" + value + "'";
                return ParseOutcome::Error;
            }
            options->refused.push_back(range);
        } else if (name == "--serial") {
            if (!take()) return ParseOutcome::Error;
            options->serialDevice = value;
        } else if (name == "--baud") {
            if (!integer(50, 4000000, &number)) return ParseOutcome::Error;
            options->baud = static_cast<unsigned>(number);
        } else if (name == "--parity") {
            if (!take()) return ParseOutcome::Error;
            if (value == "none" || value == "N" || value == "n")
                options->parity = 'N';
            else if (value == "even" || value == "E" || value == "e")
                options->parity = 'E';
            else if (value == "odd" || value == "O" || value == "o")
                options->parity = 'O';
            else {
                *error = "--parity is none, even or odd, not '" + value + "'";
                return ParseOutcome::Error;
            }
        } else if (name == "--data-bits") {
            if (!integer(7, 8, &number)) return ParseOutcome::Error;
            options->dataBits = static_cast<int>(number);
        } else if (name == "--stop-bits") {
            if (!integer(1, 2, &number)) return ParseOutcome::Error;
            options->stopBits = static_cast<int>(number);
        } else if (name == "--gap") {
            if (!integer(1, 10000, &number)) return ParseOutcome::Error;
            options->gapMs = static_cast<int>(number);
        } else if (name == "--framing") {
            if (!take()) return ParseOutcome::Error;
            if (value == "tcp" || value == "mbap")
                options->framing = Framing::Mbap;
            else if (value == "rtu")
                options->framing = Framing::Rtu;
            else {
                *error = "--framing is tcp or rtu, not '" + value + "'";
                return ParseOutcome::Error;
            }
        } else if (name == "--unit") {
            if (!integer(1, 247, &number)) return ParseOutcome::Error;
            options->unit = static_cast<uint8_t>(number);
        } else if (name == "--item-count") {
            if (!take()) return ParseOutcome::Error;
            if (value == "bytes")
                options->itemCountByte = ItemCountByte::Bytes;
            else if (value == "items")
                options->itemCountByte = ItemCountByte::Items;
            else {
                *error = "--item-count is bytes or items, not '" + value + "'";
                return ParseOutcome::Error;
            }
        } else if (name == "--set") {
            if (!take()) return ParseOutcome::Error;
            if (!ApplySet(value, bank, error)) {
                *error = "--set " + value + ": " + *error;
                return ParseOutcome::Error;
            }
        } else if (name == "--animate") {
            if (!integer(10, 3600000, &number)) return ParseOutcome::Error;
            options->animateMs = static_cast<int>(number);
        } else if (name == "--animate-only") {
            if (!take()) return ParseOutcome::Error;
            animateOnly.push_back(value);
        } else if (name == "--fault") {
            if (!take()) return ParseOutcome::Error;
            options->faults.push_back(value);
        } else if (name == "--close-after") {
            if (!integer(1, INT64_MAX, &number)) return ParseOutcome::Error;
            options->faults.push_back("reply-close:conn-req=" + std::to_string(number));
        } else if (name == "--seed") {
            if (!integer(0, INT64_MAX, &number)) return ParseOutcome::Error;
            options->seed = static_cast<uint64_t>(number);
        } else if (name == "--dump-on-exit") {
            if (!take()) return ParseOutcome::Error;
            options->dumpFile = value;
        } else if (name == "--quiet") {
            if (!flag()) return ParseOutcome::Error;
            options->quiet = true;
        } else if (name == "--verbose" || name == "-v") {
            if (!flag()) return ParseOutcome::Error;
            options->verbose = true;
        } else {
            *error = "unknown option '" + std::string(argv[i]) + "'";
            return ParseOutcome::Error;
        }
    }
    if (animateOnly.empty()) {
        animateOnly = {"coil:0-7", "di:0-7", "hr:0-9", "ir:0-9", "float:0-3", "double:0-3"};
    }
    for (const std::string& text : animateOnly) {
        Table table;
        uint32_t first = 0;
        std::optional<uint32_t> last;
        std::string rest;
        if (!ParseTableRange(text, &table, &first, &last, &rest, error) || !rest.empty()) {
            if (!rest.empty()) *error = "'" + text + "' takes no type";
            *error = "--animate-only: " + *error;
            return ParseOutcome::Error;
        }
        options->animated.push_back(
            {table, static_cast<uint16_t>(first), static_cast<uint16_t>(last.value_or(first))});
    }
    return ParseOutcome::Run;
}

}  // namespace slavesim

#include <gtest/gtest.h>

#include <cfloat>
#include <cstdint>
#include <limits>
#include <random>

#include "ProjectSetupMatchers.h"
#include "TestFiles.h"
#include "document/ProjectFile.h"
#include "protocol/FormatPreset.h"

namespace {

// Picks from a list, or any value of the type, so extremes come up often.
class Chooser {
  public:
    explicit Chooser(uint32_t seed) : random_(seed) {}

    template <typename T>
    T Number() {
        constexpr T low = std::numeric_limits<T>::min(), high = std::numeric_limits<T>::max();
        switch (Below(4)) {
            case 0:
                return low;
            case 1:
                return high;
            default:
                return static_cast<T>(std::uniform_int_distribution<uint64_t>(0, high)(random_));
        }
    }
    uint32_t Below(uint32_t n) {
        return std::uniform_int_distribution<uint32_t>(0, n - 1)(random_);
    }
    // Printable ASCII, Latin-1 letters, quotes, backslashes and a null character:
    // all survive the 8-bit text on both platforms.
    std::string Text(size_t length) {
        static const std::string alphabet =
            std::string("AZaz09 \"\\{}[],:\t", 17) + std::string(1, '\0') + "\xC4\xE9\xFF";
        std::string text;
        for (size_t i = 0; i < length; ++i) text += alphabet[Below(uint32_t(alphabet.size()))];
        return text;
    }
    std::mt19937& engine() { return random_; }

  private:
    std::mt19937 random_;
};

DataItem RandomItem(Chooser& choose) {
    switch (choose.Below(8)) {
        case 0:
            return DataItem(DataItem::Unknown);
        case 1:
            return DataItem::MakeBit(choose.Below(2));
        case 2:
            return DataItem::MakeUnsignedShort(choose.Number<uint16_t>());
        case 3:
            return DataItem::MakeUnsignedInt(choose.Number<uint32_t>());
        case 4: {
            const float floats[] = {0.0f, -0.0f, FLT_MIN, -FLT_MAX, FLT_MAX, 1e-45f, 3.1415927f};
            return DataItem::MakeFloat(floats[choose.Below(7)]);
        }
        case 5: {
            const double doubles[] = {0.0, -1.5, DBL_MIN, 4.9e-324, 1e300, -123456789.125};
            return DataItem::MakeDouble(doubles[choose.Below(6)]);
        }
        case 6:
            return DataItem::MakeString(choose.Text(choose.Below(3) ? choose.Below(9) : 255));
        default:
            return DataItem::MakeByte(choose.Number<uint8_t>());
    }
}

// What the file carries of an item: its value text read back by its type.
DataItem AsCarried(const DataItem& item) {
    if (item.type == DataItem::Unknown) return item;
    DataItem carried(item.type);
    EXPECT_TRUE(carried.SetFromText(item.FormatText())) << "type " << item.type;
    return carried;
}

ProjectSetup RandomSetup(Chooser& choose) {
    ProjectSetup setup;
    setup.host = choose.Text(choose.Below(2) ? 12 : 255);
    setup.port = choose.Number<uint16_t>();
    setup.protocol = choose.Number<uint8_t>();
    setup.modbusaddress = choose.Number<uint8_t>();
    setup.pollrate = choose.Number<uint32_t>();
    setup.timeout = choose.Number<uint32_t>();
    setup.retries = choose.Number<uint32_t>();
    setup.line = {choose.Number<uint16_t>(), choose.Number<uint32_t>(), choose.Number<uint8_t>(),
                  choose.Number<uint8_t>(),  choose.Number<uint8_t>(),  choose.Number<uint32_t>()};
    setup.serial = choose.Below(2);
    setup.webport = static_cast<int32_t>(choose.Number<uint32_t>());
    // Every function with every preset that suits it.
    for (uint32_t n = choose.Below(40); n > 0; --n) {
        const ModbusFunction& function =
            FunctionTable()[choose.Below(uint32_t(FunctionTable().size()))];
        int32_t preset = SuitablePreset(function.code, choose.Below(9));
        Poll poll;
        uint16_t size = std::max<uint16_t>(1, choose.Number<uint16_t>());
        MakePoll(function.code, choose.Number<uint16_t>(), size, preset, poll);
        setup.polls.push_back(poll);
    }
    for (uint32_t n = choose.Below(60); n > 0; --n)
        setup.datamap.Insert(choose.Number<uint16_t>(), RandomItem(choose));
    return setup;
}

TEST(ProjectRoundTrip, RandomSetUpsReadBackAsTheyWereSaved) {
    TempFolder folder;
    const std::wstring path = folder.File(L"round.xmb");
    Chooser choose(20261206);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const ProjectSetup saved = RandomSetup(choose);
        ASSERT_TRUE(SaveProject(path, saved));

        ProjectSetup expected = saved;
        for (const auto& [address, entry] : saved.datamap.entries())
            expected.datamap.Find(address)->item = AsCarried(entry.item);

        ProjectSetup opened;
        ProjectLoadResult result;
        ASSERT_TRUE(OpenProject(path, opened, result))
            << Text(result.error) << " line " << result.line;
        EXPECT_TRUE(result.notes.empty()) << Text(result.notes.front().text);
        ExpectSameSetup(opened, expected);
        if (HasFailure()) break;
    }
}

TEST(ProjectRoundTrip, ATextLongerThan255CharactersComesBackCut) {
    TempFolder folder;
    ProjectSetup setup;
    setup.datamap.Insert(1, DataItem::MakeString(std::string(300, 'q')));
    ASSERT_TRUE(SaveProject(folder.File(L"long.xmb"), setup));
    ProjectSetup opened;
    ProjectLoadResult result;
    ASSERT_TRUE(OpenProject(folder.File(L"long.xmb"), opened, result));
    EXPECT_EQ(opened.datamap.Find(1)->item.text, std::string(255, 'q'));
}

}  // namespace

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>
#include <sstream>
#include <string>

#include "json/json.h"

// Random value trees written in the project-file syntax must parse back equal.
// The generator keeps to what that syntax can carry: literals only as object
// members, and doubles with a fraction that six significant digits state exactly
// (an integral double is written without a point and comes back as an int).
namespace {

class TreeMaker {
  public:
    explicit TreeMaker(uint32_t seed) : random_(seed) {}

    std::unique_ptr<json::jsonObject> Object(int depth) {
        auto object = std::make_unique<json::jsonObject>();
        for (uint32_t i = Below(6); i > 0; --i) object->Set(Text(), Value(depth, true));
        return object;
    }

  private:
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(random_() % bound); }

    std::unique_ptr<json::jsonBase> Value(int depth, bool literals_allowed) {
        switch (Below(depth > 0 ? 8 : 6)) {
            case 0:
                return std::make_unique<json::jsonString>(Text());
            case 1:
                return std::make_unique<json::jsonInt>(static_cast<int32_t>(random_()));
            case 2:
                return std::make_unique<json::jsonDouble>(Quarter());
            case 3:
                if (literals_allowed) return std::make_unique<json::jsonBool>(Below(2) == 1);
                return std::make_unique<json::jsonInt>(-static_cast<int32_t>(Below(100)));
            case 4:
                if (literals_allowed) return std::make_unique<json::jsonNull>();
                return std::make_unique<json::jsonString>(Text());
            case 5:
                return std::make_unique<json::jsonString>(L"");
            case 6:
                return Object(depth - 1);
            default: {
                auto array = std::make_unique<json::jsonArray>();
                for (uint32_t i = Below(5); i > 0; --i) array->Add(Value(depth - 1, false));
                return array;
            }
        }
    }

    // Quarters with at most four integer digits, never integral.
    double Quarter() {
        int32_t quarters = static_cast<int32_t>(Below(39996)) - 19998;
        if (quarters % 4 == 0) ++quarters;
        return quarters / 4.0;
    }

    std::wstring Text() {
        // U+FFFF is left out: a wide stream drops it where wchar_t has 16 bits.
        static const wchar_t kAlphabet[] = L"ab Z\"\\:,{}[]\r\n\t\x01\x7f\u00E9\uFFFE";
        std::wstring text;
        for (uint32_t i = Below(8); i > 0; --i) {
            uint32_t pick = Below(sizeof kAlphabet / sizeof kAlphabet[0] + 1);
            if (pick < sizeof kAlphabet / sizeof kAlphabet[0] - 1) {
                text.push_back(kAlphabet[pick]);
            } else if (pick == sizeof kAlphabet / sizeof kAlphabet[0] - 1) {
                text.push_back(L'\0');
            } else {
                text += L"\U0001F600";
            }
        }
        return text;
    }

    std::mt19937 random_;
};

std::wstring Written(const json::jsonBase& value) {
    std::wostringstream out;
    value.Write(out);
    return out.str();
}

template <typename T>
bool SameValue(const json::jsonBase& a, const json::jsonBase& b) {
    return static_cast<const T&>(a).Value() == static_cast<const T&>(b).Value();
}

// Structural equality, so that a writer that loses characters cannot hide.
bool Same(const json::jsonBase& a, const json::jsonBase& b) {
    if (a.Type() != b.Type()) return false;
    switch (a.Type()) {
        case json::TypeString:
            return SameValue<json::jsonString>(a, b);
        case json::TypeInt:
            return SameValue<json::jsonInt>(a, b);
        case json::TypeDouble:
            return SameValue<json::jsonDouble>(a, b);
        case json::TypeBool:
            return SameValue<json::jsonBool>(a, b);
        case json::TypeObject: {
            const auto& x = static_cast<const json::jsonObject&>(a).Items();
            const auto& y = static_cast<const json::jsonObject&>(b).Items();
            return std::equal(x.begin(), x.end(), y.begin(), y.end(), [](auto& m, auto& n) {
                return m.first == n.first && Same(*m.second, *n.second);
            });
        }
        case json::TypeArray: {
            const auto& x = static_cast<const json::jsonArray&>(a);
            const auto& y = static_cast<const json::jsonArray&>(b);
            if (x.Count() != y.Count()) return false;
            for (size_t i = 0; i < x.Count(); ++i) {
                if (!Same(*x.At(i), *y.At(i))) return false;
            }
            return true;
        }
        default:
            return true;
    }
}

}  // namespace

TEST(JsonRoundTrip, RandomTreesWrittenForTheProjectFileParseBackEqual) {
    constexpr uint32_t kSeed = 20261206;
    TreeMaker maker(kSeed);
    for (int tree = 0; tree < 400; ++tree) {
        std::unique_ptr<json::jsonObject> original = maker.Object(4);
        std::wstring file = Written(*original);
        json::jsonObject parsed;
        int line = 1;
        std::wstring error;
        ASSERT_TRUE(parsed.Parse(std::wstring_view(file), line, error))
            << "seed " << kSeed << " tree " << tree << ": " << error;
        ASSERT_TRUE(Same(*original, parsed)) << "seed " << kSeed << " tree " << tree;
        std::unique_ptr<json::jsonBase> clone(parsed.Clone());
        ASSERT_TRUE(Same(*clone, parsed)) << "clone of tree " << tree;
    }
}

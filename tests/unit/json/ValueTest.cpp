#include <gtest/gtest.h>

#include <climits>
#include <locale>
#include <memory>
#include <sstream>
#include <vector>

#include "json/json.h"

namespace {

std::wstring Written(const json::jsonBase& value) {
    std::wostringstream out;
    value.Write(out);
    return out.str();
}

// Counts its own destructions, to see which values a container really frees.
class Tracked : public json::jsonNull {
  public:
    explicit Tracked(int& destroyed) : destroyed_(destroyed) {}
    ~Tracked() override { ++destroyed_; }
    Tracked* Clone() const override { return new Tracked(destroyed_); }

  private:
    int& destroyed_;
};

}  // namespace

TEST(JsonObject, WritesMembersInUtf16CodeUnitOrderWhateverTheInsertionOrder) {
    json::jsonObject object;
    object.SetInt(L"b", 1);
    object.SetInt(L"a", 2);
    object.SetInt(L"B", 3);
    object.SetInt(L"baud", 4);
    object.SetBool(L"Serial", true);
    object.SetInt(L"ba", 5);
    EXPECT_EQ(Written(object), LR"({"B":3,"Serial":true,"a":2,"b":1,"ba":5,"baud":4})");

    // U+10000 is the pair D800 DC00 in UTF-16, so it sorts before U+FF5E even where
    // wchar_t holds whole code points.
    json::jsonObject wide;
    wide.SetInt(L"\uFF5E", 1);
    wide.SetInt(L"\U00010000", 2);
    EXPECT_EQ(Written(wide), L"{\"\U00010000\":2,\"\uFF5E\":1}");
}

TEST(JsonObject, StoringUnderAnExistingNameDestroysTheOldValueWhateverItsType) {
    int destroyed = 0;
    json::jsonObject object;
    object.Set(L"n", std::make_unique<Tracked>(destroyed));
    object.SetString(L"n", L"text");
    EXPECT_EQ(destroyed, 1);
    object.SetInt(L"n", 7);
    EXPECT_EQ(object.Count(), 1u);
    EXPECT_EQ(object.GetString(L"n"), nullptr) << "a replaced string must not linger";
    ASSERT_NE(object.GetInt(L"n"), nullptr);
    EXPECT_EQ(object.GetInt(L"n")->Value(), 7);
}

TEST(JsonObject, DestroysAndClonesWholeSubtrees) {
    int destroyed = 0;
    auto object = std::make_unique<json::jsonObject>();
    json::jsonArray polls;
    polls.AddObject()->Set(L"tracked", std::make_unique<Tracked>(destroyed));
    object->SetArray(L"polls", polls);
    EXPECT_EQ(destroyed, 0);

    std::unique_ptr<json::jsonBase> clone(object->Clone());
    object.reset();
    EXPECT_EQ(destroyed, 1) << "the object's own copy of the array is gone";
    EXPECT_EQ(Written(*clone), LR"({"polls":[{"tracked":null}]})");
    clone.reset();
    EXPECT_EQ(destroyed, 2);
}

TEST(JsonObject, SetArrayKeepsACopySoTheCallersArrayStaysItsOwn) {
    json::jsonArray polls;
    polls.AddObject()->SetInt(L"function", 3);
    json::jsonObject object;
    object.SetArray(L"polls", polls);
    polls.AddObject();
    EXPECT_EQ(Written(object), LR"({"polls":[{"function":3}]})");

    object.SetArray(L"polls", *object.GetArray(L"polls"));  // stored over itself
    EXPECT_EQ(Written(object), LR"({"polls":[{"function":3}]})");

    json::jsonObject empty;
    empty.SetArray(L"polls", json::jsonArray());
    EXPECT_EQ(Written(empty), LR"({"polls":[]})");
}

TEST(JsonObject, GettersAnswerOnlyForTheirOwnType) {
    json::jsonObject object;
    object.SetString(L"s", L"x");
    object.SetInt(L"i", 1);
    object.SetBool(L"Serial", false);
    object.SetArray(L"a", json::jsonArray());
    EXPECT_EQ(object.GetInt(L"s"), nullptr);
    EXPECT_EQ(object.GetString(L"i"), nullptr);
    EXPECT_EQ(object.GetArray(L"s"), nullptr);
    EXPECT_EQ(object.GetInt(L"missing"), nullptr);
    EXPECT_EQ(object.GetString(L"s")->Value(), L"x");
    ASSERT_NE(object.Find(L"Serial"), nullptr);
    EXPECT_EQ(object.Find(L"Serial")->Type(), json::TypeBool);
    EXPECT_EQ(object.Find(L"missing"), nullptr);
}

TEST(JsonWriter, WritesScalarsAsADefaultStreamWouldWhateverTheCallersStreamSettings) {
    struct Case {
        std::unique_ptr<json::jsonBase> value;
        const wchar_t* text;
    };
    std::vector<Case> cases;
    cases.push_back({std::make_unique<json::jsonInt>(INT_MIN), L"-2147483648"});
    cases.push_back({std::make_unique<json::jsonInt>(0), L"0"});
    cases.push_back({std::make_unique<json::jsonInt>(1234567), L"1234567"});
    cases.push_back({std::make_unique<json::jsonDouble>(0.5), L"0.5"});
    cases.push_back({std::make_unique<json::jsonDouble>(3.0), L"3"});
    cases.push_back({std::make_unique<json::jsonDouble>(-0.25), L"-0.25"});
    cases.push_back({std::make_unique<json::jsonDouble>(1234567.0), L"1.23457e+06"});
    cases.push_back({std::make_unique<json::jsonDouble>(123456.0), L"123456"});
    cases.push_back({std::make_unique<json::jsonDouble>(0.0001), L"0.0001"});
    cases.push_back({std::make_unique<json::jsonDouble>(0.00001), L"1e-05"});
    cases.push_back({std::make_unique<json::jsonBool>(true), L"true"});
    cases.push_back({std::make_unique<json::jsonString>(L"x"), L"\"x\""});

    // A grouping locale, a precision or a width on the caller's stream change nothing.
    struct Grouping : std::numpunct<wchar_t> {
        std::string do_grouping() const override { return "\3"; }
    };
    for (const Case& c : cases) {
        std::wostringstream plain;
        c.value->Write(plain);
        EXPECT_EQ(plain.str(), c.text);
        std::wostringstream odd;
        odd.imbue(std::locale(odd.getloc(), new Grouping));
        odd.precision(2);
        odd.width(12);
        c.value->Write(odd);
        EXPECT_EQ(odd.str(), c.text);
    }
}

TEST(JsonCollection, VisitWalksDepthFirstParentsBeforeChildrenObjectsByName) {
    json::jsonObject root;
    json::jsonArray array;
    json::jsonObject* inner = array.AddObject();
    inner->SetInt(L"y", 2);
    inner->SetInt(L"x", 1);
    array.Add(std::make_unique<json::jsonInt>(3));
    root.SetArray(L"b", array);
    root.SetInt(L"a", 0);
    std::vector<std::wstring> seen;
    root.Visit([&](const json::jsonBase& value) { seen.push_back(Written(value)); });
    std::vector<std::wstring> expected = {
        L"0", LR"([{"x":1,"y":2},3])", LR"({"x":1,"y":2})", L"1", L"2", L"3"};
    EXPECT_EQ(seen, expected);
}

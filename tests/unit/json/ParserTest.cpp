#include <gtest/gtest.h>

#include <climits>
#include <sstream>
#include <string>

#include "json/Parser.h"
#include "json/json.h"

namespace {

std::wstring Written(const json::jsonBase& value) {
    std::wostringstream out;
    value.Write(out);
    return out.str();
}

struct Outcome {
    bool ok;
    json::jsonObject object;
    int line = 1;
    std::wstring error = L"untouched";
};

Outcome Parse(const std::wstring& text) {
    Outcome outcome{false, {}};
    outcome.ok = outcome.object.Parse(text.c_str(), outcome.line, outcome.error);
    return outcome;
}

// The value of member "n" after parsing `text`, written back out.
std::wstring ValueOfN(const std::wstring& text) {
    Outcome parsed = Parse(text);
    EXPECT_TRUE(parsed.ok) << text << " failed: " << parsed.error;
    const json::jsonBase* n = parsed.object.Find(L"n");
    return n ? std::to_wstring(n->Type()) + L":" + Written(*n) : L"absent";
}

}  // namespace

TEST(JsonParser, ReadsEmptyObjectsAndIgnoresWhatFollowsTheClosingBrace) {
    Outcome parsed = Parse(L" \r\n{ } trailing words");
    EXPECT_TRUE(parsed.ok);
    EXPECT_EQ(parsed.object.Count(), 0u);
    EXPECT_EQ(parsed.line, 2);
    EXPECT_EQ(parsed.error, L"untouched") << "success leaves the error text alone";
}

TEST(JsonParser, AcceptsBareNamesUpToTheColonSpacesIncluded) {
    EXPECT_NE(Parse(L"{a:1}").object.GetInt(L"a"), nullptr);
    EXPECT_NE(Parse(L"{ a :1}").object.GetInt(L"a "), nullptr);
    EXPECT_NE(Parse(L"{:1}").object.GetInt(L""), nullptr);
}

TEST(JsonParser, ReadsLiteralsIgnoringCaseAndKeepsTheLaterOfTwoEqualNames) {
    EXPECT_EQ(ValueOfN(LR"({"n":TRUE})"), L"3:true");
    EXPECT_EQ(ValueOfN(LR"({"n":fAlse})"), L"3:false");
    EXPECT_EQ(ValueOfN(LR"({"n":Null})"), L"4:null");
    EXPECT_EQ(ValueOfN(LR"({"n":1,"n":"two"})"), L"0:\"two\"");
    EXPECT_EQ(ValueOfN(LR"({"n":"a\b"})"), L"0:\"a\\b\"") << "backslash is an ordinary character";
}

TEST(JsonParser, ReadsNumbersWithoutExponentsAsIntsOrDoubles) {
    struct Case {
        const wchar_t* number;
        const wchar_t* value;
    } cases[] = {
        {L"12", L"1:12"},
        {L"12.0", L"2:12"},
        {L"12.", L"2:12"},
        {L"-0.25", L"2:-0.25"},
        {L".5", L"2:0.5"},
        {L"-.5", L"2:-0.5"},
        {L"+7", L"1:7"},
        {L"-0", L"1:0"},
        {L"2147483647", L"1:2147483647"},
        {L"-2147483648", L"1:-2147483648"},
        {L"3000000000", L"1:-2147483648"},
        {L"-3000000000", L"1:-2147483648"},
        {L"0.123456789", L"2:0.123457"},
        {L"1.0000000000000000000000000000009", L"2:1"},  // long fractions are bounded
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ValueOfN(L"{\"n\":" + std::wstring(c.number) + L"}"), c.value) << c.number;
    }
    // Far beyond the double range: infinity, which still maps to the lowest int.
    EXPECT_EQ(ValueOfN(L"{\"n\":" + std::wstring(400, L'9') + L"}"), L"1:-2147483648");

    Outcome exact = Parse(LR"({"n":0.123456789})");
    auto* n = static_cast<const json::jsonDouble*>(exact.object.Find(L"n"));
    EXPECT_EQ(n->Value(), 123456789 / 1e9) << "nine fraction digits are read exactly";
    // A sign or point consumed by a failed number stays consumed before the word.
    EXPECT_EQ(ValueOfN(LR"({"n":-true})"), L"3:true");
}

TEST(JsonParser, ReportsEachErrorWithTheLineItWasFoundOn) {
    struct Case {
        const wchar_t* text;
        const wchar_t* error;
        int line;
    } cases[] = {
        {L"\n\n[1]", L"Expected {", 3},
        {L"", L"Expected {", 1},
        {L"{\n\"name", L"Expected property name", 2},
        {L"{\"a\"\n\n1}", L"Expected :", 3},
        {L"{\"a\":1,}", L"Expected :", 1},  // the bare name "}" runs to the end of the text
        {L"{\"a\":\n\"open}", L"Expected , or }", 2},
        {L"{\"a\":\"x\ny\",\n\"b\":yes}", L"Expected true / false", 2},  // not counted in strings
        {L"{\"a\":.}", L"Expected true / false", 1},
        {L"{\"a\":1\n\"b\":2}", L"Expected ,", 2},
        {L"{\"n\":1e3}", L"Expected ,", 1},
        {L"{\"a\":[1\n 2]}", L"Expected ,", 2},
        {L"{\"a\":[\"open]}", L"Expected value", 1},
        {L"{\"a\":[\ntrue]}", L"Expected number", 2},
        {L"{\"a\":[-]}", L"Expected number", 1},
    };
    for (const Case& c : cases) {
        Outcome parsed = Parse(c.text);
        EXPECT_FALSE(parsed.ok) << c.text;
        EXPECT_EQ(parsed.error, c.error) << c.text;
        EXPECT_EQ(parsed.line, c.line) << c.text;
    }

    // Only reachable through the array routine itself.
    int line = 1;
    std::wstring error;
    json::jsonArray array;
    EXPECT_FALSE(json::Parser(L" x", line, error).ParseArray(array));
    EXPECT_EQ(error, L"Expected [");
}

TEST(JsonParser, KeepsMembersReadBeforeAFailureAndDropsTheFailedNestedValue) {
    json::jsonObject object;
    object.SetInt(L"kept", 1);
    int line = 1;
    std::wstring error;
    EXPECT_FALSE(object.Parse(LR"({"a":1,"b":{"c":[2,{"d":3}],"e":yes}})", line, error));
    EXPECT_EQ(error, L"Expected true / false");
    EXPECT_EQ(Written(object), LR"({"a":1,"kept":1})");
}

TEST(JsonParser, RefusesAbsurdNestingWithoutExhaustingTheStack) {
    auto nested = [](int arrays) {
        return L"{\"a\":" + std::wstring(arrays, L'[') + std::wstring(arrays, L']') + L"}";
    };
    EXPECT_TRUE(Parse(nested(json::Parser::kMaxDepth - 1)).ok);
    Outcome deep = Parse(nested(json::Parser::kMaxDepth));
    EXPECT_FALSE(deep.ok);
    EXPECT_EQ(deep.error, L"Nesting deeper than 128 levels");

    std::wstring hostile;
    for (int i = 0; i < 200000; ++i) hostile += L"{\"a\":[";
    EXPECT_EQ(Parse(hostile).error, L"Nesting deeper than 128 levels");
}

TEST(JsonParser, EndsTheTextAtANullCharacterUnlessGivenItsLength) {
    const std::wstring text(L"{\"n\":\"x\0y\"}", 11);
    Outcome terminated = Parse(text);
    EXPECT_EQ(terminated.error, L"Expected , or }");

    json::jsonObject object;
    int line = 1;
    std::wstring error;
    ASSERT_TRUE(object.Parse(std::wstring_view(text), line, error)) << error;
    EXPECT_EQ(object.GetString(L"n")->Value(), std::wstring(L"x\0y", 3));

    EXPECT_FALSE(object.Parse(static_cast<const wchar_t*>(nullptr), line, error));
    EXPECT_EQ(error, L"Expected {");
}

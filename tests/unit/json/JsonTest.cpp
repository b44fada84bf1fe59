#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <locale>
#include <memory>
#include <sstream>

#include "common/Utf16.h"
#include "json/Parser.h"
#include "json/json.h"

namespace {

std::wstring Written(const json::jsonBase& value, json::Syntax syntax = json::Syntax::ProjectFile) {
    std::wostringstream out;
    value.WriteAs(out, syntax);
    return out.str();
}

struct Parsed {
    bool ok;
    json::jsonObject object;
    int line = 1;
    std::wstring error = L"untouched";
};

Parsed Parse(std::wstring_view text) {
    Parsed parsed{false, {}};
    parsed.ok = parsed.object.Parse(text, parsed.line, parsed.error);
    return parsed;
}

std::string Text(const std::wstring& text) { return Utf16::ToUtf8(text); }

}  // namespace

// Project-file texts read and written back: what the file holds after a load
// and a save. A clone writes the same, and the written text reads back to itself.
TEST(Json, ProjectFileTextsReadAndWriteBack) {
    const struct {
        std::wstring text;
        const wchar_t* written;  // nullptr: the text itself
    } cases[] = {
        {L" \r\n{ } trailing words", L"{}"},
        {LR"({"b":1,"a":2,"B":3,"baud":4,"Serial":TRUE,"ba":5})",  // UTF-16 code-unit order
         LR"({"B":3,"Serial":true,"a":2,"b":1,"ba":5,"baud":4})"},
        {L"{\"\uFF5E\":1,\"\U00010000\":2}", L"{\"\U00010000\":2,\"\uFF5E\":1}"},  // D800 first
        {LR"({a:1, b :fAlse,:Null})", LR"({"":null,"a":1,"b ":false})"},  // bare names to the colon
        {LR"({"n":1,"n":"two"})", LR"({"n":"two"})"},
        {LR"({"a":[1,2.5,"x",[],{"c":[{}]}],"o":{}})", nullptr},
        {L"{\"s\":\"C:\\dir\\\",\"t\":\"tab\tand\r\nline\",\"e\":\"\"}",  // \ is ordinary
         L"{\"e\":\"\",\"s\":\"C:\\dir\\\",\"t\":\"tab\tand\r\nline\"}"},
        {LR"({"say ""x""":"""hi""","q":"a"""})", LR"({"q":"a""","say ""x""":"""hi"""})"},
    };
    for (const auto& c : cases) {
        const std::wstring written = c.written ? c.written : c.text;
        Parsed parsed = Parse(c.text);
        ASSERT_TRUE(parsed.ok) << Text(c.text) << ": " << Text(parsed.error);
        EXPECT_EQ(parsed.error, L"untouched") << "success leaves the error text alone";
        EXPECT_EQ(Written(parsed.object), written) << Text(c.text);
        EXPECT_EQ(Written(*std::unique_ptr<json::jsonBase>(parsed.object.Clone())), written);
        EXPECT_EQ(Written(Parse(written).object), written) << Text(written);
    }
}

TEST(Json, ReadsNumbersWithoutExponentsAsIntsOrDoubles) {
    const struct {
        std::wstring number;
        int type;
        const wchar_t* value;
    } cases[] = {
        {L"12", json::TypeInt, L"12"},
        {L"12.0", json::TypeDouble, L"12"},
        {L"12.", json::TypeDouble, L"12"},
        {L"-0.25", json::TypeDouble, L"-0.25"},
        {L".5", json::TypeDouble, L"0.5"},
        {L"+7", json::TypeInt, L"7"},
        {L"-0", json::TypeInt, L"0"},
        {L"2147483647", json::TypeInt, L"2147483647"},
        {L"-2147483648", json::TypeInt, L"-2147483648"},
        {L"3000000000", json::TypeInt, L"-2147483648"},  // out of range: the lowest int
        {L"-3000000000", json::TypeInt, L"-2147483648"},
        {std::wstring(400, L'9'), json::TypeInt, L"-2147483648"},  // even beyond doubles
        {L"0.123456789", json::TypeDouble, L"0.123457"},
        {L"1.0000000000000000000000000000009", json::TypeDouble, L"1"},  // long fractions bounded
        {L"-true", json::TypeBool, L"true"},  // a consumed sign stays consumed
    };
    for (const auto& c : cases) {
        Parsed parsed = Parse(L"{\"n\":" + c.number + L"}");
        ASSERT_TRUE(parsed.ok && parsed.object.Find(L"n")) << Text(c.number);
        EXPECT_EQ(parsed.object.Find(L"n")->Type(), c.type) << Text(c.number);
        EXPECT_EQ(Written(*parsed.object.Find(L"n")), c.value) << Text(c.number);
    }
    Parsed nine = Parse(L"{\"n\":0.123456789}");
    auto* exact = static_cast<const json::jsonDouble*>(nine.object.Find(L"n"));
    EXPECT_EQ(exact->Value(), 123456789 / 1e9) << "nine fraction digits are read exactly";
}

TEST(Json, ReportsEachErrorWithItsLineAndKeepsWhatWasReadBefore) {
    const struct {
        std::wstring text;
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
        {L"{\"a\":" + std::wstring(128, L'[') + std::wstring(128, L']') + L"}",
         L"Nesting deeper than 128 levels", 1},
    };
    for (const auto& c : cases) {
        Parsed parsed = Parse(c.text);
        EXPECT_FALSE(parsed.ok) << Text(c.text);
        EXPECT_EQ(parsed.error, c.error) << Text(c.text);
        EXPECT_EQ(parsed.line, c.line) << Text(c.text);
    }
    EXPECT_TRUE(Parse(L"{\"a\":" + std::wstring(127, L'[') + std::wstring(127, L']') + L"}").ok);
    std::wstring hostile;
    for (int i = 0; i < 200000; ++i) hostile += L"{\"a\":[";
    EXPECT_EQ(Parse(hostile).error, L"Nesting deeper than 128 levels") << "the stack holds";

    json::jsonObject object;
    object.SetInt(L"kept", 1);
    int line = 1;
    std::wstring error;
    EXPECT_FALSE(object.Parse(LR"({"a":1,"b":{"c":[2,{"d":3}],"e":yes}})", line, error));
    EXPECT_EQ(Written(object), LR"({"a":1,"kept":1})") << "the failed nested value is dropped";

    // The pointer form ends at a null character; the view form reads it.
    const std::wstring nul(L"{\"n\":\"x\0y\"}", 11);
    EXPECT_FALSE(object.Parse(nul.c_str(), line, error));
    EXPECT_EQ(error, L"Expected , or }");
    ASSERT_TRUE(object.Parse(std::wstring_view(nul), line, error));
    EXPECT_EQ(object.GetString(L"n")->Value(), std::wstring(L"x\0y", 3));
    EXPECT_FALSE(object.Parse(static_cast<const wchar_t*>(nullptr), line, error));
    json::jsonArray array;
    EXPECT_FALSE(json::Parser(L" x", line, error).ParseArray(array));
    EXPECT_EQ(error, L"Expected [");
}

TEST(Json, KeepsEveryHeldTextThroughAProjectFileSaveAndLoad) {
    const std::wstring texts[] = {
        // clang-format off
        L"\"", L"\"\"", L"a\"", L"\"a", L"\\\"", L"x\",\"injected\":\"y", L"\\",
        {L"nul\0inside", 10}, L"\x01\x1f\x7f\r\n\t\b\f", L"\U0001D11E \u00E9",
        std::wstring(1, wchar_t(0xD800)) + L"lone",
        // clang-format on
    };
    for (const std::wstring& text : texts) {
        json::jsonObject saved;
        saved.SetString(text, text);
        Parsed loaded = Parse(Written(saved));
        ASSERT_TRUE(loaded.ok) << Text(Written(saved)) << ": " << Text(loaded.error);
        ASSERT_NE(loaded.object.GetString(text), nullptr) << Text(Written(saved));
        EXPECT_EQ(loaded.object.GetString(text)->Value(), text) << Text(Written(saved));
        EXPECT_EQ(loaded.line, 1) << "line feeds inside strings are not counted";
    }
}

TEST(Json, WritesStandardJsonForOtherPrograms) {
    json::jsonObject object;
    object.SetString(L"k\"", L"say \"hi\" \\ \n\r\t\b\f\x01\x1f\x7f \u00E9 \U0001D11E");
    object.SetString(L"lone", std::wstring(1, wchar_t(0xDC00)) + L"x" +
                                  std::wstring(1, wchar_t(0xD800)) + L"\uFFFF");
    json::jsonArray numbers;
    numbers.Add(std::make_unique<json::jsonDouble>(HUGE_VAL));
    numbers.Add(std::make_unique<json::jsonDouble>(std::nan("")));
    numbers.Add(std::make_unique<json::jsonDouble>(1234567.0));
    object.SetArray(L"numbers", numbers);
    EXPECT_EQ(
        Written(object, json::Syntax::Rfc8259),
        L"{\"k\\\"\":\"say \\\"hi\\\" \\\\ \\n\\r\\t\\b\\f\\u0001\\u001F\x7f \u00E9 "
        L"\U0001D11E\",\"lone\":\"\\uDC00x\\uD800\\uFFFF\",\"numbers\":[null,null,1.23457e+06]}");
}

TEST(Json, WritesScalarsAsADefaultStreamWouldWhateverTheCallersStreamSettings) {
    const std::pair<std::unique_ptr<json::jsonBase>, const wchar_t*> cases[] = {
        {std::make_unique<json::jsonInt>(INT_MIN), L"-2147483648"},
        {std::make_unique<json::jsonDouble>(3.0), L"3"},
        {std::make_unique<json::jsonDouble>(1234567.0), L"1.23457e+06"},
        {std::make_unique<json::jsonDouble>(0.00001), L"1e-05"},
    };
    struct Grouping : std::numpunct<wchar_t> {
        std::string do_grouping() const override { return "\3"; }
    };
    for (const auto& [value, text] : cases) {
        std::wostringstream odd;
        odd.imbue(std::locale(odd.getloc(), new Grouping));
        odd.precision(2);
        odd.width(12);
        value->Write(odd);
        EXPECT_EQ(odd.str(), text);
    }
}

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>

#include "json/json.h"

namespace {

std::wstring Written(const json::jsonBase& value, json::Syntax syntax) {
    std::wostringstream out;
    value.WriteAs(out, syntax);
    return out.str();
}

std::wstring ProjectFileText(const std::wstring& text) {
    json::jsonObject object;
    object.SetString(L"s", text);
    return Written(object, json::Syntax::ProjectFile);
}

}  // namespace

TEST(JsonQuoting, WritesTextsWithoutQuotesToTheProjectFileExactlyAsHeld) {
    EXPECT_EQ(ProjectFileText(L"C:\\dir\\"), L"{\"s\":\"C:\\dir\\\"}");
    EXPECT_EQ(ProjectFileText(L"tab\there\r\nline"), L"{\"s\":\"tab\there\r\nline\"}");
    EXPECT_EQ(ProjectFileText(L""), L"{\"s\":\"\"}");
}

TEST(JsonQuoting, DoublesQuotesInProjectFileNamesAndStrings) {
    json::jsonObject object;
    object.SetString(L"say \"x\"", L"\"hi\"");
    EXPECT_EQ(Written(object, json::Syntax::ProjectFile), LR"({"say ""x""":"""hi"""})");
}

TEST(JsonQuoting, ReadsFilesOfTheUnquotingWriterExactlyAsBefore) {
    // Text such a writer produced: a trailing backslash right before the closing
    // quote, and an injected member made of a held text with quotes in it.
    json::jsonObject object;
    int line = 1;
    std::wstring error;
    ASSERT_TRUE(object.Parse(LR"({"path":"C:\dir\","a":"x","b":"y","e":""})", line, error))
        << error;
    EXPECT_EQ(object.GetString(L"path")->Value(), L"C:\\dir\\");
    EXPECT_EQ(object.GetString(L"a")->Value(), L"x");
    EXPECT_EQ(object.GetString(L"b")->Value(), L"y");
    EXPECT_EQ(object.GetString(L"e")->Value(), L"");
}

TEST(JsonQuoting, KeepsEveryHeldTextThroughAProjectFileSaveAndLoad) {
    const std::wstring texts[] = {
        L"\"",
        L"\"\"",
        L"a\"",
        L"\"a",
        L"\\\"",
        L"x\",\"injected\":\"y",
        L"\\",
        std::wstring(L"nul\0inside", 10),
        L"\x01\x1f\x7f\r\n\t\b\f",
        L"\U0001D11E \u00E9",
        std::wstring(1, static_cast<wchar_t>(0xD800)) + L"lone",
    };
    for (const std::wstring& text : texts) {
        json::jsonObject saved;
        saved.SetString(text, text);
        std::wstring file = Written(saved, json::Syntax::ProjectFile);
        json::jsonObject loaded;
        int line = 1;
        std::wstring error;
        ASSERT_TRUE(loaded.Parse(std::wstring_view(file), line, error)) << file << ": " << error;
        ASSERT_NE(loaded.GetString(text), nullptr) << file;
        EXPECT_EQ(loaded.GetString(text)->Value(), text) << file;
        EXPECT_EQ(line, 1) << "line feeds inside strings are not counted";
    }
}

TEST(JsonQuoting, WritesStandardJsonEscapesForOtherPrograms) {
    json::jsonObject object;
    object.SetString(L"k\"", L"say \"hi\" \\ \n\r\t\b\f\x01\x1f\x7f \u00E9 \U0001D11E");
    EXPECT_EQ(Written(object, json::Syntax::Rfc8259),
              L"{\"k\\\"\":\"say \\\"hi\\\" \\\\ \\n\\r\\t\\b\\f\\u0001\\u001F\x7f \u00E9 "
              L"\U0001D11E\"}");

    json::jsonObject lone;
    lone.SetString(L"s", std::wstring(1, static_cast<wchar_t>(0xDC00)) + L"x" +
                             std::wstring(1, static_cast<wchar_t>(0xD800)));
    EXPECT_EQ(Written(lone, json::Syntax::Rfc8259), L"{\"s\":\"\\uDC00x\\uD800\"}");

    json::jsonObject weof;
    weof.SetString(L"s", L"\uFFFF");
    EXPECT_EQ(Written(weof, json::Syntax::Rfc8259), L"{\"s\":\"\\uFFFF\"}");

    json::jsonArray numbers;
    numbers.Add(std::make_unique<json::jsonDouble>(HUGE_VAL));
    numbers.Add(std::make_unique<json::jsonDouble>(std::nan("")));
    numbers.Add(std::make_unique<json::jsonDouble>(1234567.0));
    EXPECT_EQ(Written(numbers, json::Syntax::Rfc8259), L"[null,null,1.23457e+06]");
}

#include <gtest/gtest.h>

#include "publish/WebTarget.h"

namespace {

using Values = std::vector<std::wstring>;

TEST(WebTarget, TakesThePathUpToTheFirstCharacterOutsideLettersDigitsAndSlashes) {
    EXPECT_EQ(WebTarget::Parse(L"/subscribe/").path, L"subscribe/");
    EXPECT_EQ(WebTarget::Parse(L"/100.5").path, L"100");
    EXPECT_EQ(WebTarget::Parse(L"/").path, L"");
    EXPECT_EQ(WebTarget::Parse(L"subscribe").path, L"") << "a target must start with /";
    EXPECT_EQ(WebTarget::Parse(L"/ident%3F").path, L"ident") << "an escaped ? is no query";
}

TEST(WebTarget, AcceptsTheThreeSeparatorsBetweenNameAndValue) {
    WebTarget target = WebTarget::Parse(L"/subscribe?item%5B%5D=5&item[]=6&item=7");
    EXPECT_EQ(target.Values(L"item"), (Values{L"5", L"6", L"7"}));
}

TEST(WebTarget, CollectsRepeatedNamesAndEmptyNamesAndValues) {
    WebTarget target = WebTarget::Parse(L"/x?item=1&=2&item=&value=a_B9");
    EXPECT_EQ(target.Values(L"item"), (Values{L"1", L""}));
    EXPECT_EQ(target.Values(L""), (Values{L"2"}));
    EXPECT_EQ(target.Values(L"value"), (Values{L"a_B9"}));
}

TEST(WebTarget, StopsAtTheFirstCharacterThatFitsNowhereAndKeepsWhatWasRead) {
    // "-" is no value character: the value ends and so do the parameters.
    WebTarget minus = WebTarget::Parse(L"/subscribe?item=-5&item=6");
    EXPECT_EQ(minus.Values(L"item"), (Values{L""}));
    WebTarget suffix = WebTarget::Parse(L"/subscribe?item=5x&item=6");
    EXPECT_EQ(suffix.Values(L"item"), (Values{L"5x", L"6"}));
    WebTarget noSeparator = WebTarget::Parse(L"/ident?item=1&value&item=2");
    EXPECT_EQ(noSeparator.Values(L"item"), (Values{L"1"}));
    EXPECT_TRUE(noSeparator.Values(L"value").empty());
    WebTarget other = WebTarget::Parse(L"/ident?item=1;value=2");
    EXPECT_EQ(other.Values(L"item"), (Values{L"1"}));
    EXPECT_TRUE(other.Values(L"value").empty());
}

TEST(WebTarget, ReadsTheLeadingNumberKeptTo16Bits) {
    EXPECT_EQ(LeadingNumber16(L"100"), 100);
    EXPECT_EQ(LeadingNumber16(L"5x"), 5);
    EXPECT_EQ(LeadingNumber16(L"x5"), 0);
    EXPECT_EQ(LeadingNumber16(L""), 0);
    EXPECT_EQ(LeadingNumber16(L"65536"), 0);
    EXPECT_EQ(LeadingNumber16(L"70000"), 4464);
    EXPECT_EQ(LeadingNumber16(L"123456789012"), 123456789012 % 65536) << "any length";
}

}  // namespace

#include "common/CodePage.h"

#include <gtest/gtest.h>

TEST(CodePage, RoundTripsEveryByteUnchanged) {
    std::string all;
    for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
    EXPECT_EQ(CodePage::NarrowFromWide(CodePage::WideFromNarrow(all)), all);
}

TEST(CodePage, KeepsDegreeSignThroughSaveAndOpen) {
    std::wstring celsius = L"\u00B0C";
    std::string stored = CodePage::NarrowFromWide(celsius);
    EXPECT_EQ(CodePage::WideFromNarrow(stored), celsius);
}

TEST(CodePage, MapsAsciiToItself) {
    EXPECT_EQ(CodePage::NarrowFromWide(L"Pump 7: ok"), "Pump 7: ok");
    EXPECT_EQ(CodePage::WideFromNarrow("Pump 7: ok"), L"Pump 7: ok");
}

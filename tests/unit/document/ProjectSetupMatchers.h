#pragma once

#include <gtest/gtest.h>

#include <string>

#include "common/Utf16.h"
#include "document/ProjectSetup.h"

// Wide and UTF-16 texts for failure messages.
inline std::string Text(const std::wstring& text) { return Utf16::ToUtf8(text); }
inline std::string Text(const std::u16string& text) { return Utf16::ToUtf8(Utf16::ToWide(text)); }

inline void ExpectPoll(const Poll& poll, uint8_t function, uint16_t start, uint16_t size,
                       int32_t preset) {
    EXPECT_EQ(poll.FunctionCode(), function);
    EXPECT_EQ(poll.start, start) << "function " << int(function);
    EXPECT_EQ(poll.size, size) << "function " << int(function);
    EXPECT_EQ(poll.formatpreset, preset) << "function " << int(function);
}

// Every member, values by type, 8-byte slot and text.
inline void ExpectSameSetup(const ProjectSetup& actual, const ProjectSetup& expected) {
    EXPECT_EQ(actual.host, expected.host);
    EXPECT_EQ(actual.port, expected.port);
    EXPECT_EQ(actual.protocol, expected.protocol);
    EXPECT_EQ(actual.modbusaddress, expected.modbusaddress);
    EXPECT_EQ(actual.pollrate, expected.pollrate);
    EXPECT_EQ(actual.timeout, expected.timeout);
    EXPECT_EQ(actual.retries, expected.retries);
    EXPECT_TRUE(actual.line == expected.line);
    EXPECT_EQ(actual.serial, expected.serial);
    EXPECT_EQ(actual.webport, expected.webport);
    ASSERT_EQ(actual.polls.size(), expected.polls.size());
    for (size_t i = 0; i < actual.polls.size(); ++i) {
        const Poll& want = expected.polls[i];
        SCOPED_TRACE("poll " + std::to_string(i));
        ExpectPoll(actual.polls[i], want.FunctionCode(), want.start, want.size, want.formatpreset);
    }
    ASSERT_EQ(actual.datamap.size(), expected.datamap.size());
    auto want = expected.datamap.entries().begin();
    for (const auto& [address, entry] : actual.datamap.entries()) {
        SCOPED_TRACE("address " + std::to_string(address));
        EXPECT_EQ(address, want->first);
        EXPECT_EQ(entry.item.type, want->second.item.type);
        EXPECT_EQ(entry.item.RawValue(), want->second.item.RawValue());
        EXPECT_EQ(entry.item.text, want->second.item.text);
        EXPECT_EQ(entry.ddeLink, want->second.ddeLink);
        ++want;
    }
}

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/CliOptions.h"

namespace {

CliParse Parse(std::vector<std::string> arguments) { return ParseCliOptions(arguments); }

TEST(CliOptions, ReadsEveryOptionInBothSpellings) {
    CliParse p = Parse({"--seconds", "5", "--do-poll=2", "--save", "out.xmb", "--log=t.log",
                        "--device", "/dev/pts/4", "--trace", "--host", "127.0.0.1", "--port=1502",
                        "--web-port", "8080", "--no-web", "plant.xmb"});
    ASSERT_EQ(p.error, "");
    const CliOptions& o = p.options;
    EXPECT_EQ(o.project, "plant.xmb");
    EXPECT_EQ(o.seconds, 5u);
    EXPECT_EQ(o.doPoll, 2u);
    EXPECT_EQ(o.savePath, "out.xmb");
    EXPECT_EQ(o.logPath, "t.log");
    EXPECT_EQ(o.device, "/dev/pts/4");
    EXPECT_TRUE(o.trace);
    EXPECT_EQ(o.host, "127.0.0.1");
    EXPECT_EQ(o.port, 1502);
    EXPECT_EQ(o.webPort, 8080);
    EXPECT_TRUE(o.noWeb);
}

TEST(CliOptions, RefusesWhatAScriptCouldHaveMeantOtherwise) {
    const std::vector<std::vector<std::string>> bad = {
        {},                            // no project
        {"a.xmb", "b.xmb"},            // two projects
        {"--seconds", "a.xmb"},        // value taken, then no project
        {"a.xmb", "--seconds"},        // missing value
        {"--seconds", "0", "a.xmb"},   // zero seconds
        {"--seconds", "5s", "a.xmb"},  // not a number
        {"--seconds", "-1", "a.xmb"},  // negative
        {"--port", "65536", "a.xmb"},  // out of range
        {"--do-poll", "x", "a.xmb"},   // not a number
        {"--trace=yes", "a.xmb"},      // a flag with a value
        {"--save=", "a.xmb"},          // empty value
        {"--verbose", "a.xmb"},        // unknown
        {"-", "a.xmb"},                // standard input is no project
    };
    for (const auto& arguments : bad) {
        std::string joined;
        for (const auto& a : arguments) joined += a + " ";
        EXPECT_NE(Parse(arguments).error, "") << joined;
    }
}

TEST(CliOptions, TakesAProjectNamedLikeAnOptionAfterDoubleDash) {
    CliParse p = Parse({"--", "--odd.xmb"});
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.options.project, "--odd.xmb");
    EXPECT_EQ(Parse({"--help"}).error, "") << "help needs no project";
}

}  // namespace

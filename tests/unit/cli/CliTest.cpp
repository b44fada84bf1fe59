#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/MasterCli.h"
#include "cli/RowOutput.h"

namespace {

namespace fs = std::filesystem;

TEST(CliOptions, ReadsEveryOptionInBothSpellingsAndRefusesWhatAScriptCouldMeanOtherwise) {
    CliParse p =
        ParseCliOptions({"--seconds", "5", "--do-poll=2", "--save", "out.xmb", "--log=t.log",
                         "--device", "/dev/pts/4", "--trace", "--host", "127.0.0.1", "--port=1502",
                         "--web-port", "8080", "--no-web", "--", "--plant.xmb"});
    ASSERT_EQ(p.error, "");
    const CliOptions& o = p.options;
    EXPECT_EQ(o.project, "--plant.xmb") << "after --, a project named like an option";
    EXPECT_EQ(o.seconds, 5u);
    EXPECT_EQ(o.doPoll, 2u);
    EXPECT_EQ(o.savePath + o.logPath + o.device + *o.host, "out.xmbt.log/dev/pts/4127.0.0.1");
    EXPECT_TRUE(o.trace && o.noWeb);
    EXPECT_EQ(o.port, 1502);
    EXPECT_EQ(o.webPort, 8080);
    EXPECT_EQ(ParseCliOptions({"--help"}).error, "") << "help needs no project";

    const std::vector<std::vector<std::string>> bad = {{},
                                                       {"a.xmb", "b.xmb"},
                                                       {"--seconds", "a.xmb"},
                                                       {"a.xmb", "--seconds"},
                                                       {"--seconds", "0", "a.xmb"},
                                                       {"--seconds", "5s", "a.xmb"},
                                                       {"--seconds", "-1", "a.xmb"},
                                                       {"--port", "65536", "a.xmb"},
                                                       {"--do-poll", "x", "a.xmb"},
                                                       {"--trace=yes", "a.xmb"},
                                                       {"--save=", "a.xmb"},
                                                       {"--verbose", "a.xmb"},
                                                       {"-", "a.xmb"}};
    for (const auto& arguments : bad) {
        std::string joined;
        for (const auto& a : arguments) joined += a + " ";
        EXPECT_NE(ParseCliOptions(arguments).error, "") << joined;
    }
}

std::string Contents(const fs::path& path, std::ios::openmode mode = std::ios::in) {
    std::ifstream file(path, mode);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

// The program's body as its integration tests run it, here also under TSan and
// Wine: a stop before any reply still saves the values, with the project's own
// slave rather than this run's, and the log holds every row printed. The web
// interface stays off: the case must not take a port another program uses.
TEST(MasterCli, AStopBeforeAnyReplySavesTheValuesWithTheProjectsOwnSlaveAndLogsEachRow) {
    const fs::path folder = fs::temp_directory_path() / "kestrom-cli-unit";
    fs::create_directories(folder);
    CliOptions options;
    options.project = (folder / "p.xmb").string();
    std::ofstream project(options.project, std::ios::binary);  // UTF-16LE with a BOM
    project << "\xFF\xFE";
    for (char c : std::string(
             R"({"host": "127.0.0.1", "port": 1, "polls": [{"function": 3, "formatpreset": 1,)"
             R"( "start": 7, "size": 1}], "datamap": [{"addr": 7, "type": 2,)"
             R"( "value": "42"}]})"))
        project.put(c).put('\0');
    project.close();
    options.port = 2;  // this run's slave, not the project's
    options.savePath = (folder / "saved.xmb").string();
    options.logPath = (folder / "traffic.log").string();
    options.noWeb = true;
    std::FILE* out = std::tmpfile();
    std::atomic<bool> stop{true};
    EXPECT_EQ(RunMasterCli(options, stop, out, stderr), CliStatus::Ok);
    std::string printed;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) printed += static_cast<char>(c);
    std::fclose(out);

    std::string bytes = Contents(options.savePath, std::ios::binary), text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
    EXPECT_NE(text.find(R"({"addr":7,"type":2,"value":"42"})"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("port":1,)"), std::string::npos) << text;
    EXPECT_EQ(Contents(options.logPath), printed);
    fs::remove_all(folder);
}

TEST(RowOutput, ShowsRowsAtOnceOnATerminalElseWhenQuietOverdueOrAtTheEnd) {
    const fs::path path = fs::temp_directory_path() / "kestrom-row-output.txt";
    std::FILE* file = std::fopen(path.string().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    {
        RowOutput terminal(file, true);
        terminal.Line("row");
        EXPECT_FALSE(terminal.Pending()) << "a terminal shows each row as it comes";
    }
    {
        RowOutput pipe(file, false);
        pipe.Line("one");
        pipe.FlushIfOverdue();
        EXPECT_TRUE(pipe.Pending()) << "rows coming fast are written in blocks";
        pipe.FlushIfQuiet();
        EXPECT_FALSE(pipe.Pending()) << "a quiet moment shows what waits";
        pipe.Line("two");
        std::this_thread::sleep_for(RowOutput::MaxDelay);
        pipe.Line("three");
        pipe.FlushIfOverdue();
        EXPECT_FALSE(pipe.Pending()) << "no row waits longer than MaxDelay while others follow";
        pipe.Line("four");
        EXPECT_TRUE(pipe.Pending());
    }
    std::fclose(file);
    std::ifstream in(path, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, "row\none\ntwo\nthree\nfour\n") << "the end shows the rest";
    in.close();
    fs::remove(path);
}

}  // namespace

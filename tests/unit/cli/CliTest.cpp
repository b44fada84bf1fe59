#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/MasterCli.h"
#include "cli/TrafficRow.h"
#include "protocol/ModbusPacket.h"
#include "protocol/ProtocolTable.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

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

// The program's body with a project file in a temporary folder. The web
// interface stays off: these cases must not take a port another program uses.
class MasterCli : public ::testing::Test {
  protected:
    MasterCli() { fs::create_directories(folder_); }
    ~MasterCli() override { fs::remove_all(folder_); }

    // A project file as the program writes them: UTF-16LE with a BOM.
    std::string Project(const std::string& text) {
        std::ofstream file(folder_ / "p.xmb", std::ios::binary);
        file.put('\xFF').put('\xFE');
        for (char c : text) file.put(c).put('\0');
        return (folder_ / "p.xmb").string();
    }
    std::string Path(const std::string& name) const { return (folder_ / name).string(); }

    int Run(CliOptions options, bool stopAtOnce = false) {
        options.noWeb = true;
        std::FILE* files[2] = {std::tmpfile(), std::tmpfile()};
        std::atomic<bool> stop{stopAtOnce};
        int status = RunMasterCli(options, stop, files[0], files[1]);
        for (int i = 0; i < 2; ++i) {
            std::string& text = i == 0 ? out : err;
            std::rewind(files[i]);
            for (int c; (c = std::fgetc(files[i])) != EOF;) text += static_cast<char>(c);
            std::fclose(files[i]);
        }
        return status;
    }

    fs::path folder_ =
        fs::temp_directory_path() /
        ("kestrom-cli-" +
         std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    std::string out, err;
};

TEST_F(MasterCli, ABadProjectOrPollGivesStatusTwoAndOneLineBeforeAnythingIsSent) {
    CliOptions options;
    options.project = Path("missing.xmb");
    EXPECT_EQ(Run(options), CliStatus::BadInput);
    EXPECT_EQ(err.rfind("kestrom-master-cli: " + options.project + ": ", 0), 0u) << err;

    options.project = Project("{\r\n\"polls\": [\r\n {\"function\": 3,,}]}");
    EXPECT_EQ(Run(options), CliStatus::BadInput);
    options.project = Project(
        R"({"port": 1, "polls": [{"function": 3, "start": 0, "size": 1, "formatpreset": 1}]})");
    options.doPoll = 1;
    EXPECT_EQ(Run(options), CliStatus::BadInput);
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << "one line each: " << err;
    EXPECT_NE(err.find("p.xmb: Expected : (line 3)\n"), std::string::npos) << err;
    EXPECT_NE(err.find("--do-poll 1"), std::string::npos) << err;
    EXPECT_EQ(out, "") << "nothing ran";
}

TEST_F(MasterCli, AStopBeforeAnyReplySavesTheValuesWithTheProjectsOwnSlaveAndLogsEachRow) {
    CliOptions options;
    options.project = Project(
        R"({"host": "127.0.0.1", "port": 1, "polls": [{"function": 3, "start": 7, "size": 1}],)"
        R"( "datamap": [{"addr": 7, "type": 2, "value": "42"}]})");
    options.port = 2;  // this run's slave, not the project's
    options.savePath = Path("saved.xmb");
    options.logPath = Path("traffic.log");
    EXPECT_EQ(Run(options, true), CliStatus::Ok) << err;

    std::ifstream saved(options.savePath, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(saved)), {}), text;
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) text += bytes[i];
    EXPECT_NE(text.find(R"({"addr":7,"type":2,"value":"42"})"), std::string::npos) << text;
    EXPECT_NE(text.find(R"("port":1,)"), std::string::npos) << text;
    std::ifstream log(options.logPath);
    EXPECT_EQ(std::string((std::istreambuf_iterator<char>(log)), {}), out);
}

TEST_F(MasterCli, ASlaveThatCannotBeReachedEndsTheRunWithStatusOne) {
    CliOptions options;
    // Port 1 on loopback: nothing listens, the connection is refused at once.
    options.project = Project(R"({"host": "127.0.0.1", "port": 1, "retries": 1, "timeout": 20,)"
                              R"( "polls": [{"function": 3, "start": 0, "size": 1}]})");
    options.seconds = 20;
    EXPECT_EQ(Run(options), CliStatus::Failed) << out;
    EXPECT_NE(out.find("  Attempting to connect. \n"), std::string::npos) << out;
    EXPECT_NE(out.find("  Connection Failed. \n"), std::string::npos) << out;
    EXPECT_NE(err.find("could not be reached"), std::string::npos) << err;
}

ModbusPacket Packet(std::uint8_t protocol, bool request, Bytes bytes) {
    ModbusPacket packet(protocol, request ? 1 : 0);
    packet.bytes = std::move(bytes);
    return packet;
}

TEST(TrafficRow, DescribesEachKindOfPacketFromItsOwnBytes) {
    const struct {
        std::uint8_t protocol;
        bool request;
        Bytes bytes;
        const char* expected;
    } cases[] = {
        {Protocol::Tcp,
         true,
         {0x00, 0x01, 0x00, 0x00, 0x00, 0x06,   // MBAP: id 1, protocol 0, length 6
          0x01, 0x03, 0x00, 0x00, 0x00, 0x0A},  // slave 1, function 3, start 0, quantity 10
         "Poll 03: Read Input Registers 0 to 9"},
        {Protocol::Tcp,
         false,
         {0x00, 0x01, 0x00, 0x00, 0x00, 0x17, 0x01, 0x03, 0x14},  // byte count 20, data left out
         "Reply 03: Read Input Registers with 20 bytes of data"},
        {Protocol::Rtu, false, {0x01, 0x41, 0x04}, "Reply 65: Daniel Read Floats with 4 items"},
        {Protocol::Rtu,
         true,
         {0x01, 0x06, 0x00, 0x07, 0x12, 0x34, 0x00, 0x00},  // CRC unchecked
         "Poll 06: Write Single Register 7"},
        {Protocol::Tcp,
         true,
         {0x00, 0x02, 0x00, 0x00, 0x00, 0x07, 0x01, 0x43,  // MBAP, slave 1, function 67
          0x00, 0x01, 0x00, 0x00, 0x02},                   // start 65536, 2 items
         "Poll 67: Daniel Read Doubles 65536 to 65537"},
        {Protocol::Rtu,
         false,
         {0x01, 0x10, 0x00, 0x28, 0x00, 0x02, 0x00, 0x00},
         "Reply 16: Force Multiple Registers"},
        {Protocol::Rtu, false, {0x01, 0x83, 0x02, 0x00, 0x00}, ""},  // exception: not in the table
        {Protocol::Rtu, true, {0x01, 0x07}, ""},
        {Protocol::Tcp, true, {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01}, ""},  // no function yet
        // Cut short: the packet's own start 0 and count 0, the last address not wrapped.
        {Protocol::Rtu, true, {0x01, 0x01}, "Poll 01: Read Coils 0 to -1"},
    };
    for (const auto& c : cases) {
        ModbusPacket packet = Packet(c.protocol, c.request, c.bytes);
        EXPECT_EQ(Narrow(PacketDescription(packet, c.protocol)), c.expected) << c.expected;
    }
    EXPECT_EQ(Narrow(ReceivedRow(Packet(Protocol::Rtu, false, {0x01, 0x83, 0x02}), Protocol::Rtu)
                         .description),
              "Unknown");
}

TEST(TrafficRow, GivesStatesTimeoutsBytesAndLogLinesTheirTexts) {
    const char* states[] = {"Attempting to connect.", "Connected", "Connection Lost",
                            "Connection Failed.", "Connection Closed"};
    for (std::uint32_t state = 0; state < 5; ++state)
        EXPECT_EQ(Narrow(ConnectionStateText(state).value_or(L"none")), states[state]);
    EXPECT_FALSE(ConnectionStateText(5).has_value()) << "a state outside 0..4 adds no row";
    EXPECT_EQ(Narrow(TimeoutRetryRow().description), "Timeout. Retrying.");
    EXPECT_EQ(Narrow(TimeoutGiveUpRow().description), "Timeout. Giving up.");
    EXPECT_EQ(HexContent(Bytes{0x00, 0x0A, 0xFF}), L"00 0A FF ");
    EXPECT_EQ(HexContent(Bytes(400, 0xAB)).size(), kMaxHexBytes * 3) << "what the column holds";

    ModbusPacket request =
        Packet(Protocol::Tcp, true,
               {0x00, 0x01, 0x00, 0x00, 0x00, 0x06, 0x01, 0x03, 0x00, 0x00, 0x00, 0x0A});
    EXPECT_EQ(Narrow(LogLine(TimeText(9, 5, 7, 42), SentRow(request, Protocol::Tcp))),
              "09:05:07:042 TX Poll 03: Read Input Registers 0 to 9 "
              "00 01 00 00 00 06 01 03 00 00 00 0A ");
    EXPECT_EQ(Narrow(LogLine(TimeText(23, 59, 59, 999), TrafficRow{L"", L"Connected", L""})),
              "23:59:59:999  Connected ");
    EXPECT_EQ(LocalTimeText().size(), 12u) << Narrow(LocalTimeText());
}

}  // namespace

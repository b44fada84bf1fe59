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

// When the rows are handed to the system: at once on a terminal; otherwise
// at a quiet moment, once the oldest has waited MaxDelay, and at the end.
// (What a reader in the same process would see of an open file differs
// between C libraries, so the test watches what waits instead.)
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

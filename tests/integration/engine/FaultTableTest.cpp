// The masters against the simulator's faults, one table row each: the TCP
// master over loopback with MBAP framing and the RTU master on a socat pty
// pair. Each row polls holding registers 0 and 1 (the slave holds 10 and 20,
// the data map starts at 0) until the third request has gone out, and checks
// what the master showed (its traffic events, as the monitor turns them into
// rows) and that the data map holds values only when a reply was accepted.
#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "MasterRig.h"
#include "PeerSlave.h"
#include "protocol/TrafficRow.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

enum class Link { Tcp, Rtu };
enum class Stored { Values, Nothing };

struct Row {
    std::string name;
    Link link;
    std::vector<std::string> faults;  // the simulator's --fault options
    const char* shown;                // the master's events after "connecting up", see Word
    Stored stored;
};

// One word per event: "tx" a request; "rx" and the byte count a reply the
// monitor names, with "?" a reply it shows as "Unknown"; "retry", "giveup";
// the link states "connecting", "up", "lost", "failed", "closed".
std::string Word(const Notification& n) {
    switch (n.event) {
        case EventPacketSent:
            return "tx";
        case EventPacketReceived:
            return "rx" + std::to_string(n.packet->bytes.size()) +
                   (PacketDescription(*n.packet).empty() ? "?" : "");
        case EventTimeoutRetry:
            return "retry";
        case EventTimeoutGiveUp:
            return "giveup";
        case EventConnectionState: {
            static const char* const states[] = {"connecting", "up", "lost", "failed", "closed"};
            return n.wParam < 5 ? states[n.wParam] : "state" + std::to_string(n.wParam);
        }
        default:
            return {};
    }
}

class FaultTable : public testing::TestWithParam<Row> {
  protected:
    // Runs the row's master until its third request, or 10 seconds; the
    // events in words, joined by spaces.
    std::string Run(const Row& row) {
        std::vector<std::string> options = {"--set", "hr:0-1=10,20"};
        for (const std::string& fault : row.faults)
            options.insert(options.end(), {"--fault", fault});
        MasterRig rig;
        rig.settings.pollrate = 50;
        rig.settings.timeout = 400;
        rig.settings.retries = 2;
        rig.settings.polls = {MakeTestPoll(3, 0, 2)};
        MapRegisters(rig.settings.datamap, 0, 2);
        std::string error;
        PeerProcess simulator;
        std::optional<PtyPair> pair;
        uint16_t port = 0;
        if (row.link == Link::Tcp && StartTcpSimulator(simulator, options, port, error)) {
            rig.Tcp(port);
        } else if (row.link == Link::Rtu && pair.emplace().Ready() &&
                   StartSimulator(simulator, pair->slaveEnd, options, error)) {
            rig.Serial(pair->masterEnd);
        } else {
            ADD_FAILURE() << (pair ? pair->error : "") << error;
            return {};
        }
        EXPECT_TRUE(rig.master->Start());
        std::string shown;
        int requests = 0;
        for (const auto until = Clock::now() + 10s; requests < 3 && Clock::now() < until;) {
            const std::optional<Notification> next = rig.queue.Pop(20);
            const std::string word = next ? Word(*next) : "";
            if (word.empty()) continue;
            shown += (shown.empty() ? "" : " ") + word;
            requests += word == "tx";
        }
        rig.master->Stop(true);
        values = {rig.settings.datamap.Find(0)->AsUnsignedShort(),
                  rig.settings.datamap.Find(1)->AsUnsignedShort()};
        return shown;
    }

    std::vector<uint16_t> values;
};

TEST_P(FaultTable, ShowsWhatHappenedAndStoresOnlyAcceptedReplies) {
    const Row& row = GetParam();
    const std::string shown = Run(row);
    EXPECT_EQ(shown, std::string("connecting up ") + row.shown) << row.name;
    const std::vector<uint16_t> expected =
        row.stored == Stored::Values ? std::vector<uint16_t>{10, 20} : std::vector<uint16_t>{0, 0};
    EXPECT_EQ(values, expected) << row.name << ": " << shown;
}

std::vector<Row> Rows() {
    using enum Link;
    using enum Stored;
    // clang-format off
    std::vector<Row> rows = {
        // ---- Modbus TCP (MBAP) on loopback
        {"TcpCleanReplies", Tcp, {}, "tx rx13 tx rx13 tx", Values},
        // A reply to another request is shown but does not answer this one.
        {"TcpWrongTransactionId", Tcp, {"bad-tid"}, "tx rx13 retry tx rx13 giveup tx", Nothing},
        {"TcpWrongTransactionIdOnce", Tcp, {"bad-tid:req=1"}, "tx rx13 retry tx rx13 tx", Values},
        {"TcpWrongUnit", Tcp, {"bad-unit"}, "tx rx13 tx rx13 tx", Nothing},
        {"TcpWrongFunction", Tcp, {"bad-fc"}, "tx rx13 tx rx13 tx", Nothing},
        {"TcpShortFrame", Tcp, {"truncate=8"}, "tx rx8 retry tx rx8 giveup tx", Nothing},
        {"TcpLongFrame", Tcp, {"pad=2"}, "tx rx15 tx rx15 tx", Nothing},
        {"TcpSplitSegments", Tcp, {"split=30"}, "tx rx13 tx rx13 tx", Values},
        {"TcpSplitInsideTheHeader", Tcp, {"split=30+split-at=3"}, "tx rx13 tx rx13 tx", Values},
        // The first reply held back and sent with the second: two replies.
        {"TcpMergedSegments", Tcp, {"pair:req=1"}, "tx retry tx rx13 rx13 tx", Values},
        {"TcpTwoRepliesInOneSegment", Tcp, {"twice"}, "tx rx13 rx13 tx rx13 rx13 tx", Values},
        {"TcpGarbageBeforeTheFrame", Tcp, {"noise=5"},
         "tx rx18? retry tx rx18? giveup tx", Nothing},
        {"TcpGarbageInsteadOfTheFrame", Tcp, {"garbage=11"},
         "tx rx11? retry tx rx11? giveup tx", Nothing},
        // The late reply carries the first transaction id: only the retry's counts.
        {"TcpLateReplyAfterTheRetry", Tcp, {"delay=600:req=1"}, "tx retry tx rx13 rx13 tx", Values},
        {"TcpNoReplyOnce", Tcp, {"drop:req=1"}, "tx retry tx rx13 tx", Values},
        {"TcpNoReplyAtAll", Tcp, {"drop"}, "tx retry tx giveup tx", Nothing},
        {"TcpSlaveClosesMidFrame", Tcp, {"truncate=5+reply-close:req=1"},
         "tx rx5? lost connecting up tx rx13 tx", Values},
        {"TcpSlaveClosesInsteadOfAnswering", Tcp, {"close:req=1"},
         "tx lost connecting up tx rx13 tx", Values},
        {"TcpOneByteASegment", Tcp, {"trickle=5"}, "tx rx13 tx rx13 tx", Values},
        // ---- Modbus RTU on a pty pair
        {"RtuCleanReplies", Rtu, {}, "tx rx9 tx rx9 tx", Values},
        // Over the serial line a reply ends at the 200 ms gap, is shown and
        // checked as a whole.
        {"RtuBadCrc", Rtu, {"bad-crc"}, "tx rx9 tx rx9 tx", Nothing},
        {"RtuBadCrcOnce", Rtu, {"bad-crc:req=1"}, "tx rx9 tx rx9 tx", Values},
        {"RtuWrongUnit", Rtu, {"bad-unit"}, "tx rx9 retry tx rx9 giveup tx", Nothing},
        {"RtuWrongFunction", Rtu, {"bad-fc"}, "tx rx9 retry tx rx9 giveup tx", Nothing},
        {"RtuShortFrame", Rtu, {"truncate=5"}, "tx rx5 tx rx5 tx", Nothing},
        {"RtuLongFrame", Rtu, {"pad=2"}, "tx rx11 tx rx11 tx", Nothing},
        {"RtuSplitWithinTheGap", Rtu, {"split=50"}, "tx rx9 tx rx9 tx", Values},
        // The gap ends the first part; the rest and the next reply's first
        // bytes then make a frame of their own, refused too.
        {"RtuSplitPastTheGap", Rtu, {"split=400"}, "tx rx3 tx rx9? retry tx", Nothing},
        // Without a gap between them two replies are one frame, too long.
        // The first copy is a whole frame whose CRC checks: it answers the
        // poll at once, and the copy after it answers the next.
        {"RtuTwoRepliesBackToBack", Rtu, {"twice"}, "tx rx9 tx rx9 tx", Values},
        {"RtuGarbageBeforeTheFrame", Rtu, {"noise=3"},
         "tx rx12? retry tx rx12? giveup tx", Nothing},
        {"RtuGarbageInsteadOfTheFrame", Rtu, {"garbage=9"},
         "tx rx9? retry tx rx9? giveup tx", Nothing},
        // The late reply is the same poll's answer and ends as soon as it is
        // whole; it answers the retry.
        {"RtuLateReplyAfterTheRetry", Rtu, {"delay=600:req=1"}, "tx retry tx rx9 tx", Values},
        {"RtuNoReplyOnce", Rtu, {"drop:req=1"}, "tx retry tx rx9 tx", Values},
        {"RtuOneByteAtATime", Rtu, {"trickle=5"}, "tx rx9 tx rx9 tx", Values},
    };
    // clang-format on
    // Modbus Application Protocol V1.1b3, 7: the exception codes.
    for (const int code : {1, 2, 3, 4, 5, 6, 8, 10, 11}) {
        for (const Link link : {Tcp, Rtu}) {
            // Shown as "Unknown"; over the serial line counted as no answer.
            rows.push_back({(link == Tcp ? "TcpException" : "RtuException") + std::to_string(code),
                            link,
                            {"exception=" + std::to_string(code)},
                            link == Tcp ? "tx rx9? tx rx9? tx" : "tx rx5? retry tx rx5? giveup tx",
                            Nothing});
        }
    }
    return rows;
}

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

INSTANTIATE_TEST_SUITE_P(Faults, FaultTable, testing::ValuesIn(Rows()),
                         [](const testing::TestParamInfo<Row>& info) { return info.param.name; });

}  // namespace

// The program side of the web load run (run-load.sh): a document whose
// Ethernet master polls a slave while the web interface serves on a port.
// It passes value changes to the document as the main window does, and at
// the end prints how evenly the polls went out, so the run shows whether
// web load disturbs polling.
//
// kestrom-web-load-server SLAVE_PORT WEB_PORT SECONDS POLLRATE_MS
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "document/VantelDoc.h"
#include "engine/NotificationQueue.h"
#include "publish/WebPublisher.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s SLAVE_PORT WEB_PORT SECONDS POLLRATE_MS\n", argv[0]);
        return 2;
    }
    const int slavePort = std::atoi(argv[1]);
    const int webPort = std::atoi(argv[2]);
    const int seconds = std::atoi(argv[3]);
    const uint32_t pollrate = static_cast<uint32_t>(std::atoi(argv[4]));

    VantelDoc doc;
    NotificationQueue queue(1000000);
    for (uint32_t event : {EventItemChanged, EventPacketSent, EventPacketReceived,
                           EventTimeoutRetry, EventTimeoutGiveUp, EventDocumentChanged})
        doc.Register(&queue, event);
    doc.EthernetMaster().host = "127.0.0.1";
    doc.EthernetMaster().port = static_cast<uint16_t>(slavePort);
    doc.Settings().pollrate = pollrate;
    // Ten holding registers as 16-bit values, all mapped.
    if (!doc.AddPoll(3, 0, 10, 1) || !doc.AddAddresses(0, 9, 1, DataItem::UnsignedShort)) {
        std::fprintf(stderr, "cannot set up the poll\n");
        return 1;
    }
    doc.SetWebPort(webPort);
    WebPublisher web(doc);
    if (!web.StartWeb()) {
        std::fprintf(stderr, "%ls\n", web.Error().c_str());
        return 1;
    }
    if (!doc.EthernetMaster().Start()) {
        std::fprintf(stderr, "cannot start the master\n");
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);

    std::vector<Clock::time_point> sent;
    size_t changes = 0, timeouts = 0;
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        auto note = queue.Pop(50);
        if (!note) continue;
        switch (note->event) {
            case EventItemChanged:
                doc.OnValueChanged(static_cast<uint16_t>(note->wParam));
                ++changes;
                break;
            case EventPacketSent:
                sent.push_back(Clock::now());
                break;
            case EventTimeoutRetry:
            case EventTimeoutGiveUp:
                ++timeouts;
                break;
            default:
                break;
        }
    }
    doc.EthernetMaster().Stop(true);
    web.StopWeb();

    std::vector<double> gaps;
    for (size_t i = 1; i < sent.size(); ++i) gaps.push_back(Milliseconds(sent[i] - sent[i - 1]));
    std::sort(gaps.begin(), gaps.end());
    if (gaps.empty()) {
        std::printf("polls: none sent\n");
        return 1;
    }
    double sum = 0;
    for (double gap : gaps) sum += gap;
    std::printf(
        "polls: %zu requests, pollrate %u ms, gap mean %.2f ms, p99 %.2f ms, max %.2f ms; "
        "%zu value changes, %zu timeouts\n",
        sent.size(), pollrate, sum / static_cast<double>(gaps.size()), gaps[gaps.size() * 99 / 100],
        gaps.back(), changes, timeouts);
    return 0;
}

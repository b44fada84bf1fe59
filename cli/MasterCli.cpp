#include "cli/MasterCli.h"

#include <chrono>
#include <optional>
#include <string>

#include "cli/CommandLineText.h"
#include "cli/RowOutput.h"
#include "cli/Terminal.h"
#include "document/ProjectFile.h"
#include "document/TrafficLog.h"
#include "document/VantelDoc.h"
#include "engine/ModbusMasterSerial.h"
#include "engine/NotificationQueue.h"
#include "engine/NotifyEvents.h"
#include "protocol/DebugTrace.h"
#include "protocol/ModbusPacket.h"
#include "protocol/TrafficRow.h"
#include "publish/WebPublisher.h"

namespace {

constexpr char kProgram[] = "kestrom-master-cli";

// How long the main thread waits for an event before it looks at the stop
// flag and the clock again: short enough that Ctrl-C stops at once.
constexpr std::uint32_t kWakeMs = 50;

std::FILE* traceStream = nullptr;

void TraceToStream(const wchar_t* line) {
    if (traceStream == nullptr) return;
    std::string text = ConsoleText(line);
    std::fputs(text.c_str(), traceStream);
    std::fflush(traceStream);
}

// Prints rows on standard output and, when asked, into the log file.
class RowPrinter {
  public:
    RowPrinter(std::FILE* out, std::FILE* err, const std::string& logPath)
        : out_(out, IsTerminal(out)), err_(err), logPath_(logPath) {
        if (!logPath.empty()) log_.emplace(WideFromArgument(logPath));
    }

    RowOutput& Output() { return out_; }

    void Print(const TrafficRow& row) {
        const std::wstring line = LogLine(LocalTimeText(), row);
        out_.Line(ConsoleText(line));
        if (log_ && !log_->Append(line) && !logFailureShown_) {
            // Said once: a log on a full disk must not drown the rows.
            std::fprintf(err_, "%s: cannot write to the log file %s; rows are still printed\n",
                         kProgram, logPath_.c_str());
            logFailureShown_ = true;
        }
    }

  private:
    RowOutput out_;
    std::FILE* err_;
    std::string logPath_;
    std::optional<TrafficLog> log_;
    bool logFailureShown_ = false;
};

// What the event loop saw of the run.
struct RunRecord {
    bool ended = false;     // the master ended its run by itself
    bool anyReply = false;  // at least one reply arrived
};

void Handle(Notification& n, VantelDoc& doc, RowPrinter& printer, RunRecord& record) {
    switch (n.event) {
        case EventConnectionState:
            if (auto text = ConnectionStateText(static_cast<std::uint32_t>(n.wParam))) {
                printer.Print(TrafficRow{L"", *text, L""});
            }
            break;
        case EventPacketSent:
            if (n.packet) printer.Print(SentRow(*n.packet));
            break;
        case EventPacketReceived:
            record.anyReply = true;
            if (n.packet) printer.Print(ReceivedRow(*n.packet));
            break;
        case EventTimeoutRetry:
            printer.Print(TimeoutRetryRow());
            break;
        case EventTimeoutGiveUp:
            printer.Print(TimeoutGiveUpRow());
            break;
        case EventItemChanged:
            doc.OnValueChanged(static_cast<std::uint16_t>(n.wParam));
            break;
        case EventRunEnded:
            record.ended = true;
            break;
        default:
            break;
    }
}

// The document's masters poll; the run is started and stopped as the main
// window does it, so the document (and the web interface's "running") sees it.
class ChosenMaster {
  public:
    ChosenMaster(VantelDoc& doc, const CliOptions& options) : doc_(doc) {
        doc.SerialMaster().line.devicePath = options.device;
        if (options.doPoll) singlePoll_ = static_cast<std::int32_t>(*options.doPoll);
    }
    ~ChosenMaster() { Stop(); }

    // Refused only when no worker thread could be made; the caller reports it.
    bool Start() { return doc_.StartRun(singlePoll_); }
    void Stop() { doc_.StopRun(); }

  private:
    VantelDoc& doc_;
    std::int32_t singlePoll_ = -1;
};

bool OpenDocument(VantelDoc& doc, const CliOptions& options, std::FILE* err) {
    ProjectLoadResult result;
    if (!doc.Open(WideFromArgument(options.project), result)) {
        std::string text = ConsoleText(result.error);
        if (text.empty()) text = "cannot be opened";
        if (result.line > 0) {
            std::fprintf(err, "%s: %s: %s (line %d)\n", kProgram, options.project.c_str(),
                         text.c_str(), result.line);
        } else {
            std::fprintf(err, "%s: %s: %s\n", kProgram, options.project.c_str(), text.c_str());
        }
        return false;
    }
    for (const ProjectLoadNote& note : result.notes) {
        std::fprintf(err, "%s: %s: note: %s\n", kProgram, options.project.c_str(),
                     ConsoleText(note.text).c_str());
    }
    return true;
}

// The command line's choices that do not fit the project; false stops the
// program before anything is sent.
bool ApplyOverrides(VantelDoc& doc, const CliOptions& options, std::FILE* err) {
    if (options.doPoll && *options.doPoll >= doc.Settings().polls.size()) {
        std::fprintf(err, "%s: %s has %zu poll(s); --do-poll %u is not one of them\n", kProgram,
                     options.project.c_str(), doc.Settings().polls.size(), *options.doPoll);
        return false;
    }
    if (doc.IsSerial() && (options.host || options.port)) {
        std::fprintf(err, "%s: %s polls over a serial port; --host and --port are ignored\n",
                     kProgram, options.project.c_str());
    }
    if (!doc.IsSerial() && !options.device.empty()) {
        std::fprintf(err, "%s: %s polls over Modbus TCP; --device is ignored\n", kProgram,
                     options.project.c_str());
    }
    if (options.webPort) doc.SetWebPort(*options.webPort);
    if (options.host) doc.EthernetMaster().host = *options.host;
    if (options.port) doc.EthernetMaster().port = *options.port;
    return true;
}

// The project with the last values; the slave's host and port and the web
// port stay as the project had them, whatever the options chose for this run.
bool SaveProjectWithValues(const VantelDoc& doc, const ProjectSetup& original,
                           const CliOptions& options, std::FILE* err) {
    ProjectSetup setup = doc.CurrentSetup();
    setup.host = original.host;
    setup.port = original.port;
    setup.webport = original.webport;
    if (!SaveProject(WideFromArgument(options.savePath), setup)) {
        std::fprintf(err, "%s: cannot save the project to %s\n", kProgram,
                     options.savePath.c_str());
        return false;
    }
    return true;
}

}  // namespace

int RunMasterCli(const CliOptions& options, const std::atomic<bool>& stop, std::FILE* out,
                 std::FILE* err) {
    VantelDoc doc;
    if (!OpenDocument(doc, options, err)) return CliStatus::BadInput;
    const ProjectSetup original = doc.CurrentSetup();
    if (!ApplyOverrides(doc, options, err)) return CliStatus::BadInput;
    if (doc.Settings().polls.empty()) {
        std::fprintf(err, "%s: %s has no polls; the master connects and sends nothing\n", kProgram,
                     options.project.c_str());
    }

    NotificationQueue queue;
    for (std::uint32_t event :
         {EventConnectionState, EventItemChanged, EventPacketSent, EventPacketReceived,
          EventTimeoutRetry, EventTimeoutGiveUp, EventRunEnded}) {
        doc.Register(&queue, event);
    }
    traceStream = err;
    DebugTrace::Sink previousSink = DebugTrace::SetSink(options.trace ? TraceToStream : nullptr);

    // The web interface serves the data map while the master fills it; one
    // that cannot start (its port taken) is reported, and polling goes on, as
    // the windowed program does.
    WebPublisher web(doc);
    if (options.noWeb) {
        // Nothing listens.
    } else if (web.StartWeb()) {
        std::fprintf(err, "%s: web interface on port %d (all IPv4 addresses)\n", kProgram,
                     doc.WebPort());
    } else {
        std::fprintf(err, "%s: the web interface is not running: %s\n", kProgram,
                     ConsoleText(web.Error()).c_str());
    }

    RowPrinter printer(out, err, options.logPath);
    RunRecord record;
    int status = CliStatus::Ok;
    {
        ChosenMaster master(doc, options);
        if (!master.Start()) {
            std::fprintf(err, "%s: the master could not be started\n", kProgram);
            status = CliStatus::Failed;
        } else {
            using Clock = std::chrono::steady_clock;
            std::optional<Clock::time_point> deadline;
            if (options.seconds) deadline = Clock::now() + std::chrono::seconds(*options.seconds);
            RowOutput& rows = printer.Output();
            while (!stop.load() && !record.ended) {
                if (deadline && Clock::now() >= *deadline) break;
                const auto wait = rows.Pending() ? RowOutput::QuietTime.count() : kWakeMs;
                if (auto n = queue.Pop(static_cast<std::uint32_t>(wait))) {
                    Handle(*n, doc, printer, record);
                    rows.FlushIfOverdue();
                } else {
                    rows.FlushIfQuiet();
                }
            }
            // Only an end seen before this stop is the master's own doing.
            const bool endedByItself = record.ended;
            master.Stop();
            // The rows of the master's last steps (the link closed).
            while (auto n = queue.Pop(0)) Handle(*n, doc, printer, record);
            rows.Flush();
            if (endedByItself && !options.doPoll) {
                std::fprintf(err, "%s: the master gave up: the slave could not be reached\n",
                             kProgram);
                status = CliStatus::Failed;
            } else if (options.doPoll && endedByItself && !record.anyReply) {
                std::fprintf(err, "%s: poll %u got no reply\n", kProgram, *options.doPoll);
                status = CliStatus::Failed;
            }
        }
    }
    // Stopped and waited for, so the port is free when the program ends.
    web.StopWeb();
    DebugTrace::SetSink(previousSink);
    traceStream = nullptr;

    if (!options.savePath.empty() && !SaveProjectWithValues(doc, original, options, err)) {
        status = CliStatus::Failed;
    }
    return status;
}

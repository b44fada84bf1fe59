#include "cli/CliOptions.h"

#include <charconv>
#include <limits>

namespace {

const char kUsage[] =
    R"usage(Usage: kestrom-master-cli [OPTIONS] PROJECT.xmb

Opens a Kestrom Master project, polls its slave with the master the project
selects (Modbus TCP or serial), prints every traffic row on standard output,
keeps the project's data map up to date and serves it over HTTP as JSON on the
project's web port (all IPv4 addresses, no authentication). Stops on SIGINT or
SIGTERM (Ctrl-C), after --seconds, or when a --do-poll run ends.

Each row is one line, as in the traffic log:
  TIME DIR DESCRIPTION CONTENT
  TIME is hh:mm:ss:mmm local time, DIR is TX, RX or empty, CONTENT is every
  byte of the packet as two hex digits and a space (empty for link states and
  timeouts), for example
  10:15:02:117 TX Poll 03: Read Input Registers 0 to 9 00 01 00 00 00 06 01 03 00 00 00 0A 
  10:15:03:120  Timeout. Retrying. 

OPTIONS
  --seconds N      Stop after N seconds (1 or more).
  --do-poll INDEX  Send only the poll at INDEX of the project's poll list (0 is
                   the first) once, and stop when that run ends.
  --save PATH      When stopping, write the project with the last values of
                   the data map to PATH.
  --log PATH       Also append every row to the text file PATH.
  --device PATH    Serial projects: open this device (a tty, one end of a pty
                   pair) instead of the one the project's COM port names.
  --trace          Print the serial master's trace texts on standard error.
  --host HOST      Poll this host instead of the project's (Modbus TCP link).
  --port N         Poll this TCP port instead of the project's (1-65535).
  --web-port N     Serve the web interface on this port instead of the
                   project's (1-65535). A port that cannot be taken is
                   reported on standard error and the polling goes on.
  --no-web         No web interface.
  --help           This text.

EXIT STATUS
  0  stopped by a signal, by --seconds or at the end of a --do-poll run
  1  the master gave up (the slave could not be reached, the serial device
     could not be opened), or --save could not write its file
  2  bad options (with this text on standard error), or a project that cannot
     be opened: one line "kestrom-master-cli: PROJECT: ERROR (line N)" on
     standard error, the line shown when the file's text is at fault
)usage";

bool ParseNumber(const std::string& text, std::uint64_t max, std::uint64_t& value) {
    if (text.empty()) return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value <= max;
}

}  // namespace

const char* CliUsage() { return kUsage; }

CliParse ParseCliOptions(const std::vector<std::string>& arguments) {
    CliParse parse;
    CliOptions& o = parse.options;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument.compare(0, 2, "--") != 0) {
            if (argument == "-") {
                parse.error = "a project file is needed, not standard input";
                return parse;
            }
            if (!o.project.empty()) {
                parse.error = "only one project file: " + o.project + " and " + argument;
                return parse;
            }
            o.project = argument;
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = argument;
        std::optional<std::string> inlineValue;
        if (auto eq = argument.find('='); eq != std::string::npos) {
            name = argument.substr(0, eq);
            inlineValue = argument.substr(eq + 1);
        }
        auto flag = [&](bool& target) {
            if (inlineValue) {
                parse.error = name + " takes no value";
                return false;
            }
            target = true;
            return true;
        };
        auto value = [&](std::string& target) {
            if (inlineValue) {
                target = *inlineValue;
            } else if (i + 1 < arguments.size()) {
                target = arguments[++i];
            } else {
                parse.error = name + " needs a value";
                return false;
            }
            if (target.empty()) {
                parse.error = name + " needs a value";
                return false;
            }
            return true;
        };
        auto number = [&](std::uint64_t min, std::uint64_t max, std::uint64_t& target) {
            std::string text;
            if (!value(text)) return false;
            if (!ParseNumber(text, max, target) || target < min) {
                parse.error = name + " takes a whole number from " + std::to_string(min) + " to " +
                              std::to_string(max) + ", not " + text;
                return false;
            }
            return true;
        };

        std::uint64_t n = 0;
        bool ok = true;
        if (name == "--help") {
            ok = flag(o.help);
        } else if (name == "--no-web") {
            ok = flag(o.noWeb);
        } else if (name == "--trace") {
            ok = flag(o.trace);
        } else if (name == "--seconds") {
            ok = number(1, std::numeric_limits<std::uint32_t>::max() / 1000, n);
            if (ok) o.seconds = static_cast<std::uint32_t>(n);
        } else if (name == "--do-poll") {
            ok = number(0, 65535, n);
            if (ok) o.doPoll = static_cast<std::uint32_t>(n);
        } else if (name == "--port") {
            ok = number(1, 65535, n);
            if (ok) o.port = static_cast<std::uint16_t>(n);
        } else if (name == "--web-port") {
            ok = number(1, 65535, n);
            if (ok) o.webPort = static_cast<std::uint16_t>(n);
        } else if (name == "--host") {
            std::string host;
            ok = value(host);
            if (ok) o.host = host;
        } else if (name == "--save") {
            ok = value(o.savePath);
        } else if (name == "--log") {
            ok = value(o.logPath);
        } else if (name == "--device") {
            ok = value(o.device);
        } else {
            parse.error = "unknown option " + name;
            ok = false;
        }
        if (!ok) return parse;
    }
    if (!o.help && o.project.empty()) parse.error = "no project file given";
    return parse;
}

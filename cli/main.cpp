// kestrom-master-cli: the Modbus master without windows. See CliUsage() for
// the command line.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliOptions.h"
#include "cli/MasterCli.h"

namespace {

// Lock-free, so a signal handler may set it.
std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RequestStop(int) { stopRequested.store(true); }

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> arguments(argv + 1, argv + argc);
    CliParse parse = ParseCliOptions(arguments);
    if (!parse.error.empty()) {
        std::fprintf(stderr, "kestrom-master-cli: %s\n\n%s", parse.error.c_str(), CliUsage());
        return CliStatus::BadInput;
    }
    if (parse.options.help) {
        std::fputs(CliUsage(), stdout);
        return CliStatus::Ok;
    }
    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    return RunMasterCli(parse.options, stopRequested, stdout, stderr);
}

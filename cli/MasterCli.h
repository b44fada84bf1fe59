#pragma once

#include <atomic>
#include <cstdio>

#include "cli/CliOptions.h"

// Exit statuses of kestrom-master-cli.
namespace CliStatus {
constexpr int Ok = 0;
// The master gave up by itself, a --do-poll run got no reply, or --save
// failed.
constexpr int Failed = 1;
// A bad command line or a project that cannot be opened.
constexpr int BadInput = 2;
}  // namespace CliStatus

// One run of the command-line program: opens the project, starts the master
// it selects, prints every traffic row until it is told to stop (stop set, by
// a signal handler for instance), the time is up or the run ends by itself,
// then stops the master, prints the last rows and saves when asked.
// Rows go to out, messages to err. Returns the exit status.
int RunMasterCli(const CliOptions& options, const std::atomic<bool>& stop, std::FILE* out,
                 std::FILE* err);

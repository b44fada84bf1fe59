#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// What the command line asks of kestrom-master-cli.
struct CliOptions {
    std::string project;
    std::optional<std::uint32_t> seconds;  // stop after this long; else run until a signal
    std::optional<std::uint32_t> doPoll;   // the one poll to send (0 = first)
    std::string savePath;                  // write the project here when stopping
    std::string logPath;                   // append every row here too
    std::string device;                    // serial device opened instead of the COM port's
    bool trace = false;                    // serial master's trace texts to standard error
    std::optional<std::string> host;       // the slave's host instead of the project's
    std::optional<std::uint16_t> port;     // the slave's TCP port instead of the project's
    std::optional<std::uint16_t> webPort;  // the web interface's port instead of the project's
    bool noWeb = false;                    // no web interface at all
    bool help = false;
};

struct CliParse {
    CliOptions options;
    // Empty when the command line is good; otherwise what is wrong with it.
    std::string error;
};

// Reads the arguments after the program name. Options take their value as the
// next argument or after "=" (--seconds=5); "--" ends the options.
CliParse ParseCliOptions(const std::vector<std::string>& arguments);

// The usage text printed by --help and after a bad command line.
const char* CliUsage();

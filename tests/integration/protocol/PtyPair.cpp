#include "PtyPair.h"

using namespace std::chrono_literals;

bool PtyPair::Open(std::string& error) {
    if (!socat_.Start({"socat", "-d", "-d", "pty,raw,echo=0", "pty,raw,echo=0"})) {
        error = socat_.error();
        return false;
    }
    // socat reports "... N PTY is /dev/pts/7" for each end, then "starting data
    // transfer loop" once it relays.
    std::string line;
    while (socat_.ReadLine(PeerProcess::Stream::Error, line, 5s)) {
        const size_t at = line.find("PTY is ");
        if (at != std::string::npos) {
            (first_.empty() ? first_ : second_) = line.substr(at + 7);
        } else if (line.find("starting data transfer loop") != std::string::npos) {
            if (!first_.empty() && !second_.empty()) return true;
            break;
        }
    }
    error = "socat did not open a pty pair: " + socat_.errorText();
    socat_.Stop();
    return false;
}

#pragma once

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace slavesim {

// What to do to one reply. Every field left at its default means "behave".
struct FaultActions {
    int delayMs = 0;                   // delay=MS
    bool drop = false;                 // drop
    std::optional<uint8_t> exception;  // exception=CODE (the request is not carried out)
    bool badTransactionId = false;     // bad-tid
    bool badUnit = false;              // bad-unit
    bool badCrc = false;               // bad-crc
    bool badFunction = false;          // bad-fc: the reply's function code plus 1
    int pad = -1;                      // pad=N: N zero bytes after the reply's data, framed
    int splitMs = -1;                  // split=MS: two writes, the pause between them
    int splitAt = -1;                  // split-at=N: bytes in the first write
    int trickleMs = -1;                // trickle=MS: one byte per write
    bool pair = false;                 // pair: held back, sent in one write with the next reply
    bool twice = false;                // twice: the reply twice in one write
    int garbage = -1;                  // garbage=N: N random bytes instead of the reply
    int noise = -1;                    // noise=N: N random bytes before the reply, same write
    bool close = false;                // close: no reply, the connection is closed
    bool replyThenClose = false;       // reply-close: the reply, then the connection is closed
    bool cut = false;                  // cut: a random part of the reply, then closed
    int truncate = -1;                 // truncate=N: only the first N bytes of the reply

    bool Any() const;
    void Merge(const FaultActions& other);
    std::string Describe() const;
};

// What is known about a request when the plan decides about its reply.
struct RequestFacts {
    uint64_t number = 0;      // 1-based, over the whole run
    uint64_t connection = 0;  // 1-based connection number (1 on a serial port)
    uint64_t numberOnConnection = 0;
    uint8_t function = 0;
    std::optional<uint32_t> start;  // the start address, when the request has one
};

struct Range {
    uint64_t first = 0;
    uint64_t last = 0;
    bool Contains(uint64_t value) const { return value >= first && value <= last; }
};

// "N", "N-M" or "N-" (N to `max`); false when the text is none of them.
bool ParseRange(const std::string& text, uint64_t max, Range* range);

// One --fault option: actions, and the conditions that all have to hold.
struct FaultRule {
    FaultActions actions;
    std::optional<Range> request;
    std::optional<Range> connection;
    std::optional<Range> requestOnConnection;
    std::optional<uint64_t> every;
    std::optional<Range> address;
    std::optional<Range> function;
    std::optional<double> probability;
};

// Parses and applies the --fault rules. The random choices (probabilities,
// cut positions, garbage bytes) come from one generator seeded by --seed, so a
// run with the same requests makes the same choices.
class FaultPlan {
  public:
    explicit FaultPlan(uint64_t seed = 1) : random_(seed) {}

    // "ACTION[+ACTION...][:CONDITION[,CONDITION...]]"; false with a message
    // when the text is not a rule.
    bool Add(const std::string& text, std::string* error);
    // The merged actions of every rule whose conditions hold.
    FaultActions Decide(const RequestFacts& facts);
    bool Empty() const { return rules_.empty(); }

    uint32_t RandomBelow(uint32_t bound);
    uint8_t RandomByte() { return static_cast<uint8_t>(random_() & 0xFF); }

  private:
    std::vector<FaultRule> rules_;
    std::mt19937_64 random_;
};

}  // namespace slavesim

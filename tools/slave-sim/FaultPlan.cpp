#include "tools/slave-sim/FaultPlan.h"

#include <cerrno>
#include <cstdlib>

namespace slavesim {

namespace {

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t begin = 0;
    while (true) {
        const size_t end = text.find(separator, begin);
        parts.push_back(text.substr(begin, end - begin));
        if (end == std::string::npos) break;
        begin = end + 1;
    }
    return parts;
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t* value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > max) return false;
    *value = parsed;
    return true;
}

constexpr uint64_t kMaxMs = 600000;  // ten minutes bounds every pause
constexpr uint64_t kMaxBytes = 4096;

bool ParseAction(const std::string& text, FaultActions* actions, std::string* error) {
    const size_t equals = text.find('=');
    const std::string name = text.substr(0, equals);
    const std::string argument = equals == std::string::npos ? "" : text.substr(equals + 1);
    const bool hasArgument = equals != std::string::npos;
    uint64_t number = 0;
    auto needNumber = [&](uint64_t min, uint64_t max) {
        if (!hasArgument || !ParseNumber(argument, max, &number) || number < min) {
            *error = "fault action '" + name + "' needs a number from " + std::to_string(min) +
                     " to " + std::to_string(max);
            return false;
        }
        return true;
    };
    auto noArgument = [&]() {
        if (hasArgument) {
            *error = "fault action '" + name + "' takes no value";
            return false;
        }
        return true;
    };
    if (name == "delay") {
        if (!needNumber(0, kMaxMs)) return false;
        actions->delayMs = static_cast<int>(number);
    } else if (name == "drop") {
        if (!noArgument()) return false;
        actions->drop = true;
    } else if (name == "exception") {
        if (!needNumber(1, 255)) return false;
        actions->exception = static_cast<uint8_t>(number);
    } else if (name == "bad-tid") {
        if (!noArgument()) return false;
        actions->badTransactionId = true;
    } else if (name == "bad-unit") {
        if (!noArgument()) return false;
        actions->badUnit = true;
    } else if (name == "bad-crc") {
        if (!noArgument()) return false;
        actions->badCrc = true;
    } else if (name == "bad-fc") {
        if (!noArgument()) return false;
        actions->badFunction = true;
    } else if (name == "pad") {
        if (!needNumber(1, kMaxBytes)) return false;
        actions->pad = static_cast<int>(number);
    } else if (name == "split") {
        if (!needNumber(0, kMaxMs)) return false;
        actions->splitMs = static_cast<int>(number);
    } else if (name == "split-at") {
        if (!needNumber(1, kMaxBytes)) return false;
        actions->splitAt = static_cast<int>(number);
    } else if (name == "trickle") {
        if (!needNumber(0, kMaxMs)) return false;
        actions->trickleMs = static_cast<int>(number);
    } else if (name == "pair") {
        if (!noArgument()) return false;
        actions->pair = true;
    } else if (name == "twice") {
        if (!noArgument()) return false;
        actions->twice = true;
    } else if (name == "garbage") {
        if (!needNumber(1, kMaxBytes)) return false;
        actions->garbage = static_cast<int>(number);
    } else if (name == "noise") {
        if (!needNumber(1, kMaxBytes)) return false;
        actions->noise = static_cast<int>(number);
    } else if (name == "close") {
        if (!noArgument()) return false;
        actions->close = true;
    } else if (name == "reply-close") {
        if (!noArgument()) return false;
        actions->replyThenClose = true;
    } else if (name == "truncate") {
        if (!needNumber(0, kMaxBytes)) return false;
        actions->truncate = static_cast<int>(number);
    } else if (name == "cut") {
        if (!noArgument()) return false;
        actions->cut = true;
    } else {
        *error = "unknown fault action '" + name + "'";
        return false;
    }
    return true;
}

bool ParseCondition(const std::string& text, FaultRule* rule, std::string* error) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos) {
        *error = "fault condition '" + text + "' needs NAME=VALUE";
        return false;
    }
    const std::string name = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    Range range;
    auto needRange = [&](uint64_t max) {
        if (!ParseRange(value, max, &range)) {
            *error = "fault condition '" + name + "' needs N or N-M (N-: to the end), not '" +
                     value + "'";
            return false;
        }
        return true;
    };
    if (name == "req") {
        if (!needRange(UINT64_MAX)) return false;
        rule->request = range;
    } else if (name == "conn") {
        if (!needRange(UINT64_MAX)) return false;
        rule->connection = range;
    } else if (name == "conn-req") {
        if (!needRange(UINT64_MAX)) return false;
        rule->requestOnConnection = range;
    } else if (name == "addr") {
        if (!needRange(0xFFFFFFFFull)) return false;
        rule->address = range;
    } else if (name == "fc") {
        if (!needRange(255)) return false;
        rule->function = range;
    } else if (name == "every") {
        uint64_t every = 0;
        if (!ParseNumber(value, UINT64_MAX, &every) || every == 0) {
            *error = "fault condition 'every' needs a number of 1 or more";
            return false;
        }
        rule->every = every;
    } else if (name == "prob") {
        char* end = nullptr;
        const double probability = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !(probability >= 0.0 && probability <= 1.0)) {
            *error = "fault condition 'prob' needs a number from 0 to 1";
            return false;
        }
        rule->probability = probability;
    } else {
        *error = "unknown fault condition '" + name + "'";
        return false;
    }
    return true;
}

}  // namespace

bool ParseRange(const std::string& text, uint64_t max, Range* range) {
    const size_t dash = text.find('-', 1);
    if (dash == std::string::npos) {
        if (!ParseNumber(text, max, &range->first)) return false;
        range->last = range->first;
        return true;
    }
    if (!ParseNumber(text.substr(0, dash), max, &range->first)) return false;
    const std::string last = text.substr(dash + 1);
    // "N-" runs to the end.
    if (last.empty()) {
        range->last = max;
        return true;
    }
    return ParseNumber(last, max, &range->last) && range->last >= range->first;
}

bool FaultActions::Any() const {
    return delayMs > 0 || drop || exception || badTransactionId || badUnit || badCrc ||
           badFunction || pad > 0 || splitMs >= 0 || trickleMs >= 0 || pair || twice ||
           garbage > 0 || noise > 0 || close || replyThenClose || cut || truncate >= 0;
}

void FaultActions::Merge(const FaultActions& other) {
    delayMs += other.delayMs;
    drop = drop || other.drop;
    if (other.exception) exception = other.exception;
    badTransactionId = badTransactionId || other.badTransactionId;
    badUnit = badUnit || other.badUnit;
    badCrc = badCrc || other.badCrc;
    badFunction = badFunction || other.badFunction;
    if (other.pad > 0) pad = other.pad;
    if (other.splitMs >= 0) splitMs = other.splitMs;
    if (other.splitAt >= 0) splitAt = other.splitAt;
    if (other.trickleMs >= 0) trickleMs = other.trickleMs;
    pair = pair || other.pair;
    twice = twice || other.twice;
    if (other.garbage > 0) garbage = other.garbage;
    if (other.noise > 0) noise = other.noise;
    close = close || other.close;
    replyThenClose = replyThenClose || other.replyThenClose;
    cut = cut || other.cut;
    if (other.truncate >= 0) truncate = other.truncate;
}

std::string FaultActions::Describe() const {
    std::string text;
    auto add = [&](const std::string& part) { text += (text.empty() ? "" : "+") + part; };
    if (delayMs > 0) add("delay=" + std::to_string(delayMs));
    if (drop) add("drop");
    if (exception) add("exception=" + std::to_string(*exception));
    if (badTransactionId) add("bad-tid");
    if (badUnit) add("bad-unit");
    if (badCrc) add("bad-crc");
    if (badFunction) add("bad-fc");
    if (pad > 0) add("pad=" + std::to_string(pad));
    if (splitMs >= 0) add("split=" + std::to_string(splitMs));
    if (splitAt >= 0) add("split-at=" + std::to_string(splitAt));
    if (trickleMs >= 0) add("trickle=" + std::to_string(trickleMs));
    if (pair) add("pair");
    if (twice) add("twice");
    if (garbage > 0) add("garbage=" + std::to_string(garbage));
    if (noise > 0) add("noise=" + std::to_string(noise));
    if (close) add("close");
    if (replyThenClose) add("reply-close");
    if (cut) add("cut");
    if (truncate >= 0) add("truncate=" + std::to_string(truncate));
    return text;
}

bool FaultPlan::Add(const std::string& text, std::string* error) {
    FaultRule rule;
    const size_t colon = text.find(':');
    const std::string actionText = text.substr(0, colon);
    if (actionText.empty()) {
        *error = "fault '" + text + "' names no action";
        return false;
    }
    for (const std::string& action : Split(actionText, '+')) {
        if (!ParseAction(action, &rule.actions, error)) return false;
    }
    if (colon != std::string::npos) {
        for (const std::string& condition : Split(text.substr(colon + 1), ',')) {
            if (!ParseCondition(condition, &rule, error)) return false;
        }
    }
    rules_.push_back(rule);
    return true;
}

FaultActions FaultPlan::Decide(const RequestFacts& facts) {
    FaultActions decided;
    for (const FaultRule& rule : rules_) {
        if (rule.request && !rule.request->Contains(facts.number)) continue;
        if (rule.connection && !rule.connection->Contains(facts.connection)) continue;
        if (rule.requestOnConnection &&
            !rule.requestOnConnection->Contains(facts.numberOnConnection))
            continue;
        if (rule.every && facts.number % *rule.every != 0) continue;
        if (rule.function && !rule.function->Contains(facts.function)) continue;
        if (rule.address && (!facts.start || !rule.address->Contains(*facts.start))) continue;
        // Drawn only for requests that met every other condition, so adding a
        // rule for other requests does not shift this rule's choices.
        if (rule.probability) {
            // 53 random bits make the same draw with every standard library.
            const double draw = static_cast<double>(random_() >> 11) * 0x1.0p-53;
            if (draw >= *rule.probability) continue;
        }
        decided.Merge(rule.actions);
    }
    return decided;
}

uint32_t FaultPlan::RandomBelow(uint32_t bound) {
    if (bound == 0) return 0;
    return static_cast<uint32_t>(random_() % bound);
}

}  // namespace slavesim

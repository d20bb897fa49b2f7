#include "sim/LogLines.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "sim/Nmea.h"
#include "sim/Orders.h"

namespace quorvel::sim {

using std::chrono::milliseconds;

std::string Timestamp() {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto ms = std::chrono::duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    ::localtime_r(&seconds, &local);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(ms));
    return buffer;
}

std::string Describe(OrderReaction reaction, Start start) {
    const std::string order = std::string(StartName(start)) + "-start order";
    switch (reaction) {
        case OrderReaction::Restarting:
            return order + ": restarting";
        case OrderReaction::IgnoredNeverRestarts:
            return order + " ignored (--never-restart)";
        case OrderReaction::IgnoredBusy:
            return order + " ignored (already restarting)";
        case OrderReaction::IgnoredPoweredOff:
            return order + " ignored (powered off)";
    }
    return "";
}

// Binary UBX frames read best as bytes throughout: "\xB5\x62", not "\xB5b".
std::string LoggedBytes(std::string_view bytes) {
    if (bytes.find(kUbxSync) == std::string_view::npos) return EscapeBytes(bytes);
    std::string out;
    char hex[5];
    for (char c : bytes) {
        std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
        out += hex;
    }
    return out;
}

std::string HandleCommand(Receiver& receiver, Family family, const std::string& command,
                          bool complete, bool answers, bool obey) {
    if (!complete) return " (no line end yet)";
    if (const std::optional<Start> start = OrderStart(family, command)) {
        if (!obey) return std::string(" ") + StartName(*start) + "-start order ignored (--replay)";
        return " " + Describe(receiver.OnOrder(*start), *start);
    }
    if (const std::string answer = AnswerTo(family, command); !answer.empty()) {
        const bool answered = answers && receiver.OnQuery(answer) == QueryReaction::Answering;
        return answered ? " version query: answering" : " version query ignored";
    }
    if (const std::string why = WhyNotAnOrder(family, command); !why.empty()) return " " + why;
    return "";
}

}  // namespace quorvel::sim

#include "sim/CommandLog.h"

namespace quorvel::sim {
namespace {

constexpr std::size_t kLongestCommand = 512;

}  // namespace

bool IsColdStartOrder(std::string_view command) {
    return command.find(kColdStartOrder) != std::string_view::npos;
}

std::vector<std::string> CommandLog::Feed(std::string_view bytes) {
    std::vector<std::string> commands;
    for (char c : bytes) {
        pending_ += c;
        if (c == '\n' || pending_.size() >= kLongestCommand) {
            commands.push_back(std::move(pending_));
            pending_.clear();
        }
    }
    return commands;
}

std::string CommandLog::TakePending() {
    std::string out = std::move(pending_);
    pending_.clear();
    return out;
}

}  // namespace quorvel::sim

#include "sim/CommandLog.h"

#include "sim/Orders.h"

namespace quorvel::sim {
namespace {

constexpr std::size_t kLongestCommand = 512;

}  // namespace

std::vector<std::string> CommandLog::Feed(std::string_view bytes) {
    std::vector<std::string> commands;
    for (char c : bytes) {
        pending_ += c;
        bool end = pending_.size() >= kLongestCommand;
        if (frameStart_ == std::string::npos) {
            end = end || c == '\n';
            if (pending_.size() >= 2 && pending_.ends_with(kUbxSync))
                frameStart_ = pending_.size() - 2;
        } else if (const auto size = UbxFrameSize(std::string_view(pending_).substr(frameStart_))) {
            end = end || pending_.size() - frameStart_ == *size;
        }
        if (end) commands.push_back(TakePending());
    }
    return commands;
}

std::string CommandLog::TakePending() {
    std::string out = std::move(pending_);
    pending_.clear();
    frameStart_ = std::string::npos;
    return out;
}

}  // namespace quorvel::sim

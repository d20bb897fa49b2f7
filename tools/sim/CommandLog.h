#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

// Cuts the bytes written to the receiver into commands: each ends with its LF, or with the last
// byte of a UBX binary frame (which has no line end, and whose payload may hold LF bytes). Bytes
// without an end wait until the caller flushes them (after a quiet spell) or until they grow
// too long.
class CommandLog {
  public:
    std::vector<std::string> Feed(std::string_view bytes);
    std::string TakePending();
    bool HasPending() const { return !pending_.empty(); }

  private:
    std::string pending_;
    std::size_t frameStart_ = std::string::npos;  // where a UBX frame began in pending_
};

}  // namespace quorvel::sim

#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::sim {

// The cold-start order as the receiver expects it on the wire.
inline constexpr std::string_view kColdStartOrder = "$PXEMSRT,C*3A\r\n";

// Whether a received command carries the cold-start order, CR LF included.
bool IsColdStartOrder(std::string_view command);

// Cuts the bytes written to the receiver into commands: each ends with its LF. Bytes without
// an LF wait until the caller flushes them (after a quiet spell) or until they grow too long.
class CommandLog {
  public:
    std::vector<std::string> Feed(std::string_view bytes);
    std::string TakePending();
    bool HasPending() const { return !pending_.empty(); }

  private:
    std::string pending_;
};

}  // namespace quorvel::sim

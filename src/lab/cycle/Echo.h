#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quorvel::lab {

// Takes the lab's own words out of what a port reads back. A line that echoes what it is sent
// (a two-wire RS-485 or RS-422 link, some adapters) returns each order and query byte for byte;
// such a sentence is not the receiver's: it names no family and proves nothing.
class EchoFilter {
  public:
    // Bytes the lab wrote to the port.
    void Sent(std::string_view bytes);
    // What the port read, less every echo of something sent. The start of a possible echo is
    // held back until the bytes after it tell it apart.
    std::string Filter(std::string bytes);
    long long Echoes() const { return echoes_; }

  private:
    // Orders and queries: a handful of distinct texts a port.
    static constexpr std::size_t kRemembered = 16;
    std::vector<std::string> sent_;
    std::string held_;
    long long echoes_ = 0;
};

}  // namespace quorvel::lab

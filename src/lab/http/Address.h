#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorvel::lab {

// Where --http serves the bench: an IP address (loopback unless one is named) and a port; port
// 0 takes any free one, which the lab then names.
struct HttpAddress {
    std::string host = "127.0.0.1";
    std::uint16_t port = 0;
};

// "PORT", "HOST:PORT" or "[V6]:PORT", HOST an IP address or localhost (a name would need a
// lookup the lab cannot wait for); nothing, with why in `why`, for anything else.
std::optional<HttpAddress> ParseHttpAddress(const std::string& text, std::string& why);

}  // namespace quorvel::lab

#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/SerialPort.h"
#include "lab/ports/PortArgument.h"

namespace quorvel::lab {

// A receiver behind a serial device server, named "tcp://HOST:PORT" (an IPv6 host in brackets).
struct NetAddress {
    std::string host;  // without brackets
    std::uint16_t port = 0;

    // One text for one address however it was written: the host in lower case.
    std::string Text() const;
};

inline constexpr const char* kTcpScheme = "tcp://";

// The address a "tcp://HOST:PORT" text names; nothing for any other text or a malformed one.
std::optional<NetAddress> TcpAddress(const std::string& text);

// The adapter a PORT opens through, its notifications going to `handler`: a network port, or a
// serial device resolved at every open, so that an override link made later still counts.
std::unique_ptr<SerialPort> MakePort(const PortSpec& port, const std::string& portsFolder,
                                     std::function<void(std::int16_t)> handler);

// What a PORT names now, for the reasons it fails: a device path, or its network address.
std::string PortDevice(const PortSpec& port, const std::string& portsFolder);

// What --ports prints: a line for each COM number with an override link in `portsFolder` or a
// present serial device, e.g. "COM 7   ~/.config/quorvel/ports/com7 -> /dev/pts/5 (present)",
// in the words of the window's port list, control characters escaped. A folder or link that is
// there but cannot be read is named in `error` with the reason; the list is still given.
std::string PortListText(const std::string& portsFolder, std::string& error);

}  // namespace quorvel::lab

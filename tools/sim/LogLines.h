#pragma once

#include <string>
#include <string_view>

#include "sim/Receiver.h"

namespace quorvel::sim {

// The local time as the log lines begin: "14:03:07.215".
std::string Timestamp();

// What an order did, as the log says it: "cold-start order: restarting".
std::string Describe(OrderReaction reaction, Start start);

// Bytes received, as the log shows them; a UBX frame as hex bytes throughout.
std::string LoggedBytes(std::string_view bytes);

// The log line's words for `command` (complete: with its end) after the receiver has been told
// of it: the order obeyed or ignored, the version query answered, or why it is none of them.
// `obey` false: orders and queries are logged, not acted on (a replay).
std::string HandleCommand(Receiver& receiver, Family family, const std::string& command,
                          bool complete, bool answers, bool obey = true);

}  // namespace quorvel::sim

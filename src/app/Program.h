#pragma once

namespace quorvel {

// Builds the window, the adapters and the handlers, and wires them together.
class Program {
public:
    Program();
};

}  // namespace quorvel

#pragma once

namespace quorvel::sim {

// Turns SIGINT, SIGTERM and SIGHUP into a readable pipe so the event loop can end cleanly
// (and remove its link); SIGPIPE is ignored. One instance per process.
class SignalWatch {
  public:
    SignalWatch();
    ~SignalWatch();
    SignalWatch(const SignalWatch&) = delete;
    SignalWatch& operator=(const SignalWatch&) = delete;

    int fd() const;
    // The signal that arrived, or 0.
    int Take() const;
};

}  // namespace quorvel::sim

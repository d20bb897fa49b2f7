#pragma once

#include <optional>

#include "sim/Sentences.h"

namespace quorvel::sim {

// How the simulated receiver answers a cold-start order.
struct ReceiverConfig {
    int startSecondsOfDay = 12 * 3600;
    Date startDate;
    bool timeKnown = true;             // false: GGA and RMC carry empty time fields
    bool neverRestart = false;         // ignores every order
    int restartAfter = 0;              // bursts that still carry the old time after an order
    int rebootSilence = 3;             // bursts without output while rebooting
    int noFixAfterRestart = 5;         // bursts without a position after each restart
    std::optional<int> powerOffAfter;  // bursts sent after the first restart, then off for good
};

// What an order did, for the log.
enum class OrderReaction { Restarting, IgnoredNeverRestarts, IgnoredBusy, IgnoredPoweredOff };

// The receiver's clock and its reaction to cold-start orders, one burst at a time. Time is
// counted in bursts, so the machine can be driven without a real clock: the receiver's UTC time
// advances one second per burst.
//
// After an order at any moment between two bursts, counting the bursts that follow from 1:
//   1 .. restartAfter                      the old time goes on
//   restartAfter+1 .. +rebootSilence       nothing is sent (rebooting)
//   restartAfter+rebootSilence+1           00:00:00, then +1 s per burst; no fix for a while
// With powerOffAfter = P, the receiver sends P bursts after its first restart (00:00:00 to
// 00:00:P-1) and then nothing more: it has been switched off.
class Receiver {
  public:
    enum class State { Running, RestartPending, Rebooting, PoweredOff };

    explicit Receiver(const ReceiverConfig& config);

    OrderReaction OnOrder();

    // Advances one burst period; the epoch to send, or nothing when the receiver is silent.
    std::optional<Epoch> NextBurst();

    State state() const { return state_; }
    int restarts() const { return restarts_; }

  private:
    Epoch Emit();
    void Restart();

    ReceiverConfig config_;
    State state_ = State::Running;
    int clock_;  // seconds of day of the next burst
    Date date_;
    bool dateKnown_ = true;
    int countdown_ = 0;  // bursts left in RestartPending or Rebooting
    int restarts_ = 0;
    int sinceRestart_ = 0;  // bursts sent since the last restart
    int bursts_ = 0;
};

}  // namespace quorvel::sim

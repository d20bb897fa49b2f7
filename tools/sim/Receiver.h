#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/Sentences.h"

namespace quorvel::sim {

// The receiver makers' protocols: each family obeys its own orders only and shows a restart in
// its own way (see Receiver).
enum class Family { Pxemsrt, Ubx, Pmtk, Psrf, Pair, Pqtm, Casic };

// What a restart keeps: a hot start the ephemeris and the time, a warm start the time and the
// almanac, a cold start nothing; a factory start also resets the settings.
enum class Start { Hot, Warm, Cold, Factory };

// True when `bytes` hold `family`'s whole cold-start order (anywhere in them).
bool IsColdStartOrder(Family family, std::string_view bytes);

// `family`'s cold-start order as it goes on the wire.
std::string_view ColdStartOrder(Family family);

// How the simulated receiver answers a cold-start order.
struct ReceiverConfig {
    int startSecondsOfDay = 12 * 3600;
    Date startDate;
    bool timeKnown = true;             // false: GGA and RMC carry empty time fields
    bool neverRestart = false;         // ignores every order
    int restartAfter = 0;              // bursts that still carry the old time after an order
    int rebootSilence = 3;             // bursts without output while rebooting
    int noFixAfterRestart = 5;         // bursts without a position after a cold restart
    std::optional<int> powerOffAfter;  // bursts sent after the first restart, then off for good
    Family family = Family::Pxemsrt;
    bool neverFix = false;  // after a restart the fix never comes back
    // The first fixes after each restart: offsetM metres north of the true position for
    // offsetFor bursts, and 2D for twoDFor bursts, as a receiver's fix settles.
    double offsetM = 0;
    int offsetFor = 0;
    int twoDFor = 0;
    bool sendsGsa = true;
};

// What an order or a query did, for the log.
enum class OrderReaction { Restarting, IgnoredNeverRestarts, IgnoredBusy, IgnoredPoweredOff };
enum class QueryReaction { Answering, IgnoredPoweredOff };

// The receiver's clock and its reaction to cold-start orders, one burst at a time. Time is
// counted in bursts, so the machine can be driven without a real clock: the receiver's UTC time
// advances one second per burst.
//
// After an order at any moment between two bursts, counting the bursts that follow from 1:
//   1 .. restartAfter                      the old time goes on
//   restartAfter+1 .. +rebootSilence       nothing is sent (rebooting)
//   restartAfter+rebootSilence+1           the restart: the family's start-up text (StartupText)
//                                          and bursts without a fix: noFixAfterRestart after a
//                                          cold or factory start, half that after a warm start
//                                          and a quarter after a hot one
// A hot or warm start keeps the true time. What the time fields show in the bursts without a
// fix after a cold or factory start depends on the family:
//   Pxemsrt  00:00:00, +1 s per burst, and that clock goes on after the fix
//   Ubx, Pair, Pqtm, Casic  empty until the time arrives from the sky, two bursts before the fix
//   Pmtk     the module's clock default, 23:59:46 on 1980-01-05, counting up; then the true
//            time, two bursts before the fix
//   Psrf     the clock since the reboot, from 00:00:00; then the true time, two bursts before
//            the fix
// The true UTC time runs on through restarts and silence. With neverFix the fix and the true
// time never come back after a restart. With powerOffAfter = P, the receiver sends P bursts
// after its first restart and then nothing more: it has been switched off.
class Receiver {
  public:
    enum class State { Running, RestartPending, Rebooting, PoweredOff };

    explicit Receiver(const ReceiverConfig& config);

    OrderReaction OnOrder(Start start = Start::Cold);
    // Its supply switched: off, it sends nothing and forgets what it was doing; on, it boots as
    // from a cold start, its start-up text in the first burst and the fix in the burst
    // noFixAfterRestart periods after power-on, when bursts resume one period after it.
    void PowerOff();
    void PowerOn();
    // Queues `answer` (to a version query) before the next burst the receiver sends.
    QueryReaction OnQuery(const std::string& answer);

    // Advances one burst period; the epoch to send, or nothing when the receiver is silent.
    std::optional<Epoch> NextBurst();

    State state() const { return state_; }
    int restarts() const { return restarts_; }
    Start lastStart() const { return start_; }

  private:
    std::optional<Epoch> Step();
    Epoch Emit();
    void Restart();

    ReceiverConfig config_;
    State state_ = State::Running;
    int clock_;  // seconds of day the next burst shows
    Date date_;
    int trueClock_;  // UTC seconds of day of the next burst, whatever the receiver shows
    Date trueDate_;
    bool dateKnown_ = true;
    int countdown_ = 0;  // bursts left in RestartPending or Rebooting
    int restarts_ = 0;
    int sinceRestart_ = 0;       // bursts sent since the last restart
    Start start_ = Start::Cold;  // of the order being obeyed, or obeyed last
    int noFix_ = 0;              // bursts without a fix after the last restart
    std::string before_;         // start-up text and answers for the next burst
    int bursts_ = 0;
};

}  // namespace quorvel::sim

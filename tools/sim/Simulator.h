#pragma once

#include <chrono>
#include <deque>
#include <iosfwd>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "sim/CommandLog.h"
#include "sim/Options.h"
#include "sim/PortLink.h"
#include "sim/PowerFile.h"
#include "sim/Pty.h"
#include "sim/Receiver.h"

namespace quorvel::sim {

// The receiver the options describe, its clock starting at --start-time or now.
ReceiverConfig ReceiverConfigFrom(const Options& o);

// The program: the pty, the optional COM link and the event loop that sends bursts and reads
// commands. Everything waits in poll(); nothing spins and nothing blocks without a time-out.
class Simulator {
  public:
    Simulator(const Options& options, std::ostream& out, std::ostream& err);

    // Runs until --exit-after, SIGINT, SIGTERM or SIGHUP; the process exit code.
    int Run();

  private:
    using Clock = std::chrono::steady_clock;

    int Prepare();
    std::string Loop(int signalFd);  // why it ended
    void StartBurst(Clock::time_point start);
    std::string NextBurstBytes();
    void ReportReceiverChange(Receiver::State before, int restartsBefore);
    void WriteDueChunks(Clock::time_point now);
    void ReadCommands(Clock::time_point now);
    void LogCommand(const std::string& command, bool complete);
    std::optional<Clock::time_point> NextWake() const;
    void Say(const std::string& line);
    // The supply as --power-file says (SimulatorPower.cpp); why the program must end, if so.
    std::string CheckPower(bool readable, Clock::time_point now);
    std::string SwitchPower(bool on, Clock::time_point now);

    Options options_;
    std::ostream& out_;
    std::ostream& err_;
    Pty pty_;
    PortLink link_;
    Receiver receiver_;
    CommandLog commands_;
    std::mt19937_64 rng_;
    std::vector<std::string> replayBursts_;
    std::size_t replayNext_ = 0;
    std::deque<std::pair<Clock::time_point, std::string>> queue_;
    Clock::time_point nextBurst_;
    std::optional<Clock::time_point> deadline_;
    std::optional<Clock::time_point> flushPendingAt_;
    std::optional<Clock::time_point> masterQuietUntil_;
    std::size_t largestBurst_ = 0;
    PowerFile power_;
    bool poweredOn_ = true;
    std::string gone_;  // the device that went at power-off: not to come back under its name
    int exitCode_ = kExitOk;
};

}  // namespace quorvel::sim

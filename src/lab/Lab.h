#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "engine/SerialPort.h"
#include "lab/command/LabOptions.h"
#include "lab/record/Journal.h"
#include "lab/cycle/Receiver.h"
#include "lab/present/LiveView.h"
#include "lab/record/Journal.h"
#include "lab/record/Stats.h"

namespace quorvel::lab {

class LabServer;

// The lab program: every receiver on the one event thread, woken by its port's notifications,
// and one shared tick that runs each receiver's enabled timers. `tickMs` is the length of the
// lab's second; the product's is 1000.
class Lab {
  public:
    using Clock = std::function<double()>;  // the lab's seconds since Begin
    // `clock` replaces the lab's own in tests.
    Lab(LabOptions options, std::ostream& out, int tickMs = 1000, Clock clock = {});
    ~Lab();

    // Opens the journal and starts every receiver; false with a message in `error`.
    bool Begin(std::string& error);
    // Ends every run, prints the summary and writes the report. A receiver's supply that a power
    // start left off is switched on first: the lab has ended when Ended() says so.
    void End();
    bool Ended() const { return ended_; }
    // 0; 1 when a journal row, the report or the summary could not be written; else 3 when a
    // receiver failed --pass-ttff / --pass-rate.
    int ExitCode() const { return exitCode_; }

  private:
    void OnTick();
    // What End does once every supply is back on, or its switches had their time.
    void Conclude();
    bool PowerPending() const;
    void OnRow(std::size_t receiver, const Row& row);
    void OnEvent(std::size_t receiver, const Receiver::Event& event);
    void DrawLiveLines();
    void RewriteReport(bool last);
    double Now() const;

    LabOptions options_;
    std::ostream& out_;
    int tickMs_;
    bool live_;  // a terminal: lines updated in place
    bool ended_ = false;
    bool ending_ = false;
    QTimer restore_;  // while the lab waits for supplies to come back on
    std::optional<long long> restoreUntilMs_;
    int exitCode_ = 0;
    long long ticks_ = 0;
    std::string reportFailure_;
    Journal journal_;
    Clock clockOverride_;
    QElapsedTimer clock_;
    QTimer tick_;
    // A port, its receiver, and what the lab keeps of them.
    struct Station {
        std::unique_ptr<SerialPort> port;
        std::string device;    // what the port names, when its adapter cannot say
        bool network = false;  // a port on a device server
        std::unique_ptr<Receiver> receiver;
        std::string problem = {};  // the last port trouble, for its live line
        std::vector<Start> starts = {};  // the starts it was given
        bool decided = false;            // --until-decided: each of its starts is decided
    };
    // Whether each of the receiver's starts has a tally decided PASS or FAIL.
    bool Decided(std::size_t receiver) const;
    std::vector<Station> stations_;
    Tally& TallyFor(std::size_t receiver, const std::string& start);
    void NoteReceivers();
    std::vector<Tally> tallies_;
    std::vector<std::size_t> owners_;  // the receiver of each tally
    std::optional<LiveView> liveView_;
    std::unique_ptr<LabServer> http_;  // --http
};

}  // namespace quorvel::lab

#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/Display.h"
#include "engine/EngineObserver.h"
#include "engine/RunState.h"
#include "engine/StartStop.h"
#include "engine/TestEngine.h"
#include "lab/cycle/Adapters.h"
#include "lab/cycle/Epochs.h"
#include "lab/cycle/FirstFix.h"
#include "lab/cycle/Geo.h"
#include "lab/families/Identity.h"
#include "lab/record/Journal.h"
#include "lab/record/Verdict.h"
#include "lab/ports/PortArgument.h"
#include "lab/families/Profiles.h"
#include "lab/power/PowerSwitch.h"
#include "link/Connection.h"
#include "link/SettingsStore.h"

namespace quorvel::lab {

// One receiver under test: the window's cycle on its own run state, display and port, and
// the record of its cycles, learnt from the engine's observer.
//
// Every order ends in exactly one row: an order opens a cycle, and only WriteRow closes it. A
// row is also written for a run that ended on a verdict before any order (no data, a baud
// mismatch, no fix before the first order, a family not found).
class Receiver : public EngineObserver {
  public:
    struct Settings {
        int interval = 30;
        const Profile* profile = nullptr;  // nothing: auto, the family its own texts name
        std::vector<lab::Start> starts = {lab::Start::Cold};  // taken in turn, one per cycle
        std::optional<std::string> order = {};      // instead of the profile's orders
        std::optional<RestartSign> sign = {};       // instead of the profile's sign
        int retryS = 10;            // seconds from a verdict to the next start
        int fixLimitS = 300;        // seconds without the fix awaited, then a no-fix row
        std::optional<int> cycles = {};  // finished after this many rows
        // A cycle the end of the run cuts is judged, as a failure, once its fix was due this
        // long after its order; otherwise, and without a limit, it is "ended" and not judged.
        std::optional<double> fixDueS = {};
        // What counts as the first fix: a 3D one only, one within this many metres of the
        // reference; each row has its error against the reference when there is one.
        std::optional<Reference> reference = {};
        std::optional<double> fixWithinM = {};
        bool fix3d = false;
        // A gap between two ticks this long means the lab itself was stopped (a suspended
        // process, a paused machine): what it would measure across the gap is its own stall.
        double stallS = kStallS;
        // A power start keeps the receiver off this long before it switches it on again.
        double powerOffForS = 5;
    };
    using Clock = std::function<double()>;  // seconds, monotonic
    using RowSink = std::function<void(const Row&)>;
    // A line of the run's story, or a state it entered; `verdict` is the verdict it tells of,
    // `reason` the system's words for a port's trouble.
    struct Event {
        std::string text;
        std::optional<lab::Verdict> verdict = {};
        std::string reason = {};
        bool state = false;
    };
    using EventSink = std::function<void(const Event&)>;

    // Seconds an `auto` port listens for the receiver's texts before it gives up a run.
    static constexpr double kListenS = 10;
    // A restart shows within this many seconds of its order: in every capture we hold that
    // records one, the first sentences after it already show it, and a reboot takes a second
    // or two. A sign that begins later is some other event's (a dropout, a stall).
    static constexpr std::int16_t kSignWithinS = 5;
    static constexpr double kStallS = 5;
    // What a receiver sends after its supply is switched off is what was under way: a whole
    // sentence later than this is a receiver the switch did not switch off.
    static constexpr double kPowerDrainS = 1;

    // `power` switches its supply, for power starts; nothing when it has none.
    Receiver(const PortSpec& given, SerialPort& port, const Settings& settings, Clock clock,
             RowSink rows, EventSink events = {}, std::unique_ptr<PowerSwitch> power = {});

    // Presses start, as the operator does.
    void Start();
    // One second of the four timers, each when enabled; then a due retry.
    void Tick();
    void HandlePortEvent(std::int16_t kind);
    // Writes the row of the cycle under way and stops the run; the receiver stays finished.
    void Finish();
    // No order after the cycle under way: the receiver is decided. Its port stays open and its
    // run goes on, so that whatever it says is still heard.
    void StopOrders() { ordersStopped_ = true; }

    const std::string& Name() const { return name_; }
    int Cycles() const { return cycles_; }
    bool Finished() const { return finished_; }
    const std::string& State() const { return state_; }
    std::optional<double> LastRestart() const { return lastRestart_; }
    std::optional<double> LastTtff() const { return lastTtff_; }
    // Sentences whose checksum did not match, and those that did.
    long long Damaged() const { return damaged_; }
    long long Intact() const { return intact_; }
    const Identity& Identified() const { return tap_.reader.identity(); }
    // The profile it runs under ("auto" until its texts name one), and what the receiver said
    // against the profile it was given; empty when nothing.
    const std::string& ProfileName() const { return profileName_; }
    const std::string& Contradiction() const { return contradiction_; }
    // A switch of its supply is under way, or the supply is off: the lab waits for it at the end.
    bool PowerPending() const;
    // Why its supply could not be switched back on; empty when it is on or was never off.
    const std::string& PowerLeftOff() const { return powerLeftOff_; }

    void OrderSent(const std::string& order) override;
    void RestartConfirmed(std::int16_t coldStartSeconds) override;
    void VerdictReached(quorvel::Verdict verdict) override;
    void GgaAnalysed(std::string_view sentence, const GgaFields& gga) override;
    void SentenceRead(std::string_view sentence, bool intact) override;
    std::optional<std::string> NextOrder(const std::string& order) override;

  private:
    // Where the cycle under way stands. An order moves it from Idle; only WriteRow moves it back.
    enum class Cycle { Idle, Ordered, Restarted };
    // The window's cycle, made anew when an `auto` port learns its family.
    struct Machine {
        Machine(Receiver& r, const CycleSettings& cycle);
        TestEngine engine;
        StartStop startStop;
        Connection connection;
    };

    void Build(const Profile* family);
    // The one place rows are written: the open cycle's, with its restart time, or a run's.
    void WriteRow(lab::Verdict verdict, std::optional<double> ttff = {},
                  std::optional<int> satellites = {}, const std::string& hdop = {},
                  std::optional<double> errorM = {}, Cn0Reading cn0 = {});
    void Judge(const Epoch& epoch);
    void JudgeLatest();
    // The row of a cycle that is still open when the next order goes out or a run starts.
    void CloseOpenCycle();
    bool Idle() const;
    void SetState(std::string state, std::optional<lab::Verdict> verdict = {});
    // Ends the run on a verdict: its row, port closed, timers off; the retry follows.
    // The epoch under way is judged first, unless the judging itself ends the run.
    // `line` tells why, when more than the verdict's name; `reason` is a port's trouble.
    void EndRun(lab::Verdict verdict, const std::string& line, bool judgeLatest = true,
                const std::string& reason = {});
    void Tell(const std::string& text) const;
    void WatchFixWait();
    // Whether the next order may go out: the last start is decided and the interval is over.
    bool OrderDue() const;
    // A sign the receiver shows without any order proves no restart from then on.
    void WatchUnorderedSigns(const GgaFields* gga);
    // Leaves the cycle under way unjudged when the lab itself stalled; true when it did.
    bool CheckStall();
    void AfterReceive();
    // An `auto` port's family, once its listening time is over.
    void DecideFamily();
    lab::Start NextStart() const;
    bool OrdersWanted() const;
    // A power start: off, a wait, on; its TTFF counts from the moment the supply is back.
    enum class Power { Steady, SwitchingOff, Off, SwitchingOn, Back };
    void SwitchPower(bool on);
    void PowerSwitched(bool on, const std::string& error);
    void WatchPower();
    void PowerCycleClosed();

    std::string name_;
    RunState run_;
    HeadlessDisplay display_;
    NoSettings settings_;
    SerialPort& port_;
    IdentityTap tap_;
    Settings given_;
    std::unique_ptr<Machine> machine_;
    const Profile* family_ = nullptr;  // the profile the machine runs; nothing while listening
    std::vector<lab::Start> starts_;        // the starts in turn that the family has
    std::vector<std::string> orders_;  // the order of each
    Clock now_;
    RowSink rows_;
    EventSink events_;

    int cycles_ = 0;
    Cycle cycle_ = Cycle::Idle;
    double orderAt_ = 0;             // when the open cycle was ordered
    lab::Start orderStart_ = lab::Start::Cold;  // which start it ordered
    std::size_t turn_ = 0;            // the next start in turn
    std::optional<double> restart_;  // seconds from the order to the confirmed restart
    std::optional<lab::Verdict> verdict_;  // the verdict that ended this run
    std::optional<double> retryAt_;       // when the next start is due
    // Since when a fix is awaited: from the start of a run to its first order, and from an
    // order (or the end of a countdown that waits for a fix) to the next fix.
    std::optional<double> fixAwaitedSince_;
    std::optional<double> nextOrderAt_;  // the interval after the last start's first fix
    bool hadTime_ = false;           // a GGA with a time came since the last order or start
    std::optional<double> lastTickAt_;
    bool echoTold_ = false;
    bool ordersStopped_ = false;
    bool queried_ = false;         // this run asked the receiver who it is
    std::optional<double> listenUntil_;  // an `auto` port decides its family then
    std::string profileName_;
    std::string contradiction_;
    std::string identityTold_;
    Epochs fixes_;
    std::optional<double> lastError_;  // of the last fix, against the reference
    FirstFixRule firstFix_;
    std::string ttffRule_;  // its text, as each row gives it
    long long damaged_ = 0;
    long long intact_ = 0;
    bool finished_ = false;
    std::string state_ = "idle";
    std::optional<double> lastRestart_;
    std::optional<double> lastTtff_;
    Power power_ = Power::Steady;
    bool powerCycleOpen_ = false;  // a power start whose row is not written yet
    double poweredOffAt_ = 0;
    bool vanishTold_ = false;
    std::string powerLeftOff_;
    // Last: destroyed first, so that no switch reports to a receiver being torn down.
    std::unique_ptr<PowerSwitch> powerSwitch_;
};

}  // namespace quorvel::lab

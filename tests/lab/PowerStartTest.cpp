// Power starts, driven in-process: the simulator's receiver model behind a port stand-in whose
// supply a stand-in switch turns off and on, one burst and one lab tick per second.
#include <gtest/gtest.h>

#include <deque>

#include "lab/cycle/Receiver.h"
#include "lab/families/Profiles.h"
#include "sim/Orders.h"
#include "sim/Receiver.h"
#include "sim/Sentences.h"

namespace quorvel::lab {
namespace {

// A supply the switch turns off and on; the receiver behind it talks only while it is on.
struct Supply {
    bool on = true;
    bool obeys = true;   // false: the switch reports success and nothing happens
    int vanishFor = -1;  // seconds after power-on its device is still missing; -1: it never goes
    int backAt = -1;     // the second its device can be opened again
};

class PoweredPort : public SerialPort {
  public:
    PoweredPort(Supply& supply, sim::ReceiverConfig config) : supply_(supply), rx_(config) {}
    bool SetCommPort(std::int16_t) override { return true; }
    bool SetSettings(const std::string&) override { return true; }
    bool Open() override {
        if (gone_ && (supply_.backAt < 0 || second_ < supply_.backAt)) return false;
        if (gone_) device_ = "/dev/ttyUSB1";  // back under another name
        gone_ = false;
        return open = true;
    }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    void DiscardInput() override { pending_.clear(); }
    std::string Input() override { return std::exchange(pending_, {}); }
    bool Output(const std::string& text) override {
        if (auto start = sim::OrderStart(sim::Family::Ubx, text)) {
            orders.push_back(text);
            rx_.OnOrder(*start);
        }
        return true;
    }
    std::string ErrorReason() const override { return "No such file or directory"; }
    std::string DeviceName() const override { return device_; }

    // One second; returns the port event it makes, or 0.
    std::int16_t Second() {
        ++second_;
        const bool powered = supply_.on || !supply_.obeys;
        if (powered && !wasPowered_) {
            rx_.OnOrder(sim::Start::Cold);  // a power-on boots as a cold start does
            if (supply_.vanishFor >= 0) supply_.backAt = second_ + supply_.vanishFor;
        }
        wasPowered_ = powered;
        auto burst = rx_.NextBurst();
        if (!powered && supply_.vanishFor >= 0 && open && !gone_) {
            gone_ = true;
            open = false;
            return comm_event::kDeviceFailure;
        }
        if (!powered || !burst || !open) return 0;
        pending_ += sim::Burst(*burst);
        return comm_event::kReceive;
    }

    bool open = false;
    std::vector<std::string> orders;

  private:
    Supply& supply_;
    sim::Receiver rx_;
    bool wasPowered_ = true;
    bool gone_ = false;
    int second_ = -1;
    std::string device_ = "/dev/ttyUSB0";
    std::string pending_;
};

// Switches the supply; each switch reports a second later, with the outcome scripted for it.
class ScriptedSwitch : public PowerSwitch {
  public:
    ScriptedSwitch(Supply& supply, std::vector<std::string> outcomes, std::string& calls)
        : supply_(supply), outcomes_(std::move(outcomes)), calls_(calls) {}
    void Switch(bool on, Done done) override {
        calls_ += on ? "on " : "off ";
        const std::string outcome = n_ < outcomes_.size() ? outcomes_[n_] : "";
        ++n_;
        if (outcome == "hangs") return;
        if (outcome.empty()) supply_.on = on;
        due_.push_back([done, outcome] { done(outcome); });
    }
    bool Busy() const override { return !due_.empty(); }
    std::string Describe() const override { return "outlet 3"; }
    void Deliver() {
        auto due = std::exchange(due_, {});
        for (auto& report : due) report();
    }

  private:
    Supply& supply_;
    std::vector<std::string> outcomes_;
    std::string& calls_;
    std::size_t n_ = 0;
    std::deque<std::function<void()>> due_;
};

std::string Short(const Row& r) {
    auto text = [](const std::optional<double>& s) {
        return s ? std::to_string(static_cast<int>(*s + 0.5)) : std::string();
    };
    return std::string(NameOf(r.verdict)) + "," + text(r.restartS) + "," + text(r.ttffS) + "@" +
           r.start;
}

TEST(LabPowerStart, TheSupplySwitchedOffAndOnIsTheStart) {
    const std::vector<Start> power = {Start::Power}, powerCold = {Start::Power, Start::Cold};
    const struct Case {
        const char* name;
        std::vector<Start> starts;
        Supply supply;
        std::vector<std::string> outcomes;  // of each switch in turn; "" done
        int seconds;
        std::vector<std::string> rows;
        std::string calls;                 // the switches asked for
        std::string said = {};             // in an event line
        std::string leftOff = {};
        int orders = 0;                    // order bytes sent
    } cases[] = {
        // Off at 6 s (reported at 7), on at 12 (reported at 13): a second of boot, then the
        // restart; its fix 10 bursts later. Then the next power start after the interval.
        {"by commands", power, {}, {}, 60, {"ok,1,11@power", "ok,1,11@power", "ended,,@power"},
         "off on off on off on ", "powered off"},
        {"power and cold in turn", powerCold, {}, {}, 60,
         {"ok,1,11@power", "ok,2,12@cold", "ended,,@power"}, "off on off on ", "", "", 1},
        // Its fix is timed from power-on, however long its device took to come back.
        {"it vanishes and comes back under another name", power, {.vanishFor = 3}, {}, 40,
         {"ok,4,11@power", "ended,,@power"}, "off on off on ",
         "back after its power start as /dev/ttyUSB1"},
        {"it comes back after the fix limit", power, {.vanishFor = 60}, {}, 60,
         {"port-error,,@power"}, "off on ", "port-error: not back within 40 s"},
        {"a switch that does not switch", power, {.obeys = false}, {}, 30,
         {"power-error,,@power"}, "off on ", "still talking with its power off"},
        {"the off command fails", power, {}, {"exited with status 1: no hub 1-1"}, 30,
         {"power-error,,@power"}, "off on ", "power-error: exited with status 1: no hub 1-1"},
        // The lab tries once more as the run ends; then the summary says the supply is off.
        {"the on command fails", power, {}, {"", "did not finish within 30 s", "refused"}, 30,
         {"power-error,,@power"}, "off on on ", "power-error: did not finish", "refused"},
        {"the run ends while it is off", power, {}, {}, 10, {"ended,,@power"}, "off on "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Supply supply = c.supply;
        sim::ReceiverConfig config;
        config.rebootSilence = 1;
        config.noFixAfterRestart = 10;
        config.family = sim::Family::Ubx;
        PoweredPort port(supply, config);
        std::string calls, said;
        auto owned = std::make_unique<ScriptedSwitch>(supply, c.outcomes, calls);
        ScriptedSwitch& power = *owned;
        double now = 0;
        std::vector<std::string> rows;
        Receiver receiver({"COM5", 5, "", "9600", "ubx"}, port,
                          {.interval = 10, .profile = FindProfile("ubx"), .starts = c.starts,
                           .retryS = 100, .fixLimitS = 40},
                          [&now] { return now; }, [&rows](const Row& r) { rows.push_back(Short(r)); },
                          [&said](const Receiver::Event& e) { said += e.text + "\n"; },
                          std::move(owned));
        receiver.Start();
        for (int second = 0; second < c.seconds; ++second) {
            power.Deliver();
            if (const std::int16_t event = port.Second()) receiver.HandlePortEvent(event);
            now += 1;
            receiver.Tick();
        }
        receiver.Finish();
        for (int second = 0; second < 3; ++second) power.Deliver();
        EXPECT_EQ(rows, c.rows);
        EXPECT_EQ(calls, c.calls);
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
        EXPECT_FALSE(receiver.PowerPending());
        EXPECT_EQ(receiver.PowerLeftOff().empty(), c.leftOff.empty()) << receiver.PowerLeftOff();
        EXPECT_EQ(static_cast<int>(port.orders.size()), c.orders);
        EXPECT_TRUE(supply.on || !c.leftOff.empty()) << "its supply was left off";
    }
}

}  // namespace
}  // namespace quorvel::lab

// Journal rows for each scripted receiver, driven in-process: the simulator's receiver model
// behind a port stand-in, one burst and one lab tick per simulated second.
#include <gtest/gtest.h>

#include "lab/Receiver.h"
#include "sim/Receiver.h"
#include "sim/Sentences.h"

namespace quorvel::lab {
namespace {

const std::string kOrder = "$PXEMSRT,C*3A\r\n";

enum class Feed { Bursts, Deaf, TimeLess, Noise, Nothing };

class SimPort : public SerialPort {
  public:
    SimPort(const sim::ReceiverConfig& config, Feed feed) : rx_(config), feed_(feed) {}
    bool SetCommPort(std::int16_t) override { return true; }
    bool SetSettings(const std::string&) override { return true; }
    bool Open() override { return open = true; }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    void DiscardInput() override { pending_.clear(); }
    std::string Input() override { return std::exchange(pending_, {}); }
    bool Output(const std::string& text) override {
        if (text == kOrder) rx_.OnOrder();
        return true;
    }
    // One second of the receiver; false when nothing came.
    bool Second() {
        const auto epoch = rx_.NextBurst();
        if (feed_ == Feed::Noise) pending_ += "\x95\xA3~~\xFF";
        if (feed_ < Feed::Noise && epoch) pending_ += sim::Burst(*epoch);
        return open && !pending_.empty();
    }
    bool open = false;

  private:
    sim::Receiver rx_;
    Feed feed_;
    std::string pending_;
};

struct Script {
    const char* name;
    int noFix;     // bursts without a fix after a restart
    int offAfter;  // bursts after the first restart before it is switched off; 0: never
    int seconds;
    Feed feed;
    int cycles;                     // 0: no limit
    std::vector<std::string> rows;  // verdict,restart_s,ttff_s,satellites,hdop from cycle 1 on
};

TEST(LabJournal, EachScriptedReceiverGivesItsRows) {
    // A fix 8 s after the restart, 4 s after the order: 3 s reboot silence, 1 s to 00:00:00.
    const std::string ok = "ok,4.0,12.0,12,0.9", none = ",,,,";
    const Script scripts[] = {
        {"restarting", 8, 0, 70, Feed::Bursts, 0, {ok, ok, ok, "ok,4.0,,,"}},
        {"cycles ends it", 8, 0, 200, Feed::Bursts, 2, {ok, ok}},
        {"fix after the next order", 40, 0, 40, Feed::Bursts, 0, {"ok,4.0,,,", "ok,4.0,,,"}},
        {"deaf, retried", 5, 0, 90, Feed::Deaf, 0, {"no-respond" + none, "no-respond" + none}},
        {"off after restart", 8, 3, 30, Feed::Bursts, 0, {"shut-down,4.0,,,"}},
        {"off after its fix", 2, 4, 30, Feed::Bursts, 0, {"ok,4.0,6.0,12,0.9", "shut-down" + none}},
        {"noise", 5, 0, 12, Feed::Noise, 0, {"baud-mismatch" + none}},
        {"time-less GGA", 5, 0, 60, Feed::TimeLess, 0, {}},
        {"silent, retried", 5, 0, 20, Feed::Nothing, 0, {"cant-connect" + none, "cant-connect" + none}},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        sim::ReceiverConfig config;
        config.noFixAfterRestart = script.noFix;
        if (script.offAfter) config.powerOffAfter = script.offAfter;
        config.neverRestart = script.feed == Feed::Deaf;
        config.timeKnown = script.feed != Feed::TimeLess;
        SimPort port(config, script.feed);
        double now = 0;
        std::vector<std::string> rows, want;
        Receiver receiver(
            {"COM5", 5, "", "9600"}, port,
            {15, kOrder, RestartSign::ClockReset, 10, 300, script.cycles ? std::optional(script.cycles) : std::nullopt},
            [&now] { return now; },
            [&rows](const Row& r) { rows.push_back(FormatRow(r).substr(30)); });
        receiver.Start();
        for (int second = 0; second < script.seconds; ++second, now += 0.5) {
            if (port.Second()) receiver.HandlePortEvent(2);
            now += 0.5;
            receiver.Tick();
        }
        receiver.Finish();
        for (std::size_t i = 0; i < script.rows.size(); ++i)
            want.push_back(std::to_string(i + 1) + "," + script.rows[i]);
        EXPECT_EQ(rows, want);
        EXPECT_FALSE(port.open);
    }
}

}  // namespace
}  // namespace quorvel::lab

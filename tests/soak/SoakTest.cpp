// A week of test runs in simulated seconds: the real receive path, tick handlers, start/stop
// button and connection step against scripted receivers, with the line cut at random, bursts
// of line noise, silences, unplugging and replugging, and two stalls long enough to push the
// run counters to their limits. Every verdict must be the one the script calls for, the
// receive buffer must stay bounded and the heap must not grow.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"
#include "link/Connection.h"
#include "soak/HeapCount.h"
#include "support/FakeSettingsStore.h"

namespace quorvel::testing {
namespace {

constexpr int kDay = 86400;
constexpr int kWeek = 7 * kDay;
constexpr int kStall = 10 * 3600;  // longer than 32767 s, the limit of the run counters
constexpr std::int16_t kMax16 = std::numeric_limits<std::int16_t>::max();
constexpr std::int16_t kMin16 = std::numeric_limits<std::int16_t>::min();

// What the window showed and the port sent during one scenario.
// Empties a record and gives its memory back; clear() alone keeps the capacity.
void Release(std::vector<std::string>& record) { std::vector<std::string>().swap(record); }

struct Tally {
    std::vector<int> orders;
    std::vector<int> confirmations;
    int noRespond = 0;
    int coldStartFail = 0;
    int shutDown = 0;
    int baudMismatch = 0;
    int emptied = 0;

    bool AnyFailure() const { return noRespond + coldStartFail + shutDown + baudMismatch > 0; }
};

class Soak {
  public:
    SimulatedWindow w;
    FakeSettingsStore settings;
    Connection connection{w.state, w.display, w.port, settings};
    std::optional<ScriptedReceiver> receiver;
    std::mt19937 rng{20240611};
    bool linkUp = true;
    Tally tally;
    std::size_t largestRxBuffer = 0;
    long long receiveEvents = 0;
    long long bytesDelivered = 0;
    long long ordersTotal = 0;
    int scenarios = 0;

    Soak() {
        w.display.ports = {"COM 1"};
        w.display.bauds = {"9600"};
        w.display.selectedPort = "COM 1";
        w.display.selectedBaud = "9600";
        w.timer1Tick = [this] { connection.Timer1_Tick(); };
        w.timerTick = [this] { connection.Timer_Tick(); };
    }

    int Random(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
    bool Chance(double p) { return std::bernoulli_distribution(p)(rng); }

    // A receiver switched on, and the operator's click that starts a run.
    void Start(ReceiverScript script) {
        w.port.written.clear();
        w.port.calls.clear();
        ordersSeen_ = 0;
        tally = Tally{};
        script.clockAtPowerOn = Random(3600, 23 * 3600);
        receiver.emplace(script, w.port);
        linkUp = true;
        w.Click();
        ++scenarios;
    }

    ReceiverScript Normal() {
        ReceiverScript script;
        script.restartDelay = Random(1, 10);
        return script;
    }

    // The operator's click that stops the run; afterwards the window is idle.
    void Stop() {
        if (!w.display.status.empty()) w.Click();
        EXPECT_EQ(w.display.status, "");
        EXPECT_FALSE(w.port.IsOpen());
        EXPECT_EQ(w.state.Phase, 0);
        for (TimerId t : {TimerId::Timer1, TimerId::Timer, TimerId::Timer_Start, TimerId::Timer_PF})
            EXPECT_FALSE(w.display.On(t));
        ordersTotal += static_cast<long long>(tally.orders.size());
        // The records of this test are let go too, so that the heap between two runs holds
        // only what the program itself keeps.
        tally = Tally{};
        Release(w.port.written);
        Release(w.port.calls);
        Release(w.display.statusHistory);
    }

    void Run(int seconds) {
        for (int i = 0; i < seconds; ++i) Second();
    }

    template <typename Done>
    void RunUntil(Done done, int limit) {
        for (int i = 0; i < limit && !done(); ++i) Second();
    }

    void Second() {
        std::vector<std::string> reads =
            receiver ? receiver->Second(w.now) : std::vector<std::string>{};
        if (linkUp && w.port.IsOpen()) Deliver(reads);
        w.Tick(TimerId::Timer1);
        w.Tick(TimerId::Timer);
        const bool startFirst = rng() & 1;
        w.Tick(startFirst ? TimerId::Timer_Start : TimerId::Timer_PF);
        w.Tick(startFirst ? TimerId::Timer_PF : TimerId::Timer_Start);
        Observe();
        ++w.now;
    }

    // A scenario whose receiver never stops talking: every order is confirmed after the
    // restart delay and followed by the next one 30 s after the confirmation.
    void ExpectCleanCycling(int restartDelay) const {
        EXPECT_FALSE(tally.AnyFailure());
        ASSERT_GE(tally.confirmations.size() + 1, tally.orders.size());
        for (std::size_t i = 0; i < tally.confirmations.size(); ++i) {
            EXPECT_EQ(tally.confirmations[i] - tally.orders[i], restartDelay + 1);
            if (i + 1 < tally.orders.size()) {
                EXPECT_EQ(tally.orders[i + 1] - tally.confirmations[i], 30);
            }
        }
    }

  private:
    void Deliver(const std::vector<std::string>& reads) {
        std::string text;
        for (const auto& read : reads) text += read;
        if (text.empty()) return;
        // Line noise comes between sentences, never inside the receiver's own.
        if (Chance(0.02)) text = Noise() + text;
        if (Chance(0.02)) text += Noise();
        switch (Random(0, 3)) {
            case 0:
                Receive(text);
                break;
            case 1:
                Cut(text, 1, 8);
                break;
            case 2:
                Cut(text, 1, 80);
                break;
            default:
                Cut(text, 20, 400);
                break;
        }
    }

    void Cut(const std::string& text, int shortest, int longest) {
        for (std::size_t pos = 0; pos < text.size();) {
            const auto length = static_cast<std::size_t>(Random(shortest, longest));
            Receive(text.substr(pos, length));
            pos += length;
        }
    }

    void Receive(const std::string& text) {
        w.Receive(text);
        ++receiveEvents;
        bytesDelivered += static_cast<long long>(text.size());
        const RunState& s = w.state;
        EXPECT_TRUE(s.Phase >= 0 && s.Phase <= 2) << s.Phase;
        EXPECT_TRUE(s.ReceiveTick >= 0 && s.ReceiveTick <= 1000) << s.ReceiveTick;
        EXPECT_TRUE(s.BaudCheckSeconds >= 0 && s.BaudCheckSeconds <= 9) << s.BaudCheckSeconds;
        if (s.RxBuffer.size() > largestRxBuffer) largestRxBuffer = s.RxBuffer.size();
    }

    std::string Noise() {
        // Mostly short bursts of any bytes; now and then a runaway sentence: a "$" and then
        // thousands of bytes without "$" or "*", far past the longest sentence kept.
        std::string noise;
        if (Chance(0.1)) {
            noise = "$";
            for (int i = Random(1000, 9000); i > 0; --i) {
                const char c = static_cast<char>(Random(0, 255));
                if (c != '$' && c != '*') noise += c;
            }
            return noise;
        }
        for (int i = Random(1, 100); i > 0; --i) noise += static_cast<char>(Random(0, 255));
        return noise;
    }

    void Observe() {
        for (; ordersSeen_ < w.port.written.size(); ++ordersSeen_) {
            EXPECT_EQ(w.port.written[ordersSeen_], texts::kColdStartOrder);
            tally.orders.push_back(w.now);
        }
        for (const std::string& shown : w.display.statusHistory) {
            if (SimulatedWindow::IsConfirmation(shown)) tally.confirmations.push_back(w.now);
            if (shown.starts_with(texts::kColdStartFail1)) ++tally.noRespond;
            if (shown == texts::kColdStartFail) ++tally.coldStartFail;
            if (shown == texts::kShutDown) ++tally.shutDown;
            if (shown == texts::kBaudMismatch) ++tally.baudMismatch;
            if (shown.empty()) ++tally.emptied;
        }
        // A second of line noise cut into bytes shows thousands of texts; drop them all.
        Release(w.display.statusHistory);
        EXPECT_TRUE(w.state.Phase >= 0 && w.state.Phase <= 2);
        EXPECT_TRUE(w.state.BaudCheckSeconds >= 0 && w.state.BaudCheckSeconds <= 9);
    }

    std::size_t ordersSeen_ = 0;
};

// --- Scenarios: each starts from the idle window and ends with it idle again. ---

void NormalRun(Soak& k) {
    const ReceiverScript script = k.Normal();
    k.Start(script);
    const int seconds = k.Random(300, 3 * 3600);
    k.Run(seconds);
    k.ExpectCleanCycling(script.restartDelay);
    EXPECT_GE(k.tally.orders.size(),
              static_cast<std::size_t>(seconds / (script.restartDelay + 40)));
    k.Stop();
}

// Replugging the receiver: the operator starts a new run, which must cycle as ever.
void ReplugAndRun(Soak& k) {
    const ReceiverScript script = k.Normal();
    k.Start(script);
    k.Run(120);
    k.ExpectCleanCycling(script.restartDelay);
    EXPECT_GE(k.tally.orders.size(), 2u);
    k.Stop();
}

void UnplugDuringCountdown(Soak& k) {
    k.Start(k.Normal());
    k.RunUntil([&] { return !k.tally.confirmations.empty(); }, 120);
    ASSERT_EQ(k.tally.confirmations.size(), 1u);
    k.Run(k.Random(1, 20));
    k.linkUp = false;
    k.Run(k.Random(7, 600));
    EXPECT_EQ(k.tally.shutDown, 1);
    EXPECT_EQ(k.w.state.Phase, 2);
    EXPECT_FALSE(k.w.display.On(TimerId::Timer_PF));
    EXPECT_FALSE(k.w.display.On(TimerId::Timer_Start));
    EXPECT_TRUE(k.w.port.IsOpen());
    if (k.Chance(0.5)) {
        // The receiver talks again before anyone stops the run: the countdown goes on and
        // the cycle resumes, without a watchdog until the next start.
        const std::size_t orders = k.tally.orders.size();
        k.linkUp = true;
        k.Run(k.Random(60, 600));
        EXPECT_GT(k.tally.orders.size(), orders);
        EXPECT_EQ(k.tally.shutDown, 1);
    }
    k.Stop();
    ReplugAndRun(k);
}

void UnplugWhileOrdered(Soak& k) {
    k.Start(k.Normal());
    k.RunUntil([&] { return !k.tally.orders.empty(); }, 60);
    ASSERT_EQ(k.tally.orders.size(), 1u);
    k.linkUp = false;
    k.Run(k.Random(45, 900));
    EXPECT_EQ(k.tally.noRespond, 1);
    EXPECT_EQ(k.w.display.statusColour, Colour::Red);
    EXPECT_EQ(k.w.state.Phase, 1);
    // Back on the line, the receiver restarted long ago: nothing confirms the old order.
    k.linkUp = true;
    k.Run(k.Random(1, 120));
    EXPECT_TRUE(k.tally.confirmations.empty());
    EXPECT_EQ(k.tally.orders.size(), 1u);
    EXPECT_EQ(k.tally.noRespond, 1);
    k.Stop();
    ReplugAndRun(k);
}

void UnplugBeforeFirstOrder(Soak& k) {
    const ReceiverScript script = k.Normal();
    k.Start(script);
    k.Run(3);
    k.linkUp = false;
    k.Run(k.Random(7, 100));
    // Silence before any order puts the run back to its start; the port stays open.
    EXPECT_TRUE(k.tally.orders.empty());
    EXPECT_GE(k.tally.emptied, 1);
    EXPECT_EQ(k.w.display.status, "");
    EXPECT_FALSE(k.w.display.On(TimerId::Timer_PF));
    // Replugged, and the empty status lets the next click start a run at once.
    k.linkUp = true;
    k.w.Click();
    k.Run(150);
    k.ExpectCleanCycling(script.restartDelay);
    EXPECT_GE(k.tally.orders.size(), 2u);
    k.Stop();
}

void WrongBaudRate(Soak& k) {
    ReceiverScript script;
    script.garbageAtWrongRate = true;
    k.Start(script);
    k.Run(k.Random(30, 300));
    EXPECT_GE(k.tally.baudMismatch, 1);
    EXPECT_TRUE(k.tally.orders.empty());
    EXPECT_EQ(k.w.display.statusColour, Colour::Red);
    k.Stop();
}

// A receiver that never restarts, for ten hours: one order, one no-response verdict, and the
// counters that run with the stall held at their limit.
void StallWithoutRestart(Soak& k) {
    ReceiverScript script;
    script.restartsObeyed = 0;
    k.Start(script);
    k.Run(kStall);
    EXPECT_EQ(k.tally.orders.size(), 1u);
    EXPECT_EQ(k.tally.noRespond, 1);
    EXPECT_EQ(k.w.state.Phase, 1);
    EXPECT_EQ(k.w.state.NoRespondSeconds, kMax16);
    EXPECT_EQ(k.w.state.ColdStartSeconds, kMax16);
    EXPECT_EQ(k.w.state.GgaCount, kMax16);
    EXPECT_EQ(k.w.display.status, texts::kColdStartFail);
    k.Stop();
}

// A receiver that loses its time after a confirmation but goes on talking: no GGA can order
// again, and the countdown falls for ten hours and stops at its limit.
void StallInCountdown(Soak& k) {
    k.Start(k.Normal());
    k.RunUntil([&] { return !k.tally.confirmations.empty(); }, 120);
    ASSERT_EQ(k.tally.confirmations.size(), 1u);
    ReceiverScript lost;
    lost.emptyTimeFields = true;
    k.receiver.emplace(lost, k.w.port);
    k.Run(kStall);
    EXPECT_EQ(k.tally.orders.size(), 1u);
    EXPECT_EQ(k.tally.shutDown, 0);
    EXPECT_EQ(k.w.state.Phase, 2);
    EXPECT_EQ(k.w.state.RestartCountdown, kMin16);
    k.Stop();
}

void RandomScenario(Soak& k) {
    const int pick = k.Random(0, 9);
    if (pick < 4) return NormalRun(k);
    if (pick < 6) return UnplugDuringCountdown(k);
    if (pick < 7) return UnplugWhileOrdered(k);
    if (pick < 8) return UnplugBeforeFirstOrder(k);
    if (pick < 9) return WrongBaudRate(k);
    return ReplugAndRun(k);
}

TEST(Soak, AWeekOfTestRunsInSimulatedTime) {
    const auto wallStart = std::chrono::steady_clock::now();
    Soak k;
    StallWithoutRestart(k);
    StallInCountdown(k);
    while (k.w.now < kDay && !::testing::Test::HasFailure()) RandomScenario(k);
    const HeapCount afterDay1 = CurrentHeap();
    while (k.w.now < 4 * kDay && !::testing::Test::HasFailure()) RandomScenario(k);
    const HeapCount afterDay4 = CurrentHeap();
    while (k.w.now < kWeek && !::testing::Test::HasFailure()) RandomScenario(k);
    const HeapCount afterWeek = CurrentHeap();
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();

    std::printf(
        "soak: %.2f simulated days, %d scenarios, %lld orders, %lld receive events, %lld bytes\n"
        "soak: largest RxBuffer %zu bytes; heap blocks/bytes after day 1 %lld/%lld, "
        "day 4 %lld/%lld, day 7 %lld/%lld\n"
        "soak: wall time %.1f s\n",
        k.w.now / double(kDay), k.scenarios, k.ordersTotal, k.receiveEvents, k.bytesDelivered,
        k.largestRxBuffer, afterDay1.blocks, afterDay1.bytes, afterDay4.blocks, afterDay4.bytes,
        afterWeek.blocks, afterWeek.bytes, wall);

    EXPECT_GE(k.w.now, kWeek);
    EXPECT_LE(k.largestRxBuffer, kMaxUnfinishedSentence);
    // Between two runs the heap holds only what the program keeps: three days more of
    // cycling leave it where it was, give or take a few blocks and bytes.
    EXPECT_LE(afterDay4.blocks - afterDay1.blocks, 16);
    EXPECT_LE(afterWeek.blocks - afterDay4.blocks, 16);
    EXPECT_LE(afterDay4.bytes - afterDay1.bytes, 4096);
    EXPECT_LE(afterWeek.bytes - afterDay4.bytes, 4096);
}

}  // namespace
}  // namespace quorvel::testing

#include "sim/Simulator.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <ostream>

#include "sim/LineNoise.h"
#include "sim/LogLines.h"
#include "sim/Nmea.h"
#include "sim/Orders.h"
#include "sim/Replay.h"
#include "sim/Signals.h"

namespace quorvel::sim {
namespace {

using std::chrono::milliseconds;

// Bytes written without a line end are logged once the tool has been quiet this long.
constexpr milliseconds kPartialCommandWait{200};

const char* ChunkName(ChunkMode mode) {
    switch (mode) {
        case ChunkMode::Burst:
            return "burst";
        case ChunkMode::Sentence:
            return "sentence";
        case ChunkMode::Byte:
            return "byte";
        case ChunkMode::Random:
            return "random";
    }
    return "";
}

int MillisecondsUntil(std::chrono::steady_clock::time_point when) {
    const auto left = std::chrono::ceil<milliseconds>(when - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 60000));
}

}  // namespace

ReceiverConfig ReceiverConfigFrom(const Options& o) {
    ReceiverConfig c;
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    ::gmtime_r(&now, &utc);
    c.startSecondsOfDay =
        o.startSecondsOfDay.value_or(utc.tm_hour * 3600 + utc.tm_min * 60 + utc.tm_sec);
    c.startDate = Date{utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday};
    c.timeKnown = !o.noTime;
    c.neverRestart = o.neverRestart;
    c.restartAfter = o.restartAfter;
    c.rebootSilence = o.rebootSilence;
    c.noFixAfterRestart = o.ttff;
    c.powerOffAfter = o.powerOffAfter;
    c.family = o.family;
    c.neverFix = o.neverFix;
    c.offsetM = o.offsetM;
    c.offsetFor = o.offsetFor;
    c.twoDFor = o.twoDFor;
    c.sendsGsa = !o.noGsa;
    return c;
}

Simulator::Simulator(const Options& options, std::ostream& out, std::ostream& err)
    : options_(options), out_(out), err_(err), receiver_(ReceiverConfigFrom(options)) {
    if (!options_.seed) options_.seed = std::random_device{}();
    rng_.seed(*options_.seed);
}

void Simulator::Say(const std::string& line) { out_ << line << std::endl; }

int Simulator::Prepare() {
    if (!options_.replay.empty()) {
        std::string capture, error;
        if (!ReadFile(options_.replay, capture, error)) {
            err_ << "quorvel-sim: --replay: " << error << std::endl;
            return kExitUsage;
        }
        replayBursts_ = CaptureBursts(capture);
        if (replayBursts_.empty()) {
            err_ << "quorvel-sim: --replay: " << options_.replay << " holds nothing to send"
                 << std::endl;
            return kExitUsage;
        }
    }
    std::string error;
    if (!pty_.Open(error)) {
        err_ << "quorvel-sim: " << error << std::endl;
        return kExitFailure;
    }
    Say("quorvel-sim: " + pty_.device());
    if (options_.com) {
        const std::string dir = options_.portsDir.empty() ? DefaultPortsDir() : options_.portsDir;
        std::string message;
        const PortLink::Result made = link_.Make(dir, *options_.com, pty_.device(), message);
        if (made != PortLink::Result::Made) {
            err_ << "quorvel-sim: " << message << std::endl;
            return made == PortLink::Result::InTheWay ? kExitUsage : kExitFailure;
        }
        if (!message.empty()) Say("quorvel-sim: " + message);
        Say("quorvel-sim: COM " + std::to_string(*options_.com) + " is " + link_.path() + " -> " +
            pty_.device());
    }
    std::string settings = "quorvel-sim: family " + std::string(FamilyName(options_.family)) +
                           ", baud " + std::to_string(options_.baud) +
                           " (a label on a pty), burst every " + std::to_string(options_.rateMs) +
                           " ms, chunks " + ChunkName(options_.chunk) + ", seed " +
                           std::to_string(*options_.seed);
    if (options_.wrongBaud) {
        settings +=
            ", line noise of a receiver at " + std::to_string(MismatchedRate(options_.baud));
    }
    if (!options_.powerFile.empty()) {
        settings += ", power from " + options_.powerFile;
        if (options_.vanish) settings += " (its device goes while off)";
    }
    Say(settings);
    return kExitOk;
}

int Simulator::Run() {
    SignalWatch signals;
    if (const int failed = Prepare(); failed != kExitOk) return failed;
    const auto start = Clock::now();
    nextBurst_ = start;
    if (options_.exitAfterSeconds) {
        deadline_ = start + std::chrono::duration_cast<Clock::duration>(
                                std::chrono::duration<double>(*options_.exitAfterSeconds));
    }
    if (!options_.powerFile.empty()) power_.Watch(options_.powerFile);
    std::string reason = power_.On() ? "" : SwitchPower(false, start);
    if (reason.empty()) reason = Loop(signals.fd());
    if (const int signal = signals.Take(); signal != 0) reason = "signal " + std::to_string(signal);
    Say(Timestamp() + " end: " + reason);
    link_.Remove();
    return exitCode_;
}

std::string Simulator::Loop(int signalFd) {
    const milliseconds period{options_.rateMs};
    for (;;) {
        auto now = Clock::now();
        if (deadline_ && now >= *deadline_) return "--exit-after";
        if (now >= nextBurst_) {
            StartBurst(nextBurst_);
            nextBurst_ += period;
            if (nextBurst_ < now) nextBurst_ = now + period;  // woke late: do not catch up
        }
        WriteDueChunks(now);
        if (flushPendingAt_ && now >= *flushPendingAt_) {
            LogCommand(commands_.TakePending(), false);
            flushPendingAt_.reset();
        }
        if (masterQuietUntil_ && now >= *masterQuietUntil_) masterQuietUntil_.reset();

        // poll skips the power file's -1 when it is read by the clock.
        pollfd fds[3] = {
            {signalFd, POLLIN, 0}, {power_.fd(), POLLIN, 0}, {pty_.master(), POLLIN, 0}};
        const nfds_t count = masterQuietUntil_ || pty_.master() < 0 ? 2 : 3;
        const int timeout = MillisecondsUntil(*NextWake());
        if (::poll(fds, count, timeout) < 0 && errno != EINTR) {
            return std::string("poll: ") + std::strerror(errno);
        }
        if (fds[0].revents != 0) return "signal";
        if (count == 3 && fds[2].revents != 0) ReadCommands(Clock::now());
        if (std::string failed = CheckPower(fds[1].revents != 0, Clock::now()); !failed.empty())
            return failed;
    }
}

std::optional<Simulator::Clock::time_point> Simulator::NextWake() const {
    Clock::time_point wake = nextBurst_;
    if (!queue_.empty()) wake = std::min(wake, queue_.front().first);
    if (deadline_) wake = std::min(wake, *deadline_);
    if (flushPendingAt_) wake = std::min(wake, *flushPendingAt_);
    if (masterQuietUntil_) wake = std::min(wake, *masterQuietUntil_);
    if (const auto look = power_.LookAt()) wake = std::min(wake, *look);
    return wake;
}

void Simulator::StartBurst(Clock::time_point start) {
    // Nobody has read the last bursts: drop them, or a later open would get a stale backlog.
    if (largestBurst_ > 0 && static_cast<std::size_t>(pty_.Unread()) > 2 * largestBurst_) {
        pty_.DropUnread();
    }
    const std::string bytes = NextBurstBytes();
    largestBurst_ = std::max(largestBurst_, bytes.size());
    for (Chunk& chunk : SplitBurst(bytes, options_.chunk, options_.rateMs, rng_)) {
        queue_.emplace_back(start + milliseconds(chunk.offsetMs), std::move(chunk.bytes));
    }
}

std::string Simulator::NextBurstBytes() {
    if (!poweredOn_) {
        receiver_.NextBurst();  // its true time runs on
        return "";
    }
    if (!replayBursts_.empty()) {
        const std::string& burst = replayBursts_[replayNext_];
        replayNext_ = (replayNext_ + 1) % replayBursts_.size();
        return burst;
    }
    const Receiver::State before = receiver_.state();
    const int restartsBefore = receiver_.restarts();
    const std::optional<Epoch> epoch = receiver_.NextBurst();
    ReportReceiverChange(before, restartsBefore);
    if (!epoch || options_.silent) return "";
    const std::string burst = Burst(*epoch);
    if (options_.verbose) Say(Timestamp() + " tx " + EscapeBytes(Gga(*epoch)));
    if (options_.wrongBaud) return Garble(burst, MismatchedRate(options_.baud), options_.baud);
    return burst;
}

void Simulator::ReportReceiverChange(Receiver::State before, int restartsBefore) {
    const Receiver::State now = receiver_.state();
    if (now == Receiver::State::Rebooting && before != now) {
        Say(Timestamp() + " rebooting: silent for " + std::to_string(options_.rebootSilence) +
            " bursts");
    }
    if (receiver_.restarts() != restartsBefore) {
        static constexpr const char* kShownTime[] = {"000000", "empty", "235946", "000000",
                                                     "empty",  "empty", "empty"};
        const Start start = receiver_.lastStart();
        const bool kept = start == Start::Hot || start == Start::Warm;
        const char* shown = options_.noTime ? "empty"
                            : kept          ? "kept"
                                            : kShownTime[static_cast<int>(options_.family)];
        Say(Timestamp() + " restarted (" + StartName(start) + "): time " + shown + ", restart " +
            std::to_string(receiver_.restarts()));
    }
    if (now == Receiver::State::PoweredOff && before != now) {
        Say(Timestamp() + " powered off: no more output");
    }
}

void Simulator::WriteDueChunks(Clock::time_point now) {
    while (!queue_.empty() && queue_.front().first <= now) {
        const std::string& bytes = queue_.front().second;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(pty_.master(), bytes.data() + done, bytes.size() - done);
            if (n > 0) {
                done += static_cast<std::size_t>(n);
            } else if (n < 0 && errno == EINTR) {
                continue;
            } else {
                break;  // full (nobody reads): the rest is lost, as on a real line
            }
        }
        queue_.pop_front();
    }
}

void Simulator::ReadCommands(Clock::time_point now) {
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(pty_.master(), buffer, sizeof buffer);
        if (n > 0) {
            for (const std::string& command :
                 commands_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
                LogCommand(command, true);
            }
            flushPendingAt_.reset();
            if (commands_.HasPending()) flushPendingAt_ = now + kPartialCommandWait;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EAGAIN) return;
        // EIO or end of file: no slave side open. Cannot happen while we hold the slave, but
        // never spin on it: look again at the next burst.
        masterQuietUntil_ = now + milliseconds(options_.rateMs);
        return;
    }
}

void Simulator::LogCommand(const std::string& command, bool complete) {
    Say(Timestamp() + " rx \"" + LoggedBytes(command) + "\"" +
        HandleCommand(receiver_, options_.family, command, complete,
                      replayBursts_.empty() && !options_.silent, replayBursts_.empty()));
}

std::string Simulator::CheckPower(bool readable, Clock::time_point now) {
    if (!power_.Changed(readable, now)) return "";
    const bool on = power_.On();
    return on == poweredOn_ ? "" : SwitchPower(on, now);
}

std::string Simulator::SwitchPower(bool on, Clock::time_point now) {
    poweredOn_ = on;
    if (!on) {
        receiver_.PowerOff();
        queue_.clear();  // a burst under way stops with its supply
        if (!options_.vanish) {
            Say(Timestamp() + " powered off: silent until power-on");
            return "";
        }
        gone_ = pty_.device();
        link_.Remove();
        pty_.Close();
        masterQuietUntil_.reset();
        flushPendingAt_.reset();
        commands_.TakePending();
        Say(Timestamp() + " powered off: " + gone_ + " gone");
        return "";
    }
    std::string error;
    if (options_.vanish && pty_.Open(error, gone_) && options_.com) {
        const std::string dir = options_.portsDir.empty() ? DefaultPortsDir() : options_.portsDir;
        if (link_.Make(dir, *options_.com, pty_.device(), error) == PortLink::Result::Made)
            error.clear();
    }
    if (!error.empty()) {
        err_ << "quorvel-sim: cannot power on: " << error << std::endl;
        exitCode_ = kExitFailure;
        return "cannot power on: " + error;
    }
    receiver_.PowerOn();
    // It boots for one period; its bursts keep their own beat from then on.
    nextBurst_ = now + milliseconds(options_.rateMs);
    Say(Timestamp() + " powered on: " + pty_.device());
    return "";
}

}  // namespace quorvel::sim

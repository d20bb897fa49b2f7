#include "sim/Rack.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <ostream>
#include <random>
#include <utility>

#include "sim/LineNoise.h"
#include "sim/LogLines.h"
#include "sim/Nmea.h"
#include "sim/Orders.h"
#include "sim/Signals.h"
#include "sim/Simulator.h"

namespace quorvel::sim {
namespace {

using std::chrono::milliseconds;

// Bytes written without a line end are logged once the client has been quiet this long.
constexpr milliseconds kPartialCommandWait{200};
constexpr std::uint64_t kSignalTag = ~std::uint64_t{0};
constexpr int kEventsPerWait = 256;
// A burst sent later than this after its time is counted as late.
constexpr milliseconds kLate{50};
// Descriptors beside the receivers': stdio, epoll, the signal pipe, the ports file.
constexpr rlim_t kSpareFiles = 16;

int MillisecondsUntil(std::chrono::steady_clock::time_point when) {
    const auto left = std::chrono::ceil<milliseconds>(when - std::chrono::steady_clock::now());
    return static_cast<int>(std::clamp<long long>(left.count(), 0, 60000));
}

}  // namespace

std::vector<RackMember> RackMembers(const Options& o, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    const int spread = TtffSpread(o);
    const int low = std::max(0, o.ttff - spread), high = o.ttff + spread;
    std::vector<RackMember> members;
    for (int i = 0; i < o.count; ++i) {
        const Family family = o.familyGiven ? o.family : kFamilies[i % std::size(kFamilies)];
        // Not a distribution object: its numbers may differ between standard libraries.
        const int ttff = low + static_cast<int>(rng() % static_cast<std::uint64_t>(high - low + 1));
        members.push_back({family, ttff});
    }
    return members;
}

struct Rack::Member {
    Member(std::string n, const sockaddr_storage& a, socklen_t size, Family f,
           const ReceiverConfig& config)
        : name(std::move(n)), address(a), addressSize(size), family(f), receiver(config) {}

    std::string name;  // tcp://HOST:PORT
    sockaddr_storage address;
    socklen_t addressSize;
    Family family;
    Receiver receiver;
    CommandLog commands;
    int listener = -1;
    int client = -1;
    std::string unsent;  // what the client has not taken yet
    bool waitingToWrite = false;
    Clock::time_point lastRead;
};

Rack::Rack(const Options& options, std::ostream& out, std::ostream& err)
    : options_(options), out_(out), err_(err) {
    if (!options_.seed) options_.seed = std::random_device{}();
}

Rack::~Rack() {
    for (const auto& m : members_) {
        if (m->listener >= 0) ::close(m->listener);
        if (m->client >= 0) ::close(m->client);
    }
    if (epoll_ >= 0) ::close(epoll_);
}

void Rack::Say(const std::string& line) { out_ << line << '\n'; }

void Rack::Watch(int op, int fd, std::uint32_t events, std::uint64_t tag) {
    epoll_event event{};
    event.events = events;
    event.data.u64 = tag;
    ::epoll_ctl(epoll_, op, fd, &event);
}

bool Rack::Listen(std::size_t i, std::string& error) {
    Member& m = *members_[i];
    const int fd = ::socket(m.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    const int one = 1;
    if (fd < 0 || ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) != 0 ||
        ::bind(fd, reinterpret_cast<const sockaddr*>(&m.address), m.addressSize) != 0 ||
        ::listen(fd, SOMAXCONN) != 0) {
        error = m.name + ": " + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    m.listener = fd;
    Watch(EPOLL_CTL_ADD, fd, EPOLLIN, i << 1);
    return true;
}

// One client at a time: the port stops listening while it has one, so a second is refused.
void Rack::Accept(std::size_t i) {
    Member& m = *members_[i];
    const int fd = ::accept4(m.listener, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // gone again before we took it, or out of descriptors: listen on
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    ::close(std::exchange(m.listener, -1));  // which takes it out of the epoll set
    m.client = fd;
    m.unsent.clear();
    m.waitingToWrite = false;
    m.commands = CommandLog();
    Watch(EPOLL_CTL_ADD, fd, EPOLLIN | EPOLLRDHUP, (i << 1) | 1);
    Say(Timestamp() + " " + m.name + " client connected");
}

void Rack::Drop(std::size_t i) {
    Member& m = *members_[i];
    ::close(std::exchange(m.client, -1));
    m.unsent.clear();
    std::string error;
    if (!Listen(i, error)) Say(Timestamp() + " cannot listen again: " + error + " (next burst)");
}

void Rack::Flush(std::size_t i) {
    Member& m = *members_[i];
    std::size_t done = 0;
    while (done < m.unsent.size()) {
        const ssize_t n = ::send(m.client, m.unsent.data() + done, m.unsent.size() - done,
                                 MSG_NOSIGNAL | MSG_DONTWAIT);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            break;
        } else {
            Say(Timestamp() + " " + m.name + " client lost: " + std::strerror(errno));
            return Drop(i);
        }
    }
    m.unsent.erase(0, done);
    if (m.unsent.empty() == !m.waitingToWrite) return;
    m.waitingToWrite = !m.unsent.empty();
    Watch(EPOLL_CTL_MOD, m.client, EPOLLIN | EPOLLRDHUP | (m.waitingToWrite ? std::uint32_t{EPOLLOUT} : 0),
          (i << 1) | 1);
}

void Rack::Read(std::size_t i, Clock::time_point now) {
    Member& m = *members_[i];
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(m.client, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            for (const std::string& command :
                 m.commands.Feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
                Say(Timestamp() + " " + m.name + " rx \"" + LoggedBytes(command) + "\"" +
                    HandleCommand(m.receiver, m.family, command, true, !options_.silent));
            }
            m.lastRead = now;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        Say(Timestamp() + " " + m.name + " client left" +
            (n == 0 ? std::string() : std::string(": ") + std::strerror(errno)));
        return Drop(i);
    }
}

void Rack::Burst(std::size_t i, Clock::time_point now) {
    Member& m = *members_[i];
    if (m.commands.HasPending() && now - m.lastRead >= kPartialCommandWait) {
        Say(Timestamp() + " " + m.name + " rx \"" + LoggedBytes(m.commands.TakePending()) +
            "\" (no line end yet)");
    }
    const Receiver::State before = m.receiver.state();
    const int restartsBefore = m.receiver.restarts();
    const std::optional<Epoch> epoch = m.receiver.NextBurst();
    if (m.receiver.state() == Receiver::State::Rebooting && before != m.receiver.state())
        Say(Timestamp() + " " + m.name + " rebooting");
    if (m.receiver.restarts() != restartsBefore)
        Say(Timestamp() + " " + m.name + " restarted (" + StartName(m.receiver.lastStart()) +
            "), restart " + std::to_string(m.receiver.restarts()));
    if (m.receiver.state() == Receiver::State::PoweredOff && before != m.receiver.state())
        Say(Timestamp() + " " + m.name + " powered off: no more output");
    std::string error;
    if (m.client < 0 && m.listener < 0 && !Listen(i, error))
        Say(Timestamp() + " cannot listen again: " + error);
    if (!epoch || options_.silent || m.client < 0) return;
    std::string bytes = sim::Burst(*epoch);
    if (options_.verbose) Say(Timestamp() + " " + m.name + " tx " + EscapeBytes(Gga(*epoch)));
    if (options_.wrongBaud) bytes = Garble(bytes, MismatchedRate(options_.baud), options_.baud);
    largestBurst_ = std::max(largestBurst_, bytes.size());
    // A client that has not taken the last two bursts is not reading: what it missed is lost.
    if (m.unsent.size() > 2 * largestBurst_) m.unsent.clear();
    m.unsent += bytes;
    Flush(i);
}

Rack::Clock::time_point Rack::Due(std::size_t i) const {
    const auto period = std::chrono::duration_cast<Clock::duration>(milliseconds(options_.rateMs));
    return cycleStart_ + period * static_cast<long long>(i) / static_cast<long long>(members_.size());
}

int Rack::Prepare() {
    rlimit files{};
    const rlim_t needed = static_cast<rlim_t>(options_.count) + kSpareFiles;
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < needed) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
        if (files.rlim_cur < needed) {
            err_ << "quorvel-sim: " << options_.count << " receivers need " << needed
                 << " open files; the hard limit is " << files.rlim_max << " (ulimit -Hn)"
                 << std::endl;
            return kExitFailure;
        }
    }
    std::string host = options_.tcpHost;
    if (host.front() == '[') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    if (const int failed = ::getaddrinfo(host.c_str(), nullptr, &hints, &found); failed != 0) {
        err_ << "quorvel-sim: --tcp-listen: " << host << ": " << ::gai_strerror(failed)
             << std::endl;
        return kExitUsage;
    }
    sockaddr_storage address{};
    const socklen_t size = found->ai_addrlen;
    std::memcpy(&address, found->ai_addr, size);
    ::freeaddrinfo(found);
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    if (epoll_ < 0) {
        err_ << "quorvel-sim: epoll: " << std::strerror(errno) << std::endl;
        return kExitFailure;
    }
    const std::vector<RackMember> script = RackMembers(options_, *options_.seed);
    std::string portsFile;
    for (std::size_t i = 0; i < script.size(); ++i) {
        const int port = options_.tcpPort + static_cast<int>(i);
        ReceiverConfig config = ReceiverConfigFrom(options_);
        config.family = script[i].family;
        config.noFixAfterRestart = script[i].ttff;
        auto m = std::make_unique<Member>(
            "tcp://" + options_.tcpHost + ":" + std::to_string(port), address, size,
            script[i].family, config);
        if (address.ss_family == AF_INET)
            reinterpret_cast<sockaddr_in&>(m->address).sin_port = htons(static_cast<uint16_t>(port));
        else
            reinterpret_cast<sockaddr_in6&>(m->address).sin6_port = htons(static_cast<uint16_t>(port));
        members_.push_back(std::move(m));
        std::string error;
        if (!Listen(i, error)) {
            err_ << "quorvel-sim: cannot listen on " << error << std::endl;
            return kExitFailure;
        }
        const std::string family = FamilyName(script[i].family);
        Say("quorvel-sim: " + members_[i]->name + " family " + family + ", ttff " +
            std::to_string(script[i].ttff));
        portsFile += family + ":" + members_[i]->name + "\n";
    }
    if (!options_.portsFileOut.empty()) {
        // Whole or not at all: a bench that waits for the file then reads every line.
        const std::string temporary = options_.portsFileOut + ".part";
        std::ofstream file(temporary, std::ios::trunc);
        file << "# quorvel-sim --tcp-listen " << options_.tcpHost << ":" << options_.tcpPort
             << " --count " << options_.count << " --seed " << *options_.seed
             << ": each receiver's family as its profile\n"
             << portsFile;
        file.close();
        if (!file || std::rename(temporary.c_str(), options_.portsFileOut.c_str()) != 0) {
            err_ << "quorvel-sim: cannot write the ports file " << options_.portsFileOut << ": "
                 << std::strerror(errno) << std::endl;
            std::remove(temporary.c_str());
            return kExitFailure;
        }
    }
    Say("quorvel-sim: rack of " + std::to_string(options_.count) + " receivers listening, burst every " +
        std::to_string(options_.rateMs) + " ms, seed " + std::to_string(*options_.seed));
    out_.flush();
    return kExitOk;
}

int Rack::Run() {
    SignalWatch signals;
    if (const int failed = Prepare(); failed != kExitOk) return failed;
    Watch(EPOLL_CTL_ADD, signals.fd(), EPOLLIN, kSignalTag);
    std::string reason = Loop(signals.fd());
    if (const int signal = signals.Take(); signal != 0) reason = "signal " + std::to_string(signal);
    const auto latestMs = std::chrono::duration_cast<milliseconds>(latest_).count();
    Say(Timestamp() + " bursts: " + std::to_string(bursts_) + ", " + std::to_string(lateBursts_) +
        " of them sent more than " + std::to_string(kLate.count()) + " ms late, the latest " +
        std::to_string(latestMs) + " ms");
    Say(Timestamp() + " end: " + reason);
    out_.flush();
    return kExitOk;
}

std::string Rack::Loop(int) {
    const auto period = std::chrono::duration_cast<Clock::duration>(milliseconds(options_.rateMs));
    const Clock::time_point start = Clock::now();
    std::optional<Clock::time_point> deadline;
    if (options_.exitAfterSeconds)
        deadline = start + std::chrono::duration_cast<Clock::duration>(
                               std::chrono::duration<double>(*options_.exitAfterSeconds));
    cycleStart_ = start;
    epoll_event events[kEventsPerWait];
    for (;;) {
        Clock::time_point now = Clock::now();
        if (deadline && now >= *deadline) return "--exit-after";
        while (Due(next_) <= now) {
            const Clock::duration late = now - Due(next_);
            ++bursts_;
            lateBursts_ += late > kLate;
            latest_ = std::max(latest_, late);
            Burst(next_, now);
            if (++next_ < members_.size()) continue;
            next_ = 0;
            cycleStart_ += period;
            if (cycleStart_ + period <= now) cycleStart_ = now;  // woke late: do not catch up
        }
        out_.flush();
        const int timeout = MillisecondsUntil(deadline ? std::min(*deadline, Due(next_)) : Due(next_));
        const int ready = ::epoll_wait(epoll_, events, kEventsPerWait, timeout);
        if (ready < 0 && errno != EINTR) return std::string("epoll_wait: ") + std::strerror(errno);
        now = Clock::now();
        for (int e = 0; e < ready; ++e) {
            const std::uint64_t tag = events[e].data.u64;
            if (tag == kSignalTag) return "signal";
            const std::size_t i = tag >> 1;
            Member& m = *members_[i];
            if ((tag & 1) == 0) {
                if (m.listener >= 0) Accept(i);
                continue;
            }
            if (m.client < 0) continue;  // dropped earlier in this round
            if (events[e].events & EPOLLOUT) Flush(i);
            if (m.client >= 0 && (events[e].events & ~std::uint32_t{EPOLLOUT})) Read(i, now);
        }
    }
}

}  // namespace quorvel::sim

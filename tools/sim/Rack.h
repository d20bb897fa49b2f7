#pragma once

#include <chrono>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "sim/CommandLog.h"
#include "sim/Options.h"
#include "sim/Receiver.h"

namespace quorvel::sim {

// What a rack's receiver i is: its family and its TTFF after a cold start, drawn from the seed.
struct RackMember {
    Family family;
    int ttff;
};

// The receivers of a rack of `o.count`: the families in turn (or all of --family), each TTFF
// drawn from --ttff +- the spread, the same for the same seed.
std::vector<RackMember> RackMembers(const Options& o, std::uint64_t seed);

// A rack of receivers behind a serial device server: receiver i on TCP port --tcp-listen's
// PORT + i. Each runs whether or not a client is connected, serves one client at a time (its
// port listens only while it has none, so a second client is refused) and obeys what it reads.
// One epoll set and one timer for all: each wakeup costs only for the sockets that are ready
// and the receivers whose burst is due; their bursts are spread evenly over the period. Writes
// never block: what a slow client has not taken is kept, up to two bursts, as a line loses
// what nobody reads.
class Rack {
  public:
    Rack(const Options& options, std::ostream& out, std::ostream& err);
    ~Rack();
    Rack(const Rack&) = delete;
    Rack& operator=(const Rack&) = delete;

    // Runs until --exit-after, SIGINT, SIGTERM or SIGHUP; the process exit code.
    int Run();

  private:
    using Clock = std::chrono::steady_clock;
    struct Member;

    int Prepare();
    std::string Loop(int signalFd);
    bool Listen(std::size_t i, std::string& error);
    void Accept(std::size_t i);
    void Drop(std::size_t i);
    void Burst(std::size_t i, Clock::time_point now);
    void Flush(std::size_t i);
    void Read(std::size_t i, Clock::time_point now);
    void Watch(int op, int fd, std::uint32_t events, std::uint64_t tag);
    Clock::time_point Due(std::size_t i) const;
    void Say(const std::string& line);

    Options options_;
    std::ostream& out_;
    std::ostream& err_;
    std::vector<std::unique_ptr<Member>> members_;
    int epoll_ = -1;
    std::size_t next_ = 0;          // the receiver whose burst is due next
    Clock::time_point cycleStart_;  // the start of the burst period under way
    std::size_t largestBurst_ = 0;
    // How far behind its schedule this process sent: a burst sent late moves the times a
    // client measures, which a bench must tell apart from the client's own.
    long long bursts_ = 0, lateBursts_ = 0;
    Clock::duration latest_{};
};

}  // namespace quorvel::sim

// Runs the real quorvel-sim on a pty, fast (50 ms bursts), and talks to it as the tool does.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kPatience{5000};  // an upper bound only; a passing run takes far less

int MsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    return left < 0 ? 0 : static_cast<int>(left);
}

// Reads from `fd` into `buffer` until `done(buffer)` or the deadline; false on time-out or EOF.
template <typename Done>
bool ReadUntil(int fd, std::string& buffer, Clock::time_point deadline, Done done) {
    while (!done(buffer)) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, MsLeft(deadline)) <= 0) return false;
        char chunk[4096];
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n > 0)
            buffer.append(chunk, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            return false;
    }
    return true;
}

class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> args) {
        int out[2];
        if (::pipe(out) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(out[1], 1);  // the messages, too: a test looks for a line in either
            ::dup2(out[1], 2);
            ::close(out[0]);
            args.insert(args.begin(), QUORVEL_SIM_EXE);
            std::vector<char*> argv;
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(QUORVEL_SIM_EXE, argv.data());
            ::_exit(127);
        }
        ::close(out[1]);
        out_ = out[0];
    }
    ~SimProcess() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (out_ >= 0) ::close(out_);
    }

    // The next line of stdout, or "" on time-out.
    std::string Line() {
        const auto deadline = Clock::now() + kPatience;
        ReadUntil(out_, stdout_, deadline,
                  [](const std::string& b) { return b.find('\n') != std::string::npos; });
        const std::size_t lf = stdout_.find('\n');
        if (lf == std::string::npos) return "";
        std::string line = stdout_.substr(0, lf);
        stdout_.erase(0, lf + 1);
        return line;
    }
    // Waits for a stdout line containing `text`; all lines read so far are kept in `seen`.
    bool LineWith(const std::string& text, std::string& seen) {
        for (std::string line = Line(); !line.empty(); line = Line()) {
            seen += line + "\n";
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
    std::string Device() {
        const std::string first = Line();
        const std::string prefix = "quorvel-sim: ";
        return first.rfind(prefix, 0) == 0 ? first.substr(prefix.size()) : "";
    }
    void Signal(int signal) { ::kill(pid_, signal); }
    // The exit code, or -1 when it does not end in time (it is then killed).
    int Wait() {
        const auto deadline = Clock::now() + kPatience;
        int status = 0;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (Clock::now() > deadline) return -1;
            ::poll(nullptr, 0, 10);
        }
        reaped_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int out_ = -1;
    std::string stdout_;
};

int OpenPort(const std::string& device) {
    return ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
}

// The hhmmss of every GGA sentence with a time in `text`.
std::vector<std::string> GgaTimes(const std::string& text) {
    std::vector<std::string> times;
    for (std::size_t at = text.find("GGA,"); at != std::string::npos;
         at = text.find("GGA,", at + 1)) {
        if (at >= 3 && text[at - 3] == '$' && at + 10 <= text.size() && text[at + 4] != ',') {
            times.push_back(text.substr(at + 4, 6));
        }
    }
    return times;
}

bool HasTime(const std::string& text, const std::string& hhmmss) {
    const std::vector<std::string> times = GgaTimes(text);
    return std::find(times.begin(), times.end(), hhmmss) != times.end();
}

class TempDir {
  public:
    TempDir() {
        char pattern[] = "/tmp/quorvel-sim-test-XXXXXX";
        path = ::mkdtemp(pattern) ? pattern : "";
    }
    ~TempDir() {
        const std::string command = "rm -rf '" + path + "'";
        [[maybe_unused]] int rc = std::system(command.c_str());
    }
    std::string path;
};

// One run as the tool sees it: the COM link, the bursts, the order obeyed, the link gone at the
// end.
TEST(Program, ObeysTheColdStartOrderOverThePtyAndRemovesItsLinkOnSigterm) {
    TempDir temp;
    const std::string link = temp.path + "/ports/com9";
    SimProcess sim({"--rate-ms", "50", "--start-time", "120000", "--com", "9", "--ports-dir",
                    temp.path + "/ports", "--exit-after", "20"});
    const std::string device = sim.Device();
    ASSERT_FALSE(device.empty());
    std::string log;
    ASSERT_TRUE(sim.LineWith("COM 9 is", log)) << log;
    char target[256];
    const ssize_t n = ::readlink(link.c_str(), target, sizeof target);
    EXPECT_EQ(std::string(target, static_cast<std::size_t>(std::max<ssize_t>(n, 0))), device);

    const int port = OpenPort(link);
    ASSERT_GE(port, 0);
    std::string line;
    ASSERT_TRUE(ReadUntil(port, line, Clock::now() + kPatience,
                          [](const std::string& b) { return GgaTimes(b).size() >= 2; }));
    for (const std::string& t : GgaTimes(line)) EXPECT_EQ(t.substr(0, 2), "12") << line;

    const std::string order = "$PXEMSRT,C*3A\r\n";
    ASSERT_EQ(::write(port, order.data(), order.size()), static_cast<ssize_t>(order.size()));
    line.clear();
    EXPECT_TRUE(ReadUntil(port, line, Clock::now() + kPatience, [](const std::string& b) {
        return HasTime(b, "000001");
    })) << line;
    EXPECT_TRUE(HasTime(line, "000000")) << line;
    ::close(port);
    EXPECT_TRUE(sim.LineWith("rx \"$PXEMSRT,C*3A\\r\\n\" cold-start order: restarting", log))
        << log;

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
}

TEST(Program, BadOptionsExitTwoWithAMessage) {
    SimProcess bad({"--rate-ms", "fast"});
    std::string output;
    EXPECT_TRUE(bad.LineWith("--rate-ms", output)) << output;
    EXPECT_EQ(bad.Wait(), 2);
}

}  // namespace

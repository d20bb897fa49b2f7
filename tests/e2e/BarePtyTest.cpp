// The program on a bare pseudo-terminal, the test playing the receiver byte by byte on the
// master side: the order goes out after the fifth GGA sentence, and a stop closes the port.
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "EndToEnd.h"

namespace quorvel::e2e {
namespace {

std::string Gga(int second) {
    char hhmmss[8];
    std::snprintf(hhmmss, sizeof hhmmss, "1130%02d", second);
    return std::string("$GPGGA,") + hhmmss +
           ".00,2447.0000,N,12100.0000,E,1,08,0.9,100.0,M,15.0,M,,*47\r\n";
}

// The receiver's bursts as they come off a real line: the start of the next sentence arrives
// with the GGA, its end with the next write, so each GGA is seen by one receive event.
const std::string kRmcHead = "$GPRMC,1130";
const std::string kRmcTail = "00.00,A,2447.0000,N,12100.0000,E,0.0,0.0,010124,,,A*6B\r\n";

class BarePty : public EndToEnd {
  protected:
    void SetUp() override {
        EndToEnd::SetUp();
        int slave = -1;
        char name[128] = {};
        ASSERT_EQ(::openpty(&master_, &slave, name, nullptr, nullptr), 0);
        ::close(slave);  // only the program holds the slave open from now on
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
        std::filesystem::create_directories(PortsFolder());
        std::filesystem::create_symlink(name, PortsFolder() + "/com" + std::to_string(kCom));
    }
    void TearDown() override {
        EndToEnd::TearDown();
        if (master_ >= 0) ::close(master_);
    }
    void Send(const std::string& bytes) {
        ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    // What the program wrote, read until `count` bytes came or the deadline passed.
    std::string Receive(std::size_t count) {
        std::string got;
        WaitFor([&] {
            char chunk[256];
            const ssize_t n = ::read(master_, chunk, sizeof chunk);
            if (n > 0) got.append(chunk, static_cast<std::size_t>(n));
            return got.size() >= count;
        });
        return got;
    }
    std::string Pending() {
        char chunk[256];
        const ssize_t n = ::read(master_, chunk, sizeof chunk);
        return n > 0 ? std::string(chunk, static_cast<std::size_t>(n)) : std::string();
    }

    int master_ = -1;
};

TEST_F(BarePty, TheOrderFollowsTheFifthGgaByteForByteAndStopHangsUp) {
    Launch("9600");
    ClickStart();
    ASSERT_TRUE(WaitFor([&] { return Label() == "Connecting....."; }));
    ASSERT_TRUE(program_->Port().IsOpen());

    for (int n = 1; n <= 4; ++n) {
        Send((n > 1 ? kRmcTail : "") + Gga(n) + kRmcHead);
        ASSERT_TRUE(WaitFor([&] { return program_->State().GgaCount == n; }))
            << "GGA " << n << ": " << program_->State().GgaCount;
        // The program writes in the handler that counts: anything sent would be here now.
        EXPECT_EQ(Pending(), "") << "after GGA " << n;
    }
    Send(kRmcTail + Gga(5) + kRmcHead);
    EXPECT_EQ(Receive(15), "$PXEMSRT,C*3A\r\n");
    EXPECT_EQ(program_->State().Phase, 1);
    EXPECT_EQ(Label(), "Connected!");

    StopAndExpectIdle();
    // No slave is open any more: the master sees the hang-up.
    pollfd p{master_, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, kPatienceMs), 1);
    EXPECT_TRUE(p.revents & POLLHUP) << p.revents;
    char byte;
    EXPECT_EQ(::read(master_, &byte, 1), -1);
    EXPECT_EQ(errno, EIO);
    EXPECT_EQ(ReadSettings(), SettingsLine("9600"));
}

}  // namespace
}  // namespace quorvel::e2e

// Device servers and a serial device that fail the lab as real ones do: each try ends in a row
// with the system's reason, one try per --retry, and a --cycles run ends.
#include <fcntl.h>
#include <stdlib.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QCoreApplication>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "lab/Lab.h"
#include "lab/command/Options.h"

namespace quorvel::lab {
namespace {

enum class Server { kClosesAtOnce, kResetsAtOnce, kNeverSpeaks, kOtherRate, kHangsUpWhenOpened };

// A serial device that hangs up as soon as it is opened, as a USB adapter that resets: `link`
// names a fresh pty for each open, whose other end goes away once the lab holds it.
class HangingUpDevice {
  public:
    explicit HangingUpDevice(std::string link) : link_(std::move(link)) { Fresh(); }
    ~HangingUpDevice() { ::close(master_); }
    // One round: true when the lab was found holding the device, which then hangs up.
    bool Round() {
        if (master_ < 0) {
            if (!HeldByLab()) Fresh();
            return false;
        }
        if (!HeldByLab()) return false;
        ::close(std::exchange(master_, -1));
        return true;
    }

  private:
    void Fresh() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) return;
        device_ = ::ptsname(master_);
        std::filesystem::remove(link_);
        std::filesystem::create_symlink(device_, link_);
    }
    bool HeldByLab() const {
        for (const auto& fd : std::filesystem::directory_iterator("/proc/self/fd")) {
            std::error_code ec;
            if (std::filesystem::read_symlink(fd.path(), ec) == device_) return true;
        }
        return false;
    }
    std::string link_, device_;
    int master_ = -1;
};

// A server in a process of its own that resets every connection as soon as the kernel has
// made it, whatever the lab's loop is doing; each connection is told down `count`.
pid_t StartResetter(quint16& port, int& count) {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int pipe[2];
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        ::listen(listener, 16) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0 ||
        ::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return -1;
    port = ntohs(address.sin_port);
    const pid_t child = ::fork();
    if (child == 0) {
        for (int c; (c = ::accept(listener, nullptr, nullptr)) >= 0;) {
            const linger reset{1, 0};
            ::setsockopt(c, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
            ::close(c);
            [[maybe_unused]] auto told = ::write(pipe[1], "c", 1);
        }
        ::_exit(0);
    }
    ::close(listener);
    ::close(pipe[1]);
    count = pipe[0];
    return child;
}

TEST(LabNetFaults, EveryTryEndsInARowWithItsReasonOneTryPerRetry) {
    const std::string closed = "The remote host closed the connection";
    // The server; the verdict of every row and what the event of each says.
    const std::tuple<Server, std::string, std::vector<std::string>> rows[] = {
        {Server::kClosesAtOnce, "port-error", {closed}},
        // Reset before the lab saw the connection made, or after: either says so.
        {Server::kResetsAtOnce, "", {"Connection reset by peer", closed}},
        {Server::kNeverSpeaks, "cant-connect", {"connected, nothing received"}},
        {Server::kOtherRate, "baud-mismatch", {"the device server sets the line speed"}},
        {Server::kHangsUpWhenOpened, "port-error", {"device hung up"}}};
    for (const auto& [kind, verdict, reasons] : rows) {
        SCOPED_TRACE(static_cast<int>(kind));
        QTcpServer server;
        std::vector<QTcpSocket*> clients;
        int tries = 0, counter = -1;
        quint16 port = 0;
        pid_t resetter = -1;
        if (kind == Server::kResetsAtOnce) {
            ASSERT_GT(resetter = StartResetter(port, counter), 0);
        } else {
            ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
            port = server.serverPort();
        }
        QObject::connect(&server, &QTcpServer::newConnection, [&] {
            while (QTcpSocket* client = server.nextPendingConnection()) {
                ++tries;
                if (kind == Server::kClosesAtOnce) client->close();
                clients.push_back(client);
            }
        });
        QTemporaryDir dir;
        std::string address = "tcp://127.0.0.1:" + std::to_string(port);
        std::optional<HangingUpDevice> device;
        if (kind == Server::kHangsUpWhenOpened)
            device.emplace(address = dir.filePath("gps").toStdString());
        LabOptions o = ParseLabOptions({address, "--retry", "4", "--cycles", "3"}).options;
        o.journal = dir.filePath("j.csv").toStdString();
        o.durationS = 100;  // far more than 3 tries take: a run that hangs ends here
        std::ostringstream out;
        QElapsedTimer clock;
        clock.start();
        Lab lab(o, out, 20);
        std::string error;
        ASSERT_TRUE(lab.Begin(error)) << error;
        while (!lab.Ended()) {
            for (QTcpSocket* client : clients)  // bytes at no rate a GGA is read at
                if (kind == Server::kOtherRate && client->isOpen()) client->write("\xF0\x0F\xFF");
            // Rounds of the loop with a pause between, as the program's: what happened during
            // the pause is seen together, as a reset that came before the connection was seen.
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            QThread::msleep(5);
            tries += device && device->Round();
        }
        if (resetter > 0) {
            char told[64];
            tries = static_cast<int>(std::max<ssize_t>(0, ::read(counter, told, sizeof told)));
            ::kill(resetter, SIGKILL);
            ::waitpid(resetter, nullptr, 0);
            ::close(counter);
        }
        std::ifstream journal(o.journal);
        std::string row;
        std::vector<std::string> verdicts;
        for (std::getline(journal, row); std::getline(journal, row);) {
            std::istringstream fields(row);
            for (int field = 0; field < 4; ++field) std::getline(fields, row, ',');
            verdicts.push_back(row);  // utc, receiver, cycle, verdict
        }
        EXPECT_EQ(verdicts.size(), 3u) << out.str();  // ended on its cycles
        EXPECT_LT(clock.elapsed() / 20, 90) << out.str();  // lab seconds: well before the 100 s duration
        EXPECT_EQ(tries, 3) << out.str();  // one connection a try
        if (!verdict.empty()) {
            EXPECT_EQ(verdicts, std::vector<std::string>(3, verdict));
        }
        bool told = false;
        for (const std::string& reason : reasons)
            told = told || out.str().find(": " + address + ": " + reason) != std::string::npos;
        EXPECT_TRUE(told) << out.str();
        EXPECT_EQ(out.str().find("timed out"), std::string::npos) << out.str();
    }
}

}  // namespace
}  // namespace quorvel::lab

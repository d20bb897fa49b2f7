#pragma once

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace quorvel::testing {

// Runs the event loop in short turns until `done` holds or the deadline passes.
template <typename Done>
bool PumpUntil(Done done, std::chrono::milliseconds limit = std::chrono::milliseconds(3000)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        QCoreApplication::processEvents();
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

// A pseudo-terminal standing in for a receiver: the test talks on the master, the adapter
// opens the slave. The test keeps its own slave descriptor to look at the line's state.
class Pty {
  public:
    Pty() {
        char name[256] = {};
        if (::openpty(&master_, &slave_, name, nullptr, nullptr) != 0) return;
        slavePath_ = name;
        ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    }
    ~Pty() {
        CloseMaster();
        if (slave_ >= 0) ::close(slave_);
    }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    bool Ok() const { return master_ >= 0 && !slavePath_.empty(); }
    const std::string& SlavePath() const { return slavePath_; }

    bool Send(const std::string& bytes) {
        return ::write(master_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    }
    // Whatever the adapter has written so far.
    std::string Received() {
        std::string out;
        char chunk[512];
        ssize_t n;
        while ((n = ::read(master_, chunk, sizeof chunk)) > 0) out.append(chunk, n);
        return out;
    }
    speed_t SlaveSpeed() const {
        termios tio{};
        ::tcgetattr(slave_, &tio);
        return ::cfgetospeed(&tio);
    }
    void CloseMaster() {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string slavePath_;
};

// A temporary ports folder for override links.
class PortsFolder {
  public:
    std::string Path() const { return dir_.path().toStdString(); }
    void Link(int number, const std::string& target) const {
        std::filesystem::create_symlink(target, LinkPath(number));
    }
    std::string LinkPath(int number) const { return Path() + "/com" + std::to_string(number); }

  private:
    QTemporaryDir dir_;
};

}  // namespace quorvel::testing

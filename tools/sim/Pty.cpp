#include "sim/Pty.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quorvel::sim {

Pty::~Pty() { Close(); }

void Pty::Close() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = master_ = -1;
    device_.clear();
}

bool Pty::Open(std::string& error, const std::string& avoid) {
    if (!OpenOne(error)) return false;
    if (avoid.empty() || device_ != avoid) return true;
    // Holding this one, the next comes under another number; then this one goes.
    const int master = master_, slave = slave_;
    master_ = slave_ = -1;
    const bool opened = OpenOne(error);
    ::close(slave);
    ::close(master);
    return opened;
}

bool Pty::OpenOne(std::string& error) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0) {
        error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
        return false;
    }
    const char* name = ::ptsname(master_);
    if (!name) {
        error = std::string("ptsname: ") + std::strerror(errno);
        return false;
    }
    device_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY);
    if (slave_ < 0) {
        error = device_ + ": " + std::strerror(errno);
        return false;
    }
    termios raw{};
    if (::tcgetattr(slave_, &raw) != 0) {
        error = std::string("tcgetattr: ") + std::strerror(errno);
        return false;
    }
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    ::fcntl(master_, F_SETFD, FD_CLOEXEC);
    ::fcntl(slave_, F_SETFD, FD_CLOEXEC);
    return true;
}

int Pty::Unread() const {
    int n = 0;
    return ::ioctl(slave_, FIONREAD, &n) == 0 ? n : 0;
}

void Pty::DropUnread() const {
    ::tcflush(slave_, TCIFLUSH);
#ifdef TIOCNXCL
    // A port opened in exclusive mode stays exclusive while we hold the slave, even after its
    // user died without closing; with nobody reading, nobody needs it and the next open must work.
    ::ioctl(slave_, TIOCNXCL);
#endif
}

}  // namespace quorvel::sim

#include "sim/Signals.h"

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace quorvel::sim {
namespace {

int gPipe[2] = {-1, -1};
constexpr int kWatched[] = {SIGINT, SIGTERM, SIGHUP};

void OnSignal(int signal) {
    const unsigned char byte = static_cast<unsigned char>(signal);
    [[maybe_unused]] const ssize_t n = ::write(gPipe[1], &byte, 1);
}

}  // namespace

SignalWatch::SignalWatch() {
    if (::pipe(gPipe) == 0) {
        for (int fd : gPipe) {
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
            ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        }
    }
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (int s : kWatched) ::sigaction(s, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

SignalWatch::~SignalWatch() {
    for (int s : kWatched) std::signal(s, SIG_DFL);
    for (int& fd : gPipe) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
}

int SignalWatch::fd() const { return gPipe[0]; }

int SignalWatch::Take() const {
    unsigned char byte = 0;
    return ::read(gPipe[0], &byte, 1) == 1 ? byte : 0;
}

}  // namespace quorvel::sim

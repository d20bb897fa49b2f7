#include "sim/PowerFile.h"

#include <fcntl.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <cctype>
#include <strings.h>

namespace quorvel::sim {
namespace {

constexpr std::chrono::milliseconds kPollPeriod{100};

}  // namespace

PowerFile::~PowerFile() {
    if (inotify_ >= 0) ::close(inotify_);
}

void PowerFile::Watch(const std::string& path) {
    path_ = path;
    const std::size_t slash = path.rfind('/');
    folder_ = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    name_ = slash == std::string::npos ? path : path.substr(slash + 1);
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    // Written in place, or made anew and renamed over it, or removed: each is a change.
    constexpr std::uint32_t kEvents =
        IN_CLOSE_WRITE | IN_MODIFY | IN_CREATE | IN_DELETE | IN_MOVED_TO | IN_MOVED_FROM;
    if (inotify_ >= 0 && ::inotify_add_watch(inotify_, folder_.c_str(), kEvents) < 0) Poll();
    if (inotify_ < 0) Poll();
}

void PowerFile::Poll() {
    if (inotify_ >= 0) ::close(inotify_);
    inotify_ = -1;
    lookAt_ = Clock::now();
}

std::optional<PowerFile::Clock::time_point> PowerFile::LookAt() const { return lookAt_; }

bool PowerFile::Changed(bool readable, Clock::time_point now) {
    if (lookAt_) {
        if (now < *lookAt_) return false;
        lookAt_ = now + kPollPeriod;
        return true;
    }
    if (!readable || inotify_ < 0) return false;
    bool changed = false;
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t at = 0; at < n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
            changed |= event->len > 0 && name_ == event->name;
            // The folder itself went: nothing more will come from the watch.
            if (event->mask & IN_IGNORED) {
                Poll();
                return true;
            }
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    return changed;
}

bool PowerFile::On() const {
    if (path_.empty()) return true;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return true;
    char text[64];
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return true;
    text[n] = '\0';
    const char* word = text;
    while (*word && std::isspace(static_cast<unsigned char>(*word))) ++word;
    return !(::strncasecmp(word, "off", 3) == 0 &&
             (word[3] == '\0' || std::isspace(static_cast<unsigned char>(word[3]))));
}

}  // namespace quorvel::sim

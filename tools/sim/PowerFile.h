#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace quorvel::sim {

// The receiver's supply as a file says it, so that any command (or a PDU daemon's) can switch
// it: off while the file's first word is "off", on otherwise, no file included. Changes are
// seen through inotify on the file's folder, which costs nothing while nothing changes; where
// the folder cannot be watched the file is read ten times a second instead.
class PowerFile {
  public:
    using Clock = std::chrono::steady_clock;

    PowerFile() = default;
    PowerFile(const PowerFile&) = delete;
    PowerFile& operator=(const PowerFile&) = delete;
    ~PowerFile();

    void Watch(const std::string& path);
    bool Watching() const { return !path_.empty(); }

    // To poll for reading; -1 when read by the clock (LookAt) or not watching.
    int fd() const { return inotify_; }
    std::optional<Clock::time_point> LookAt() const;

    // Whether the file may have changed: `readable` when fd() polled readable. Takes the
    // events that say so, or the time to look.
    bool Changed(bool readable, Clock::time_point now);

    // The supply as the file says now.
    bool On() const;

  private:
    void Poll();

    std::string path_, folder_, name_;
    int inotify_ = -1;
    std::optional<Clock::time_point> lookAt_;
};

}  // namespace quorvel::sim

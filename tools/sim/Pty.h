#pragma once

#include <string>

namespace quorvel::sim {

// A pseudo-terminal whose slave side is the receiver's serial port. Both sides stay open for
// the program's life: holding the slave ourselves means the tool may open and close it as often
// as it likes without the master ever seeing a hang-up, and the bytes keep flowing to whoever
// opens it next. The slave is raw (no echo, no CR/LF translation); the master is non-blocking.
class Pty {
  public:
    Pty() = default;
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;
    ~Pty();

    // A pty whose device is not `avoid` (one closed a moment ago, whose number the kernel
    // would hand out again): a receiver that comes back on a new USB port gets a new name.
    bool Open(std::string& error, const std::string& avoid = "");
    // The device goes, as a receiver switched off that takes its USB port with it.
    void Close();

    int master() const { return master_; }
    int slave() const { return slave_; }
    const std::string& device() const { return device_; }

    // Bytes waiting unread on the receiver side.
    int Unread() const;
    // Drops them, as a line drops what nobody listens to, and lifts any exclusive-open lock.
    void DropUnread() const;

  private:
    bool OpenOne(std::string& error);

    int master_ = -1;
    int slave_ = -1;
    std::string device_;
};

}  // namespace quorvel::sim

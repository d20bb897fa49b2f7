#pragma once

#include <QByteArray>
#include <QProcess>
#include <QTimer>
#include <string>

#include "lab/power/Pending.h"
#include "lab/power/PowerSwitch.h"

namespace quorvel::lab {

// Switches the supply by running a command through /bin/sh -c: uhubctl, usbrelay, sispmctl or
// whatever the bench has. The command runs in a process group of its own, so a time-out ends it
// with everything it started.
class CommandSwitch final : public PowerSwitch {
  public:
    // The commands as they run, their values already quoted in; `what` for Describe.
    CommandSwitch(std::string offCommand, std::string onCommand, int timeoutMs, std::string what);
    ~CommandSwitch() override;

    void Switch(bool on, Done done) override;
    bool Busy() const override { return pending_.Busy(); }
    std::string Describe() const override { return what_; }

  private:
    void Finished(int code, QProcess::ExitStatus status);
    void TimedOut();
    // Lets the command go: no more of its signals reach this switch.
    QProcess* Release();

    std::string commands_[2];  // off, on
    int timeoutMs_;
    std::string what_;
    std::string name_;  // "power-off command", for the errors
    QByteArray stderr_;
    PendingDone pending_;
    QTimer timer_;
    QProcess* process_ = nullptr;  // a child of pending_.context()
};

}  // namespace quorvel::lab

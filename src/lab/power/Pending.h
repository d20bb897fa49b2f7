#pragma once

#include <QObject>
#include <string>

#include "lab/power/PowerSwitch.h"

namespace quorvel::lab {

// The Done of the switch under way. It is handed its answer later, from the event loop: never
// from inside Switch (whose caller may not expect it yet), and never once its owner is gone (the
// queued call dies with `context`, and so do the owner's connections made with it).
class PendingDone {
  public:
    bool Busy() const { return static_cast<bool>(done_); }
    QObject& context() { return context_; }
    void Start(PowerSwitch::Done done) { done_ = std::move(done); }
    void Finish(std::string error) {
        QMetaObject::invokeMethod(
            &context_,
            [this, error = std::move(error)] {
                PowerSwitch::Done done = std::move(done_);
                done_ = nullptr;
                done(error);  // last: it may destroy the switch and this with it
            },
            Qt::QueuedConnection);
    }
    // A Switch that came while another was under way: refused, answered as late as any.
    void Refuse(PowerSwitch::Done done) {
        QMetaObject::invokeMethod(
            &context_, [done = std::move(done)] { done("the supply is already being switched"); },
            Qt::QueuedConnection);
    }

  private:
    QObject context_;
    PowerSwitch::Done done_;
};

// "30" for 30000 ms, "0.2" for 200.
std::string SecondsText(int ms);

}  // namespace quorvel::lab

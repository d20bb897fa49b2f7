#pragma once

#include <QAbstractEventDispatcher>
#include <atomic>
#include <chrono>
#include <unordered_map>
#include <vector>

namespace quorvel::lab {

// The lab's event loop over epoll. Qt's own loops poll every watched descriptor on every
// wakeup, which with dozens of receivers was most of the lab's CPU time; epoll costs only for
// the descriptors that are ready. Handles what the lab and Qt's serial and network classes use:
// socket notifiers, timers (all treated as precise), posted events and wakeups from Qt's own
// threads (a host lookup's answer).
class EpollDispatcher : public QAbstractEventDispatcher {
  public:
    EpollDispatcher();
    ~EpollDispatcher() override;

    // False when the kernel refused the epoll or eventfd descriptor (the dispatcher is then
    // of no use; keep Qt's own).
    bool Usable() const { return epoll_ >= 0 && wake_ >= 0; }

    // When the last round's wait ended: its descriptors were ready from then on.
    std::chrono::steady_clock::time_point RoundWoke() const { return roundWoke_; }

    bool processEvents(QEventLoop::ProcessEventsFlags flags) override;
    void registerSocketNotifier(QSocketNotifier* notifier) override;
    void unregisterSocketNotifier(QSocketNotifier* notifier) override;
    void registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                       QObject* object) override;
    bool unregisterTimer(int timerId) override;
    bool unregisterTimers(QObject* object) override;
    QList<TimerInfo> registeredTimers(QObject* object) const override;
    int remainingTime(int timerId) override;
    void wakeUp() override;
    void interrupt() override;

  private:
    using Clock = std::chrono::steady_clock;

    struct Timer {
        int id;
        qint64 interval;  // ms
        Qt::TimerType type;
        QObject* object;
        Clock::time_point due;
    };

    // The notifiers of one descriptor, by QSocketNotifier::Type (read, write, exception).
    struct Watch {
        QSocketNotifier* notifiers[3] = {};
        bool inEpoll = false;
    };

    void UpdateWatch(int fd);
    int MsToNextTimer() const;
    bool FireDueTimers();
    bool Activate(int fd, int type);

    int epoll_ = -1;
    int wake_ = -1;  // an eventfd
    std::atomic<bool> interrupted_ = false;  // interrupt() may come from another thread
    Clock::time_point roundWoke_ = Clock::now();
    std::unordered_map<int, Watch> watches_;
    std::vector<int> alwaysReady_;  // descriptors epoll refuses (plain files): ready every round
    std::vector<Timer> timers_;
};

}  // namespace quorvel::lab

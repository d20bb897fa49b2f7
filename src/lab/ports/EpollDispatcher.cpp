#include "lab/ports/EpollDispatcher.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <limits>

namespace quorvel::lab {

namespace {

constexpr int kEventsPerWait = 256;
constexpr std::uint32_t kMasks[3] = {EPOLLIN, EPOLLOUT, EPOLLPRI};

// What a ready descriptor's events wake, by QSocketNotifier::Type. A hang-up or an error wakes
// the readers and the writers, as poll does: their next call then fails and says why.
bool Wakes(std::uint32_t events, int type) {
    if (type == QSocketNotifier::Exception) return (events & EPOLLPRI) != 0;
    return (events & (kMasks[type] | EPOLLHUP | EPOLLERR)) != 0;
}

}  // namespace

EpollDispatcher::EpollDispatcher() {
    epoll_ = epoll_create1(EPOLL_CLOEXEC);
    wake_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (epoll_ < 0 || wake_ < 0) return;
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.fd = wake_;
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, wake_, &event) != 0) {
        close(wake_);
        wake_ = -1;
    }
}

EpollDispatcher::~EpollDispatcher() {
    if (wake_ >= 0) close(wake_);
    if (epoll_ >= 0) close(epoll_);
}

void EpollDispatcher::registerSocketNotifier(QSocketNotifier* notifier) {
    const int fd = static_cast<int>(notifier->socket());
    watches_[fd].notifiers[notifier->type()] = notifier;
    UpdateWatch(fd);
}

void EpollDispatcher::unregisterSocketNotifier(QSocketNotifier* notifier) {
    const int fd = static_cast<int>(notifier->socket());
    const auto watch = watches_.find(fd);
    if (watch == watches_.end() || watch->second.notifiers[notifier->type()] != notifier) return;
    watch->second.notifiers[notifier->type()] = nullptr;
    UpdateWatch(fd);
}

// Gives epoll the descriptor's events as its notifiers now stand.
void EpollDispatcher::UpdateWatch(int fd) {
    Watch& watch = watches_[fd];
    epoll_event event{};
    event.data.fd = fd;
    for (int type = 0; type < 3; ++type)
        if (watch.notifiers[type]) event.events |= kMasks[type];
    alwaysReady_.erase(std::remove(alwaysReady_.begin(), alwaysReady_.end(), fd),
                       alwaysReady_.end());
    if (event.events == 0) {
        // The descriptor may already be closed, which took it out of the set.
        if (watch.inEpoll) epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
        watches_.erase(fd);
        return;
    }
    if (watch.inEpoll && epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event) == 0) return;
    // Not in the set, or closed and opened again under the same number since.
    if (epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) == 0 ||
        (errno == EEXIST && epoll_ctl(epoll_, EPOLL_CTL_MOD, fd, &event) == 0)) {
        watch.inEpoll = true;
        return;
    }
    // A plain file (EPERM) is always ready, as poll would say; a bad descriptor is handed to
    // its notifier too, whose owner then meets the error.
    watch.inEpoll = false;
    alwaysReady_.push_back(fd);
}

void EpollDispatcher::registerTimer(int timerId, qint64 interval, Qt::TimerType timerType,
                                    QObject* object) {
    timers_.push_back(Timer{timerId, std::max<qint64>(interval, 0), timerType, object,
                            Clock::now() + std::chrono::milliseconds(interval)});
}

bool EpollDispatcher::unregisterTimer(int timerId) {
    const auto it = std::find_if(timers_.begin(), timers_.end(),
                                 [timerId](const Timer& t) { return t.id == timerId; });
    if (it == timers_.end()) return false;
    timers_.erase(it);
    return true;
}

bool EpollDispatcher::unregisterTimers(QObject* object) {
    const auto before = timers_.size();
    std::erase_if(timers_, [object](const Timer& t) { return t.object == object; });
    return timers_.size() != before;
}

QList<QAbstractEventDispatcher::TimerInfo> EpollDispatcher::registeredTimers(
    QObject* object) const {
    QList<TimerInfo> list;
    for (const Timer& t : timers_)
        if (t.object == object) list.append(TimerInfo(t.id, static_cast<int>(t.interval), t.type));
    return list;
}

int EpollDispatcher::remainingTime(int timerId) {
    for (const Timer& t : timers_) {
        if (t.id != timerId) continue;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(t.due - Clock::now()).count();
        return static_cast<int>(std::clamp<qint64>(left, 0, std::numeric_limits<int>::max()));
    }
    return -1;
}

void EpollDispatcher::wakeUp() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = write(wake_, &one, sizeof one);
}

void EpollDispatcher::interrupt() {
    interrupted_ = true;
    wakeUp();
}

int EpollDispatcher::MsToNextTimer() const {
    if (timers_.empty()) return -1;
    Clock::time_point next = Clock::time_point::max();
    for (const Timer& t : timers_) next = std::min(next, t.due);
    // Rounded up: waking a little early would only find nothing due and wait again.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    return static_cast<int>(std::clamp<qint64>(left, 0, std::numeric_limits<int>::max()));
}

// Each timer due now fires once. A handler may stop or start timers, so each is looked up again
// by its id before it fires.
bool EpollDispatcher::FireDueTimers() {
    const Clock::time_point now = Clock::now();
    std::vector<int> due;
    for (const Timer& t : timers_)
        if (t.due <= now) due.push_back(t.id);
    for (const int id : due) {
        const auto it = std::find_if(timers_.begin(), timers_.end(),
                                     [id](const Timer& t) { return t.id == id; });
        if (it == timers_.end()) continue;
        // The next time keeps to the timer's own beat; one that fell behind skips what it missed.
        it->due += std::chrono::milliseconds(it->interval);
        if (it->due <= now) it->due = now + std::chrono::milliseconds(it->interval);
        QObject* const object = it->object;
        QTimerEvent event(id);
        QCoreApplication::sendEvent(object, &event);
    }
    return !due.empty();
}

// The notifier is looked up again: an earlier handler of this round may have removed it.
bool EpollDispatcher::Activate(int fd, int type) {
    const auto watch = watches_.find(fd);
    if (watch == watches_.end()) return false;
    QSocketNotifier* const notifier = watch->second.notifiers[type];
    if (!notifier) return false;
    QEvent event(QEvent::SockAct);
    QCoreApplication::sendEvent(notifier, &event);
    return true;
}

bool EpollDispatcher::processEvents(QEventLoop::ProcessEventsFlags flags) {
    interrupted_ = false;
    emit awake();
    QCoreApplication::sendPostedEvents();
    // Posting an event wakes the loop, so a wait below ends at once when there are more.
    const bool wait = (flags & QEventLoop::WaitForMoreEvents) && !interrupted_ &&
                      alwaysReady_.empty();
    const int timeout = wait ? MsToNextTimer() : 0;
    if (wait) emit aboutToBlock();
    // Every descriptor that is ready is handled in this round, however many there are: a round
    // that took only the first batch would leave the rest for the next round, 50 ms later, and
    // with thousands of receivers their connections and data would wait for seconds.
    bool handled = false;
    // A descriptor that stays ready cannot hold the round for ever.
    std::size_t budget = watches_.size() + kEventsPerWait;
    // Local: a handler may run a loop of its own.
    epoll_event events[kEventsPerWait];
    std::vector<std::pair<int, std::uint32_t>> woken;
    for (int batch = 0;; ++batch) {
        int ready = epoll_wait(epoll_, events, kEventsPerWait, batch == 0 ? timeout : 0);
        if (batch == 0) roundWoke_ = Clock::now();
        if (ready < 0) ready = 0;  // a signal: the round ends early, nothing lost
        woken.clear();
        for (int i = 0; i < ready; ++i) {
            const int fd = events[i].data.fd;
            if (fd == wake_) {
                std::uint64_t count = 0;
                [[maybe_unused]] const auto got = read(wake_, &count, sizeof count);
                continue;
            }
            woken.emplace_back(fd, std::uint32_t{events[i].events});
        }
        if (batch == 0)
            for (const int fd : alwaysReady_) woken.emplace_back(fd, EPOLLIN | EPOLLOUT);
        if (!(flags & QEventLoop::ExcludeSocketNotifiers)) {
            for (const auto& [fd, mask] : woken) {
                for (int type = 0; type < 3; ++type)
                    if (Wakes(mask, type)) handled = Activate(fd, type) || handled;
            }
        }
        const auto taken = static_cast<std::size_t>(ready);
        if (ready < kEventsPerWait || taken >= budget ||
            (flags & QEventLoop::ExcludeSocketNotifiers))
            break;
        budget -= taken;
    }
    if (!(flags & QEventLoop::X11ExcludeTimers)) handled = FireDueTimers() || handled;
    return handled;
}

}  // namespace quorvel::lab

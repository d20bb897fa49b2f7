#include "lab/power/CommandSwitch.h"

#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <utility>

namespace quorvel::lab {
namespace {

// Enough to hold the last line of any tool's complaint.
constexpr qsizetype kStderrKept = 4096;

// The last line that says something, without its line end.
std::string LastLine(const QByteArray& text) {
    const QList<QByteArray> lines = text.split('\n');
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
        const QByteArray trimmed = line->trimmed();
        if (!trimmed.isEmpty()) return trimmed.toStdString();
    }
    return "";
}

// Kills the command with everything it started, and lets it be reaped once it is gone: never
// waited for here, and free to outlive the switch.
void KillGroup(QProcess* process) {
    if (const qint64 pid = process->processId(); pid > 0) {
        // The group is gone, or the shell has not yet made it: the shell alone then.
        if (::kill(-static_cast<pid_t>(pid), SIGKILL) != 0) ::kill(static_cast<pid_t>(pid), SIGKILL);
    }
    process->setParent(nullptr);
    if (process->state() == QProcess::NotRunning) {
        process->deleteLater();
    } else {
        QObject::connect(process, &QProcess::finished, process, &QObject::deleteLater);
    }
}

}  // namespace

CommandSwitch::CommandSwitch(std::string offCommand, std::string onCommand, int timeoutMs,
                             std::string what)
    : commands_{std::move(offCommand), std::move(onCommand)},
      timeoutMs_(timeoutMs),
      what_(std::move(what)) {
    timer_.setSingleShot(true);
    QObject::connect(&timer_, &QTimer::timeout, &pending_.context(), [this] { TimedOut(); });
}

CommandSwitch::~CommandSwitch() {
    if (process_) KillGroup(Release());
}

void CommandSwitch::Switch(bool on, Done done) {
    if (Busy()) return pending_.Refuse(std::move(done));
    pending_.Start(std::move(done));
    name_ = on ? "power-on command" : "power-off command";
    stderr_.clear();
    process_ = new QProcess(&pending_.context());
    process_->setStandardInputFile(QProcess::nullDevice());
    process_->setStandardOutputFile(QProcess::nullDevice());
    // A group of its own, so that a time-out can end the children the shell started too.
    process_->setChildProcessModifier([] { ::setpgid(0, 0); });
    QObject::connect(process_, &QProcess::readyReadStandardError, &pending_.context(), [this] {
        stderr_ += process_->readAllStandardError();
        if (stderr_.size() > kStderrKept) stderr_ = stderr_.right(kStderrKept);
    });
    QObject::connect(process_, &QProcess::finished, &pending_.context(),
                     [this](int code, QProcess::ExitStatus status) { Finished(code, status); });
    QObject::connect(process_, &QProcess::errorOccurred, &pending_.context(),
                     [this](QProcess::ProcessError error) {
                         if (error != QProcess::FailedToStart) return;  // finished follows
                         const QString why = process_->errorString();
                         Release()->deleteLater();
                         timer_.stop();
                         pending_.Finish(name_ + " could not start: " + why.toStdString());
                     });
    timer_.start(timeoutMs_);  // first: a start that fails at once stops it
    process_->start("/bin/sh", {"-c", QString::fromStdString(commands_[on ? 1 : 0])});
    // The shell's own call, too: it closes the race with a time-out before the child's.
    if (const qint64 pid = process_ ? process_->processId() : 0; pid > 0) ::setpgid(pid, pid);
}

void CommandSwitch::Finished(int code, QProcess::ExitStatus status) {
    timer_.stop();
    stderr_ += process_->readAllStandardError();
    Release()->deleteLater();
    if (status == QProcess::CrashExit) {
        return pending_.Finish(name_ + " was killed by signal " + std::to_string(code) + " (" +
                               ::strsignal(code) + ")");
    }
    if (code == 0) return pending_.Finish("");
    std::string error = name_ + " exited with status " + std::to_string(code);
    if (const std::string line = LastLine(stderr_); !line.empty()) error += ": " + line;
    pending_.Finish(error);
}

void CommandSwitch::TimedOut() {
    KillGroup(Release());
    pending_.Finish(name_ + " did not finish within " + SecondsText(timeoutMs_) + " s");
}

QProcess* CommandSwitch::Release() {
    QProcess* const process = std::exchange(process_, nullptr);
    QObject::disconnect(process, nullptr, &pending_.context(), nullptr);
    return process;
}

}  // namespace quorvel::lab

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <thread>
#include <vector>

#include "lab/ports/EpollDispatcher.h"
#include "lab/Lab.h"
#include "lab/command/Help.h"
#include "lab/command/Options.h"
#include "lab/ports/OpenFiles.h"
#include "lab/ports/PortFactory.h"
#include "lab/command/ReportCommand.h"
#include "link/ComPorts.h"

namespace {

constexpr std::chrono::milliseconds kRoundPause{50};

// The signals that end a run cleanly: ^C, kill, a closed terminal or dropped ssh session, and
// a SIGPIPE sent on purpose.
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

int signalPipe[2] = {-1, -1};

// Only wakes the event loop; the lab ends there, between two handlers.
void OnSignal(int signal, siginfo_t* info, void*) {
    // Our own write to a stdout nobody reads any more (`| head -1`) raises SIGPIPE on ourselves;
    // that write fails with EPIPE and is dropped, and the receivers go on.
    if (signal == SIGPIPE && info != nullptr && info->si_pid == getpid()) return;
    const int interrupted = errno;  // the interrupted code may be about to read it
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
    errno = interrupted;
}

// A signal that comes while the program starts up then waits in the pipe until the lab can end
// the run, instead of killing the process.
bool CatchEndingSignals() {
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe) != 0)
        return false;
    struct sigaction action {};
    action.sa_sigaction = OnSignal;
    action.sa_flags = SA_SIGINFO | SA_RESTART;  // no write of the journal is cut short
    for (const int signal : kEndingSignals)
        if (sigaction(signal, &action, nullptr) != 0) return false;
    // A file grown past the size limit (ulimit -f) is a write that fails with EFBIG, named and
    // counted as any other, not a kill that leaves half a row and no summary.
    return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
}

// Anything but a run ends on a signal as any command does: the defaults back, and a signal
// that came meanwhile delivered now.
void LeaveSignalsToTheSystem() {
    for (const int signal : kEndingSignals) std::signal(signal, SIG_DFL);
    for (char byte = 0; recv(signalPipe[0], &byte, 1, 0) == 1;) std::raise(byte);
}

bool signalsCaught = false;

void CatchEarly(int, char**, char**) { signalsCaught = CatchEndingSignals(); }

// The loader runs this before any library's initialisers (Qt's, ICU's, the C++ library's), the
// earliest code of ours: a signal sent right after the start rarely finds the defaults left.
[[gnu::used, gnu::section(".preinit_array")]] void (*const kCatchEarly)(int, char**,
                                                                        char**) = CatchEarly;

bool SignalCame() {
    pollfd ready{signalPipe[0], POLLIN, 0};
    return poll(&ready, 1, 0) == 1;
}

// `report` and --version need no port and no event loop; -1 when neither was asked for.
int WithoutPorts(const std::vector<std::string>& args, const quorvel::lab::LabOptions& options) {
    if (!args.empty() && args[0] == "report")
        return quorvel::lab::RunReportCommand({args.begin() + 1, args.end()}, std::cout);
    if (options.version) {
        std::cout << "quorvel-lab " << QUORVEL_VERSION << "\n";
        return 0;
    }
    if (options.listPorts) {
        std::string error;
        std::cout << quorvel::lab::PortListText(quorvel::DefaultPortsFolder(), error);
        errno = 0;
        if (!std::cout.flush())
            error = std::string("cannot write the list to standard output: ") +
                    (errno ? std::strerror(errno) : "the stream failed");
        if (!error.empty()) std::fprintf(stderr, "quorvel-lab: %s\n", error.c_str());
        return error.empty() ? 0 : 1;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    if (!signalsCaught && !CatchEndingSignals()) {
        std::fprintf(stderr, "quorvel-lab: cannot catch signals: %s\n", std::strerror(errno));
        return 1;
    }
    const auto parsed = quorvel::lab::ParseLabOptions({argv + 1, argv + argc});
    if ((argc > 1 && std::strcmp(argv[1], "report") == 0) || parsed.options.help ||
        parsed.options.version || !parsed.error.empty())
        LeaveSignalsToTheSystem();
    if (const int status = WithoutPorts({argv + 1, argv + argc}, parsed.options); status >= 0)
        return status;
    if (parsed.options.help) {
        std::cout << quorvel::lab::HelpText();
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "quorvel-lab: %s\n",
                     quorvel::lab::EscapeControls(parsed.error).c_str());
        return 2;
    }
    if (const std::string clash =
            quorvel::lab::CheckLabOptions(parsed.options, quorvel::DefaultPortsFolder());
        !clash.empty()) {
        std::fprintf(stderr, "quorvel-lab: %s\n", quorvel::lab::EscapeControls(clash).c_str());
        return 2;
    }
    // Thousands of network ports need as many descriptors: take what the system allows, and
    // say so when even that is too few, before any port fails for it.
    if (const std::string low =
            quorvel::lab::RaiseOpenFilesLimit(quorvel::lab::FilesNeeded(parsed.options));
        !low.empty())
        std::cout << low << std::endl;
    quorvel::lab::EpollDispatcher* epoll = nullptr;
    if (auto* dispatcher = new quorvel::lab::EpollDispatcher; dispatcher->Usable())
        QCoreApplication::setEventDispatcher(epoll = dispatcher);  // Qt owns it from here
    else
        delete dispatcher;
    QCoreApplication app(argc, argv);
    int status = 0;
    {
        quorvel::lab::Lab lab(parsed.options, std::cout);
        QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&notifier, &QSocketNotifier::activated, [&lab] { lab.End(); });
        std::string error;
        if (!lab.Begin(error)) {
            std::fprintf(stderr, "quorvel-lab: %s\n", error.c_str());
            return 1;
        }
        if (SignalCame()) lab.End();  // before the first round lets any receiver go on
        // Each round handles every port that became ready, then waits a moment so that the
        // ports that become ready meanwhile share the next wakeup: with dozens of receivers
        // that saves most wakeups. The pause counts from when the round woke, so a time stamp
        // comes at most this much late however long the round's work took.
        while (!lab.Ended()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            std::cout.flush();  // the round's event lines in one write, not one a line
            if (epoll)
                std::this_thread::sleep_until(epoll->RoundWoke() + kRoundPause);
            else
                std::this_thread::sleep_for(kRoundPause);
        }
        status = lab.ExitCode();
    }  // the ports closed (a serial port's lock released) and the journal closed
    // A host name lookup still under way runs in Qt's thread pool, and the teardown of the
    // application waits for it for as long as the resolver takes, which may be for ever. The
    // journal, the report and the summary are written: the process ends here, without it.
    std::cout.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}

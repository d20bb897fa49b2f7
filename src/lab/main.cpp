#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <thread>
#include <vector>

#include "lab/Lab.h"
#include "lab/Options.h"
#include "lab/ReportCommand.h"

namespace {

constexpr std::chrono::milliseconds kRoundPause{50};

int signalPipe[2];

// Only wakes the event loop; the lab ends there, between two handlers.
void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = write(signalPipe[1], &byte, 1);
}

// `report` and --version need no port and no event loop; -1 when neither was asked for.
int WithoutPorts(const std::vector<std::string>& args, const quorvel::lab::LabOptions& options) {
    if (!args.empty() && args[0] == "report")
        return quorvel::lab::RunReportCommand({args.begin() + 1, args.end()}, std::cout);
    if (options.version) {
        std::cout << "quorvel-lab " << QUORVEL_VERSION << "\n";
        return 0;
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv) {
    const auto parsed = quorvel::lab::ParseLabOptions({argv + 1, argv + argc});
    if (const int status = WithoutPorts({argv + 1, argv + argc}, parsed.options); status >= 0)
        return status;
    if (parsed.options.help) {
        std::cout << quorvel::lab::HelpText();
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "quorvel-lab: %s\n", parsed.error.c_str());
        return 2;
    }
    QCoreApplication app(argc, argv);
    quorvel::lab::Lab lab(parsed.options, std::cout);
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0) return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&lab] { lab.End(); });
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::string error;
    if (!lab.Begin(error)) {
        std::fprintf(stderr, "quorvel-lab: %s\n", error.c_str());
        return 1;
    }
    // Each round handles every port that became ready, then waits a moment so that the ports
    // that become ready meanwhile share the next poll: with dozens of receivers that saves most
    // wakeups, and every poll looks at every port. Time stamps come at most this much late.
    while (!lab.Ended()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        std::this_thread::sleep_for(kRoundPause);
    }
    return lab.ExitCode();
}

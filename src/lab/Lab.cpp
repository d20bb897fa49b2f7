#include "lab/Lab.h"

#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "lab/Report.h"
#include "link/ComPorts.h"

namespace quorvel::lab {
namespace {

std::string DefaultJournal() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&now, &tm);
    char name[64];
    std::strftime(name, sizeof name, "quorvel-lab-%Y%m%d-%H%M%S", &tm);
    // Two labs started in the same second in one folder must not share a journal.
    return name + ("-" + std::to_string(::getpid())) + ".csv";
}

std::string Seconds(const std::optional<double>& value) {
    if (!value) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", *value);
    return text;
}

}  // namespace

Lab::Lab(LabOptions options, std::ostream& out, int tickMs)
    : options_(std::move(options)), out_(out), tickMs_(tickMs), live_(isatty(STDOUT_FILENO) == 1) {
    if (options_.journal.empty()) options_.journal = DefaultJournal();
}

Lab::~Lab() {
    // The receivers hold references to their ports.
    receivers_.clear();
}

double Lab::Now() const { return static_cast<double>(clock_.elapsed()) / tickMs_; }

bool Lab::Begin(std::string& error) {
    if (!journal_.Open(options_.journal)) {
        error = "cannot write the journal " + options_.journal;
        return false;
    }
    clock_.start();
    const std::string portsFolder = DefaultPortsFolder();
    Receiver::Settings settings{options_.interval, options_.order,
                                static_cast<double>(options_.retry), options_.cycles};
    for (std::size_t i = 0; i < options_.ports.size(); ++i) {
        const PortSpec& given = options_.ports[i];
        // Resolved at every open, so an override link made later still counts.
        QtSerialPort::DeviceResolver resolve = [given, portsFolder](int) {
            return given.com ? ComDevicePath(given.com, portsFolder) : given.device;
        };
        ports_.push_back(std::make_unique<QtSerialPort>(portsFolder, nullptr, resolve));
        receivers_.push_back(std::make_unique<Receiver>(
            given, *ports_.back(), settings, [this] { return Now(); },
            [this, i](const Row& row) { OnRow(i, row); },
            [this, i](const std::string& event) { OnEvent(i, event); }));
        ports_.back()->SetEventHandler(
            [r = receivers_.back().get()](std::int16_t kind) { r->HandlePortEvent(kind); });
        tallies_.push_back(Tally{given.name, {}, {}, {}, {}});
    }
    liveLines_.assign(receivers_.size(), "");
    if (live_) out_ << std::string(receivers_.size(), '\n') << std::flush;
    for (auto& receiver : receivers_) receiver->Start();

    QObject::connect(&tick_, &QTimer::timeout, [this] { OnTick(); });
    tick_.start(tickMs_);
    if (options_.durationS) {
        deadline_.setSingleShot(true);
        QObject::connect(&deadline_, &QTimer::timeout, [this] { End(); });
        deadline_.start(static_cast<int>(*options_.durationS * tickMs_));
    }
    return true;
}

void Lab::OnTick() {
    bool allFinished = true;
    for (auto& receiver : receivers_) {
        receiver->Tick();
        allFinished = allFinished && receiver->Finished();
    }
    if (live_) DrawLiveLines();
    if (allFinished) End();
}

void Lab::OnRow(std::size_t receiver, const Row& row) {
    journal_.Write(row);
    tallies_[receiver].Add(row);
    if (!live_)
        out_ << row.utc << ' ' << row.receiver << " cycle " << row.cycle << ' ' << row.verdict
             << " restart " << Seconds(row.restartS) << " ttff " << Seconds(row.ttffS) << std::endl;
}

void Lab::OnEvent(std::size_t receiver, const std::string& event) {
    if (live_) return;
    out_ << UtcNow() << ' ' << receivers_[receiver]->Name() << ' ' << event << std::endl;
}

void Lab::DrawLiveLines() {
    std::string frame = "\x1b[" + std::to_string(receivers_.size()) + "A";
    bool changed = false;
    for (std::size_t i = 0; i < receivers_.size(); ++i) {
        const Receiver& r = *receivers_[i];
        char line[160];
        std::snprintf(line, sizeof line, "%-16s cycles %-5d %-16s restart %-8s ttff %s",
                      r.Name().c_str(), r.Cycles(), r.State().c_str(),
                      Seconds(r.LastRestart()).c_str(), Seconds(r.LastTtff()).c_str());
        changed = changed || liveLines_[i] != line;
        liveLines_[i] = line;
        frame += "\r\x1b[2K" + liveLines_[i] + "\n";
    }
    if (changed) out_ << frame << std::flush;
}

void Lab::End() {
    if (ended_) return;
    ended_ = true;
    tick_.stop();
    deadline_.stop();
    for (auto& receiver : receivers_) receiver->Finish();
    if (live_) DrawLiveLines();
    out_ << "\n" << SummaryText(tallies_) << "Journal: " << options_.journal << std::endl;
    if (!options_.report.empty()) {
        if (WriteReport(options_.report, tallies_)) {
            out_ << "Report: " << options_.report << std::endl;
        } else {
            std::fprintf(stderr, "quorvel-lab: cannot write the report %s\n",
                         options_.report.c_str());
            exitCode_ = 1;
        }
    }
}

}  // namespace quorvel::lab

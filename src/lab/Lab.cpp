#include "lab/Lab.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "lab/PortList.h"
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

std::string Hms(double seconds) {
    const long long s = static_cast<long long>(seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

constexpr int kReportEveryS = 60;

}  // namespace

Lab::Lab(LabOptions options, std::ostream& out, int tickMs, Lab::Clock clock)
    : options_(std::move(options)),
      out_(out),
      tickMs_(tickMs),
      live_(isatty(STDOUT_FILENO) == 1),
      clockOverride_(std::move(clock)) {
    if (options_.journal.empty()) options_.journal = DefaultJournal();
}

Lab::~Lab() {
    // The receivers hold references to their ports.
    receivers_.clear();
}

double Lab::Now() const {
    return clockOverride_ ? clockOverride_() : static_cast<double>(clock_.elapsed()) / tickMs_;
}

bool Lab::Begin(std::string& error) {
    if (!journal_.Open(options_.journal, error)) return false;
    clock_.start();
    const std::string portsFolder = DefaultPortsFolder();
    for (std::size_t i = 0; i < options_.ports.size(); ++i) {
        const PortSpec& given = options_.ports[i];
        const Receiver::Settings settings{options_.interval, given.order,   given.sign,
                                          options_.retry,    options_.fixLimit, options_.cycles};
        ports_.push_back(MakePort(given, portsFolder, [this, i](std::int16_t kind) {
            receivers_[i]->HandlePortEvent(kind);
        }));
        devices_.push_back(PortDevice(given, portsFolder));
        receivers_.push_back(std::make_unique<Receiver>(
            given, *ports_.back(), settings, [this] { return Now(); },
            [this, i](const Row& row) { OnRow(i, row); },
            [this, i](const std::string& event) { OnEvent(i, event); }));
        tallies_.push_back(Tally{given.name, given.profile, {}, {}, {}, {}});
    }
    orderAt_.assign(receivers_.size(), 0);
    problems_.assign(receivers_.size(), "");
    liveLines_.assign(receivers_.size() + 1, "");
    if (live_) out_ << std::string(liveLines_.size(), '\n') << std::flush;
    for (auto& receiver : receivers_) receiver->Start();

    QObject::connect(&tick_, &QTimer::timeout, [this] { OnTick(); });
    tick_.start(tickMs_);
    return true;
}

void Lab::OnTick() {
    // The deadline is checked against the lab's clock: a single timer for the whole duration
    // would overflow its milliseconds after 24 days.
    if (options_.durationS && Now() >= *options_.durationS) return End();
    if (++ticks_ % kReportEveryS == 0 && !options_.report.empty()) RewriteReport(false);
    bool allFinished = true;
    for (auto& receiver : receivers_) {
        receiver->Tick();
        allFinished = allFinished && receiver->Finished();
    }
    if (live_) DrawLiveLines();
    if (allFinished) End();
}

void Lab::OnRow(std::size_t receiver, const Row& given) {
    Row row = given;
    // A cycle the end cut short without a fix is not judged, unless its fix was already due.
    const auto& due = options_.pass.ttffS;
    if (ending_ && !row.ttffS && !(due && Now() - orderAt_[receiver] >= *due))
        row.verdict = kVerdicts[kEnded];
    journal_.Write(row);
    tallies_[receiver].Add(row);
    if (!live_)
        out_ << row.utc << ' ' << row.receiver << " cycle " << row.cycle << ' ' << row.verdict
             << " restart " << Seconds(row.restartS) << " ttff " << Seconds(row.ttffS) << std::endl;
}

void Lab::OnEvent(std::size_t receiver, const std::string& given) {
    std::string event = given;
    if (event == "restarting") orderAt_[receiver] = Now();  // the order just went out
    // A port's trouble names the device the port stands for: "COM5" alone does not say which.
    for (const char* verdict : {"cant-connect: ", "port-error: "}) {
        if (event.starts_with(verdict)) {
            const std::size_t at = std::strlen(verdict);
            event.insert(at, (devices_[receiver].empty() ? "no device" : devices_[receiver]) + ": ");
            problems_[receiver] = event.substr(at);
        }
    }
    if (event == "fix") problems_[receiver].clear();
    if (live_) return;
    out_ << UtcNow() << ' ' << receivers_[receiver]->Name() << ' ' << event << std::endl;
}

std::string Lab::ProgressLine() const {
    const double now = Now();
    std::string line = "elapsed " + Hms(now);
    if (options_.durationS) line += ", left " + Hms(std::max(0.0, *options_.durationS - now));
    if (options_.cycles) {
        long long judged = 0;
        for (const Tally& t : tallies_) judged += t.Cycles();
        line += ", cycles " + std::to_string(judged) + "/" +
                std::to_string(static_cast<long long>(*options_.cycles) * tallies_.size());
    }
    line += " | journal " + journal_.Path() + ": " +
            std::to_string(std::max(journal_.Rows(), 0LL)) + " rows";
    if (journal_.Unwritten()) line += ", " + std::to_string(journal_.Unwritten()) + " unwritten";
    return line;
}

// Every line stays within the terminal's width, so that the cursor goes back up exactly as
// many lines as were drawn; a narrow terminal shortens the receivers' names first.
void Lab::DrawLiveLines() {
    winsize size{};
    const std::size_t width =
        ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1u : 79u;
    std::string frame = "\x1b[" + std::to_string(liveLines_.size()) + "A";
    bool changed = false;
    for (std::size_t i = 0; i < liveLines_.size(); ++i) {
        std::string line;
        if (i == 0) {
            line = ProgressLine();
        } else {
            const Receiver& r = *receivers_[i - 1];
            char fields[160];
            std::snprintf(fields, sizeof fields, " %-7s cycles %-5d %-16s restart %-8s ttff %-8s",
                          tallies_[i - 1].profile.c_str(), r.Cycles(), r.State().c_str(),
                          Seconds(r.LastRestart()).c_str(), Seconds(r.LastTtff()).c_str());
            std::string name = r.Name();
            const std::size_t room = width > std::strlen(fields) ? width - std::strlen(fields) : 1;
            if (name.size() > room)
                name = (room > 1 ? "~" : "") + name.substr(name.size() - room + (room > 1));
            char head[64];
            std::snprintf(head, sizeof head, "%-*s",
                          static_cast<int>(std::min<std::size_t>(room, 16)), name.c_str());
            // The port's trouble last: the width cuts it before any field.
            line = head + std::string(fields) + " " + problems_[i - 1];
        }
        if (line.size() > width) line.resize(width);
        changed = changed || liveLines_[i] != line;
        liveLines_[i] = line;
        frame += "\r\x1b[2K" + line + "\n";
    }
    if (changed) out_ << frame << std::flush;
}

void Lab::RewriteReport(bool last) {
    std::string error;
    // A browser left on the page during the run follows it; the last page stays as it is.
    const int reloadS = last ? 0 : std::max(1, kReportEveryS * tickMs_ / 1000);
    if (WriteReport(options_.report, tallies_, error, options_.pass, kChartJs, reloadS)) {
        reportFailure_.clear();
        if (last) out_ << "Report: " << options_.report << std::endl;
        return;
    }
    // Said once per reason while the run goes on; the last write decides the exit status.
    if (last || error != reportFailure_) std::fprintf(stderr, "quorvel-lab: %s\n", error.c_str());
    reportFailure_ = error;
    if (last) exitCode_ = 1;
}

void Lab::End() {
    if (ended_) return;
    ended_ = true;
    tick_.stop();
    ending_ = true;
    for (auto& receiver : receivers_) receiver->Finish();
    if (live_) DrawLiveLines();
    out_ << "\n" << SummaryText(tallies_, options_.pass);
    if (journal_.Flush()) {
        out_ << "Journal: " << journal_.Path() << std::endl;
    } else {
        // The journal is not claimed whole when it is not.
        const char* lines = journal_.Unwritten() == 1 ? "line" : "lines";
        std::fprintf(stderr, "quorvel-lab: %lld %s could not be written to the journal %s\n",
                     journal_.Unwritten(), lines, journal_.Path().c_str());
        out_ << "Journal: " << journal_.Path() << " is missing " << journal_.Unwritten() << ' '
             << lines << std::endl;
        exitCode_ = 1;
    }
    if (!options_.report.empty()) RewriteReport(true);
    if (exitCode_ == 0 && AnyFails(tallies_, options_.pass)) exitCode_ = 3;
}

}  // namespace quorvel::lab

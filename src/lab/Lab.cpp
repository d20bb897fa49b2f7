#include "lab/Lab.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "lab/families/Identity.h"
#include "lab/families/Profiles.h"
#include "lab/http/LabServer.h"
#include "lab/ports/PortFactory.h"
#include "lab/present/LiveView.h"
#include "lab/present/Report.h"
#include "lab/present/Summary.h"
#include "lab/present/WholeFile.h"
#include "link/ComPorts.h"
#include "link/QtSerialPort.h"

namespace quorvel::lab {
namespace {

std::string DefaultJournal() {
    // Two labs started in the same second in one folder must not share a journal.
    return UtcText(std::chrono::system_clock::now(), "quorvel-lab-%Y%m%d-%H%M%S") + "-" +
           std::to_string(::getpid()) + ".csv";
}

constexpr int kReportEveryS = 60;
// A switch of a receiver's supply not done by then has failed.
constexpr int kPowerSwitchS = 30;

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
    for (Station& station : stations_) station.receiver.reset();
}

double Lab::Now() const {
    return clockOverride_ ? clockOverride_() : static_cast<double>(clock_.elapsed()) / tickMs_;
}

bool Lab::Begin(std::string& error) {
    // A report that cannot be written is found before any port opens, not a minute into the run.
    if (std::string reason; !options_.report.empty() && !CanWriteWhole(options_.report, reason)) {
        error = "cannot write the report " + options_.report + ": " + reason;
        return false;
    }
    if (options_.http) {
        // Served before the journal opens: a port in use ends the lab before any file is made.
        LabServer::Source source{
            .reportPage =
                [this] {
                    NoteReceivers();
                    std::vector<std::string> profiles;
                    for (const Station& s : stations_) profiles.push_back(s.receiver->ProfileName());
                    return ReportPage(tallies_, options_.pass,
                                      RunHead(options_, profiles, clock_.elapsed() / 1000.0, ended_));
                },
            .portUp = [this](std::size_t i) { return stations_[i].port->IsOpen(); },
            .journal = options_.journal};
        http_ = std::make_unique<LabServer>(std::move(source), options_.pass.confidencePct.has_value());
        std::string said;
        if (!http_->Listen(*options_.http, error, said)) return false;
        out_ << said << std::flush;
    }
    if (!journal_.Open(options_.journal, error)) return false;
    clock_.start();
    const std::string portsFolder = DefaultPortsFolder();
    for (std::size_t i = 0; i < options_.ports.size(); ++i) {
        const PortSpec& given = options_.ports[i];
        const Receiver::Settings settings{
            .interval = options_.interval,
            .profile = FindProfile(given.profile),
            .starts = given.starts,
            .order = options_.order,
            .sign = options_.sign,
            .retryS = options_.retry,
            .fixLimitS = options_.fixLimit,
            .cycles = options_.cycles,
            .fixDueS = options_.pass.ttffS,
            .reference = given.reference,
            .fixWithinM = options_.fixWithinM,
            .fix3d = options_.fix3d,
            // Real seconds: a lab whose second is shortened
            // must not take a busy machine's hiccup for a stall.
            .stallS = std::max(Receiver::kStallS, Receiver::kStallS * 1000.0 / tickMs_),
            .powerOffForS = options_.powerOffForS};
        std::unique_ptr<PowerSwitch> power;
        if (std::find(given.starts.begin(), given.starts.end(), Start::Power) !=
            given.starts.end()) {
            PowerPlan plan = options_.power;
            plan.timeoutMs = kPowerSwitchS * tickMs_;
            power = MakePowerSwitch(plan, given.name, PortDevice(given, portsFolder), error);
            if (!power) return false;
        }
        Station& station = stations_.emplace_back();
        station.port = MakePort(given, portsFolder, [this, i](std::int16_t kind) {
            stations_[i].receiver->HandlePortEvent(kind);
        });
        station.device = PortDevice(given, portsFolder);
        station.network = TcpAddress(given.device).has_value();
        station.starts = given.starts;
        station.receiver = std::make_unique<Receiver>(
            given, *station.port, settings, [this] { return Now(); },
            [this, i](const Row& row) { OnRow(i, row); },
            [this, i](const Receiver::Event& event) { OnEvent(i, event); }, std::move(power));
        // Every receiver has a line in the summary, rows or none.
        TallyFor(i, StartName(given.starts.front()));
        if (http_)
            http_->Metrics().AddReceiver(station.receiver->Name(), station.receiver->ProfileName(),
                                         StartName(given.starts.front()));
    }
    std::vector<std::string> names;
    for (const Station& station : stations_)
        names.push_back(EscapeControls(station.receiver->Name()));
    liveView_.emplace(out_, std::move(names));
    if (live_) liveView_->Open();
    for (Station& station : stations_) station.receiver->Start();

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
    for (Station& station : stations_) {
        station.receiver->Tick();
        allFinished = allFinished && (station.receiver->Finished() || station.decided);
    }
    if (live_) DrawLiveLines();
    if (allFinished) End();
}

// Each receiver's tallies, one a start, stay together in the order the receivers were named.
Tally& Lab::TallyFor(std::size_t receiver, const std::string& start) {
    // Found by halves: with thousands of receivers every row comes here.
    auto at = static_cast<std::size_t>(std::lower_bound(owners_.begin(), owners_.end(), receiver) -
                                       owners_.begin());
    for (; at < tallies_.size() && owners_[at] <= receiver; ++at) {
        if (owners_[at] == receiver && tallies_[at].start == start) return tallies_[at];
    }
    owners_.insert(owners_.begin() + static_cast<std::ptrdiff_t>(at), receiver);
    const Receiver& r = *stations_[receiver].receiver;
    return *tallies_.insert(
        tallies_.begin() + static_cast<std::ptrdiff_t>(at),
        Tally{.receiver = r.Name(), .profile = r.ProfileName(), .start = start});
}

// What each receiver said of itself and what else the summary says of it, as it stands now.
void Lab::NoteReceivers() {
    for (std::size_t i = 0; i < tallies_.size(); ++i) {
        const Receiver& r = *stations_[owners_[i]].receiver;
        Tally& t = tallies_[i];
        t.profile = r.ProfileName();
        t.identity = IdentityText(r.Identified());
        t.trouble = stations_[owners_[i]].problem;
        t.notes.clear();
        if (!r.Contradiction().empty())
            t.notes.push_back("contradicts its profile " + r.ProfileName() + ": it " +
                              r.Contradiction());
        if (r.Damaged() > 0)
            t.notes.push_back(std::to_string(r.Damaged()) + " damaged sentences" +
                              (r.Intact() == 0 ? ", every sentence it sent" : "") +
                              ", not analysed");
    }
}

void Lab::OnRow(std::size_t receiver, const Row& row) {
    journal_.Write(row);
    if (row.verdict == Verdict::Ok && row.ttffS) stations_[receiver].problem.clear();
    Tally& tally = TallyFor(receiver, row.start);
    tally.Add(row);
    if (http_)
        http_->Metrics().Add(receiver, row,
                             options_.pass.confidencePct
                                 ? std::optional(tally.Decided(options_.pass).decision)
                                 : std::nullopt);
    Station& station = stations_[receiver];
    if (options_.untilDecided && !station.decided && Decided(receiver)) {
        station.decided = true;
        station.receiver->StopOrders();
        if (!live_)
            out_ << UtcNow() << ' ' << EscapeControls(station.receiver->Name())
                 << " decided: no further order" << '\n';
    }
    if (!live_) out_ << RowLine(row) << '\n';
}

void Lab::OnEvent(std::size_t receiver, const Receiver::Event& event) {
    Station& station = stations_[receiver];
    std::string line = event.text;
    std::string reason = event.reason;
    // Behind a device server the lab's rate never reaches the line: the server's own does.
    if (event.state && event.verdict == Verdict::BaudMismatch && station.network)
        reason = "the device server sets the line speed; check its setting";
    // A port's trouble names the device its last open used: "COM5" alone does not say which,
    // and a link made or changed under the run changes it.
    if (event.verdict && !reason.empty()) {
        std::string device = station.port->DeviceName();
        if (device.empty()) device = station.device;
        const std::string trouble = (device.empty() ? "no device" : device) + ": " + reason;
        line = std::string(NameOf(*event.verdict)) + ": " + trouble;
        station.problem = EscapeControls(trouble);
    }
    if (live_) return;
    out_ << UtcNow() << ' ' << EscapeControls(station.receiver->Name() + ' ' + line) << '\n';
}

void Lab::DrawLiveLines() {
    long long cycles = 0;
    for (const Tally& t : tallies_) cycles += t.Cycles();
    std::vector<LiveRow> rows;
    for (const Station& station : stations_) {
        const Receiver& r = *station.receiver;
        rows.push_back({r.ProfileName(), r.Cycles(), r.State(), r.LastRestart(), r.LastTtff(),
                        station.problem});
    }
    liveView_->Draw(ProgressLine(Now(), options_, cycles, stations_.size(), journal_), rows);
}

void Lab::RewriteReport(bool last) {
    std::string error;
    NoteReceivers();
    // A browser left on the page during the run follows it; the last page stays as it is.
    const int reloadS = last ? 0 : std::max(1, kReportEveryS * tickMs_ / 1000);
    std::vector<std::string> profiles;
    for (const Station& station : stations_) profiles.push_back(station.receiver->ProfileName());
    const ReportHead head = RunHead(options_, profiles, clock_.elapsed() / 1000.0, last);
    if (WriteReport(options_.report, tallies_, error, options_.pass, head, kChartJs, reloadS)) {
        reportFailure_.clear();
        if (last) out_ << "Report: " << options_.report << std::endl;
        return;
    }
    // Said once per reason while the run goes on; the last write decides the exit status.
    if (last || error != reportFailure_) std::fprintf(stderr, "quorvel-lab: %s\n", error.c_str());
    reportFailure_ = error;
    if (last) exitCode_ = 1;
}

bool Lab::PowerPending() const {
    return std::any_of(stations_.begin(), stations_.end(),
                       [](const Station& s) { return s.receiver->PowerPending(); });
}

void Lab::End() {
    if (ending_) return;
    ending_ = true;
    tick_.stop();
    for (Station& station : stations_) station.receiver->Finish();
    if (!PowerPending()) return Conclude();
    // A switch under way, then the one that switches the supply back on.
    restoreUntilMs_ = clock_.elapsed() + 2LL * kPowerSwitchS * tickMs_ + 1000;
    if (!live_) out_ << UtcNow() << " switching power back on" << std::endl;
    QObject::connect(&restore_, &QTimer::timeout, [this] {
        if (PowerPending() && clock_.elapsed() < *restoreUntilMs_) return;
        restore_.stop();
        Conclude();
    });
    restore_.start(std::max(1, tickMs_ / 20));
}

void Lab::Conclude() {
    if (ended_) return;
    ended_ = true;
    if (live_) DrawLiveLines();
    // Lines lost before were event lines; the summary is what the run was for. A reader that
    // went away (`| head`) wanted no more of it; any other failure loses it.
    out_.clear();
    errno = 0;
    NoteReceivers();
    out_ << "\n" << SummaryText(tallies_, options_.pass);
    // The lab never leaves a receiver without power unsaid.
    for (const Station& station : stations_) {
        const Receiver& r = *station.receiver;
        if (!r.PowerPending() && r.PowerLeftOff().empty()) continue;
        const std::string why = r.PowerPending() ? "its switch did not finish in time"
                                                 : r.PowerLeftOff();
        out_ << "Power left off: " << EscapeControls(r.Name() + ": " + why) << "\n";
        exitCode_ = 1;
    }
    out_ << std::flush;
    if (const int lost = errno; !out_ && lost != EPIPE) {
        std::fprintf(stderr, "quorvel-lab: the summary could not be written: %s\n",
                     lost ? std::strerror(lost) : "the output failed");
        exitCode_ = 1;
    }
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
    if (exitCode_ == 0) exitCode_ = StandingStatus(tallies_, options_.pass);
}

bool Lab::Decided(std::size_t receiver) const {
    for (const Start start : stations_[receiver].starts) {
        bool decided = false;
        for (std::size_t i = 0; i < tallies_.size(); ++i)
            decided = decided || (owners_[i] == receiver && tallies_[i].start == StartName(start) &&
                                  tallies_[i].Decided(options_.pass).decision != Decision::Undecided);
        if (!decided) return false;
    }
    return true;
}

}  // namespace quorvel::lab

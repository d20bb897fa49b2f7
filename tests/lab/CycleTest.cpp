// Journal rows for each receiver profile and receiver behaviour, driven in-process: the
// simulator's receiver model behind a port stand-in, one burst and one lab tick per second.
#include <gtest/gtest.h>

#include <cmath>

#include "lab/families/Profiles.h"
#include "lab/cycle/Receiver.h"
#include "sim/Nmea.h"
#include "sim/Orders.h"
#include "sim/Receiver.h"
#include "sim/Sentences.h"

namespace quorvel::lab {
namespace {

using sim::Family;

enum class Feed { Bursts, Deaf, TimeLess, Noise, Nothing };

// How a receiver's bursts differ from the simulator's: GGA shapes that real receivers show.
struct Shape {
    int ggaEvery = 1;        // GGA only every n-th second
    bool fill = true;        // the other sentences come every second all the same
    bool twoGgas = false;    // GPGGA and GNGGA in each burst
    bool quality6 = false;   // dead reckoning (quality 6) while it has no fix
    int dropout = 0;         // seconds of quality 0 after the first order, the clock running on
    std::string afterOrder{};  // one damaged sentence right after the first order
    std::vector<std::pair<int, int>> lost{};  // from, until: seconds without a fix, whatever else
    bool blanks = false;     // its time is gone while it has no fix (a Quectel EG25-G does)
    bool ggaLast = false;    // GSA and GSV before the GGA, as the EG25-G sends them
    int gsvEvery = 1;        // satellites only every n-th second
    bool echoes = false;     // the line returns what the lab sends
    std::vector<std::pair<int, int>> quiet{};  // from, until: seconds it sends nothing
};

// The framed sentence with `from` replaced by `to`, framed again.
std::string Reframed(const std::string& framed, const std::string& from, const std::string& to) {
    std::string body = framed.substr(1, framed.find('*') - 1);
    body.replace(body.find(from), from.size(), to);
    return sim::FrameSentence(body);
}

class SimPort : public SerialPort {
  public:
    SimPort(const sim::ReceiverConfig& config, Feed feed, int obey, const Shape& shape)
        : rx_(config), family_(config.family), feed_(feed), obey_(obey), shape_(shape) {}
    bool SetCommPort(std::int16_t) override { return true; }
    bool SetSettings(const std::string&) override { return true; }
    bool Open() override { return open = true; }
    void Close() override { open = false; }
    bool IsOpen() const override { return open; }
    void DiscardInput() override { pending_.clear(); }
    std::string Input() override { return std::exchange(pending_, {}); }
    bool Output(const std::string& text) override {
        if (std::any_of(Profiles().begin(), Profiles().end(),
                        [&text](const Profile& p) { return p.versionQuery == text; })) {
            if (shape_.echoes) pending_ += text;
            queries.push_back(text);
            if (const std::string answer = sim::AnswerTo(family_, text); !answer.empty())
                rx_.OnQuery(answer);
            return true;
        }
        if (shape_.echoes) pending_ += text;
        orders.push_back(text);
        if (orders.size() == 1) {
            pending_ += shape_.afterOrder;
            dropout_ = shape_.dropout;
        }
        const auto start = sim::OrderStart(family_, text);
        if (!start || obey_ == 0) return true;
        if (obey_ > 0) --obey_;
        rx_.OnOrder(*start);
        return true;
    }
    std::string ErrorReason() const override { return "Input/output error"; }
    // One second of the receiver; false when nothing came.
    bool Second(bool off) {
        ++second_;
        auto epoch = rx_.NextBurst();
        if (feed_ == Feed::Noise) pending_ += "\x95\xA3~~\xFF";
        for (const auto& [from, until] : shape_.quiet) off = off || (second_ >= from && second_ < until);
        if (feed_ < Feed::Noise && epoch && !off) pending_ += Shaped(*epoch);
        return open && !pending_.empty();
    }
    bool open = false;
    std::vector<std::string> orders, queries;

  private:
    std::string Shaped(sim::Epoch epoch) {
        if (dropout_ > 0 && dropout_--) epoch.fix = false;
        for (const auto& [from, until] : shape_.lost)
            if (second_ >= from && second_ < until) epoch.fix = false;
        if (shape_.blanks && !epoch.fix) epoch.timeKnown = false;
        const bool deadReckoning = shape_.quality6 && !epoch.fix && epoch.timeKnown;
        if (deadReckoning) epoch.fix = true;
        std::string gga = sim::Gga(epoch);
        const std::string before = std::exchange(epoch.before, {});
        std::string rest = sim::Burst(epoch).substr(gga.size());
        for (std::size_t at; seconds_ % shape_.gsvEvery && (at = rest.find("$GPGSV")) != rest.npos;)
            rest.erase(at, rest.find('\n', at) + 1 - at);
        if (deadReckoning) gga = Reframed(gga, ",1,12,", ",6,12,");
        if (shape_.twoGgas) gga += Reframed(gga, "GPGGA", "GNGGA");
        const bool ggaNow = ++seconds_ % shape_.ggaEvery == 0;
        if (shape_.ggaLast) return before + rest + (ggaNow ? gga : "");
        return before + (ggaNow ? gga : "") + (ggaNow || shape_.fill ? rest : "");
    }

    sim::Receiver rx_;
    Family family_;
    Feed feed_;
    int obey_;  // orders obeyed; -1 every one
    Shape shape_;
    int dropout_ = 0;
    int seconds_ = 0;
    int second_ = -1;  // the script's second
    std::string pending_;
};

// cycle,verdict,restart_s,ttff_s,satellites,hdop; then "@start" when not cold, and the model
// the receiver named.
std::string Short(const Row& r) {
    const std::string row = FormatRow(r).substr(30);
    std::string text = row.substr(0, row.find("," + r.start + ","));
    if (r.start != "cold") text += "@" + r.start;
    if (r.errorM && *r.errorM >= 10) text += " off " + std::to_string(std::lround(*r.errorM)) + " m";
    if (r.cn0AgeS && *r.cn0AgeS > 0) text += " cn0 " + std::to_string(std::lround(*r.cn0AgeS)) + " s old";
    if (r.ttffS && !r.cn0) text += " no cn0";
    return r.model.empty() ? text : text + " " + r.model;
}

std::string Model(Family family) {
    switch (family) {
        case Family::Ubx: return "SIM-NEO-M8N";
        case Family::Pmtk: return "SIM-PA6H";
        case Family::Pair: return "SIM-LC76G";
        case Family::Pqtm: return "SIM-LG290P";
        case Family::Casic: return "SIM-ATGM336H";
        default: return "";
    }
}

struct Script {
    const char* name;
    const char* profile;
    Family family;
    int noFix;     // bursts without a fix after a restart
    int seconds;
    std::vector<std::string> rows;  // verdict,restart_s,ttff_s,satellites,hdop from cycle 1 on
    struct {
        Feed feed = Feed::Bursts;
        int offAfter = 0;  // bursts after the first restart before it is switched off for good
        int cycles = 0;    // 0: no limit
        int interval = 15;
        int obey = -1;
        int offFrom = -1, offUntil = -1;  // seconds it says nothing
        int unplugAt = -1;                // the second its port fails
        int startClock = 12 * 3600;
        bool neverFix = false;
        int restartAfter = 0;               // seconds it goes on with its old time after an order
        std::optional<double> fixDue{};     // --pass-ttff: when a cut cycle is judged
        std::vector<Start> starts = {Start::Cold};
        // The first fixes after a restart this far off for this long, or 2D, or no GSA at all;
        // and the lab's rule for the first fix.
        int offsetM = 0, offsetFor = 0, twoDFor = 0;
        bool noGsa = false;
        std::optional<double> fixWithin{};
        bool fix3d = false;
        std::string said = {};              // in an event line
        Shape shape = {};
        int orders = -1;                    // orders it must get, when checked
        int fixLimit = 40;
        int stallAt = -1, stallFor = 0;     // the lab stopped: no tick, no read
    } x{};
};

TEST(LabJournal, EachProfileAndReceiverGivesItsRows) {
    // pxemsrt: a fix 8 s after the restart, 4 s after the order: 3 s of reboot silence, 1 s to
    // 00:00:00. The fix-lost families: the first sentence without a fix after the silence.
    const std::string ok = "ok,4.0,12.0,12,0.9", none = ",,,,", deaf = "no-respond" + none;
    const std::string okFix = "ok,4.0,14.0,12,0.9";
    // A warm start regains its fix sooner than a cold one, a hot start sooner still.
    const std::string warm = "ok,4.0,9.0,12,0.9@warm", hot = "ok,4.0,6.0,12,0.9@hot",
                      factory = okFix + "@factory", all[] = {okFix, warm, hot, factory, okFix, warm};
    const auto P = Family::Pxemsrt;
    const Script scripts[] = {
        {"restarting", "pxemsrt", P, 8, 70, {ok, ok, "ended,4.0,,,"}},
        {"cycles ends it", "pxemsrt", P, 8, 200, {ok, ok}, {.cycles = 2}},
        // The next order waits for the start's first fix, and the interval counts from it.
        {"a cold start slower than the interval", "ubx", Family::Ubx, 40, 200,
         {"ok,4.0,44.0,12,0.9", "ok,4.0,44.0,12,0.9", "ok,4.0,44.0,12,0.9"},
         {.cycles = 3, .orders = 3, .fixLimit = 60}},
        {"interval 10, a TTFF of 14 s", "ubx", Family::Ubx, 10, 100, {okFix, okFix, okFix, okFix},
         {.interval = 10, .orders = 4}},
        {"deaf, retried", "pxemsrt", P, 5, 90, {deaf, deaf}, {.feed = Feed::Deaf}},
        {"deaf across midnight", "pxemsrt", P, 5, 50, {deaf}, {.feed = Feed::Deaf, .startClock = 86390}},
        {"young clock, deaf after one restart", "pxemsrt", P, 2, 60,
         {"ok,4.0,6.0,12,0.9", deaf, "ended" + none}, {.interval = 3, .obey = 1, .orders = 3}},
        {"an order unanswered at the end, its fix due", "pxemsrt", P, 2, 32,
         {"ok,4.0,6.0,12,0.9", deaf}, {.interval = 5, .obey = 1, .fixDue = 10, .orders = 2}},
        {"an order unanswered at the end, its fix not due", "pxemsrt", P, 2, 32,
         {"ok,4.0,6.0,12,0.9", "ended" + none}, {.interval = 5, .obey = 1, .fixDue = 20}},
        {"a late answer and the retry", "pxemsrt", P, 2, 110, {deaf, deaf, "ended" + none},
         {.interval = 3, .restartAfter = 31, .orders = 3}},
        {"deaf at midnight, two GGAs a second", "pxemsrt", P, 5, 45, {deaf},
         {.feed = Feed::Deaf, .startClock = 86390, .shape = {.twoGgas = true}}},
        {"deaf at midnight, GGA every 3 s, RMC between", "pxemsrt", P, 5, 45, {deaf},
         {.feed = Feed::Deaf, .startClock = 86390, .shape = {.ggaEvery = 3, .twoGgas = true}}},
        {"deaf, a cut GGA at the reset time", "pxemsrt", P, 5, 45, {deaf},
         {.feed = Feed::Deaf, .shape = {.afterOrder = "$GPGGA,000002.00,4807.038,N,01*5C\r\n"}}},
        {"dead reckoning before the fix", "pxemsrt", P, 8, 30, {ok},
         {.shape = {.quality6 = true}}},
        {"off after restart", "pxemsrt", P, 8, 30, {"shut-down,4.0,,,"}, {.offAfter = 3}},
        {"off after its fix", "pxemsrt", P, 2, 30, {"ok,4.0,6.0,12,0.9", "shut-down" + none},
         {.offAfter = 4}},
        {"back after a shut-down, then deaf", "pxemsrt", P, 2, 90,
         {"ok,4.0,6.0,12,0.9", "shut-down" + none, deaf, "ended" + none},
         {.obey = 1, .offFrom = 14, .offUntil = 30}},
        {"noise", "pxemsrt", P, 5, 12, {"baud-mismatch" + none}, {.feed = Feed::Noise}},
        {"time-less GGA", "pxemsrt", P, 5, 100, {"no-fix" + none, "no-fix" + none},
         {.feed = Feed::TimeLess, .said = "no-fix for 40 s: no time in its GGA"}},
        {"silent, retried", "pxemsrt", P, 5, 20, {"cant-connect" + none, "cant-connect" + none},
         {.feed = Feed::Nothing}},
        {"port fails after the order", "pxemsrt", P, 8, 40, {"port-error" + none, ok}, {.unplugAt = 7}},
        {"ubx restarting", "ubx", Family::Ubx, 10, 70, {okFix, okFix, "ended,4.0,,,"}},
        {"ubx deaf", "ubx", Family::Ubx, 10, 50, {deaf}, {.feed = Feed::Deaf}},
        {"ubx deaf, a fix dropout", "ubx", Family::Ubx, 10, 45, {deaf},
         {.feed = Feed::Deaf, .shape = {.dropout = 4}}},
        {"ubx deaf, a cut GGA", "ubx", Family::Ubx, 10, 45, {deaf},
         {.feed = Feed::Deaf, .shape = {.afterOrder = "$GPGGA,120002.00,4807.038,N,01*5C\r\n"}}},
        {"ubx never fixes again", "ubx", Family::Ubx, 10, 60, {"no-fix,4.0,,,"}, {.neverFix = true}},
        {"ubx under the window's order", "pxemsrt", Family::Ubx, 10, 50, {deaf}},
        {"pmtk restarting", "pmtk", Family::Pmtk, 10, 70, {okFix, okFix, "ended,4.0,,,"}},
        {"pmtk, one cycle, its fix after the countdown", "pmtk", Family::Pmtk, 20, 60,
         {"ok,4.0,24.0,12,0.9"}, {.cycles = 1, .orders = 1}},
        {"pmtk never fixes again", "pmtk", Family::Pmtk, 10, 60, {"no-fix,4.0,,,"}, {.neverFix = true}},
        {"psrf deaf", "psrf", Family::Psrf, 10, 50, {deaf}, {.feed = Feed::Deaf}},
        {"psrf restarting", "psrf", Family::Psrf, 10, 70, {okFix, okFix, "ended,4.0,,,"}},
        {"first fixes 500 m off for 5 s, fix within 100 m", "pxemsrt", P, 2, 30,
         {"ok,4.0,11.0,12,0.9"}, {.offsetM = 500, .offsetFor = 5, .fixWithin = 100}},
        {"first fixes 500 m off, any fix", "pxemsrt", P, 2, 30,
         {"ok,4.0,6.0,12,0.9 off 500 m", "ended" + none}, {.offsetM = 500, .offsetFor = 5}},
        {"never within 100 m", "pxemsrt", P, 2, 60, {"no-fix,4.0,,,"},
         {.offsetM = 500, .offsetFor = 1000, .fixWithin = 100, .said = "its last fix was 50"}},
        {"2D for 4 s, 3D fix", "pxemsrt", P, 2, 30, {"ok,4.0,10.0,12,0.9"},
         {.twoDFor = 4, .fix3d = true}},
        {"2D for 4 s, 3D fix, GSA before GGA", "pxemsrt", P, 2, 30, {"ok,4.0,10.0,12,0.9"},
         {.twoDFor = 4, .fix3d = true, .shape = {.ggaLast = true}}},
        {"satellites every 3rd second", "pxemsrt", P, 2, 30, {"ok,4.0,6.0,12,0.9 cn0 2 s old", "ended" + none},
         {.shape = {.gsvEvery = 3}}},
        {"satellites every 9th second", "pxemsrt", P, 2, 30, {"ok,4.0,6.0,12,0.9 no cn0", "ended" + none},
         {.shape = {.gsvEvery = 9}}},
        {"no GSA, 3D fix", "pxemsrt", P, 2, 30, {"no-fix,4.0,,,", "ended" + none},
         {.noGsa = true, .fix3d = true, .said = "sends no GSA"}},
        {"ubx hot, warm, cold in turn", "ubx", Family::Ubx, 10, 90, {hot, warm, okFix, hot}, {.starts = {Start::Hot, Start::Warm, Start::Cold}}},
        {"pmtk every start in turn", "pmtk", Family::Pmtk, 10, 110, {okFix, warm, hot, factory, "ended" + none}, {.starts = {Start::Cold, Start::Warm, Start::Hot, Start::Factory}}},
        {"psrf every start in turn", "psrf", Family::Psrf, 10, 110, {okFix, warm, hot, factory, "ended" + none}, {.starts = {Start::Cold, Start::Warm, Start::Hot, Start::Factory}}},
        {"pair every start in turn", "pair", Family::Pair, 10, 110, {okFix, warm, hot, factory, "ended" + none}, {.starts = {Start::Cold, Start::Warm, Start::Hot, Start::Factory}}},
        {"pqtm every start in turn", "pqtm", Family::Pqtm, 10, 90, {okFix, warm, hot, "ended,4.0,,,"}, {.starts = {Start::Cold, Start::Warm, Start::Hot}}},
        {"casic every start in turn", "casic", Family::Casic, 10, 110, {okFix, warm, hot, factory, "ended" + none}, {.starts = {Start::Cold, Start::Warm, Start::Hot, Start::Factory}}},
        {"auto finds pmtk", "auto", Family::Pmtk, 10, 60, {okFix, "ended,4.0,,,"}, {.said = "auto: pmtk"}},
        // The lab's own words on a line that echoes them are not the receiver's.
        {"auto, an echoing line, a receiver that names nothing", "auto", P, 10, 40,
         {"unidentified" + none, "unidentified" + none}, {.said = "echoes", .shape = {.echoes = true}, .orders = 0}},
        {"auto, an echoing line, a u-blox", "auto", Family::Ubx, 10, 60, {okFix, "ended,4.0,,,"},
         {.said = "auto: ubx", .shape = {.echoes = true}}},
        // A sign counts only when it begins soon after the order, and never when the receiver
        // shows it without one.
        {"an ignored warm order, a time-blanking dropout 8 s later", "ubx", Family::Ubx, 10, 45,
         {"no-respond,,,,@warm"}, {.obey = 0, .starts = {Start::Warm}, .shape = {.lost = {{12, 20}}, .blanks = true}}},
        {"its time blanks before the first order, then an ignored one", "ubx", Family::Ubx, 10, 45,
         {deaf}, {.obey = 0, .said = "lost its time without an order", .shape = {.lost = {{2, 4}, {9, 16}}, .blanks = true}}},
        {"it falls silent before the first order, then an ignored one", "ubx", Family::Ubx, 10, 45,
         {deaf}, {.obey = 0, .said = "fell silent for 3 s without an order", .shape = {.lost = {{15, 20}}, .quiet = {{3, 7}, {12, 15}}}}},
        {"the lab stalls while a start awaits its fix", "pxemsrt", P, 8, 60, {"stalled,4.0,,,", ok, "ended,4.0,,,"},
         {.said = "stopped for 40", .stallAt = 12, .stallFor = 40}},
        {"auto: a receiver that names no family", "auto", P, 10, 40, {"unidentified" + none, "unidentified" + none}, {.said = "unidentified: it named no family"}},
        {"ubx given to a MediaTek receiver", "ubx", Family::Pmtk, 10, 45, {deaf}, {.said = "profile ubx contradicted"}},
    };
    for (const Script& script : scripts) {
        SCOPED_TRACE(script.name);
        sim::ReceiverConfig config;
        config.family = script.family;
        config.startSecondsOfDay = script.x.startClock;
        config.noFixAfterRestart = script.noFix;
        config.neverFix = script.x.neverFix;
        config.restartAfter = script.x.restartAfter;
        config.offsetM = script.x.offsetM;
        config.offsetFor = script.x.offsetFor;
        config.twoDFor = script.x.twoDFor;
        config.sendsGsa = !script.x.noGsa;
        if (script.x.offAfter) config.powerOffAfter = script.x.offAfter;
        config.neverRestart = script.x.feed == Feed::Deaf;
        config.timeKnown = script.x.feed != Feed::TimeLess;
        if (script.x.feed == Feed::TimeLess) config.noFixAfterRestart = 1 << 20;
        SimPort port(config, script.x.feed, script.x.obey, script.x.shape);
        const Profile* profile = FindProfile(script.profile);  // nothing: auto
        const Profile& ordered = profile ? *profile : *FindProfile(sim::FamilyName(script.family));
        double now = 0;
        std::vector<std::string> rows, want;
        std::string said;
        Receiver receiver(
            {"COM5", 5, "", "9600", script.profile}, port,
            {.interval = script.x.interval,
             .profile = profile,
             .starts = script.x.starts,
             .fixLimitS = script.x.fixLimit,
             .cycles = script.x.cycles ? std::optional(script.x.cycles) : std::nullopt,
             .fixDueS = script.x.fixDue,
             .reference = Reference{48.1173, 11.5167, {}},  // the simulator's antenna
             .fixWithinM = script.x.fixWithin,
             .fix3d = script.x.fix3d},
            [&now] { return now; }, [&rows](const Row& r) { rows.push_back(Short(r)); },
            [&said](const Receiver::Event& event) { said += event.text + "\n"; });
        receiver.Start();
        for (int second = 0; second < script.seconds; ++second, now += 0.5) {
            if (second == script.x.stallAt) now += script.x.stallFor;
            const bool off = second >= script.x.offFrom && second < script.x.offUntil;
            if (port.Second(off)) receiver.HandlePortEvent(2);
            if (second == script.x.unplugAt) {
                port.open = false;
                receiver.HandlePortEvent(comm_event::kDeviceFailure);
            }
            now += 0.5;
            receiver.Tick();
        }
        receiver.Finish();
        // The model each simulated family names when asked who it is.
        const std::string model = script.family == P             ? ""
                                  : script.family == Family::Psrf ? ""
                                                                  : " " + Model(script.family);
        for (std::size_t i = 0; i < script.rows.size(); ++i)
            want.push_back(std::to_string(i + 1) + "," + script.rows[i] + model);
        EXPECT_EQ(rows, want);
        EXPECT_NE(said.find(script.x.said), std::string::npos) << said;
        if (script.x.orders >= 0) {
            EXPECT_EQ(port.orders.size(), script.x.orders);
        }
        EXPECT_FALSE(port.open);
        for (const std::string& order : port.orders) {
            EXPECT_TRUE(std::any_of(kStarts.begin(), kStarts.end(), [&](Start start) {
                return ordered.OrderFor(start) && *ordered.OrderFor(start) == order;
            })) << sim::EscapeBytes(order);
        }
    }
}

}  // namespace
}  // namespace quorvel::lab

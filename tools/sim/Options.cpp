#include "sim/Options.h"

#include <charconv>
#include <functional>
#include <map>

#include "sim/Orders.h"

namespace quorvel::sim {
namespace {

bool ParseInt(const std::string& text, long long low, long long high, long long& value) {
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && !text.empty() && value >= low && value <= high;
}

std::optional<int> ParseHhmmss(const std::string& text) {
    if (text.size() != 6) return std::nullopt;
    long long v = 0;
    if (!ParseInt(text, 0, 235959, v)) return std::nullopt;
    const int h = static_cast<int>(v / 10000), m = static_cast<int>(v / 100 % 100),
              s = static_cast<int>(v % 100);
    if (h > 23 || m > 59 || s > 59) return std::nullopt;
    return h * 3600 + m * 60 + s;
}

std::optional<ChunkMode> ParseChunk(const std::string& text) {
    static const std::map<std::string, ChunkMode> kModes = {{"burst", ChunkMode::Burst},
                                                            {"sentence", ChunkMode::Sentence},
                                                            {"byte", ChunkMode::Byte},
                                                            {"random", ChunkMode::Random}};
    const auto it = kModes.find(text);
    return it == kModes.end() ? std::nullopt : std::optional(it->second);
}

std::optional<double> ParseSeconds(const std::string& text) {
    double v = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, v);
    if (ec != std::errc() || ptr != end || text.empty() || !(v >= 0) || v > 1e7) return {};
    return v;
}

using Setter = std::function<bool(Options&, const std::string&)>;

Setter IntInto(int Options::*field, long long low, long long high) {
    return [=](Options& o, const std::string& text) {
        long long v = 0;
        if (!ParseInt(text, low, high, v)) return false;
        o.*field = static_cast<int>(v);
        return true;
    };
}

Setter OptionalIntInto(std::optional<int> Options::*field, long long low, long long high) {
    return [=](Options& o, const std::string& text) {
        long long v = 0;
        if (!ParseInt(text, low, high, v)) return false;
        o.*field = static_cast<int>(v);
        return true;
    };
}

struct ValueOption {
    Setter set;
    const char* expected;
};

const std::map<std::string, ValueOption>& ValueOptions() {
    static const std::map<std::string, ValueOption> kOptions = {
        {"--baud", {IntInto(&Options::baud, 50, 4000000), "a rate from 50 to 4000000"}},
        {"--rate-ms", {IntInto(&Options::rateMs, 10, 60000), "10 to 60000 ms"}},
        {"--com", {OptionalIntInto(&Options::com, 1, 101), "a COM number from 1 to 101"}},
        {"--reboot-silence", {IntInto(&Options::rebootSilence, 0, 3600), "0 to 3600 bursts"}},
        {"--ttff", {IntInto(&Options::ttff, 0, 3600), "0 to 3600 bursts"}},
        {"--restart-after", {IntInto(&Options::restartAfter, 0, 3600), "0 to 3600 bursts"}},
        {"--power-off-after",
         {OptionalIntInto(&Options::powerOffAfter, 1, 3600), "1 to 3600 bursts"}},
        {"--ports-dir",
         {[](Options& o, const std::string& t) { return !(o.portsDir = t).empty(); }, "a folder"}},
        {"--power-file",
         {[](Options& o, const std::string& t) { return !(o.powerFile = t).empty(); }, "a file"}},
        {"--replay",
         {[](Options& o, const std::string& t) { return !(o.replay = t).empty(); }, "a file"}},
        {"--start-time",
         {[](Options& o, const std::string& t) {
              o.startSecondsOfDay = ParseHhmmss(t);
              return o.startSecondsOfDay.has_value();
          },
          "hhmmss, e.g. 235955"}},
        {"--family",
         {[](Options& o, const std::string& t) {
              const auto family = ParseFamily(t);
              if (family) o.family = *family;
              o.familyGiven = true;
              return family.has_value();
          },
          "pxemsrt, ubx, pmtk, psrf, pair, pqtm or casic"}},
        {"--chunk",
         {[](Options& o, const std::string& t) {
              const auto mode = ParseChunk(t);
              if (mode) o.chunk = *mode;
              return mode.has_value();
          },
          "burst, sentence, byte or random"}},
        {"--seed",
         {[](Options& o, const std::string& t) {
              std::uint64_t v = 0;
              const char* end = t.data() + t.size();
              auto [ptr, ec] = std::from_chars(t.data(), end, v);
              if (ec != std::errc() || ptr != end || t.empty()) return false;
              o.seed = v;
              return true;
          },
          "an unsigned number"}},
        {"--offset-for", {IntInto(&Options::offsetFor, 1, 3600), "1 to 3600 bursts"}},
        {"--2d-for", {IntInto(&Options::twoDFor, 1, 3600), "1 to 3600 bursts"}},
        {"--offset-m",
         {[](Options& o, const std::string& t) {
              const std::optional<double> metres = ParseSeconds(t);
              o.offsetM = metres.value_or(0);
              return metres && *metres > 0 && *metres <= 1e6;
          },
          "metres, more than 0 and at most 1000000"}},
        {"--tcp-listen",
         {[](Options& o, const std::string& t) {
              // HOST:PORT, an IPv6 host in brackets.
              const auto colon = t.rfind(':');
              long long port = 0;
              if (colon == std::string::npos || colon == 0 ||
                  !ParseInt(t.substr(colon + 1), 1, 65535, port))
                  return false;
              o.tcpHost = t.substr(0, colon);
              o.tcpPort = static_cast<int>(port);
              const bool bracketed = o.tcpHost.front() == '[' && o.tcpHost.back() == ']';
              return bracketed ? o.tcpHost.size() > 2
                               : o.tcpHost.find_first_of("[]:") == std::string::npos;
          },
          "HOST:PORT, e.g. 127.0.0.1:5000 or [::1]:5000"}},
        {"--count", {IntInto(&Options::count, 1, 60000), "1 to 60000 receivers"}},
        {"--ttff-spread",
         {OptionalIntInto(&Options::ttffSpread, 0, 3600), "0 to 3600 bursts"}},
        {"--ports-file-out",
         {[](Options& o, const std::string& t) { return !(o.portsFileOut = t).empty(); },
          "a file"}},
        {"--exit-after",
         {[](Options& o, const std::string& t) {
              o.exitAfterSeconds = ParseSeconds(t);
              return o.exitAfterSeconds.has_value();
          },
          "seconds, e.g. 2.5"}},
    };
    return kOptions;
}

const std::map<std::string, bool Options::*>& FlagOptions() {
    static const std::map<std::string, bool Options::*> kFlags = {
        {"--never-restart", &Options::neverRestart},
        {"--never-fix", &Options::neverFix},
        {"--no-time", &Options::noTime},
        {"--wrong-baud", &Options::wrongBaud},
        {"--silent", &Options::silent},
        {"--verbose", &Options::verbose},
        {"--no-gsa", &Options::noGsa},
        {"--vanish", &Options::vanish},
    };
    return kFlags;
}

// Options that each decide what the line carries; only one can.
std::string Conflicts(const Options& o) {
    const int modes = int(o.noTime) + int(o.wrongBaud) + int(o.silent) + int(!o.replay.empty());
    if (modes > 1) return "--no-time, --wrong-baud, --silent and --replay exclude each other";
    if (o.neverRestart && (o.restartAfter > 0 || o.powerOffAfter || o.neverFix)) {
        return "--never-restart excludes --restart-after, --power-off-after and --never-fix";
    }
    if (!o.portsDir.empty() && !o.com) return "--ports-dir needs --com";
    if (o.vanish && o.powerFile.empty()) return "--vanish needs --power-file";
    if (!o.powerFile.empty() && o.powerOffAfter) return "--power-file excludes --power-off-after";
    if ((o.offsetM > 0) != (o.offsetFor > 0)) return "--offset-m and --offset-for go together";
    const bool rack = !o.tcpHost.empty();
    // The rack's receivers have no supply of their own to switch.
    if (rack && !o.powerFile.empty()) return "--power-file and --tcp-listen: one or the other";
    if (!rack && (o.count != 1 || o.ttffSpread || !o.portsFileOut.empty()))
        return "--count, --ttff-spread and --ports-file-out need --tcp-listen";
    if (rack && (o.com || !o.replay.empty() || o.chunk != ChunkMode::Burst))
        return "--tcp-listen excludes --com, --replay and --chunk (a rack sends whole bursts)";
    if (rack && o.tcpPort + o.count - 1 > 65535)
        return "--tcp-listen: ports " + std::to_string(o.tcpPort) + " to " +
               std::to_string(o.tcpPort + o.count - 1) + " go past 65535";
    return "";
}

ParseResult Error(std::string message) {
    ParseResult r;
    r.outcome = ParseResult::Outcome::Error;
    r.error = std::move(message);
    return r;
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string>& args) {
    ParseResult result;
    Options& o = result.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (const auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        if (name == "--help" || name == "-h") {
            result.outcome = ParseResult::Outcome::Help;
            return result;
        }
        if (name == "--version") {
            result.outcome = ParseResult::Outcome::Version;
            return result;
        }
        if (const auto flag = FlagOptions().find(name); flag != FlagOptions().end()) {
            if (value) return Error(name + " takes no value");
            o.*(flag->second) = true;
            continue;
        }
        const auto option = ValueOptions().find(name);
        if (option == ValueOptions().end()) return Error("unknown option " + args[i]);
        if (!value) {
            if (i + 1 == args.size()) return Error(name + " needs a value");
            value = args[++i];
        }
        if (!option->second.set(o, *value)) {
            return Error(name + ": '" + *value + "' is not " + option->second.expected);
        }
    }
    if (std::string conflict = Conflicts(o); !conflict.empty()) return Error(conflict);
    return result;
}

std::string HelpText() {
    return R"(Usage: quorvel-sim [options]

Plays a GNSS receiver on a pseudo-terminal for Quorvel demos and end-to-end tests.
The first line on stdout is "quorvel-sim: <pty device>". After that, every command
written to the receiver is printed byte exact ("\r", "\n", "\xNN" escapes) with the
local time, as are the receiver's restarts. Every line is flushed at once.

The receiver sends one burst per period: GGA, RMC, GSA, three GSV and VTG, with
NMEA checksums and CR LF. Its UTC time advances one second per burst, whatever the
period. On one of its family's orders (--family) it restarts: counting the bursts
after the order from 1, bursts 1..A still carry the old time (A = --restart-after),
the next S bursts are silent (S = --reboot-silence) and then it restarts, sending
its family's start-up text first where it has one. The position fix returns --ttff
bursts later after a cold or factory start, half that after a warm start and a
quarter after a hot one (rounded down); a hot or warm start keeps the true time.
Orders that come while a restart is under way are ignored, and so are other
families' orders and queries (printed with the reason). Its family's version query
is answered before the next burst, with names and versions that begin "SIM".

Receiver families (--family NAME), their orders (hot, warm, cold, factory; "-"
where the family has none), start-up texts, version queries, and the time after a
cold start. NMEA orders end in CR LF.
  pxemsrt  -, -, "$PXEMSRT,C*3A", - (default). The time restarts at 00:00:00,
           counting up one second per burst, and goes on so after the fix.
  ubx      u-blox UBX-CFG-RST, GNSS-only reset (resetMode 02), the binary frames
           B5 62 06 04 04 00 00 00 02 00 10 68 (hot, navBbrMask 0000),
           B5 62 06 04 04 00 01 00 02 00 11 6C (warm, 0001),
           B5 62 06 04 04 00 FF FF 02 00 0E 61 (cold, FFFF), no factory start;
           any frame with one of these masks, a good checksum and a resetting
           resetMode counts. Query UBX-MON-VER (B5 62 0A 04 00 00 0E 34),
           answered by MON-VER. Empty time fields until satellite time arrives
           two bursts before the fix.
  pmtk     MediaTek "$PMTK101*32", "$PMTK102*31", "$PMTK103*30", "$PMTK104*37";
           starts with "$PMTK011,MTKGPS*08" and "$PMTK010,001*2E"; query
           "$PMTK605*31", answered by "$PMTK705". The module's clock default:
           23:59:46 on 1980-01-05, counting up; the true time two bursts before
           the fix.
  psrf     SiRF "$PSRF101,0,0,0,0,0,0,12,R*hh" with reset configuration R = 0, 2,
           4, 8 ("*14", "*16", "*10", "*1C"). The clock since the reboot from
           00:00:00; the true time two bursts before the fix.
  pair     Airoha "$PAIR004*3E", "$PAIR005*3F", "$PAIR006*3C", "$PAIR007*3D";
           query "$PAIR020*38", answered by "$PAIR020"; as a Quectel LC76G it
           also answers "$PQTMVERNO*58". Empty time fields until satellite time.
  pqtm     Quectel LG290P class "$PQTMHOT*4B", "$PQTMWARM*11", "$PQTMCOLD*1C",
           -; starts with "$PQTMVER"; query "$PQTMVERNO*58". Empty time fields
           until satellite time.
  casic    CASIC "$PCAS10,0*1C", "$PCAS10,1*1D", "$PCAS10,2*1E", "$PCAS10,3*1F";
           starts with its "$GPTXT" banner (MA=CASIC, HW=, IC=, SW=, TB=, MO=);
           query "$PCAS06,0*1B", answered by a "$GPTXT" with "SW=". Empty time
           fields until satellite time.
Without a fix every family sends quality 0, 00 satellites and HDOP 99.99.

Port:
  --com N              also name the pty COM N (1-101): a symlink "comN" in the
                       ports folder, made on start and removed on exit (also on
                       SIGINT, SIGTERM and SIGHUP). A stale link is replaced; any
                       other file in the way is refused (exit 2).
  --ports-dir DIR      the ports folder (default $XDG_CONFIG_HOME/quorvel/ports or
                       ~/.config/quorvel/ports; ~/Library/Preferences/quorvel/ports
                       on macOS); made when missing. Needs --com.
  --baud N             the rate the receiver claims (default 9600). A pty has no
                       rate: it is a label, printed at start and used by --wrong-baud.

Rack on TCP (receivers behind a serial device server):
  --tcp-listen HOST:PORT  serve the receivers on TCP instead of a pty (an IPv6 host
                       in brackets): receiver i on port PORT+i. Each runs whether
                       or not a client is connected, serves one client at a time
                       (its port listens only while it has none, so a second
                       client is refused) and obeys the orders it reads; what a
                       client does not take is dropped after two bursts. The
                       bursts are spread evenly over the period. Prints a line
                       per receiver: "quorvel-sim: tcp://HOST:PORT family NAME,
                       ttff S", and at its end how many bursts it sent more than
                       50 ms late. Raises its open-files limit to the hard limit;
                       exit 1 when that is below N + 16. Excludes --com, --replay
                       and --chunk.
  --count N            N receivers (1-60000, default 1); without --family they
                       take the families in turn (pxemsrt, ubx, pmtk, psrf, pair,
                       pqtm, casic), and each draws its --ttff from --ttff +- the
                       spread with --seed: the same seed, the same rack.
  --ttff-spread D      the TTFFs are drawn from --ttff-D to --ttff+D bursts
                       (default half of --ttff; at least 0).
  --ports-file-out F   write the lab's ports file, one "FAMILY:tcp://HOST:PORT" a
                       line, once every port listens (quorvel-lab --ports-file F).

Timing and delivery:
  --rate-ms N          burst period in ms, 10-60000 (default 1000).
  --start-time hhmmss  the receiver's UTC time at the first burst (default now).
  --chunk MODE         how each burst is written: burst (one write, default),
                       sentence (one write per sentence), byte (one write per
                       byte), random (pieces of 1-64 bytes at uneven gaps). The
                       pieces are spread over the first half of the period.
  --seed N             seed for --chunk random (default drawn and printed).
  --exit-after S       end after S seconds (decimals allowed), exit code 0.

Receiver behaviour:
  --reboot-silence S   bursts without output while rebooting (default 3).
  --family NAME        pxemsrt (default), ubx, pmtk, psrf, pair, pqtm or casic:
                       see above.
  --ttff S             bursts without a fix after a cold restart (default 5): GGA
                       with quality 0, no position and 0 satellites, the time
                       as the family shows it.
  --never-fix          after a restart the fix never returns: quality 0 for ever,
                       and the time as the family shows it before satellite time.
  --restart-after A    bursts that still carry the old time after an order
                       (default 0), e.g. 40 to exceed a 30 s watchdog.
  --never-restart      ignore every order; the time runs on. Excludes
                       --restart-after, --power-off-after and --never-fix.
  --power-off-after P  after the first restart, send P bursts (P >= 1; with
                       pxemsrt 00:00:00 to 00:00:P-1) and then nothing more
                       until exit, as a receiver switched off during the
                       countdown that follows a confirmed cold start. Orders
                       are ignored from then on.
  --offset-m M         with --offset-for S: the first S fixes after each restart
                       are M metres north of the true position (decimals
                       allowed), as a fix that has not settled yet.
  --offset-for S       see --offset-m (1-3600 bursts).
  --2d-for S           the GSA calls the first S fixes after each restart 2D
                       (fix type 2) instead of 3D (1-3600 bursts).
  --no-gsa             the bursts carry no GSA.
  --no-time            GGA and RMC carry empty time fields.
  --wrong-baud         send line noise: the bursts as a UART at --baud decodes a
                       receiver talking at twice that rate; never a "$" sentence.
  --silent             send nothing (commands are still read and printed).
  --replay FILE        play a capture instead: lines starting with "#" are
                       skipped, binary passes through, one recorded GGA cycle per
                       burst period, looping. Orders are printed and not obeyed.
  --no-time, --wrong-baud, --silent and --replay exclude each other.

Power:
  --power-file FILE    the receiver's supply: off while FILE's first word is
                       "off", on otherwise (no FILE too), so that any command
                       can switch it (echo off > FILE). Off, it sends nothing
                       and ignores orders and queries; on, it boots as after a
                       real power cycle: its first burst one period after
                       power-on, with its family's start-up text, then no fix
                       (and the time as after a cold start) until --ttff
                       periods after power-on. Changes are seen at once through
                       inotify (read ten times a second where the folder cannot
                       be watched). Excludes --power-off-after.
  --vanish             with --power-file: switched off, its device goes too, as
                       a USB receiver's does: the pty is closed and the COM link
                       removed. At power-on it comes back under a new pty (a new
                       device name), printed as "powered on: DEVICE", and the
                       COM link points at it.

Other:
  --verbose            also print the time of every GGA sent.
  -h, --help           this text.
  --version            print "quorvel-sim <version>" and exit.

Options take their value as "--opt V" or "--opt=V". Exit codes: 0 on --exit-after,
SIGINT, SIGTERM or SIGHUP, --help and --version; 1 when the pty or the link cannot be made; 2 on a bad
option or a file in the way of the link.

The pty: the program keeps its own handle on the receiver side open, so the port
can be opened and closed by the tool any number of times and the bytes keep
flowing to whoever opens it. While nobody reads, output older than two bursts is
discarded, as a real line loses what nobody listens to, so a fresh open sees at most
about two bursts of old data.
)";
}

}  // namespace quorvel::sim

#include "lab/command/OptionTable.h"

#include <algorithm>
#include <type_traits>

#include "lab/command/Options.h"
#include "lab/cycle/Geo.h"
#include "lab/families/Orders.h"
#include "lab/http/Address.h"
#include "link/BaudTable.h"

namespace quorvel::lab {
namespace {

// The timers count whole seconds in 16 bits.
constexpr double kMostTimerS = 32767;
// A TTFF limit or a distance beyond these is a slip of the finger, not a test.
constexpr double kMostPassTtffS = 1e6;
constexpr double kMostFixWithinM = 1e6;

// A setter that keeps the number read.
template <class T>
std::function<std::string(const Value&)> Into(T& field) {
    return [&field](const Value& v) {
        if constexpr (std::is_same_v<T, int> || std::is_same_v<T, std::optional<int>>)
            field = static_cast<int>(v.number);
        else
            field = v.number;
        return std::string();
    };
}

// A setter that keeps a text, which must not be empty.
std::function<std::string(const Value&)> Named(std::string& field) {
    return [&field](const Value& v) {
        if (v.text.empty()) return v.Bad();
        field = v.text;
        return std::string();
    };
}

// A flag's setter.
std::function<std::string(const Value&)> Raise(bool& flag) {
    return [&flag](const Value&) {
        flag = true;
        return std::string();
    };
}

// --pass-ttff and --pass-rate, which the run and `report` both take.
std::vector<Option> PassOptions(PassRule& rule, bool& rateGiven) {
    return {
        {.synopsis = "--pass-ttff S",
         .kind = Kind::Seconds,
         .high = kMostPassTtffS,
         .set = Into(rule.ttffS),
         .help = "a cycle passes with verdict ok and a TTFF of at most S\n"
                 "seconds; the summary and report show PASS or FAIL for\n"
                 "each receiver"},
        {.synopsis = "--pass-rate P",
         .kind = Kind::Percent,
         .high = 100,
         .set =
             [&rule, &rateGiven](const Value& v) {
                 rule.ratePct = v.number;
                 rateGiven = true;
                 return std::string();
             },
         .help = "a receiver passes when at least P % of its judged cycles\n"
                 "pass (default 95)"},
        {.synopsis = "--pass-error M",
         .kind = Kind::Metres,
         .high = kMostFixWithinM,
         .set = Into(rule.errorM),
         .help = "a cycle passes only with its first fix within M metres of\n"
                 "the reference as well (needs --reference for every port)"},
        {.synopsis = "--confidence C",
         .kind = Kind::Percent,
         .high = 100,
         .set =
             [&rule](const Value& v) {
                 if (!(v.number > 0 && v.number < 100)) return v.Bad(" (more than 0, below 100)");
                 rule.confidencePct = v.number;
                 return std::string();
             },
         .help = "decide each receiver and start after every judged cycle,\n"
                 "at C % confidence: PASS, FAIL or UNDECIDED (see Deciding\n"
                 "early below); needs --pass-ttff"},
        {.synopsis = "--bad-factor M",
         .kind = Kind::Factor,
         .low = 1,
         .high = 100,
         .set = Into(rule.badFactor),
         .help = "with --confidence: a receiver M times worse than the rate\n"
                 "allows must not pass (default 1.5)"},
    };
}


Option Help(bool& help) {
    return {.synopsis = "-h, --help", .kind = Kind::Flag, .set = Raise(help), .help = "this text"};
}

}  // namespace

std::string PassRuleError(const PassRule& rule, bool rateGiven) {
    if (rateGiven && !rule.ttffS) return "--pass-rate needs --pass-ttff";
    if (rule.errorM && !rule.ttffS) return "--pass-error needs --pass-ttff";
    if (rule.confidencePct && !rule.ttffS) return "--confidence needs --pass-ttff";
    if (rule.badFactor != 1.5 && !rule.confidencePct) return "--bad-factor needs --confidence";
    return {};
}

std::optional<std::vector<Start>> StartList(const std::string& text, const Profile* profile,
                                            const LabOptions& options, std::string& error) {
    std::vector<Start> starts;
    std::size_t at = 0;
    for (std::size_t comma; at <= text.size(); at = comma + 1) {
        comma = std::min(text.find(',', at), text.size());
        const std::string name = text.substr(at, comma - at);
        const auto start = StartNamed(name);
        if (!start) {
            error = "--start: unknown start '" + name + "' (hot, warm, cold, factory, power)";
            return {};
        }
        if (profile && OrdersFor(profile, {*start}, options.order, options.sign).orders.empty()) {
            error = "--start: " + profile->name + " has no " + name + " start (it has " +
                    profile->StartNames() + ")";
            return {};
        }
        starts.push_back(*start);
    }
    return starts;
}

std::vector<Option> LabTable(LabReading& into) {
    LabOptions& o = into.options;
    std::vector<Option> table = {
        {.synopsis = "--baud RATE",
         .kind = Kind::Text,
         .set =
             [&into](const Value& v) {
                 if (!LineSettingsFor(v.text)) return "--baud: bad rate '" + v.text + "'";
                 into.baud = v.text;
                 return std::string();
             },
         .help = "rate for ports without \"@BAUD\" (default 9600); one of 1200,\n"
                 "2400, 4800, 9600, 19200, 57600, 115200, 230400, 460800, 921600"},
        {.synopsis = "--profile NAME",
         .kind = Kind::Text,
         .set =
             [&o](const Value& v) {
                 if (v.text != kAutoProfile && !FindProfile(v.text))
                     return "--profile: unknown profile '" + v.text + "'";
                 o.profile = v.text;
                 return std::string();
             },
         .help = "receiver profile for ports that name none (default\n"
                 "pxemsrt; auto: the family the receiver names)"},
        {.synopsis = "--start LIST",
         .kind = Kind::Text,
         .set =
             [&o](const Value& v) {
                 std::string error;
                 if (StartList(v.text, nullptr, o, error)) o.starts = v.text;
                 return error;
             },
         .help = "the starts ordered, taken in turn one per cycle, e.g.\n"
                 "cold,warm,hot (default cold): hot, warm, cold or factory;\n"
                 "a profile has only the starts listed below; factory also\n"
                 "resets the receiver's settings (rate, messages); power,\n"
                 "in every profile, switches its supply off and on (see\n"
                 "--power-off, --pdudaemon) and times the fix from power-on"},
        {.synopsis = "--reference R",
         .kind = Kind::Text,
         .set =
             [&o](const Value& v) {
                 // "LAT,LON[,ALT]" for every port, or "PORT=LAT,LON[,ALT]" for one.
                 const auto eq = v.text.rfind('=');
                 const std::string port = eq == std::string::npos ? "" : v.text.substr(0, eq);
                 const auto reference =
                     ParseReference(v.text.substr(eq == std::string::npos ? 0 : eq + 1));
                 if (!reference)
                     return v.Bad(" (LAT,LON[,ALT] in decimal degrees, or PORT=LAT,LON[,ALT])");
                 o.references[port] = *reference;
                 return std::string();
             },
         .help = "the surveyed antenna position LAT,LON[,ALT] (WGS84 decimal\n"
                 "degrees) of every port, or PORT=LAT,LON[,ALT] of one; each\n"
                 "row then has the first fix's horizontal error in metres"},
        {.synopsis = "--fix-within M",
         .kind = Kind::Metres,
         .high = kMostFixWithinM,
         .set = Into(o.fixWithinM),
         .help = "the first fix is the first within M metres of the\n"
                 "reference (needs --reference for every port); fixes that\n"
                 "never come within M end the cycle no-fix at --fix-limit"},
        {.synopsis = "--fix any|3d",
         .kind = Kind::Text,
         .set =
             [&o](const Value& v) {
                 if (v.text != "any" && v.text != "3d") return v.Bad(" (any or 3d)");
                 o.fix3d = v.text == "3d";
                 return std::string();
             },
         .help = "which fixes count as the first fix: any GNSS fix (GGA\n"
                 "quality 1-5, the default), or only one the receiver's GSA\n"
                 "calls 3D; a receiver that sends no GSA is said at once"},
        {.synopsis = "--order TEXT",
         .kind = Kind::Text,
         .set =
             [&o](const Value& v) {
                 std::string why;
                 const auto order = BuildOrder(v.text, &why);
                 if (!order) return why.empty() ? v.Bad() : v.name + ": " + why;
                 o.order = *order;
                 return std::string();
             },
         .help = "the order, instead of the profiles' orders (one start\n"
                 "only); NMEA text beginning with \"$\" gets its checksum when\n"
                 "\"*hh\" is missing or in place of a lone trailing \"*\", and\n"
                 "CR LF; a given \"*hh\" that is not the text's checksum is\n"
                 "refused; \\xNN escapes give any byte"},
        {.synopsis = "--sign SIGN",
         .kind = Kind::Text,
         .set =
             [&o](const Value& v) {
                 if (!(o.sign = SignNamed(v.text))) return "--sign: unknown sign '" + v.text + "'";
                 return std::string();
             },
         .help = "the restart sign, instead of the profiles' signs:\n"
                 "clock-reset, the GGA time falls back to 00:00:00-00:00:09;\n"
                 "or fix-lost, the fix is lost (GGA quality 0) with a second\n"
                 "sign; only sentences with a fix count toward an order,\n"
                 "and an order waits for a fix"},
        {.synopsis = "--fix-limit S",
         .kind = Kind::Whole,
         .low = 1,
         .high = kMostTimerS,
         .set = Into(o.fixLimit),
         .help = "seconds a receiver may show no fix while one is awaited\n"
                 "(before the first order, and from an order to its fix)\n"
                 "before its cycle is journaled no-fix (default 300)"},
        {.synopsis = "--journal FILE",
         .kind = Kind::Text,
         .set = Named(o.journal),
         .help = "the CSV journal (default quorvel-lab-<UTC\n"
                 "yyyymmdd-hhmmss>-<process id>.csv in the working folder);\n"
                 "appended to when it exists, never when it has an older\n"
                 "quorvel-lab's columns; its last column, cn0_age_s, says\n"
                 "how much older than the fix the satellite report behind\n"
                 "cn0_dbhz is (the last whole one within 5 s)"},
        {.synopsis = "--report FILE.html",
         .kind = Kind::Text,
         .set = Named(o.report),
         .help = "an HTML report with a summary and charts, rewritten every\n"
                 "60 s while the run goes on and at the end; a report that\n"
                 "cannot be written in its folder ends the lab at once"},
        {.synopsis = "--cycles N",
         .kind = Kind::Whole,
         .low = 1,
         .high = 1'000'000'000,
         .set = Into(o.cycles),
         .help = "each receiver ends after N judged cycles"},
        {.synopsis = "--duration D",
         .kind = Kind::Duration,
         .set = Into(o.durationS),
         .help = "end after D: seconds, or with a unit, e.g. 90s, 45m, 8h;\n"
                 "at most a year (8760h)"},
        {.synopsis = "--interval S",
         .kind = Kind::Whole,
         .low = 1,
         .high = kMostTimerS,
         .set = Into(o.interval),
         .help = "seconds from a start's first fix (or its --fix-limit) to\n"
                 "the next order (default 30, as the window); no order goes\n"
                 "out while the start under way awaits its fix"},
        {.synopsis = "--retry S",
         .kind = Kind::Whole,
         .low = 0,
         .high = kMostTimerS,
         .set = Into(o.retry),
         .help = "seconds until a run that ended on a verdict starts again\n"
                 "(default 10); a port that fails at once (a server that\n"
                 "closes or resets the connection, a device that hangs up\n"
                 "when opened) gets a row for every try, one try per S"},
        {.synopsis = "--power-off CMD",
         .kind = Kind::Text,
         .set = Named(o.power.offCommand),
         .help = "the shell command that switches a receiver off, for power\n"
                 "starts; {outlet}, {port} and {device} in it are replaced by\n"
                 "the port's --outlet, its name and its device, quoted for\n"
                 "the shell; it must exit 0 within 30 s"},
        {.synopsis = "--power-on CMD",
         .kind = Kind::Text,
         .set = Named(o.power.onCommand),
         .help = "the command that switches it on again, as --power-off"},
        {.synopsis = "--outlet PORT=TEXT",
         .kind = Kind::Text,
         .set =
             [&o](const Value& v) {
                 const auto eq = v.text.rfind('=');
                 if (eq == std::string::npos || eq == 0 || eq + 1 == v.text.size())
                     return v.Bad(" (PORT=OUTLET)");
                 o.power.outlets[v.text.substr(0, eq)] = v.text.substr(eq + 1);
                 return std::string();
             },
         .help = "what switches PORT's power: the {outlet} of the commands,\n"
                 "or PDU:OUTLET with --pdudaemon"},
        {.synopsis = "--pdudaemon URL",
         .kind = Kind::Text,
         .set =
             [&o](const Value& v) {
                 if (!v.text.starts_with("http://") || v.text.size() <= 7)
                     return v.Bad(" (http://HOST:PORT)");
                 o.power.pdudaemon = v.text;
                 return std::string();
             },
         .help = "switch power through the PDU daemon at http://HOST:PORT\n"
                 "(its /power/control/on and off), each port's outlet\n"
                 "given as --outlet PORT=PDU:OUTLET"},
        {.synopsis = "--power-off-for S",
         .kind = Kind::Seconds,
         .high = kMostTimerS,
         .set = Into(o.powerOffForS),
         .help = "seconds a power start keeps the receiver off (default 5)"},
    };
    table.push_back({.synopsis = "--ports-file FILE",
                     .kind = Kind::Text,
                     .set =
                         [&into](const Value& v) {
                             if (v.text.empty()) return v.Bad();
                             into.portsFiles.push_back(v.text);
                             return std::string();
                         },
                     .help = "more ports, one a line, each written as on the command\n"
                             "line (e.g. ubx+cold,hot:tcp://10.0.4.17:4001); blank\n"
                             "lines and lines beginning with # are skipped; a bad line\n"
                             "is named with its number; may be given more than once"});
    for (Option& pass : PassOptions(o.pass, into.rateGiven)) table.push_back(std::move(pass));
    table.push_back({.synopsis = "--until-decided",
                     .kind = Kind::Switch,
                     .set = Raise(o.untilDecided),
                     .help = "with --confidence: a receiver whose every start is decided\n"
                             "gets no further order (its port stays open), and the run\n"
                             "ends when every receiver is decided"});
    table.push_back({.synopsis = "--http [HOST:]PORT",
                     .kind = Kind::Text,
                     .set =
                         [&o](const Value& v) {
                             std::string why;
                             o.http = ParseHttpAddress(v.text, why);
                             return o.http ? std::string() : v.Bad(why);
                         },
                     .help = "serve the running lab read-only over HTTP on PORT (0: a\n"
                             "free one), at 127.0.0.1 unless HOST (an IP address) is\n"
                             "named: the live report at /, Prometheus metrics at\n"
                             "/metrics, the journal at /journal.csv"});
    table.push_back({.synopsis = "--ports",
                     .kind = Kind::Flag,
                     .set = Raise(o.listPorts),
                     .help = "list every COM number with an override link or a present\n"
                             "serial device, the device it opens and whether you may\n"
                             "open it, as the window's port list says it; a link to\n"
                             "anything else says what it is, and an override folder\n"
                             "that cannot be read is named (exit 1); then exit"});
    table.push_back(Help(o.help));
    table.push_back({.synopsis = "--version",
                     .kind = Kind::Flag,
                     .set = Raise(o.version),
                     .help = "the version"});
    return table;
}

std::vector<Option> ReportTable(ReportReading& into) {
    std::vector<Option> table = {
        {.synopsis = "-o FILE.html", .kind = Kind::Text, .set = [&into](const Value& v) {
             return into.report = v.text, std::string();
         }}};
    for (Option& pass : PassOptions(into.rule, into.rateGiven)) table.push_back(std::move(pass));
    table.push_back(Help(into.help));
    return table;
}

}  // namespace quorvel::lab

#include "lab/command/Options.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/stat.h>

#include <cctype>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#include "link/BaudTable.h"
#include "link/ComPorts.h"
#include "lab/ports/PortFactory.h"
#include "lab/cycle/Geo.h"
#include "lab/families/Orders.h"
#include "lab/families/Profiles.h"
#include "lab/record/Stats.h"

namespace quorvel::lab {
namespace {

std::optional<long long> Integer(const std::string& text, long long low, long long high) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) return {};
    return value;
}

// Runs end on the lab's clock; a year is the longest that is taken.
constexpr double kLongestRunS = 365.0 * 24 * 3600;

// "90", "90s", "45m", "8h"; up to a year.
std::optional<double> Duration(std::string text) {
    double unit = 1;
    if (!text.empty() && std::string("smh").find(text.back()) != std::string::npos) {
        unit = text.back() == 'h' ? 3600 : text.back() == 'm' ? 60 : 1;
        text.pop_back();
    }
    const auto value = Integer(text, 1, 10'000'000);
    if (!value || static_cast<double>(*value) * unit > kLongestRunS) return {};
    return static_cast<double>(*value) * unit;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

// "COM5", "COM 5", "/dev/ttyUSB0", each with an optional "@BAUD" and an optional "PROFILE:"
// before it. A device path may hold ":" itself, so a prefix never holds "/".
// "cold", "cold,warm,hot": the starts taken in turn; each must be one the profile has, unless
// --order replaces the profile's orders or the family is not known yet (auto).
std::optional<std::vector<Start>> Starts(const std::string& text, const Profile* profile,
                                         const LabOptions& o, std::string& error) {
    std::vector<Start> starts;
    std::size_t at = 0;
    for (std::size_t comma; at <= text.size(); at = comma + 1) {
        comma = std::min(text.find(',', at), text.size());
        const std::string name = text.substr(at, comma - at);
        const auto start = StartNamed(name);
        if (!start) {
            error = "--start: unknown start '" + name + "' (hot, warm, cold, factory)";
            return {};
        }
        if (profile && OrdersFor(profile, {*start}, o.order, o.sign).orders.empty()) {
            error = "--start: " + profile->name + " has no " + name + " start (it has " +
                    profile->StartNames() + ")";
            return {};
        }
        starts.push_back(*start);
    }
    return starts;
}

// "COM5", "COM 5", "/dev/ttyUSB0", "tcp://HOST:PORT", each with an optional "@BAUD" (not on a
// network port) and an optional "PROFILE:", "PROFILE+STARTS:" or "+STARTS:" before it. A device
// path may hold ":" itself, so a prefix never holds "/".
std::optional<PortSpec> Port(const std::string& text, const std::string& defaultBaud,
                             const LabOptions& o, std::string& error) {
    PortSpec parsed{text, 0, {}, defaultBaud, {}};
    std::string port = text;
    parsed.profile = o.profile;
    std::string starts = o.starts;
    // The journal names the port as given, without its profile: the summary shows that. The
    // ":" of "tcp://" begins no profile.
    if (const auto colon = text.find(':');
        colon != std::string::npos && text.find('/') > colon && text.find("://") != colon) {
        const std::string prefix = text.substr(0, colon);
        const auto plus = prefix.find('+');
        if (plus != 0) parsed.profile = prefix.substr(0, plus);
        if (plus != std::string::npos) starts = prefix.substr(plus + 1);
        port = parsed.name = text.substr(colon + 1);
        if (parsed.profile != kAutoProfile && !FindProfile(parsed.profile)) {
            error = "unknown profile '" + parsed.profile + "' in '" + text + "'";
            return {};
        }
        if (port.empty()) {
            error = "no port after the profile in '" + text + "'";
            return {};
        }
    }
    const Profile* profile = FindProfile(parsed.profile);  // nothing for auto
    const auto startList = Starts(starts, profile, o, error);
    if (!startList) {
        error += " for '" + text + "'";
        return {};
    }
    parsed.starts = *startList;
    if (const auto ref = o.references.find(parsed.name); ref != o.references.end()) {
        parsed.reference = ref->second;
    } else if (const auto all = o.references.find(""); all != o.references.end()) {
        parsed.reference = all->second;
    }
    if (port.find("://") != std::string::npos) {
        // "@" before the port number is a user name, after it a rate.
        if (const auto at = port.find('@'), colon = port.rfind(':');
            at < colon && colon > port.find("://"))
            error = "bad port '" + text + "': a network port takes no user name (tcp://HOST:PORT)";
        else if (at != std::string::npos)
            error = "bad port '" + text + "': a network port takes no @BAUD (its server sets it)";
        const auto address = TcpAddress(port);
        if (!address) return {};
        parsed.device = address->Text();
        return parsed;
    }
    const std::string given = port;
    if (const auto at = given.rfind('@'); at != std::string::npos) {
        parsed.baud = given.substr(at + 1);
        port.resize(at);
        if (!LineSettingsFor(parsed.baud)) return {};
    }
    if (port.find('/') != std::string::npos) {
        parsed.device = port;
        return parsed;
    }
    if (port.size() < 4 || port.compare(0, 3, "COM") != 0) return {};
    const std::string digits = port.substr(port[3] == ' ' ? 4 : 3);
    const auto number = Integer(digits, kLowestComNumber, kHighestComNumber);
    if (!number) return {};
    parsed.com = static_cast<int>(*number);
    return parsed;
}

// What a path names as the system sees it: the device a node stands for, the file that exists,
// or, for one not made yet, its folder resolved plus its name (a dangling link followed first).
std::string Identity(const std::string& path) {
    namespace fs = std::filesystem;
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0) {
        if (S_ISCHR(info.st_mode)) return "device " + std::to_string(info.st_rdev);
        return "file " + std::to_string(info.st_dev) + ":" + std::to_string(info.st_ino);
    }
    std::error_code ec;
    fs::path p = fs::absolute(path, ec);
    for (int hops = 0; hops < 40 && fs::is_symlink(fs::symlink_status(p, ec)); ++hops) {
        const fs::path target = fs::read_symlink(p, ec);
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    return "path " + (fs::weakly_canonical(p.parent_path(), ec) / p.filename()).string();
}

// How long the start waits for the system's resolver to name a server's addresses.
constexpr int kResolveS = 3;

// The addresses a network port's host names now, as text: a literal as the system reads it
// ("127.1", "0:0::1", an IPv4 address mapped into IPv6), a name through the system's resolver.
// Nothing when it names none or the resolver does not answer in time: the run then says why.
std::set<std::string> ServerAddresses(const std::string& host) {
    char text[INET6_ADDRSTRLEN];
    in_addr v4{};
    in6_addr v6{};
    if (::inet_aton(host.c_str(), &v4) != 0) return {::inet_ntop(AF_INET, &v4, text, sizeof text)};
    if (::inet_pton(AF_INET6, host.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_V4MAPPED(&v6)) {
            std::memcpy(&v4, &v6.s6_addr[12], sizeof v4);
            return {::inet_ntop(AF_INET, &v4, text, sizeof text)};
        }
        return {::inet_ntop(AF_INET6, &v6, text, sizeof text)};
    }
    // A resolver that does not answer is given up, not waited for; its request may then
    // still be answered later, so what it writes into is never freed.
    static const addrinfo kHints = [] {
        addrinfo hints{};
        hints.ai_socktype = SOCK_STREAM;
        return hints;
    }();
    auto* request = new gaicb{};
    request->ar_name = ::strdup(host.c_str());
    request->ar_request = &kHints;
    gaicb* requests[] = {request};
    if (::getaddrinfo_a(GAI_NOWAIT, requests, 1, nullptr) != 0) return {};
    timespec deadline{};
    ::clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += kResolveS;
    for (timespec now{}; ::gai_error(request) == EAI_INPROGRESS;) {
        ::clock_gettime(CLOCK_MONOTONIC, &now);
        timespec left{deadline.tv_sec - now.tv_sec, deadline.tv_nsec - now.tv_nsec};
        if (left.tv_nsec < 0) left = {left.tv_sec - 1, left.tv_nsec + 1'000'000'000};
        if (left.tv_sec < 0) break;
        const gaicb* waited[] = {request};
        ::gai_suspend(waited, 1, &left);  // a signal only cuts a wait short
    }
    if (::gai_error(request) == EAI_INPROGRESS && ::gai_cancel(request) != EAI_CANCELED) return {};
    std::set<std::string> addresses;
    for (const addrinfo* a = ::gai_error(request) == 0 ? request->ar_result : nullptr; a;
         a = a->ai_next) {
        const void* bytes = a->ai_family == AF_INET
                                ? static_cast<const void*>(&reinterpret_cast<sockaddr_in*>(a->ai_addr)->sin_addr)
                                : &reinterpret_cast<sockaddr_in6*>(a->ai_addr)->sin6_addr;
        if (::inet_ntop(a->ai_family, bytes, text, sizeof text)) addresses.insert(text);
    }
    if (request->ar_result) ::freeaddrinfo(request->ar_result);
    std::free(const_cast<char*>(request->ar_name));
    delete request;
    return addresses;
}

// Two network ports that are one server under two names ("127.0.0.1" and "localhost", a name
// with and without its trailing dot) and one port: an error line, or empty. Hosts are
// resolved only when another port has the same port number.
std::string OneServerTwice(const std::vector<PortSpec>& ports) {
    std::vector<std::pair<const PortSpec*, NetAddress>> servers;
    for (const PortSpec& port : ports)
        if (const auto address = TcpAddress(port.device)) servers.emplace_back(&port, *address);
    std::map<std::size_t, std::set<std::string>> resolved;
    auto named = [&](std::size_t i) -> const std::set<std::string>& {
        if (!resolved.count(i)) resolved[i] = ServerAddresses(servers[i].second.host);
        return resolved[i];
    };
    auto bare = [](std::string host) {
        if (host.size() > 1 && host.back() == '.') host.pop_back();
        return host;
    };
    for (std::size_t i = 0; i < servers.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            const auto& [first, a] = servers[j];
            const auto& [second, b] = servers[i];
            if (a.port != b.port) continue;
            std::string same = bare(a.host) == bare(b.host) ? bare(a.host) : "";
            if (same.empty())
                for (const std::string& address : named(i))
                    if (same.empty() && named(j).count(address)) same = address;
            if (!same.empty())
                return "port named twice: '" + first->name + "' and '" + second->name + "' are " +
                       NetAddress{same, a.port}.Text();
        }
    }
    return {};
}

}  // namespace

std::string CheckLabOptions(const LabOptions& options, const std::string& portsFolder) {
    if (!options.journal.empty() && !options.report.empty() &&
        Identity(options.journal) == Identity(options.report))
        return "--journal and --report name one file: '" + options.journal + "', '" +
               options.report + "'";
    if (std::string twice = OneServerTwice(options.ports); !twice.empty()) return twice;
    std::map<std::string, std::string> seen;
    for (const PortSpec& port : options.ports) {
        if (TcpAddress(port.device)) continue;
        const std::string device = port.com ? ComDevicePath(port.com, portsFolder) : port.device;
        const std::string identity = Identity(device);
        const auto [first, added] = seen.emplace(identity, port.name);
        std::error_code ec;
        const std::string real = std::filesystem::weakly_canonical(device, ec).string();
        if (!added)
            return "port named twice: '" + first->second + "' and '" + port.name + "' are " + real;
        // Rows written down a receiver's serial line would be orders to it, and lost.
        for (const auto& [name, file] :
             {std::pair("--journal", &options.journal), std::pair("--report", &options.report)})
            if (!file->empty() && Identity(*file) == identity)
                return std::string(name) + " names the device of port '" + port.name + "': " + real;
    }
    return {};
}

std::optional<std::string> BuildOrder(const std::string& text, std::string* why) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size() || text[i + 1] != 'x') {
            bytes += text[i];
            continue;
        }
        if (i + 3 >= text.size() || HexDigit(text[i + 2]) < 0 || HexDigit(text[i + 3]) < 0)
            return {};
        bytes += static_cast<char>(HexDigit(text[i + 2]) * 16 + HexDigit(text[i + 3]));
        i += 3;
    }
    if (bytes.empty() || bytes[0] != '$')
        return bytes.empty() ? std::nullopt : std::optional(bytes);
    if (bytes.size() >= 2 && bytes.compare(bytes.size() - 2, 2, "\r\n") == 0)
        bytes.resize(bytes.size() - 2);
    // After the first "*" only nothing (the checksum is filled in there) or the two hex digits
    // of the right checksum; anything else would send a sentence the receiver drops.
    if (bytes.find('*') == std::string::npos) bytes += '*';
    const std::size_t star = bytes.find('*');
    const std::size_t digits = bytes.size() - star - 1;
    unsigned char sum = 0;
    for (std::size_t i = 1; i < star; ++i) sum ^= static_cast<unsigned char>(bytes[i]);
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    if (digits == 0) return bytes + hex + "\r\n";
    if (digits != 2 || HexDigit(bytes[star + 1]) < 0 || HexDigit(bytes[star + 2]) < 0) return {};
    if (HexDigit(bytes[star + 1]) * 16 + HexDigit(bytes[star + 2]) == sum) return bytes + "\r\n";
    if (why) *why = "checksum " + bytes.substr(star + 1) + " does not match, the text's is " + hex;
    return {};
}

ParsedOptions ParseLabOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    LabOptions& o = parsed.options;
    std::string baud = "9600";
    std::vector<std::string> ports;
    bool passRate = false;
    auto fail = [&parsed](std::string line) {
        parsed.error = std::move(line);
        return parsed;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (name == "--help" || name == "-h") {
            o.help = true;
            return parsed;
        }
        if (name == "--version" || name == "--ports") {
            (name == "--version" ? o.version : o.listPorts) = true;
            return parsed;
        }
        if (name.rfind("--", 0) != 0) {
            ports.push_back(name);
            continue;
        }
        if (const auto eq = name.find('='); eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        }
        static const std::set<std::string> kKnown = {
            "--baud",      "--journal",   "--report",  "--cycles", "--duration",
            "--interval",  "--order",     "--retry",   "--profile", "--sign",
            "--fix-limit", "--pass-ttff", "--pass-rate", "--start", "--reference",
            "--fix-within", "--fix"};
        if (!kKnown.count(name)) return fail("unknown option " + name);
        if (!value) {
            if (i + 1 == args.size()) return fail(name + " needs a value");
            value = args[++i];
        }
        const std::string bad = name + ": bad value '" + *value + "'";
        if (name == "--baud") {
            if (!LineSettingsFor(*value)) return fail("--baud: bad rate '" + *value + "'");
            baud = *value;
        } else if (name == "--journal" || name == "--report") {
            if (value->empty()) return fail(bad);
            (name == "--journal" ? o.journal : o.report) = *value;
        } else if (name == "--pass-ttff" || name == "--pass-rate") {
            if (auto error = ParsePassOption(name, *value, o.pass); !error.empty())
                return fail(error);
            if (name == "--pass-rate") passRate = true;
        } else if (name == "--cycles") {
            const auto n = Integer(*value, 1, 1'000'000'000);
            if (!n) return fail(bad);
            o.cycles = static_cast<int>(*n);
        } else if (name == "--duration") {
            if (!(o.durationS = Duration(*value)))
                return fail(bad + " (a whole number up to a year, e.g. 90s, 45m, 8760h)");
        } else if (name == "--profile") {
            if (*value != kAutoProfile && !FindProfile(*value))
                return fail("--profile: unknown profile '" + *value + "'");
            o.profile = *value;
        } else if (name == "--start") {
            std::string error;
            if (!Starts(*value, nullptr, o, error)) return fail(error);
            o.starts = *value;
        } else if (name == "--reference") {
            // "LAT,LON[,ALT]" for every port, or "PORT=LAT,LON[,ALT]" for one.
            const auto eq = value->rfind('=');
            const std::string port = eq == std::string::npos ? "" : value->substr(0, eq);
            const auto reference = ParseReference(value->substr(eq == std::string::npos ? 0 : eq + 1));
            if (!reference)
                return fail(bad + " (LAT,LON[,ALT] in decimal degrees, or PORT=LAT,LON[,ALT])");
            o.references[port] = *reference;
        } else if (name == "--fix-within") {
            char* end = nullptr;
            const double metres = std::strtod(value->c_str(), &end);
            if (value->empty() || end != value->c_str() + value->size() || !(metres > 0) ||
                metres > 1e6 || value->find_first_not_of("0123456789.") != std::string::npos)
                return fail(bad + " (metres, more than 0)");
            o.fixWithinM = metres;
        } else if (name == "--fix") {
            if (*value != "any" && *value != "3d") return fail(bad + " (any or 3d)");
            o.fix3d = *value == "3d";
        } else if (name == "--sign") {
            if (!(o.sign = SignNamed(*value))) return fail("--sign: unknown sign '" + *value + "'");
        } else if (name == "--fix-limit") {
            const auto n = Integer(*value, 1, 32767);
            if (!n) return fail(bad);
            o.fixLimit = static_cast<int>(*n);
        } else if (name == "--interval" || name == "--retry") {
            const auto n = Integer(*value, name == "--retry" ? 0 : 1, 32767);
            if (!n) return fail(bad);
            (name == "--retry" ? o.retry : o.interval) = static_cast<int>(*n);
        } else {
            std::string why;
            const auto order = BuildOrder(*value, &why);
            if (!order) return fail(why.empty() ? bad : name + ": " + why);
            o.order = *order;
        }
    }
    if (passRate && !o.pass.ttffS) return fail("--pass-rate needs --pass-ttff");
    // The order given for every start replaces the profiles' only when it is known which.
    if (o.order && o.starts.find(',') != std::string::npos)
        return fail("--order gives one order: it cannot take several --start in turn");
    if (ports.empty()) return fail("no PORT given");
    std::set<std::string> seen;
    for (const std::string& text : ports) {
        std::string error;
        const auto port = Port(text, baud, o, error);
        if (!port) return fail(error.empty() ? "bad port '" + text + "'" : error);
        const std::string key = port->com ? std::to_string(port->com) : port->device;
        if (!seen.insert(key).second) return fail("port named twice: '" + text + "'");
        if (o.fixWithinM && !port->reference)
            return fail("--fix-within needs a --reference for '" + text + "'");
        o.ports.push_back(*port);
    }
    for (const auto& [name, reference] : o.references) {
        if (!name.empty() && std::none_of(o.ports.begin(), o.ports.end(),
                                          [&](const PortSpec& p) { return p.name == name; }))
            return fail("--reference names no PORT given: '" + name + "'");
    }
    return parsed;
}

std::string HelpText() {
    // One line a profile, then one line a profile's start: help2man makes each line an entry
    // of the manual page, where lines under a profile would run into one paragraph.
    std::string profiles, orders;
    for (const Profile& p : Profiles()) {
        char line[200];
        std::snprintf(line, sizeof line, "  %-8s %-11s  %s\n", p.name.c_str(), SignName(p.sign),
                      p.describes.c_str());
        profiles += line;
        for (const Start start : kStarts) {
            if (const std::string* order = p.OrderFor(start)) {
                std::snprintf(line, sizeof line, "  %-16s %s\n",
                              (p.name + " " + StartName(start)).c_str(),
                              PrintableOrder(*order).c_str());
                orders += line;
            }
        }
    }
    return R"(Usage: quorvel-lab [OPTIONS] [PROFILE[+STARTS]:]PORT...
   or:  quorvel-lab report [-o FILE.html] [--pass-ttff S] [--pass-rate P] JOURNAL...
   or:  quorvel-lab --ports

Orders hot, warm, cold or factory starts on many GNSS receivers at once, judges
every cycle as the Quorvel window does, and keeps a journal with the restart
time and the time to first fix (TTFF) of each cycle.

PORT is "COM5", "COM 5" or a device path such as /dev/ttyUSB0, optionally with
"@BAUD" (e.g. COM7@115200). COM numbers map to devices as in the window,
override links in ~/.config/quorvel/ports included. "PROFILE:" names the
receiver profile of that port, e.g. ubx:/dev/ttyACM0@115200 or pmtk:COM5;
"PROFILE+STARTS:" also its starts, e.g. pmtk+hot,cold:COM5 (or +warm:COM5 with
the default profile). The profile "auto" takes the family from the receiver's
own texts (see Identity below) and never orders a guessed family's start.
A receiver on a serial device server or ser2net (its line served as a raw TCP
port) is "tcp://HOST:PORT", e.g. ubx:tcp://rack2:4001 or tcp://[fe80::1]:4001;
it takes no "@BAUD" and no user name (the server sets the line), and a refused
or reset connection, an unknown host or no answer is named where the run says
why it cannot connect; a server that accepts and sends nothing is "connected,
nothing received" (the serial side behind it is silent), and a baud-mismatch on
it says that the device server sets the line speed. Two names of one server and
port (127.0.0.1 and localhost, 127.1, [::1] and [0:0::1], a trailing dot) are
refused as one device named twice is.

Options:
  --baud RATE         rate for ports without "@BAUD" (default 9600); one of 1200,
                      2400, 4800, 9600, 19200, 57600, 115200, 230400, 460800, 921600
  --profile NAME      receiver profile for ports that name none (default
                      pxemsrt; auto: the family the receiver names)
  --start LIST        the starts ordered, taken in turn one per cycle, e.g.
                      cold,warm,hot (default cold): hot, warm, cold or factory;
                      a profile has only the starts listed below; factory also
                      resets the receiver's settings (rate, messages)
  --reference R       the surveyed antenna position LAT,LON[,ALT] (WGS84 decimal
                      degrees) of every port, or PORT=LAT,LON[,ALT] of one; each
                      row then has the first fix's horizontal error in metres
  --fix-within M      the first fix is the first within M metres of the
                      reference (needs --reference for every port); fixes that
                      never come within M end the cycle no-fix at --fix-limit
  --fix any|3d        which fixes count as the first fix: any GNSS fix (GGA
                      quality 1-5, the default), or only one the receiver's GSA
                      calls 3D; a receiver that sends no GSA is said at once
  --order TEXT        the order, instead of the profiles' orders (one start
                      only); NMEA text beginning with "$" gets its checksum when
                      "*hh" is missing or in place of a lone trailing "*", and
                      CR LF; a given "*hh" that is not the text's checksum is
                      refused; \xNN escapes give any byte
  --sign SIGN         the restart sign, instead of the profiles' signs:
                      clock-reset, the GGA time falls back to 00:00:00-00:00:09;
                      or fix-lost, the fix is lost (GGA quality 0) with a second
                      sign; only sentences with a fix count toward an order,
                      and an order waits for a fix
  --fix-limit S       seconds a receiver may show no fix while one is awaited
                      (before the first order, and from an order to its fix)
                      before its cycle is journaled no-fix (default 300)
  --journal FILE      the CSV journal (default quorvel-lab-<UTC
                      yyyymmdd-hhmmss>-<process id>.csv in the working folder);
                      appended to when it exists, never when it has an older
                      quorvel-lab's columns; its last column, cn0_age_s, says
                      how much older than the fix the satellite report behind
                      cn0_dbhz is (the last whole one within 5 s)
  --report FILE.html  an HTML report with a summary and charts, rewritten every
                      60 s while the run goes on and at the end; a report that
                      cannot be written in its folder ends the lab at once
  --cycles N          each receiver ends after N judged cycles
  --duration D        end after D: seconds, or with a unit, e.g. 90s, 45m, 8h;
                      at most a year (8760h)
  --interval S        seconds from a start's first fix (or its --fix-limit) to
                      the next order (default 30, as the window); no order goes
                      out while the start under way awaits its fix
  --retry S           seconds until a run that ended on a verdict starts again
                      (default 10); a port that fails at once (a server that
                      closes or resets the connection, a device that hangs up
                      when opened) gets a row for every try, one try per S
  --pass-ttff S       a cycle passes with verdict ok and a TTFF of at most S
                      seconds; the summary and report show PASS or FAIL for
                      each receiver
  --pass-rate P       a receiver passes when at least P % of its judged cycles
                      pass (default 95)
  --ports             list every COM number with an override link or a present
                      serial device, the device it opens and whether you may
                      open it, as the window's port list says it; a link to
                      anything else says what it is, and an override folder
                      that cannot be read is named (exit 1); then exit
  -h, --help          this text
  --version           the version

"quorvel-lab report" builds the report (default: beside the first journal, .csv
made .html) and prints the summary from journals, opening no port; it reads
journals of the older 8 and 16 columns too, and skips a row a killed run cut
short, wherever it stands, with a warning. With several journals each receiver
is named with the shortest part of its journal's path that tells them apart.

Receiver profiles (name, restart sign, receivers):
)" + profiles + R"(
Each start a profile has, and its order's bytes:
)" + orders + R"(
Identity: when a port opens the lab listens for the receiver's start-up texts
(u-blox and CASIC TXT lines, MediaTek PMTK010/011, SiRF PSRFTXT, Quectel
PQTMVER) and asks every family's version query, all harmless (UBX-MON-VER poll,
$PMTK605, $PAIR020, $PQTMVERNO, $PCAS06,0); the make, model and firmware it
says go into the journal, the summary and the report, and a profile it
contradicts is said at once (the profile named is kept). An auto port whose
texts name no family within 10 s of its first text gets an "unidentified" row.
In the journal a receiver's text (make, model, firmware, hdop) that begins with
=, +, -, @ or ' has a ' put before it, so that a spreadsheet opening the journal
takes none for a formula; "quorvel-lab report" shows the text without it.

Verdicts: only sentences whose checksum matches are analysed; damaged ones are
counted per receiver and shown under the summary. Every order ends in exactly
one row. A cycle cut short by the end of the run is "ended" and not judged,
unless its fix was already due (--pass-ttff seconds after the order): then it
is judged a failure, whether its restart came or not. A fix is GGA quality 1-5
(6 dead reckoning, 7 manual and 8 simulator are not). Under fix-lost a lost fix
alone proves no restart: it needs a second sign (its time gone, its clock
fallen back or jumped, a silence of 3 s, or its start-up text); a clock that
runs on (its time advanced by about the time that passed) is no such sign.
A sign belongs to its order: the receiver must first look restarted (no fix,
00:00:0x, a silence beginning, its start-up text) within 5 s of the order: a
restart shows in a receiver's first sentences after it, and a reboot takes a
second or two; a later sign is another event's. A receiver
seen to lose its time, or to fall silent for 3 s, between cycles has that sign
withdrawn for the rest of the run, said once in its events. Sentences that are
byte for byte what the lab sent on that port (a line that echoes) are ignored.
The next order waits for the start under way: its first fix, or --fix-limit.
A gap of 5 s or more between the lab's own ticks (a stopped process) leaves
the cycle under way "stalled", not judged, and starts the run afresh.
)" +
           R"(
Without --cycles or --duration it runs until SIGINT, SIGTERM, SIGHUP (a closed
terminal) or SIGPIPE; then it closes the ports, completes the journal, writes
the report, prints a summary and exits 0. A reader of its output going away
does not end it. It exits as soon as the summary is written, even while a host
name lookup is still under way. "quorvel-lab report" ends on these signals as
any command does.

Exit status: 0 when done, 1 when a journal row, the report or the summary
cannot be written (a reader of the output going away aside) or a journal cannot
be read, 2 on a bad option, rate, port or profile, the journal and report being
one file, either of them naming a port's device, or one device (or device
server) named twice, 3
when a receiver fails --pass-ttff/--pass-rate. 1 wins over 3: a run whose journal
is incomplete exits 1 even when a receiver failed, and its summary still shows
each FAIL.
)";
}

}  // namespace quorvel::lab

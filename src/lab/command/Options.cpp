#include "lab/command/Options.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>

#include "engine/Gga.h"
#include "lab/command/OptionTable.h"
#include "lab/families/Profiles.h"
#include "lab/ports/PortFactory.h"
#include "link/BaudTable.h"
#include "link/ComPorts.h"

namespace quorvel::lab {
namespace {

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
    const auto startList = StartList(starts, profile, o, error);
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
    const auto number = WholeNumber(digits, kLowestComNumber, kHighestComNumber);
    if (!number) return {};
    parsed.com = static_cast<int>(*number);
    return parsed;
}

// The PORT lines of a ports file, each with its line number: blank lines and comments left out,
// spaces around a line and a CR before its LF dropped ("COM 5" keeps its own).
bool PortLines(const std::string& path, std::vector<std::pair<int, std::string>>& lines,
               std::string& error) {
    std::FILE* file = std::fopen(path.c_str(), "re");
    std::string text;
    if (file) {
        char buffer[65536];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
            text.append(buffer, n);
    }
    if (!file || std::ferror(file)) {
        error = "--ports-file: cannot read " + path + ": " + std::strerror(errno);
        if (file) std::fclose(file);
        return false;
    }
    std::fclose(file);
    int number = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        std::string line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        const auto first = line.find_first_not_of(" \t\r");
        if (first == std::string::npos || line[first] == '#') continue;
        line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
        lines.emplace_back(number, std::move(line));
    }
    return true;
}

}  // namespace

std::optional<std::string> BuildOrder(const std::string& text, std::string* why) {
    std::string bytes;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 >= text.size() || text[i + 1] != 'x') {
            bytes += text[i];
            continue;
        }
        if (i + 3 >= text.size() || HexValue(text[i + 2]) < 0 || HexValue(text[i + 3]) < 0)
            return {};
        bytes += static_cast<char>(HexValue(text[i + 2]) * 16 + HexValue(text[i + 3]));
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
    const unsigned sum = NmeaChecksum(std::string_view(bytes).substr(1, star - 1));
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02X", sum);
    if (digits == 0) return bytes + hex + "\r\n";
    if (digits != 2 || HexValue(bytes[star + 1]) < 0 || HexValue(bytes[star + 2]) < 0) return {};
    if (static_cast<unsigned>(HexValue(bytes[star + 1]) * 16 + HexValue(bytes[star + 2])) == sum)
        return bytes + "\r\n";
    if (why) *why = "checksum " + bytes.substr(star + 1) + " does not match, the text's is " + hex;
    return {};
}

namespace {

// What the power options need of each other and of the ports; the error line, or empty.
std::string PowerPlanError(const LabOptions& o) {
    const PowerPlan& plan = o.power;
    const bool commands = !plan.offCommand.empty() || !plan.onCommand.empty();
    std::vector<const PortSpec*> powered;
    for (const PortSpec& port : o.ports)
        if (std::find(port.starts.begin(), port.starts.end(), Start::Power) != port.starts.end())
            powered.push_back(&port);
    for (const auto& [name, outlet] : plan.outlets)
        if (std::none_of(o.ports.begin(), o.ports.end(),
                         [&](const PortSpec& p) { return p.name == name; }))
            return "--outlet names no PORT given: '" + name + "'";
    if (powered.empty())
        return commands || !plan.pdudaemon.empty() || !plan.outlets.empty()
                   ? "the power options are for power starts: no port has --start power"
                   : "";
    if (commands && !plan.pdudaemon.empty())
        return "--pdudaemon or --power-off and --power-on: one way to switch the power";
    if (plan.pdudaemon.empty() && (plan.offCommand.empty() || plan.onCommand.empty()))
        return "a power start needs --power-off and --power-on, or --pdudaemon";
    const bool outletsNeeded = !plan.pdudaemon.empty() ||
                               plan.offCommand.find("{outlet}") != std::string::npos ||
                               plan.onCommand.find("{outlet}") != std::string::npos;
    for (const PortSpec* port : powered) {
        const auto outlet = plan.outlets.find(port->name);
        if (outletsNeeded && outlet == plan.outlets.end())
            return (plan.pdudaemon.empty() ? "{outlet} needs --outlet " + port->name + "=OUTLET"
                                           : "--pdudaemon needs --outlet " + port->name +
                                                 "=PDU:OUTLET") +
                   " for the power starts of '" + port->name + "'";
        if (!plan.pdudaemon.empty()) {
            const auto colon = outlet->second.rfind(':');
            if (colon == std::string::npos || colon == 0 || colon + 1 == outlet->second.size())
                return "--outlet " + port->name + "=" + outlet->second +
                       ": PDU:OUTLET with --pdudaemon";
        }
    }
    return {};
}

}  // namespace

ParsedOptions ParseLabOptions(const std::vector<std::string>& args) {
    ParsedOptions parsed;
    LabReading reading;
    std::vector<std::string> ports;
    auto fail = [&parsed](std::string line) {
        parsed.error = std::move(line);
        return parsed;
    };
    const std::string error = ReadArgs(LabTable(reading), {.prefix = "--"}, args, ports);
    LabOptions& o = parsed.options = std::move(reading.options);
    if (!error.empty()) return fail(error);
    if (o.help || o.version || o.listPorts) return parsed;
    if (const std::string why = PassRuleError(o.pass, reading.rateGiven); !why.empty())
        return fail(why);
    if (o.untilDecided && !o.pass.confidencePct) return fail("--until-decided needs --confidence");
    // The order given for every start replaces the profiles' only when it is known which.
    if (o.order && o.starts.find(',') != std::string::npos)
        return fail("--order gives one order: it cannot take several --start in turn");
    // Each PORT with where it was given: "" on the command line, "--ports-file F line N: ".
    std::vector<std::pair<std::string, std::string>> given;
    for (const std::string& text : ports) given.emplace_back("", text);
    for (const std::string& file : reading.portsFiles) {
        std::vector<std::pair<int, std::string>> lines;
        std::string why;
        if (!PortLines(file, lines, why)) return fail(why);
        for (auto& [number, text] : lines)
            given.emplace_back("--ports-file " + file + " line " + std::to_string(number) + ": ",
                               std::move(text));
    }
    if (given.empty()) return fail("no PORT given");
    std::set<std::string> seen;
    for (const auto& [where, text] : given) {
        std::string why;
        const auto port = Port(text, reading.baud, o, why);
        if (!port) return fail(where + (why.empty() ? "bad port '" + text + "'" : why));
        const std::string key = port->com ? std::to_string(port->com) : port->device;
        if (!seen.insert(key).second) return fail(where + "port named twice: '" + text + "'");
        if (o.fixWithinM && !port->reference)
            return fail(where + "--fix-within needs a --reference for '" + text + "'");
        if (o.pass.errorM && !port->reference)
            return fail(where + "--pass-error needs a --reference for '" + text + "'");
        o.ports.push_back(*port);
    }
    if (const std::string why = PowerPlanError(o); !why.empty()) return fail(why);
    for (const auto& [name, reference] : o.references) {
        if (!name.empty() && std::none_of(o.ports.begin(), o.ports.end(),
                                          [&](const PortSpec& p) { return p.name == name; }))
            return fail("--reference names no PORT given: '" + name + "'");
    }
    return parsed;
}

}  // namespace quorvel::lab

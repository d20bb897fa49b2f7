#include "lab/power/PowerSwitch.h"

#include <QUrl>
#include <algorithm>
#include <cstdio>

#include "lab/power/CommandSwitch.h"
#include "lab/power/PduSwitch.h"

namespace quorvel::lab {
namespace {

// One word for /bin/sh whatever it holds: in single quotes, each ' as '\''.
std::string ShellQuote(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

// `command` with each {name} replaced by its value, quoted. One pass: a value that holds
// "{port}" stays as it is.
std::string Expand(const std::string& command, const std::map<std::string, std::string>& values) {
    std::string out;
    for (std::size_t at = 0; at < command.size();) {
        bool replaced = false;
        for (const auto& [name, value] : values) {
            if (command.compare(at, name.size(), name) != 0) continue;
            out += ShellQuote(value);
            at += name.size();
            replaced = true;
            break;
        }
        if (!replaced) out += command[at++];
    }
    return out;
}

bool Digits(const std::string& text) {
    return !text.empty() && std::all_of(text.begin(), text.end(),
                                        [](char c) { return c >= '0' && c <= '9'; });
}

std::unique_ptr<PowerSwitch> MakePduSwitch(const PowerPlan& plan, const std::string& port,
                                           const std::string* outlet, std::string& error) {
    const QUrl url(QString::fromStdString(plan.pdudaemon), QUrl::StrictMode);
    const QString path = url.path();
    if (!url.isValid() || url.scheme() != "http" || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment() ||
        !(path.isEmpty() || path == "/")) {
        error = "power: the PDU daemon '" + plan.pdudaemon + "' is not http://HOST:PORT";
        return nullptr;
    }
    const std::size_t colon = outlet ? outlet->rfind(':') : std::string::npos;
    // The daemon takes the outlet as a whole number.
    if (colon == std::string::npos || colon == 0 || !Digits(outlet->substr(colon + 1))) {
        error = "power: " + port + " needs its outlet as PDU:OUTLET (pdu1:3), not '" +
                (outlet ? *outlet : "") + "'";
        return nullptr;
    }
    return std::make_unique<PduSwitch>(plan.pdudaemon, outlet->substr(0, colon),
                                       outlet->substr(colon + 1), plan.timeoutMs);
}

}  // namespace

std::string SecondsText(int ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%d.%03d", ms / 1000, ms % 1000);
    std::string s = text;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

std::unique_ptr<PowerSwitch> MakePowerSwitch(const PowerPlan& plan, const std::string& port,
                                             const std::string& device, std::string& error) {
    const auto found = plan.outlets.find(port);
    const std::string* outlet = found == plan.outlets.end() ? nullptr : &found->second;
    if (plan.timeoutMs <= 0) {
        error = "power: the time limit must be more than 0";
        return nullptr;
    }
    const bool commands = !plan.offCommand.empty() || !plan.onCommand.empty();
    if (!plan.pdudaemon.empty()) {
        if (commands) {
            error = "power: give power commands or a PDU daemon, not both";
            return nullptr;
        }
        return MakePduSwitch(plan, port, outlet, error);
    }
    if (plan.offCommand.empty() || plan.onCommand.empty()) {
        error = "power: both a power-off and a power-on command are needed";
        return nullptr;
    }
    const std::string name = "{outlet}";
    const bool namesOutlet = plan.offCommand.find(name) != std::string::npos ||
                             plan.onCommand.find(name) != std::string::npos;
    if (namesOutlet && !outlet) {
        error = "power: " + port + " has no outlet, and the power commands name {outlet}";
        return nullptr;
    }
    std::map<std::string, std::string> values = {{"{port}", port}, {"{device}", device}};
    if (outlet) values[name] = *outlet;
    return std::make_unique<CommandSwitch>(Expand(plan.offCommand, values),
                                           Expand(plan.onCommand, values), plan.timeoutMs,
                                           outlet ? "outlet " + *outlet : "the supply of " + port);
}

}  // namespace quorvel::lab

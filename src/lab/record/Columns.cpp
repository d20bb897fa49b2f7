#include "lab/record/Columns.h"

#include <charconv>
#include <cstdio>

#include "lab/families/Profiles.h"
#include "lab/record/Journal.h"

namespace quorvel::lab {
namespace {

// The longest run is a year; no time in a journal can be longer.
constexpr double kMostSeconds = 366 * 86400.0;
constexpr int kMostCycle = 999999999;
constexpr int kMostSatellites = 99;

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }

bool FormulaStart(const std::string& text) {
    return !text.empty() && std::string_view("=+-@\t\r'").find(text[0]) != std::string::npos;
}

// A journal's text for a message on the terminal: control characters escaped, long text cut.
std::string MessageText(const std::string& text) {
    constexpr std::size_t kMost = 40;
    std::string out;
    for (std::size_t i = 0; i < text.size() && i < kMost; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
        out += c < 0x20 || c == 0x7F ? std::string(escaped) : std::string(1, text[i]);
    }
    return text.size() > kMost ? out + "..." : out;
}

// `started` completed to the first of `names` that begins with it, or as it is.
template <typename Names, typename Name>
std::string FirstBeginning(const std::string& started, const Names& names, Name name) {
    for (const auto& each : names)
        if (std::string_view(name(each)).starts_with(started)) return std::string(name(each));
    return started;
}

}  // namespace

namespace columns {

// A receiver name is the port as given, an hdop what a damaged sentence held; quote it if it
// could split the row.
std::string Csv(std::string text) {
    text.erase(std::remove_if(text.begin(), text.end(), IsControl), text.end());
    if (text.find_first_of(",\"") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string SaidCsv(std::string text) {
    text.erase(std::remove_if(text.begin(), text.end(), IsControl), text.end());
    return Csv(SpreadsheetSafe(text));
}

std::string Tenths(const std::optional<double>& seconds) {
    if (!seconds) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", *seconds);
    return text;
}

std::string Bad(std::string_view name, const std::string& text, const std::string& complaint) {
    return std::string(name) + " '" + MessageText(text) + "' " + complaint;
}

std::optional<double> Decimal(const std::string& text, double most, bool whole) {
    const bool plain = !text.empty() && std::all_of(text.begin(), text.end(), [whole](char c) {
        return (c >= '0' && c <= '9') || (c == '.' && !whole);
    });
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, ec] = std::from_chars(text.data(), end, value, std::chars_format::fixed);
    if (!plain || ec != std::errc() || stop != end || !(value <= most)) return {};
    return value;
}

std::string ReadSeconds(std::string_view name, const std::string& text,
                        std::optional<double>& value) {
    if (!text.empty() && !(value = Decimal(text, kMostSeconds, false)))
        return Bad(name, text,
                   "is not seconds from 0 to " + std::to_string(static_cast<int>(kMostSeconds)));
    return {};
}

std::string AppendDigit(const std::string& started) { return started + "1"; }

std::string ReadReceiver(std::string_view name, const std::string& text, Row& r) {
    r.receiver = text;
    return text.empty() ? "no " + std::string(name) : "";
}

std::string WriteCycle(const Row& r) { return std::to_string(r.cycle); }

std::string ReadCycle(std::string_view name, const std::string& text, Row& r) {
    const auto cycle = Decimal(text, kMostCycle, true);
    if (!cycle || *cycle < 1)
        return Bad(name, text, "is not a whole number from 1 to " + std::to_string(kMostCycle));
    r.cycle = static_cast<int>(*cycle);
    return {};
}

std::string WriteVerdict(const Row& r) { return std::string(NameOf(r.verdict)); }

std::string ReadVerdict(std::string_view name, const std::string& text, Row& r) {
    const std::optional<Verdict> verdict = VerdictNamed(text);
    if (!verdict) return Bad(name, text, "is unknown");
    r.verdict = *verdict;
    return {};
}

std::string CompleteVerdict(const std::string& started) {
    return FirstBeginning(started, kVerdictNames, [](std::string_view n) { return n; });
}

std::string WriteSatellites(const Row& r) {
    return r.satellites ? std::to_string(*r.satellites) : "";
}

std::string ReadSatellites(std::string_view name, const std::string& text, Row& r) {
    if (text.empty()) return {};
    const auto satellites = Decimal(text, kMostSatellites, true);
    if (!satellites)
        return Bad(name, text, "is not a count from 0 to " + std::to_string(kMostSatellites));
    r.satellites = static_cast<int>(*satellites);
    return {};
}

std::string ReadStart(std::string_view name, const std::string& text, Row& r) {
    if (!text.empty() && !StartNamed(text)) return Bad(name, text, "is unknown");
    r.start = text;
    return {};
}

std::string CompleteStart(const std::string& started) {
    return FirstBeginning(started, kAllStarts, StartName);
}

}  // namespace columns

std::string FormatRow(const Row& row) {
    std::string line;
    for (std::size_t i = 0; i < kColumns.size(); ++i)
        line += (i ? "," : "") + kColumns[i].write(row);
    return line;
}

std::optional<Row> ParseRow(const std::vector<std::string>& fields, std::size_t count,
                            std::string& why) {
    if (fields.size() != count) {
        why = "not a row (" + std::to_string(fields.size()) + " of " + std::to_string(count) +
              " fields)";
        return {};
    }
    Row row{};
    for (std::size_t i = 0; i < count; ++i)
        if (!(why = kColumns[i].read(kColumns[i].name, fields[i], row)).empty()) return {};
    return row;
}

std::string SpreadsheetSafe(const std::string& text) {
    return FormulaStart(text) ? "'" + text : text;
}

std::string ReceiverSaid(const std::string& field) {
    return field.size() > 1 && field[0] == '\'' && FormulaStart(field.substr(1)) ? field.substr(1)
                                                                                 : field;
}

std::string EscapeControls(const std::string& text) {
    std::string shown;
    for (char c : text) {
        char escaped[5];
        std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
        shown += IsControl(c) ? std::string(escaped) : std::string(1, c);
    }
    return shown;
}

}  // namespace quorvel::lab

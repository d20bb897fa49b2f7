#include "lab/record/JournalRead.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <map>

#include "lab/families/Identity.h"
#include "lab/families/Profiles.h"

namespace quorvel::lab {
namespace {

// The longest run is a year; no time in a journal can be longer.
constexpr double kMostSeconds = 366 * 86400.0;
constexpr int kMostCycle = 999999999;
constexpr int kMostSatellites = 99;
// A quoted field that goes on over more lines than this is a quote left open, not a field.
constexpr int kMostLinesInARecord = 4;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// A journal's text for a message on the terminal: control characters escaped, long text cut.
std::string Shown(const std::string& text) {
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

// Digits with at most one decimal point (none when `whole`), up to `most`: the way the journal
// writes its numbers. Signs, exponents, 0x, inf and nan are not numbers here.
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

// A row's time as the lab writes it, 2026-12-07T04:30:00.123Z: only such a time spans a run.
bool IsUtcTime(const std::string& text) {
    constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd";
    if (text.size() <= kShape.size() || text.back() != 'Z') return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != kShape[i]) return false;
    }
    return true;
}

// The row in a record's fields, or nothing with `why` it is not one.
std::optional<Row> ParseRow(const std::vector<std::string>& f, std::size_t columns,
                            std::string& why) {
    if (f.size() != columns) {
        why = "not a row (" + std::to_string(f.size()) + " of " + std::to_string(columns) +
              " fields)";
        return {};
    }
    if (columns > kOlderJournalColumns && !f[8].empty() && !StartNamed(f[8]))
        why = "start '" + Shown(f[8]) + "' is unknown";
    const std::optional<Verdict> verdict = VerdictNamed(f[3]);
    const auto cycle = Decimal(f[2], kMostCycle, true);
    std::optional<double> times[2], satellites;
    for (int i : {0, 1}) {
        if (!f[4 + i].empty() && !(times[i] = Decimal(f[4 + i], kMostSeconds, false)))
            why = (i ? "ttff_s '" : "restart_s '") + Shown(f[4 + i]) +
                  "' is not seconds from 0 to " + std::to_string(static_cast<int>(kMostSeconds));
    }
    if (!f[6].empty() && !(satellites = Decimal(f[6], kMostSatellites, true)))
        why = "satellites '" + Shown(f[6]) + "' is not a count from 0 to " +
              std::to_string(kMostSatellites);
    if (!verdict) why = "verdict '" + Shown(f[3]) + "' is unknown";
    if (!cycle || *cycle < 1)
        why = "cycle '" + Shown(f[2]) + "' is not a whole number from 1 to " +
              std::to_string(kMostCycle);
    if (f[1].empty()) why = "no receiver";
    if (!why.empty()) return {};
    Row row{f[0], f[1], static_cast<int>(*cycle), *verdict, times[0], times[1], {}, ReceiverSaid(f[7])};
    if (satellites) row.satellites = static_cast<int>(*satellites);
    if (columns > kOlderJournalColumns) {
        row.start = f[8];
        row.profile = f[9];
        row.make = ReceiverSaid(f[10]);
        row.model = ReceiverSaid(f[11]);
        row.firmware = ReceiverSaid(f[12]);
        row.ttffRule = f[15];
        if (columns > kPreviousJournalColumns && !f[16].empty() &&
            !(row.cn0AgeS = Decimal(f[16], kMostSeconds, false)))
            why = "cn0_age_s '" + Shown(f[16]) + "' is not seconds from 0 to " +
                  std::to_string(static_cast<int>(kMostSeconds));
        for (int i : {0, 1}) {
            std::optional<double>& value = i ? row.cn0 : row.errorM;
            if (!f[13 + i].empty() && !(value = Decimal(f[13 + i], i ? 99 : 4e7, false)))
                why = (i ? "cn0_dbhz '" : "error_m '") + Shown(f[13 + i]) + "' is out of range";
        }
        if (!why.empty()) return {};
    }
    return row;
}

// One CSV record from `at`: fields split at commas outside quotes, "" inside quotes a quote. It
// ends at a line end outside quotes (a CR before it dropped), so a quoted field may go on over a
// few lines, as an old journal's hdop "0.\n9" does. `whole` is false when the text or the lines
// allowed ran out first.
struct Record {
    std::vector<std::string> fields{1};
    std::size_t end = 0;  // past its line end
    int lines = 0;        // the line ends it holds
    bool whole = false;
    bool open = false;  // a quote left open where the text ended
};

Record ReadRecord(const std::string& text, std::size_t at) {
    Record r;
    bool quoted = false;
    for (std::size_t i = at; i < text.size(); ++i) {
        const char c = text[i];
        const char next = i + 1 < text.size() ? text[i + 1] : '\0';
        if (c == '\n' && (++r.lines, !quoted)) {
            r.end = i + 1;
            r.whole = true;
            return r;
        }
        if (r.lines == kMostLinesInARecord) break;
        if (quoted && c == '"' && next == '"') {
            r.fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            r.fields.emplace_back();
        } else if (!(c == '\r' && next == '\n' && !quoted)) {
            r.fields.back() += c;
        }
    }
    r.open = quoted;
    return r;
}

// Whether `line` (without its line end) is the start of a row the lab wrote, cut short by a
// run killed while writing it. The next run ends that line and appends after it, so such a
// line may stand anywhere. It passes when some ending makes it a row: its time as the lab
// writes it, every field before its last whole, the last the start of one (a quote the cut
// left open included). Anything else short of a row stays refused.
bool CutRow(const std::string& line, std::size_t columns) {
    const Record cut = ReadRecord(line, 0);
    const std::size_t last = cut.fields.size() - 1;
    if (line.empty() || cut.fields.size() > columns || (cut.fields.size() == columns && !cut.open))
        return false;
    constexpr std::string_view kTime = "dddd-dd-ddTdd:dd:dd.dddZ";
    const std::string& utc = cut.fields[0];
    if (utc.size() > kTime.size() || (last > 0 && utc.size() != kTime.size())) return false;
    for (std::size_t i = 0; i < utc.size(); ++i) {
        if (kTime[i] == 'd' ? utc[i] < '0' || utc[i] > '9' : utc[i] != kTime[i]) return false;
    }
    // The fields a row needs, then the line's over them, its last made whole.
    std::vector<std::string> row(columns);
    row[1] = "a";
    row[2] = "1";
    row[3] = NameOf(Verdict::Ok);
    std::copy(cut.fields.begin(), cut.fields.end(), row.begin());
    std::string& end = row[last];
    const std::string started = end;
    auto completes = [&started](std::string_view whole) {
        return whole.substr(0, started.size()) == started;
    };
    if (last == 1 || last == 2) end += "1";  // a receiver, or a cycle's digits
    const auto verdict = std::find_if(kVerdictNames.begin(), kVerdictNames.end(), completes);
    if (last == 3 && verdict != kVerdictNames.end()) end = *verdict;
    const auto start = std::find_if(kStarts.begin(), kStarts.end(),
                                    [&](Start s) { return completes(StartName(s)); });
    if (last == 8 && columns > kOlderJournalColumns && start != kStarts.end())
        end = StartName(*start);
    // A number cut short is still one ("12." too), a text a shorter text.
    std::string why;
    return ParseRow(row, columns, why).has_value();
}

}  // namespace

void Span(const std::string& utc, std::string& first, std::string& last) {
    if (first.empty() || utc < first) first = utc;
    if (last.empty() || utc > last) last = utc;
}

std::optional<JournalRead> ReadJournal(const std::string& path, const std::string& prefix,
                                       std::vector<Tally>& tallies, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    std::string text;
    if (fd >= 0) {
        char chunk[65536];
        ssize_t n;
        while ((n = ::read(fd, chunk, sizeof chunk)) > 0 || (n < 0 && errno == EINTR))
            if (n > 0) text.append(chunk, static_cast<std::size_t>(n));
        const int readErrno = errno;
        ::close(fd);
        errno = readErrno;
        if (n == 0) errno = 0;
    }
    if (fd < 0 || errno != 0) {
        error = "cannot read the journal " + path + ": " + std::strerror(errno);
        return {};
    }
    const std::string header = kJournalHeader;
    // A line's text without its line end, and without a BOM at its start (an editor's, or one
    // that came with a concatenated journal).
    auto lineAt = [&text](std::size_t at, std::size_t end) {
        std::string line = text.substr(at, end == std::string::npos ? end : end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line.compare(0, kBom.size(), kBom) == 0 ? line.substr(kBom.size()) : line;
    };
    std::size_t at = 0, end = text.find('\n');
    // Journals of the older layout are read as they are.
    const std::string older = kOlderJournalHeader, previous = kPreviousJournalHeader;
    const std::string first = lineAt(0, end);
    if (first != header && first != older && first != previous) {
        error = "the journal " + path + " does not begin with the header line " + header;
        return {};
    }
    const std::size_t columns = first == header     ? kJournalColumns
                                : first == previous ? kPreviousJournalColumns
                                                    : kOlderJournalColumns;
    JournalRead read;
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < tallies.size(); ++i) index[TallyKey(tallies[i])] = i;
    auto say = [&path](std::size_t line, const std::string& what) {
        std::fprintf(stderr, "quorvel-lab: %s line %zu: %s\n", path.c_str(), line, what.c_str());
    };
    for (std::size_t line = 2; end != std::string::npos && (at = end + 1) < text.size();) {
        end = text.find('\n', at);
        if (lineAt(at, end) == first) {
            ++line;
            continue;
        }
        if (end == std::string::npos) {
            say(line, "cut short, skipped");
            break;
        }
        const Record record = ReadRecord(text, at);
        std::string why;
        const auto row = record.whole ? ParseRow(record.fields, columns, why) : std::nullopt;
        if (!record.whole) why = "a quote left open";
        if (!row && CutRow(lineAt(at, end), columns)) {
            say(line++, "cut short (a run ended while writing it), skipped");
            continue;
        }
        if (!row) {
            // Only this line is refused: the next one may begin a row.
            say(line++, why + ", row refused");
            ++read.refused;
            continue;
        }
        line += static_cast<std::size_t>(record.lines);
        end = record.end - 1;
        Tally key{.receiver = prefix + row->receiver, .profile = row->profile, .start = row->start};
        const auto [it, added] = index.emplace(TallyKey(key), tallies.size());
        if (added) tallies.push_back(std::move(key));
        Tally& tally = tallies[it->second];
        tally.Add(*row);
        // The receiver's own words, as its latest row kept them.
        if (!row->make.empty() || !row->model.empty() || !row->firmware.empty())
            tally.identity = IdentityText({.make = row->make, .model = row->model,
                                           .firmware = row->firmware});
        if (IsUtcTime(row->utc)) Span(row->utc, read.firstUtc, read.lastUtc);
        ++read.rows;
    }
    return read;
}

}  // namespace quorvel::lab

#include "lab/record/JournalRead.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

#include "lab/families/Identity.h"

namespace quorvel::lab {
namespace {

// A quoted field that goes on over more lines than this is a quote left open, not a field.
constexpr int kMostLinesInARecord = 4;
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// A row's time as the lab writes it, 2026-12-07T04:30:00.123Z: only such a time spans a run.
bool IsUtcTime(const std::string& text) {
    constexpr std::string_view kShape = "dddd-dd-ddTdd:dd:dd";
    if (text.size() <= kShape.size() || text.back() != 'Z') return false;
    for (std::size_t i = 0; i < kShape.size(); ++i) {
        if (kShape[i] == 'd' ? text[i] < '0' || text[i] > '9' : text[i] != kShape[i]) return false;
    }
    return true;
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
    // The line's fields, its last completed, and those it did not reach as they complete.
    std::vector<std::string> row(columns);
    std::copy(cut.fields.begin(), cut.fields.end(), row.begin());
    for (std::size_t i = last; i < columns; ++i)
        if (kColumns[i].complete) row[i] = kColumns[i].complete(row[i]);
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
    // A line's text without its line end, and without a BOM at its start (an editor's, or one
    // that came with a concatenated journal).
    auto lineAt = [&text](std::size_t at, std::size_t end) {
        std::string line = text.substr(at, end == std::string::npos ? end : end - at);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return line.compare(0, kBom.size(), kBom) == 0 ? line.substr(kBom.size()) : line;
    };
    std::size_t at = 0, end = text.find('\n');
    // Journals of an older layout are read as they are.
    const std::string first = lineAt(0, end);
    const auto layout =
        std::find_if(kJournalLayouts.begin(), kJournalLayouts.end(),
                     [&first](std::size_t count) { return first == JournalHeader(count); });
    if (layout == kJournalLayouts.end()) {
        error = "the journal " + path + " does not begin with the header line " + kJournalHeader;
        return {};
    }
    const std::size_t columns = *layout;
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
            tally.identity =
                IdentityText({.make = row->make, .model = row->model, .firmware = row->firmware});
        if (IsUtcTime(row->utc)) Span(row->utc, read.firstUtc, read.lastUtc);
        ++read.rows;
    }
    return read;
}

}  // namespace quorvel::lab

#include "lab/present/LiveView.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <set>

namespace quorvel::lab {
namespace {

std::string Seconds(const std::optional<double>& value) {
    if (!value) return "-";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", *value);
    return text;
}

std::string Hms(double seconds) {
    const long long s = static_cast<long long>(seconds);
    char text[48];
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    return text;
}

std::string Pad(std::string text, std::size_t width) {
    if (text.size() < width) text.resize(width, ' ');
    return text;
}

// The columns a live line needs for `names`, each cut no shorter than the tail that tells it
// from the others, and no shorter than 8 characters: a tail that short still reads as a name.
std::size_t ShortestNameColumn(const std::vector<std::string>& names) {
    std::size_t longest = 0;
    for (const std::string& name : names) longest = std::max(longest, name.size());
    std::size_t tail = 8;
    for (; tail < longest; ++tail) {
        std::set<std::string> tails;
        bool apart = true;
        for (const std::string& name : names)
            apart = tails.insert(name.substr(name.size() - std::min(tail, name.size()))).second &&
                    apart;
        if (apart) break;
    }
    std::size_t column = 0;
    for (const std::string& name : names)
        column = std::max(column, name.size() <= tail ? name.size() : tail + 1);  // "~" first
    return column;
}

}  // namespace

LiveView::LiveView(std::ostream& out, std::vector<std::string> names)
    : out_(out),
      names_(std::move(names)),
      shortestName_(ShortestNameColumn(names_)),
      lines_(names_.size() + 1) {}

void LiveView::Open() { out_ << std::string(lines_.size(), '\n') << std::flush; }

// Every line stays within the terminal's width, so that the cursor goes back up exactly as
// many lines as were drawn. A narrow terminal drops fields first (profile, restart, ttff,
// cycles; never the state), then shortens the names, never below the tails that tell them
// apart.
void LiveView::Draw(const std::string& progress, const std::vector<LiveRow>& rows) {
    winsize size{};
    const std::size_t width =
        ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1u : 79u;
    std::vector<std::array<std::string, 5>> fields;
    for (const LiveRow& r : rows) {
        fields.push_back({" " + Pad(r.profile, 7), " cycles " + Pad(std::to_string(r.cycles), 5),
                          " " + Pad(r.state, 16), " restart " + Pad(Seconds(r.restartS), 8),
                          " ttff " + Pad(Seconds(r.ttffS), 8)});
    }
    std::array<bool, 5> kept;
    kept.fill(true);
    auto widest = [&fields, &kept] {
        std::size_t most = 0;
        for (const auto& line : fields) {
            std::size_t sum = 0;
            for (std::size_t f = 0; f < line.size(); ++f) sum += kept[f] ? line[f].size() : 0;
            most = std::max(most, sum);
        }
        return most;
    };
    for (const std::size_t field : {0, 3, 4, 1})
        if (shortestName_ + widest() > width) kept[field] = false;

    std::string frame = "\x1b[" + std::to_string(lines_.size()) + "A";
    bool changed = false;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        std::string line;
        if (i == 0) {
            line = progress;
        } else {
            std::string rest;
            for (std::size_t f = 0; f < kept.size(); ++f) rest += kept[f] ? fields[i - 1][f] : "";
            std::string name = names_[i - 1];
            const std::size_t room = width > rest.size() ? width - rest.size() : 1;
            if (name.size() > room)
                name = (room > 1 ? "~" : "") + name.substr(name.size() - room + (room > 1));
            // The port's trouble last: the width cuts it before any field.
            line = Pad(name, std::min<std::size_t>(room, 16)) + rest + " " + rows[i - 1].problem;
        }
        if (line.size() > width) line.resize(width);
        changed = changed || lines_[i] != line;
        lines_[i] = line;
        frame += "\r\x1b[2K" + line + "\n";
    }
    if (changed) out_ << frame << std::flush;
}

std::string ProgressLine(double now, const LabOptions& options, long long cycles,
                         std::size_t receivers, const Journal& journal) {
    std::string line = "elapsed " + Hms(now);
    if (options.durationS) line += ", left " + Hms(std::max(0.0, *options.durationS - now));
    if (options.cycles)
        line += ", cycles " + std::to_string(cycles) + "/" +
                std::to_string(static_cast<long long>(*options.cycles) * receivers);
    line += " | journal " + journal.Path() + ": " + std::to_string(std::max(journal.Rows(), 0LL)) +
            " rows";
    if (journal.Unwritten()) line += ", " + std::to_string(journal.Unwritten()) + " unwritten";
    return line;
}

std::string RowLine(const Row& row) {
    return row.utc + ' ' + EscapeControls(row.receiver) + " cycle " + std::to_string(row.cycle) +
           ' ' + std::string(NameOf(row.verdict)) + " restart " + Seconds(row.restartS) + " ttff " +
           Seconds(row.ttffS);
}

}  // namespace quorvel::lab

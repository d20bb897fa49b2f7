#include "lab/command/ReportCommand.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "lab/command/Help.h"
#include "lab/command/OptionTable.h"
#include "lab/families/Identity.h"
#include "lab/families/Profiles.h"
#include "lab/present/Report.h"
#include "lab/present/Summary.h"
#include "lab/record/JournalRead.h"

namespace quorvel::lab {
namespace {

std::vector<std::string> PathParts(const std::string& path) {
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        if (slash > at) parts.push_back(path.substr(at, slash - at));
        at = slash + 1;
    }
    return parts;
}

std::string LastParts(const std::vector<std::string>& parts, std::size_t count) {
    std::string out;
    for (std::size_t i = parts.size() - std::min(count, parts.size()); i < parts.size(); ++i)
        out += (out.empty() ? "" : "/") + parts[i];
    return out;
}

// Each journal's name for its receivers: the fewest last parts of its path that no other
// journal's path ends in, so rack1/night.csv and rack2/night.csv stay apart and a.csv is a.csv.
std::vector<std::string> ShortNames(const std::vector<std::string>& paths) {
    std::vector<std::string> names;
    for (const std::string& path : paths) {
        const auto parts = PathParts(path);
        std::string name = path;
        for (std::size_t count = 1; count <= parts.size(); ++count) {
            const std::string tail = LastParts(parts, count);
            if (std::none_of(paths.begin(), paths.end(), [&](const std::string& other) {
                    return &other != &path && LastParts(PathParts(other), count) == tail;
                })) {
                name = tail;
                break;
            }
        }
        names.push_back(name);
    }
    return names;
}

}  // namespace

int RunReportCommand(const std::vector<std::string>& args, std::ostream& out) {
    ReportReading reading;
    std::vector<std::string> journals;
    auto bad = [](const std::string& line) {
        std::fprintf(stderr, "quorvel-lab report: %s\n", line.c_str());
        return 2;
    };
    // Standard output is what this command gives: a write that fails is a failure.
    auto written = [&out](const std::string& what) {
        errno = 0;
        if (out.flush()) return true;
        std::fprintf(stderr, "quorvel-lab: cannot write the %s to standard output: %s\n",
                     what.c_str(), errno ? std::strerror(errno) : "the stream failed");
        return false;
    };
    if (const std::string line = ReadArgs(
            ReportTable(reading), {.prefix = "-", .unknownTakesValue = true}, args, journals);
        !line.empty())
        return bad(line);
    if (reading.help) {
        out << HelpText();
        return written("help") ? 0 : 1;
    }
    std::string& report = reading.report;
    const PassRule& rule = reading.rule;
    if (journals.empty()) return bad("no JOURNAL given");
    if (const std::string why = PassRuleError(rule, reading.rateGiven); !why.empty())
        return bad(why);
    if (report.empty()) {
        // Beside the first journal: night.csv gives night.html.
        report = journals[0];
        if (report.size() > 4 && report.compare(report.size() - 4, 4, ".csv") == 0)
            report.resize(report.size() - 4);
        report += ".html";
    }
    struct stat target {};
    const bool targetThere = ::stat(report.c_str(), &target) == 0;
    // The journals to read, each file once whatever its names; a file that cannot be looked at
    // is kept for the read to name why.
    std::vector<std::string> distinct;
    std::vector<std::optional<std::pair<dev_t, ino_t>>> files;
    for (const std::string& journal : journals) {
        struct stat source {};
        std::optional<std::pair<dev_t, ino_t>> file;
        if (::stat(journal.c_str(), &source) == 0) file.emplace(source.st_dev, source.st_ino);
        if (file && targetThere && *file == std::pair(target.st_dev, target.st_ino))
            return bad("-o names the journal " + journal);
        const auto first = std::find(files.begin(), files.end(), file);
        if (file && first != files.end()) {
            std::fprintf(stderr, "quorvel-lab: %s is the journal %s again; counted once\n",
                         journal.c_str(), distinct[first - files.begin()].c_str());
            continue;
        }
        files.push_back(file);
        distinct.push_back(journal);
    }
    const auto names = ShortNames(distinct);
    std::vector<Tally> tallies;
    std::string firstUtc, lastUtc;
    bool failed = false;
    for (std::size_t i = 0; i < distinct.size(); ++i) {
        std::string error;
        const auto read =
            ReadJournal(distinct[i], distinct.size() > 1 ? names[i] + ": " : "", tallies, error);
        if (!read) {
            std::fprintf(stderr, "quorvel-lab: %s\n", error.c_str());
            return 1;
        }
        if (read->rows == 0)
            std::fprintf(stderr, "quorvel-lab: the journal %s holds no row\n", distinct[i].c_str());
        failed = failed || read->rows == 0 || read->refused > 0;
        if (!read->firstUtc.empty()) {
            Span(read->firstUtc, firstUtc, lastUtc);
            Span(read->lastUtc, firstUtc, lastUtc);
        }
    }
    if (tallies.empty()) return 1;
    out << SummaryText(tallies, rule);
    failed = !written("summary") || failed;
    std::string error;
    if (!WriteReport(report, tallies, error, rule,
                     JournalsHead(distinct, tallies, firstUtc, lastUtc))) {
        std::fprintf(stderr, "quorvel-lab: %s\n", error.c_str());
        failed = true;
    } else if (out) {
        out << "Report: " << report << "\n";
        failed = !written("report's name") || failed;
    }
    return failed ? 1 : StandingStatus(tallies, rule);
}

}  // namespace quorvel::lab

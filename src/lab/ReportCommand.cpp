#include "lab/ReportCommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "lab/Options.h"
#include "lab/Report.h"

namespace quorvel::lab {
namespace {

// The fields of one CSV line, quotes undone; nothing when a quote is left open.
std::optional<std::vector<std::string>> CsvFields(const std::string& line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    if (quoted) return {};
    return fields;
}

bool Number(const std::string& text, std::optional<double>& value) {
    if (text.empty()) return true;
    char* end = nullptr;
    value = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size();
}

std::optional<Row> ParseRow(const std::string& line) {
    const auto f = CsvFields(line);
    if (!f || f->size() != 8) return {};
    Row row{(*f)[0], (*f)[1], 0, (*f)[3], {}, {}, {}, (*f)[7]};
    std::optional<double> cycle, satellites;
    if (!Number((*f)[2], cycle) || !cycle || !Number((*f)[4], row.restartS) ||
        !Number((*f)[5], row.ttffS) || !Number((*f)[6], satellites) || row.verdict.empty())
        return {};
    row.cycle = static_cast<int>(*cycle);
    if (satellites) row.satellites = static_cast<int>(*satellites);
    return row;
}

std::string BaseName(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool ReadJournal(const std::string& path, const std::string& prefix, std::vector<Tally>& tallies,
                 std::string& error) {
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
        return false;
    }
    const std::string header = kJournalHeader;
    if (text.compare(0, header.size() + 1, header + "\n") != 0) {
        error = "the journal " + path + " does not begin with the header line " + header;
        return false;
    }
    std::map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < tallies.size(); ++i) index[tallies[i].receiver] = i;
    std::size_t lineNumber = 1;
    for (std::size_t at = header.size() + 1; at < text.size(); ++lineNumber) {
        const std::size_t end = text.find('\n', at);
        const std::string line = text.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        if (line == header) continue;
        const auto row = end == std::string::npos ? std::nullopt : ParseRow(line);
        if (!row) {
            std::fprintf(stderr, "quorvel-lab: %s line %zu: %s, skipped\n", path.c_str(),
                         lineNumber + 1, end == std::string::npos ? "cut short" : "not a row");
            continue;
        }
        const std::string name = prefix + row->receiver;
        const auto [it, added] = index.emplace(name, tallies.size());
        if (added) tallies.push_back(Tally{name, {}, {}, {}, {}, {}});
        tallies[it->second].Add(*row);
    }
    return true;
}

int RunReportCommand(const std::vector<std::string>& args, std::ostream& out) {
    std::string report;
    PassRule rule;
    bool rateGiven = false;
    std::vector<std::string> journals;
    auto bad = [](const std::string& line) {
        std::fprintf(stderr, "quorvel-lab report: %s\n", line.c_str());
        return 2;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i], value;
        if (name == "--help" || name == "-h") {
            out << HelpText();
            return 0;
        }
        if (name.rfind("-", 0) != 0) {
            journals.push_back(name);
            continue;
        }
        const auto eq = name.find('=');
        if (eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.resize(eq);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            return bad(name + " needs a value");
        }
        if (name == "-o") {
            report = value;
        } else if (name == "--pass-ttff" || name == "--pass-rate") {
            const std::string error = ParsePassOption(name, value, rule);
            if (!error.empty()) return bad(error);
            rateGiven = rateGiven || name == "--pass-rate";
        } else {
            return bad("unknown option " + name);
        }
    }
    if (journals.empty()) return bad("no JOURNAL given");
    if (rateGiven && !rule.ttffS) return bad("--pass-rate needs --pass-ttff");
    if (report.empty()) {
        // Beside the first journal: night.csv gives night.html.
        report = journals[0];
        if (report.size() > 4 && report.compare(report.size() - 4, 4, ".csv") == 0)
            report.resize(report.size() - 4);
        report += ".html";
    }
    struct stat target {};
    for (const std::string& journal : journals) {
        struct stat source {};
        if (::stat(report.c_str(), &target) == 0 && ::stat(journal.c_str(), &source) == 0 &&
            target.st_dev == source.st_dev && target.st_ino == source.st_ino)
            return bad("-o names the journal " + journal);
    }
    std::vector<Tally> tallies;
    for (const std::string& journal : journals) {
        std::string error;
        if (!ReadJournal(journal, journals.size() > 1 ? BaseName(journal) + ": " : "", tallies,
                         error)) {
            std::fprintf(stderr, "quorvel-lab: %s\n", error.c_str());
            return 1;
        }
    }
    out << SummaryText(tallies, rule) << std::flush;
    std::string error;
    if (!WriteReport(report, tallies, error, rule)) {
        std::fprintf(stderr, "quorvel-lab: %s\n", error.c_str());
        return 1;
    }
    out << "Report: " << report << std::endl;
    return AnyFails(tallies, rule) ? 3 : 0;
}

}  // namespace quorvel::lab

#include "lab/Report.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace quorvel::lab {
namespace {

std::string Html(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '"')
            out += "&quot;";
        else
            out += c;
    }
    return out;
}

// A JSON string that is also safe inside a <script> element.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        char escaped[8];
        if (c == '"' || c == '\\' || c == '<' || c == '>' || c == '&' || c < 0x20) {
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string JsonNumbers(const std::vector<double>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        char number[32];
        if (std::isnan(values[i]))
            std::snprintf(number, sizeof number, "null");
        else
            std::snprintf(number, sizeof number, "%.2f", values[i]);
        out += (i ? "," : "") + std::string(number);
    }
    return out + "]";
}

std::string JsonRange(const std::optional<Spread>& s, bool core) {
    if (!s) return "null";
    char text[64];
    std::snprintf(text, sizeof text, "[%.2f,%.2f]", core ? s->median : s->min,
                  core ? s->p95 : s->max);
    return text;
}

// The page goes to a file beside `path` and is renamed over it: a browser never sees half a
// page, and a failed write leaves the last good one.
bool WriteWhole(const std::string& path, const std::string& text, std::string& error) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temporary = folder + (slash == std::string::npos ? "/." : ".") + base + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = "cannot write the report " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat old {};
    mode_t mode = 0644;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    std::string reason;
    if (::fchmod(fd, mode) != 0) reason = std::strerror(errno);
    for (std::size_t done = 0; reason.empty() && done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            reason = n < 0 ? std::strerror(errno) : "nothing was written";
        else
            done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && reason.empty()) reason = std::strerror(errno);
    if (reason.empty() && ::rename(temporary.c_str(), path.c_str()) != 0)
        reason = std::strerror(errno);
    if (reason.empty()) return true;
    ::unlink(temporary.c_str());
    error = "cannot write the report " + path + ": " + reason;
    return false;
}

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 24px; color: #111; background: #fff; }
table { border-collapse: collapse; margin-bottom: 24px; }
th, td { border: 1px solid #999; padding: 4px 8px; text-align: right; }
th:first-child, td:first-child { text-align: left; }
.charts { display: flex; gap: 24px; }
canvas { border: 1px solid #ccc; }
#overview { display: block; margin-bottom: 24px; }
)";

// Draws the overview and every receiver's two charts from `receivers`; no animation, so a
// snapshot of the page shows them complete.
constexpr const char* kDrawCharts = R"(
Chart.defaults.animation = false;
new Chart(document.getElementById('overview'), {
  type: 'bar',
  data: { labels: receivers.map(r => r.name), datasets: [
    { label: 'TTFF min - max (s)', data: receivers.map(r => r.range), backgroundColor: '#c7c7c7', grouped: false, barPercentage: 0.9, minBarLength: 3, order: 1 },
    { label: 'TTFF median - p95 (s)', data: receivers.map(r => r.core), backgroundColor: '#1f77b4', grouped: false, barPercentage: 0.5, minBarLength: 3, order: 0 }] },
  options: { indexAxis: 'y', responsive: false,
             scales: { x: { beginAtZero: true, grace: '5%', title: { display: true, text: 'TTFF (s)' } }, y: { ticks: { autoSkip: false } } } }
});
receivers.forEach((r, i) => {
  const cycles = r.ttff.map((_, n) => n + 1);
  new Chart(document.getElementById('ttff' + i), {
    type: 'line',
    data: { labels: cycles, datasets: [
      { label: 'TTFF (s)', data: r.ttff, borderColor: '#1f77b4', backgroundColor: '#1f77b4' },
      { label: 'restart (s)', data: r.restart, borderColor: '#ff7f0e', backgroundColor: '#ff7f0e' }] },
    options: { responsive: false, scales: { x: { title: { display: true, text: 'cycle' } },
                                            y: { beginAtZero: true, title: { display: true, text: 's' } } } }
  });
  const values = r.ttff.filter(v => v !== null);
  const low = values.length ? Math.floor(Math.min(...values)) : 0;
  const high = values.length ? Math.floor(Math.max(...values)) + 1 : 1;
  const width = Math.max(1, Math.ceil((high - low) / 12));
  const bins = [], labels = [];
  for (let b = low; b <= high; b += width) { labels.push(b + '-' + (b + width)); bins.push(0); }
  values.forEach(v => bins[Math.min(bins.length - 1, Math.floor((v - low) / width))]++);
  new Chart(document.getElementById('hist' + i), {
    type: 'bar',
    data: { labels: labels, datasets: [{ label: 'cycles by TTFF (s)', data: bins, backgroundColor: '#2ca02c' }] },
    options: { responsive: false, scales: { y: { beginAtZero: true, ticks: { precision: 0 } } } }
  });
});
)";

}  // namespace

bool WriteReport(const std::string& path, const std::vector<Tally>& tallies, std::string& error,
                 const PassRule& rule, const std::string& chartJs, int reloadS) {
    std::ostringstream script;
    script << std::ifstream(chartJs).rdbuf();
    const bool charts = !script.str().empty();

    std::ostringstream page;
    page << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">";
    if (reloadS > 0) page << "<meta http-equiv=\"refresh\" content=\"" << reloadS << "\">";
    page << "<title>quorvel-lab report</title>"
         << "<style>" << kStyle << "</style></head><body>\n<h1>quorvel-lab report</h1>\n<p>Written "
         << UtcNow() << "</p>\n";
    // Every receiver at a glance: one bar per receiver, its TTFF range and its median to p95.
    page << "<h2>Overview</h2>\n<canvas id=\"overview\" width=\"1100\" height=\""
         << 100 + 18 * tallies.size() << "\"></canvas>\n<table><tr>";
    for (const std::string& cell : SummaryHeader(rule)) page << "<th>" << Html(cell) << "</th>";
    page << "</tr>\n";
    for (const Tally& t : tallies) {
        page << "<tr>";
        for (const std::string& cell : SummaryCells(t, rule))
            page << "<td>" << Html(cell) << "</td>";
        page << "</tr>\n";
    }
    page << "</table>\n";
    if (!charts)
        page << "<p>No charts: " << Html(chartJs)
             << " (Debian package libjs-chart.js) is missing.</p>\n";
    for (std::size_t i = 0; i < tallies.size(); ++i) {
        const std::string& profile = tallies[i].profile;
        page << "<h2>" << Html(tallies[i].receiver + (profile.empty() ? "" : " (" + profile + ")"))
             << "</h2>\n<div class=\"charts\">"
             << "<canvas id=\"ttff" << i << "\" width=\"540\" height=\"260\"></canvas>"
             << "<canvas id=\"hist" << i << "\" width=\"540\" height=\"260\"></canvas></div>\n";
    }
    if (charts) {
        page << "<script>" << script.str() << "</script>\n<script>\nconst receivers = [\n";
        for (const Tally& t : tallies) {
            const auto spread = SpreadOf(Present(t.ttffByCycle));
            page << "{name: " << JsonString(t.receiver) << ", ttff: " << JsonNumbers(t.ttffByCycle)
                 << ", restart: " << JsonNumbers(t.restartByCycle)
                 << ", range: " << JsonRange(spread, false) << ", core: " << JsonRange(spread, true)
                 << "},\n";
        }
        page << "];\n" << kDrawCharts << "</script>\n";
    }
    page << "</body></html>\n";

    return WriteWhole(path, page.str(), error);
}

}  // namespace quorvel::lab

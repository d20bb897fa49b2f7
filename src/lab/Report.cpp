#include "lab/Report.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
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

// Numbers for the page's script: null where there is none, or where a number is not finite
// (JSON has no inf or nan; one in the script would stop every chart).
std::string JsonNumbers(const std::vector<double>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i)
        out += (i ? "," : "") + (std::isfinite(values[i]) ? Fixed(values[i], 2) : "null");
    return out + "]";
}

std::string JsonRange(const std::optional<Spread>& s, bool core) {
    if (!s) return "null";
    return JsonNumbers({core ? s->median : s->min, core ? s->p95 : s->max});
}

// The values that are numbers: not NaN (no value), nor infinite.
std::vector<double> Finite(const std::vector<double>& values) {
    std::vector<double> finite;
    std::copy_if(values.begin(), values.end(), std::back_inserter(finite),
                 [](double v) { return std::isfinite(v); });
    return finite;
}

// At most this many points per line chart: beyond it each point stands for a run of cycles.
// The canvas is 540 pixels wide, and the page stays small for a year of cycles.
constexpr std::size_t kMostPoints = 500;

// One receiver's TTFF and restart over the cycles, as the page's script takes them: every cycle,
// or for a long run per run of `stride` cycles the median, and for TTFF its min and max too.
std::string JsonCycles(const Tally& t) {
    const std::size_t n = t.ttffByCycle.size();
    const std::size_t stride = (n + kMostPoints - 1) / kMostPoints;
    if (stride <= 1)
        return "stride: 1, ttff: " + JsonNumbers(t.ttffByCycle) +
               ", restart: " + JsonNumbers(t.restartByCycle) + ", low: [], high: []";
    std::vector<double> ttff, restart, low, high;
    for (std::size_t first = 0; first < n; first += stride) {
        const auto run = [&](const std::vector<double>& all) {
            return SpreadOf(
                Finite({all.begin() + static_cast<std::ptrdiff_t>(first),
                        all.begin() + static_cast<std::ptrdiff_t>(std::min(n, first + stride))}));
        };
        const auto t1 = run(t.ttffByCycle), r1 = run(t.restartByCycle);
        ttff.push_back(t1 ? t1->median : NAN);
        low.push_back(t1 ? t1->min : NAN);
        high.push_back(t1 ? t1->max : NAN);
        restart.push_back(r1 ? r1->median : NAN);
    }
    return "stride: " + std::to_string(stride) + ", ttff: " + JsonNumbers(ttff) +
           ", restart: " + JsonNumbers(restart) + ", low: " + JsonNumbers(low) +
           ", high: " + JsonNumbers(high);
}

// The TTFF histogram, counted here over every cycle: about 12 bins of whole seconds from the
// lowest to the highest TTFF.
std::string JsonHistogram(const Tally& t) {
    const auto values = Finite(t.ttffByCycle);
    const auto [lowest, highest] = std::minmax_element(values.begin(), values.end());
    const double low = values.empty() ? 0 : std::floor(*lowest);
    const double high = values.empty() ? 1 : std::floor(*highest) + 1;
    const double width = std::max(1.0, std::ceil((high - low) / 12));
    const auto count = static_cast<std::size_t>((high - low) / width) + 1;
    std::vector<double> bins(count, 0);
    for (double v : values)
        bins[std::min(count - 1, static_cast<std::size_t>((v - low) / width))]++;
    std::string labels = "[";
    for (std::size_t b = 0; b < count; ++b) {
        const double from = low + static_cast<double>(b) * width;
        labels += (b ? "," : "") + JsonString(Fixed(from, 0) + "-" + Fixed(from + width, 0));
    }
    return "bins: " + JsonNumbers(bins) + ", binLabels: " + labels + "]";
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
  const cycles = r.ttff.map((_, n) => n * r.stride + 1);
  const band = (label, data) => ({ label: label, data: data, borderColor: '#aec7e8', backgroundColor: 'rgba(174, 199, 232, 0.3)', pointRadius: 0, borderWidth: 1 });
  new Chart(document.getElementById('ttff' + i), {
    type: 'line',
    data: { labels: cycles, datasets: [
      { label: 'TTFF (s)', data: r.ttff, borderColor: '#1f77b4', backgroundColor: '#1f77b4', pointRadius: r.stride > 1 ? 0 : 3 },
      { label: 'restart (s)', data: r.restart, borderColor: '#ff7f0e', backgroundColor: '#ff7f0e', pointRadius: r.stride > 1 ? 0 : 3 }]
      .concat(r.stride > 1 ? [band('TTFF min (s)', r.low), Object.assign(band('TTFF max (s)', r.high), { fill: '-1' })] : []) },
    options: { responsive: false, scales: { x: { title: { display: true, text: 'cycle' } },
                                            y: { beginAtZero: true, title: { display: true, text: 's' } } },
               plugins: { title: { display: r.stride > 1, text: 'each point: median of ' + r.stride + ' cycles; band: TTFF min - max' } } }
  });
  new Chart(document.getElementById('hist' + i), {
    type: 'bar',
    data: { labels: r.binLabels, datasets: [{ label: 'cycles by TTFF (s)', data: r.bins, backgroundColor: '#2ca02c' }] },
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
            const auto spread = SpreadOf(Finite(t.ttffByCycle));
            page << "{name: " << JsonString(t.receiver) << ", " << JsonCycles(t) << ", "
                 << JsonHistogram(t) << ", range: " << JsonRange(spread, false)
                 << ", core: " << JsonRange(spread, true) << "},\n";
        }
        page << "];\n" << kDrawCharts << "</script>\n";
    }
    page << "</body></html>\n";

    return WriteWhole(path, page.str(), error);
}

}  // namespace quorvel::lab

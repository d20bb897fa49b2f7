#include "lab/present/Report.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "lab/present/WholeFile.h"

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

// Each cycle's first-fix error (m) against its TTFF (s), for the cycles that have both.
std::pair<std::vector<double>, std::vector<double>> ErrorAgainstTtff(const Tally& t) {
    std::vector<double> x, y;
    for (std::size_t i = 0; i < t.ttffByCycle.size() && i < t.errorByCycle.size(); ++i) {
        if (std::isfinite(t.ttffByCycle[i]) && std::isfinite(t.errorByCycle[i])) {
            x.push_back(t.ttffByCycle[i]);
            y.push_back(t.errorByCycle[i]);
        }
    }
    return {x, y};
}

// The scatter's points: every cycle's or, past kMostPoints of them, the first of each cell of a
// grid over their range, so that a year of cycles stays small and every outlier keeps its point.
std::string JsonScatter(const Tally& t) {
    auto [x, y] = ErrorAgainstTtff(t);
    const std::size_t all = x.size();
    if (all > kMostPoints) {
        constexpr std::size_t kColumns = 100, kRows = 50;
        const auto [xLow, xHigh] = std::minmax_element(x.begin(), x.end());
        const auto [yLow, yHigh] = std::minmax_element(y.begin(), y.end());
        const double x0 = *xLow, xCell = (*xHigh - x0) / (kColumns - 1);
        const double y0 = *yLow, yCell = (*yHigh - y0) / (kRows - 1);
        std::vector<bool> taken(kColumns * kRows);
        std::vector<double> keptX, keptY;
        for (std::size_t i = 0; i < all; ++i) {
            const auto column = xCell > 0 ? static_cast<std::size_t>((x[i] - x0) / xCell) : 0;
            const auto row = yCell > 0 ? static_cast<std::size_t>((y[i] - y0) / yCell) : 0;
            if (taken[column * kRows + row]) continue;
            taken[column * kRows + row] = true;
            keptX.push_back(x[i]);
            keptY.push_back(y[i]);
        }
        x.swap(keptX);
        y.swap(keptY);
    }
    return "errors: " + std::to_string(all) + ", ex: " + JsonNumbers(x) + ", ey: " + JsonNumbers(y);
}

std::string Joined(const std::vector<std::string>& texts, const char* between = ", ") {
    std::string out;
    for (const std::string& text : texts) out += (out.empty() ? "" : between) + text;
    return out;
}

// `more` appended to `list` unless it is there already.
void AddOnce(std::vector<std::string>& list, const std::string& more) {
    if (std::find(list.begin(), list.end(), more) == list.end()) list.push_back(more);
}

// A number as a person writes it: 60, 94.95.
std::string Plain(double value) {
    std::ostringstream out;
    out << value;
    return out.str();
}

std::string PassRuleText(const PassRule& rule) {
    if (!rule.ttffS) return "none (no --pass-ttff)";
    return "a cycle passes with verdict ok and a TTFF of at most " + Plain(*rule.ttffS) +
           " s; a receiver passes when at least " + Plain(rule.ratePct) +
           " % of its judged cycles pass";
}

// What counted as the first fix; with several rules, each with the receivers it held for.
std::string TtffRules(const std::vector<Tally>& tallies) {
    std::vector<std::string> rules;
    std::vector<std::vector<std::string>> receivers;
    for (const Tally& t : tallies) {
        const std::string rule = t.ttffRule.empty() ? "not known (no row names it)" : t.ttffRule;
        const auto at = std::find(rules.begin(), rules.end(), rule) - rules.begin();
        if (at == static_cast<std::ptrdiff_t>(rules.size())) {
            rules.push_back(rule);
            receivers.emplace_back();
        }
        AddOnce(receivers[static_cast<std::size_t>(at)], t.receiver);
    }
    if (rules.size() <= 1) return rules.empty() ? "not known (no row names it)" : rules[0];
    for (std::size_t i = 0; i < rules.size(); ++i) rules[i] += " (" + Joined(receivers[i]) + ")";
    return Joined(rules, "; ");
}

std::string HostName() {
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        return std::string("unknown (") + std::strerror(errno) + ")";
    return host;
}

// Head text for the page: control characters shown, markup escaped.
std::string Shown(const std::string& text) { return Html(EscapeControls(text)); }

std::string HeadHtml(const ReportHead& head, const std::vector<Tally>& tallies,
                     const PassRule& rule) {
    std::vector<std::pair<std::string, std::string>> rows = {
        {"written", UtcNow() + " by quorvel-lab " QUORVEL_VERSION " on host " + HostName()}};
    if (!head.source.empty()) rows.emplace_back("made from", head.source);
    if (!head.run.empty()) rows.emplace_back("run", head.run);
    rows.insert(rows.end(), head.settings.begin(), head.settings.end());
    rows.emplace_back("pass rule", PassRuleText(rule));
    rows.emplace_back("what counted as the first fix", TtffRules(tallies));
    std::string html = "<table class=\"head\">\n";
    for (const auto& [name, value] : rows)
        html += "<tr><th>" + Shown(name) + "</th><td>" + Shown(value) + "</td></tr>\n";
    html += "</table>\n";
    if (head.ports.empty()) return html;
    html +=
        "<table class=\"head\"><tr><th>port</th><th>profile</th><th>starts</th>"
        "<th>order</th><th>sign</th></tr>\n";
    for (const ReportHead::Port& p : head.ports) {
        html += "<tr>";
        for (const std::string* cell : {&p.name, &p.profile, &p.starts, &p.orders, &p.sign})
            html += "<td>" + Shown(*cell) + "</td>";
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

// The run's outcome at the top, in words and a symbol as well as colour: a print in black and
// white still tells PASS from FAIL.
std::string VerdictHtml(const std::vector<Tally>& tallies, const PassRule& rule) {
    if (!rule.ttffS) return {};
    std::vector<std::string> failing;
    for (const Tally& t : tallies) {
        if (!StandingOf(t, rule).pass)
            failing.push_back(t.receiver + (t.start.empty() ? "" : " " + t.start));
    }
    if (failing.empty())
        return "<p class=\"verdict pass\">&#10004; PASS: every receiver passes</p>\n";
    return "<p class=\"verdict fail\">&#10008; FAIL: " + std::to_string(failing.size()) + " of " +
           std::to_string(tallies.size()) + " fail: " + Shown(Joined(failing)) + "</p>\n";
}

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 24px; color: #111; background: #fff; }
table { border-collapse: collapse; margin-bottom: 24px; }
th, td { border: 1px solid #999; padding: 4px 8px; text-align: right; }
th:first-child, td:first-child { text-align: left; }
table.head th, table.head td { text-align: left; }
table.head th { background: #eee; }
.pass, .fail { font-weight: bold; white-space: nowrap; }
.pass { background: #c8e6c9; border: 2px solid #111; }
.fail { background: #f8c8c8; border: 4px double #111; }
p.verdict { display: inline-block; padding: 6px 12px; font-size: 1.2em; }
.charts { display: flex; flex-wrap: wrap; gap: 24px; }
canvas { border: 1px solid #ccc; }
#overview { display: block; margin-bottom: 24px; }
@media print { * { -webkit-print-color-adjust: exact; print-color-adjust: exact; } }
)";

// Draws the overview and every receiver's two charts from `receivers`; no animation, so a
// snapshot of the page shows them complete.
constexpr const char* kDrawCharts = R"(
Chart.defaults.animation = false;
// The --pass-ttff limit as a dashed line across the chart, at `limit` on its `axis`; the axis
// reaches past it, so the line shows even when every TTFF is far below.
const reach = limit === null ? undefined : limit * 1.05;
const limitLine = axis => ({ id: 'passLimit', afterDatasetsDraw(chart) {
  if (limit === null) return;
  const a = chart.chartArea, c = chart.ctx, at = chart.scales[axis].getPixelForValue(limit);
  c.save();
  c.strokeStyle = c.fillStyle = '#d62728';
  c.lineWidth = 2;
  c.setLineDash([6, 4]);
  c.beginPath();
  if (axis === 'x') { c.moveTo(at, a.top); c.lineTo(at, a.bottom); } else { c.moveTo(a.left, at); c.lineTo(a.right, at); }
  c.stroke();
  const label = 'pass limit ' + limit + ' s', width = c.measureText(label).width;
  if (axis === 'x') c.fillText(label, at + 4 + width > a.right ? at - 4 - width : at + 4, a.top + 10);
  else c.fillText(label, a.left + 4, at - 4);
  c.restore();
} });
new Chart(document.getElementById('overview'), {
  type: 'bar',
  data: { labels: receivers.map(r => r.name), datasets: [
    { label: 'TTFF min - max (s)', data: receivers.map(r => r.range), backgroundColor: '#c7c7c7', grouped: false, barPercentage: 0.9, minBarLength: 3, order: 1 },
    { label: 'TTFF median - p95 (s)', data: receivers.map(r => r.core), backgroundColor: '#1f77b4', grouped: false, barPercentage: 0.5, minBarLength: 3, order: 0 }] },
  options: { indexAxis: 'y', responsive: false,
             scales: { x: { beginAtZero: true, grace: '5%', suggestedMax: reach, title: { display: true, text: 'TTFF (s)' } }, y: { ticks: { autoSkip: false } } } },
  plugins: [limitLine('x')]
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
                                            y: { beginAtZero: true, suggestedMax: reach, title: { display: true, text: 's' } } },
               plugins: { title: { display: r.stride > 1, text: 'each point: median of ' + r.stride + ' cycles; band: TTFF min - max' } } },
    plugins: [limitLine('y')]
  });
  new Chart(document.getElementById('hist' + i), {
    type: 'bar',
    data: { labels: r.binLabels, datasets: [{ label: 'cycles by TTFF (s)', data: r.bins, backgroundColor: '#2ca02c' }] },
    options: { responsive: false, scales: { y: { beginAtZero: true, ticks: { precision: 0 } } } }
  });
  if (!r.errors) return;
  new Chart(document.getElementById('error' + i), {
    type: 'scatter',
    data: { datasets: [{ label: 'first fix: error (m) against TTFF (s)', data: r.ex.map((x, k) => ({ x: x, y: r.ey[k] })), borderColor: '#9467bd', backgroundColor: '#9467bd', pointRadius: 3 }] },
    options: { responsive: false, scales: { x: { beginAtZero: true, suggestedMax: reach, title: { display: true, text: 'TTFF (s)' } },
                                            y: { beginAtZero: true, title: { display: true, text: 'error (m)' } } },
               plugins: { title: { display: r.ex.length < r.errors, text: r.errors + ' cycles; a point stands for the cycles close to it' } } },
    plugins: [limitLine('x')]
  });
});
)";

}  // namespace

bool WriteReport(const std::string& path, const std::vector<Tally>& tallies, std::string& error,
                 const PassRule& rule, const ReportHead& head, const std::string& chartJs,
                 int reloadS) {
    std::ostringstream script;
    script << std::ifstream(chartJs).rdbuf();
    const bool charts = !script.str().empty();
    const SummaryShape shape = ShapeOf(tallies);

    std::ostringstream page;
    page << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\">";
    if (reloadS > 0) page << "<meta http-equiv=\"refresh\" content=\"" << reloadS << "\">";
    page << "<title>quorvel-lab report</title>"
         << "<style>" << kStyle << "</style></head><body>\n<h1>quorvel-lab report</h1>\n"
         << VerdictHtml(tallies, rule) << HeadHtml(head, tallies, rule);
    // Every receiver at a glance: one bar per receiver, its TTFF range and its median to p95.
    page << "<h2>Overview</h2>\n<canvas id=\"overview\" width=\"1100\" height=\""
         << 100 + 18 * tallies.size() << "\"></canvas>\n<table><tr>";
    for (const std::string& cell : SummaryHeader(rule, shape))
        page << "<th>" << Html(cell) << "</th>";
    page << "</tr>\n";
    for (const Tally& t : tallies) {
        page << "<tr>";
        auto cells = SummaryCells(t, rule, shape);
        const std::string standing = rule.ttffS ? cells.back() : "";
        if (rule.ttffS) cells.pop_back();
        for (const std::string& cell : cells) page << "<td>" << Html(cell) << "</td>";
        if (rule.ttffS)
            page << (StandingOf(t, rule).pass ? "<td class=\"pass\">&#10004; "
                                              : "<td class=\"fail\">&#10008; ")
                 << Html(standing) << "</td>";
        page << "</tr>\n";
    }
    page << "</table>\n";
    if (const auto notes = SummaryNotes(tallies); !notes.empty()) {
        page << "<ul class=\"notes\">\n";
        for (const std::string& note : notes) page << "<li>" << Html(note) << "</li>\n";
        page << "</ul>\n";
    }
    if (!charts)
        page << "<p>No charts: " << Html(chartJs)
             << " (Debian package libjs-chart.js) is missing.</p>\n";
    for (std::size_t i = 0; i < tallies.size(); ++i) {
        const Tally& t = tallies[i];
        std::vector<std::string> about;
        if (!t.profile.empty()) about.push_back(t.profile);
        if (!t.start.empty()) about.push_back(t.start + " start");
        page << "<h2>" << Shown(t.receiver + (about.empty() ? "" : " (" + Joined(about) + ")"))
             << "</h2>\n<div class=\"charts\">"
             << "<canvas id=\"ttff" << i << "\" width=\"540\" height=\"260\"></canvas>"
             << "<canvas id=\"hist" << i << "\" width=\"540\" height=\"260\"></canvas>";
        if (!ErrorAgainstTtff(t).first.empty())
            page << "<canvas id=\"error" << i << "\" width=\"540\" height=\"260\"></canvas>";
        page << "</div>\n";
    }
    if (charts) {
        page << "<script>" << script.str()
             << "</script>\n<script>\nconst limit = " << (rule.ttffS ? Plain(*rule.ttffS) : "null")
             << ";\nconst receivers = [\n";
        for (const Tally& t : tallies) {
            const auto spread = SpreadOf(Finite(t.ttffByCycle));
            page << "{name: " << JsonString(t.receiver + (t.start.empty() ? "" : " " + t.start))
                 << ", " << JsonCycles(t) << ", " << JsonHistogram(t) << ", " << JsonScatter(t)
                 << ", range: " << JsonRange(spread, false) << ", core: " << JsonRange(spread, true)
                 << "},\n";
        }
        page << "];\n" << kDrawCharts << "</script>\n";
    }
    page << "</body></html>\n";

    // A browser never sees half a page, and a failed write leaves the last good one.
    std::string reason;
    if (WriteWhole(path, page.str(), reason)) return true;
    error = "cannot write the report " + path + ": " + reason;
    return false;
}

ReportHead RunHead(const LabOptions& options, const std::vector<std::string>& profiles,
                   double elapsedS, bool ended) {
    const auto now = std::chrono::system_clock::now();
    const auto began = now - std::chrono::milliseconds(std::llround(elapsedS * 1000));
    ReportHead head{
        .source = "this run",
        .run = "from " + UtcText(began, kUtcSeconds) + (ended ? " to " + UtcText(now, kUtcSeconds) : ", under way")};
    std::string end =
        options.cycles ? std::to_string(*options.cycles) + " judged cycles a receiver" : "";
    if (options.durationS)
        end += (end.empty() ? "" : " or ") + Plain(*options.durationS) + " s" +
               (options.cycles ? ", whichever comes first" : "");
    head.settings = {
        {"interval",
         std::to_string(options.interval) + " s from a confirmed restart to the next order"},
        {"duration or cycles", end.empty() ? "until stopped" : end},
        {"fix limit", std::to_string(options.fixLimit) + " s without a fix, then no-fix"}};
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        const PortSpec& port = options.ports[i];
        const std::string profile = i < profiles.size() ? profiles[i] : port.profile;
        // As the receiver runs it: an `auto` port has no family, and so no order, until named.
        const Profile* family = FindProfile(profile);
        std::vector<std::string> starts, orders;
        for (const Start start : port.starts) {
            starts.push_back(StartName(start));
            if (const std::string* order = family ? family->OrderFor(start) : nullptr)
                orders.push_back(std::string(StartName(start)) + ": " + PrintableOrder(*order));
        }
        if (options.order) orders = {PrintableOrder(*options.order) + " (--order, every start)"};
        const RestartSign sign =
            options.sign.value_or(family ? family->sign : RestartSign::FixLost);
        head.ports.push_back(
            {port.name, profile, Joined(starts),
             orders.empty() ? "none until its family is named" : Joined(orders, "; "),
             SignName(sign) + std::string(options.sign ? " (--sign)" : "")});
    }
    return head;
}

ReportHead JournalsHead(const std::vector<std::string>& journals, const std::vector<Tally>& tallies,
                        const std::string& firstUtc, const std::string& lastUtc) {
    const std::string unknown = "not in the journals";
    ReportHead head{.source = "the journals " + Joined(journals),
                    .run = firstUtc.empty()
                               ? unknown
                               : "rows from " + firstUtc + " to " + lastUtc +
                                     " (the run's own start and end are not in the journals)"};
    head.settings = {
        {"interval", unknown}, {"duration or cycles", unknown}, {"fix limit", unknown}};
    std::vector<std::string> receivers;
    std::vector<std::vector<std::string>> profiles, starts;
    for (const Tally& t : tallies) {
        const auto at = static_cast<std::size_t>(
            std::find(receivers.begin(), receivers.end(), t.receiver) - receivers.begin());
        if (at == receivers.size()) {
            receivers.push_back(t.receiver);
            profiles.emplace_back();
            starts.emplace_back();
        }
        if (!t.profile.empty()) AddOnce(profiles[at], t.profile);
        if (!t.start.empty()) AddOnce(starts[at], t.start);
    }
    for (std::size_t i = 0; i < receivers.size(); ++i)
        head.ports.push_back({receivers[i], profiles[i].empty() ? unknown : Joined(profiles[i]),
                              starts[i].empty() ? unknown : Joined(starts[i]), unknown, unknown});
    return head;
}

}  // namespace quorvel::lab

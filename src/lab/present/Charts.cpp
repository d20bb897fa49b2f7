#include "lab/present/Charts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>

namespace quorvel::lab {
namespace {

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

}  // namespace

std::string ChartData(const Tally& t) {
    const auto spread = SpreadOf(Finite(t.ttffByCycle));
    return "{name: " + JsonString(t.receiver + (t.start.empty() ? "" : " " + t.start)) + ", " +
           JsonCycles(t) + ", " + JsonHistogram(t) + ", " + JsonScatter(t) +
           ", range: " + JsonRange(spread, false) + ", core: " + JsonRange(spread, true) + "}";
}

bool HasErrorChart(const Tally& t) { return !ErrorAgainstTtff(t).first.empty(); }

std::string BoundsData(const Tally& t, const PassRule& rule) {
    std::vector<double> judged, lower, upper;
    int good = 0, bad = 0;
    const std::size_t cycles = t.verdictByCycle.size();
    // Bounds cost two beta quantiles: a long run is drawn at evenly spread cycles.
    const std::size_t stride = std::max<std::size_t>(1, cycles / kMostBoundPoints + 1);
    for (std::size_t i = 0; i < cycles; ++i) {
        if (!Judged(t.verdictByCycle[i])) continue;
        (t.Good(i, rule) ? good : bad) += 1;
        if ((good + bad) % stride != 0 && i + 1 != cycles) continue;
        const SuccessBounds b = BoundsAt(good, bad, *rule.confidencePct);
        judged.push_back(good + bad);
        lower.push_back(100 * b.lower);
        upper.push_back(100 * b.upper);
    }
    return "bounds: {at: " + JsonNumbers(judged) + ", low: " + JsonNumbers(lower) +
           ", high: " + JsonNumbers(upper) + "}";
}

// Draws the overview and every receiver's charts from `receivers`; no animation, so a
// snapshot of the page shows them complete.
const char* const kDrawCharts = R"(
Chart.defaults.animation = false;
// A receiver's section holds only the charts it has something for.
const draw = (id, config) => { const canvas = document.getElementById(id); if (canvas) new Chart(canvas, config); };
// A long name shortened on the overview's axis, its end kept: that is where by-id paths and
// journals' receivers differ. The table has it whole.
const shortName = name => name.length <= 40 ? name : name.slice(0, 12) + '\u2026' + name.slice(-27);
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
             scales: { x: { beginAtZero: true, grace: '5%', suggestedMax: reach, title: { display: true, text: 'TTFF (s)' } },
                       y: { ticks: { autoSkip: false, callback(value) { return shortName(this.getLabelForValue(value)); } } } } },
  plugins: [limitLine('x')]
});
receivers.forEach((r, i) => {
  const cycles = r.ttff.map((_, n) => n * r.stride + 1);
  const band = (label, data) => ({ label: label, data: data, borderColor: '#aec7e8', backgroundColor: 'rgba(174, 199, 232, 0.3)', pointRadius: 0, borderWidth: 1 });
  draw('ttff' + i, {
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
  draw('hist' + i, {
    type: 'bar',
    data: { labels: r.binLabels, datasets: [{ label: 'cycles by TTFF (s)', data: r.bins, backgroundColor: '#2ca02c' }] },
    options: { responsive: false, scales: { y: { beginAtZero: true, ticks: { precision: 0 } } } }
  });
  if (r.bounds && decision !== null) {
    const level = (label, y, colour) => ({ label: label, data: r.bounds.at.map(x => ({ x: x, y: y })), borderColor: colour, borderDash: [6, 4], pointRadius: 0, borderWidth: 2 });
    draw('bounds' + i, {
      type: 'line',
      data: { datasets: [
        { label: 'good starts: lower bound (%)', data: r.bounds.at.map((x, k) => ({ x: x, y: r.bounds.low[k] })), borderColor: '#1f77b4', pointRadius: 0 },
        { label: 'upper bound (%)', data: r.bounds.at.map((x, k) => ({ x: x, y: r.bounds.high[k] })), borderColor: '#aec7e8', pointRadius: 0, fill: '-1', backgroundColor: 'rgba(174, 199, 232, 0.3)' },
        level('pass: lower bound above ' + decision.pass + ' %', decision.pass, '#2ca02c'),
        level('fail: upper bound below ' + decision.fail + ' %', decision.fail, '#d62728')] },
      options: { responsive: false, scales: { x: { type: 'linear', title: { display: true, text: 'judged cycles' } },
                                              y: { min: 0, max: 100, title: { display: true, text: 'good starts (%)' } } } }
    });
  }
  if (!r.errors) return;
  draw('error' + i, {
    type: 'scatter',
    data: { datasets: [{ label: 'first fix: error (m) against TTFF (s)', data: r.ex.map((x, k) => ({ x: x, y: r.ey[k] })), borderColor: '#9467bd', backgroundColor: '#9467bd', pointRadius: 3 }] },
    options: { responsive: false, scales: { x: { beginAtZero: true, suggestedMax: reach, title: { display: true, text: 'TTFF (s)' } },
                                            y: { beginAtZero: true, title: { display: true, text: 'error (m)' } } },
               plugins: { title: { display: r.ex.length < r.errors, text: r.errors + ' cycles; a point stands for the cycles close to it' } } },
    plugins: [limitLine('x')]
  });
});
)";

}  // namespace quorvel::lab

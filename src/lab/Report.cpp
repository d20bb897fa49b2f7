#include "lab/Report.h"

#include <cmath>
#include <cstdio>
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

std::string JsonNumbers(const std::vector<float>& values) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) {
        char number[32];
        if (std::isnan(values[i]))
            std::snprintf(number, sizeof number, "null");
        else
            std::snprintf(number, sizeof number, "%.1f", static_cast<double>(values[i]));
        out += (i ? "," : "") + std::string(number);
    }
    return out + "]";
}

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 24px; color: #111; background: #fff; }
table { border-collapse: collapse; margin-bottom: 24px; }
th, td { border: 1px solid #999; padding: 4px 8px; text-align: right; }
th:first-child, td:first-child { text-align: left; }
.charts { display: flex; gap: 24px; }
canvas { border: 1px solid #ccc; }
)";

// Draws every receiver's two charts from `receivers`; no animation, so a snapshot of the page
// shows them complete.
constexpr const char* kDrawCharts = R"(
Chart.defaults.animation = false;
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

bool WriteReport(const std::string& path, const std::vector<Tally>& tallies,
                 const std::string& chartJs) {
    std::ostringstream script;
    script << std::ifstream(chartJs).rdbuf();
    const bool charts = !script.str().empty();

    std::ostringstream page;
    page << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>quorvel-lab report</title>"
         << "<style>" << kStyle << "</style></head><body>\n<h1>quorvel-lab report</h1>\n<p>Written "
         << UtcNow() << "</p>\n<table><tr>";
    for (const std::string& cell : SummaryHeader()) page << "<th>" << Html(cell) << "</th>";
    page << "</tr>\n";
    for (const Tally& t : tallies) {
        page << "<tr>";
        for (const std::string& cell : SummaryCells(t)) page << "<td>" << Html(cell) << "</td>";
        page << "</tr>\n";
    }
    page << "</table>\n";
    if (!charts)
        page << "<p>No charts: " << Html(chartJs)
             << " (Debian package libjs-chart.js) is missing.</p>\n";
    for (std::size_t i = 0; i < tallies.size(); ++i) {
        page << "<h2>" << Html(tallies[i].receiver) << "</h2>\n<div class=\"charts\">"
             << "<canvas id=\"ttff" << i << "\" width=\"540\" height=\"260\"></canvas>"
             << "<canvas id=\"hist" << i << "\" width=\"540\" height=\"260\"></canvas></div>\n";
    }
    if (charts) {
        page << "<script>" << script.str() << "</script>\n<script>\nconst receivers = [\n";
        for (const Tally& t : tallies) {
            page << "{name: " << JsonString(t.receiver) << ", ttff: " << JsonNumbers(t.ttffByCycle)
                 << ", restart: " << JsonNumbers(t.restartByCycle) << "},\n";
        }
        page << "];\n" << kDrawCharts << "</script>\n";
    }
    page << "</body></html>\n";

    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << page.str();
    return static_cast<bool>(out.flush());
}

}  // namespace quorvel::lab

#include "lab/Stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace quorvel::lab {
namespace {

std::string SpreadText(const std::vector<double>& values) {
    const auto s = SpreadOf(values);
    if (!s) return "-";
    char text[80];
    std::snprintf(text, sizeof text, "%.1f / %.1f / %.1f / %.1f", s->min, s->median, s->p95,
                  s->max);
    return text;
}

}  // namespace

std::optional<Spread> SpreadOf(std::vector<double> v) {
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double median = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    const auto rank = static_cast<std::size_t>(std::ceil(0.95 * static_cast<double>(n)));
    return Spread{v.front(), median, v[rank - 1], v.back()};
}

void Tally::Add(const Row& row) {
    for (std::size_t i = 0; i < kVerdicts.size(); ++i) {
        if (row.verdict == kVerdicts[i]) ++verdicts[i];
    }
    restartByCycle.push_back(row.restartS ? static_cast<float>(*row.restartS) : NAN);
    ttffByCycle.push_back(row.ttffS ? static_cast<float>(*row.ttffS) : NAN);
}

std::vector<double> Present(const std::vector<float>& all) {
    std::vector<double> values;
    for (float t : all) {
        if (!std::isnan(t)) values.push_back(t);
    }
    return values;
}

std::vector<std::string> SummaryHeader() {
    std::vector<std::string> header = {"receiver", "cycles"};
    header.insert(header.end(), kVerdicts.begin(), kVerdicts.end());
    header.push_back("restart_s min / median / p95 / max");
    header.push_back("ttff_s min / median / p95 / max");
    return header;
}

std::vector<std::string> SummaryCells(const Tally& t) {
    std::vector<std::string> cells = {t.receiver, std::to_string(t.Cycles())};
    for (int count : t.verdicts) cells.push_back(std::to_string(count));
    cells.push_back(SpreadText(Present(t.restartByCycle)));
    cells.push_back(SpreadText(Present(t.ttffByCycle)));
    return cells;
}

std::string SummaryText(const std::vector<Tally>& tallies) {
    std::vector<std::vector<std::string>> lines = {SummaryHeader()};
    for (const Tally& t : tallies) lines.push_back(SummaryCells(t));
    std::vector<std::size_t> widths(lines[0].size(), 0);
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < line.size(); ++i)
            widths[i] = std::max(widths[i], line[i].size());
    }
    std::string text;
    for (const auto& line : lines) {
        for (std::size_t i = 0; i < line.size(); ++i) {
            text += line[i];
            if (i + 1 < line.size()) text += std::string(widths[i] - line[i].size() + 2, ' ');
        }
        text += '\n';
    }
    return text;
}

}  // namespace quorvel::lab

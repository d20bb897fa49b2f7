#include "lab/present/Report.h"

#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "lab/families/Orders.h"
#include "lab/families/Profiles.h"
#include "lab/present/Charts.h"
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
    std::string text = "a cycle passes with verdict ok and a TTFF of at most " +
                       Plain(*rule.ttffS) + " s";
    if (rule.errorM) text += " and its first fix within " + Plain(*rule.errorM) + " m";
    text += "; a receiver passes when at least " + Plain(rule.ratePct) +
            " % of its judged cycles pass";
    if (rule.confidencePct)
        text += ", decided after every judged cycle at " + Plain(*rule.confidencePct) +
                " % confidence, bad-receiver factor " + Plain(rule.badFactor);
    return text;
}

// With --confidence, the decision of each receiver and start; else its pass or fail.
Decision DecisionOf(const Tally& t, const PassRule& rule) {
    if (rule.confidencePct) return t.Decided(rule).decision;
    return StandingOf(t, rule).pass ? Decision::Pass : Decision::Fail;
}

// What counted as the first fix; with several rules, each with the receivers it held for.
std::string TtffRules(const std::vector<Tally>& tallies) {
    std::vector<std::string> rules;
    std::vector<std::vector<std::string>> receivers;
    // A rack of ten thousand receivers is named once each without a search through all of them.
    std::set<std::pair<std::size_t, std::string>> named;
    for (const Tally& t : tallies) {
        const std::string rule = t.ttffRule.empty() ? "not known (no row names it)" : t.ttffRule;
        const auto at = static_cast<std::size_t>(std::find(rules.begin(), rules.end(), rule) -
                                                 rules.begin());
        if (at == rules.size()) {
            rules.push_back(rule);
            receivers.emplace_back();
        }
        if (named.emplace(at, t.receiver).second) receivers[at].push_back(t.receiver);
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
std::string PageText(const std::string& text) { return Html(EscapeControls(text)); }

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
        html += "<tr><th>" + PageText(name) + "</th><td>" + PageText(value) + "</td></tr>\n";
    html += "</table>\n";
    if (head.ports.empty()) return html;
    html +=
        "<table class=\"head\"><tr><th>port</th><th>profile</th><th>starts</th>"
        "<th>order</th><th>sign</th></tr>\n";
    for (const ReportHead::Port& p : head.ports) {
        html += "<tr>";
        for (const std::string* cell : {&p.name, &p.profile, &p.starts, &p.orders, &p.sign})
            html += "<td>" + PageText(*cell) + "</td>";
        html += "</tr>\n";
    }
    return html + "</table>\n";
}

// The run's outcome at the top, in words and a symbol as well as colour: a print in black and
// white still tells PASS from FAIL.
std::string VerdictHtml(const std::vector<Tally>& tallies, const PassRule& rule) {
    if (!rule.ttffS) return {};
    std::vector<std::string> failing, undecided;
    for (const Tally& t : tallies) {
        const Decision d = DecisionOf(t, rule);
        if (d != Decision::Pass)
            (d == Decision::Fail ? failing : undecided)
                .push_back(t.receiver + (t.start.empty() ? "" : " " + t.start));
    }
    if (failing.empty() && !undecided.empty())
        return "<p class=\"verdict undecided\">? UNDECIDED: " + std::to_string(undecided.size()) +
               " of " + std::to_string(tallies.size()) + " not decided yet: " +
               PageText(Joined(undecided)) + "</p>\n";
    if (failing.empty())
        return "<p class=\"verdict pass\">&#10004; PASS: every receiver passes</p>\n";
    return "<p class=\"verdict fail\">&#10008; FAIL: " + std::to_string(failing.size()) + " of " +
           std::to_string(tallies.size()) + " fail: " + PageText(Joined(failing)) + "</p>\n";
}

// Failing receivers first, then the undecided, then the passing: the page opens on what needs
// a look. Their own order otherwise, and all of it without a pass rule.
std::vector<const Tally*> FailingFirst(const std::vector<Tally>& tallies, const PassRule& rule) {
    std::vector<const Tally*> order;
    for (const Tally& t : tallies) order.push_back(&t);
    if (!rule.ttffS) return order;
    const auto rank = [&rule](const Tally* t) {
        const Decision d = DecisionOf(*t, rule);
        return d == Decision::Fail ? 0 : d == Decision::Undecided ? 1 : 2;
    };
    std::stable_sort(order.begin(), order.end(),
                     [&rank](const Tally* a, const Tally* b) { return rank(a) < rank(b); });
    return order;
}

// What a try of each verdict came to, for a receiver without a TTFF to chart.
constexpr std::array<const char*, kVerdictNames.size()> kVerdictMeanings = {
    "restarted, no fix",
    "no sign of a restart after its order",
    "switched off after its restart",
    "the line speed did not match",
    "the port could not be opened, or sent nothing",
    "no fix within the fix limit",
    "the port failed under the run",
    "it named no family",
    "cut short by the end of the run",
    "under way while the lab itself was stopped"};

// Why a receiver has no TTFF to chart, counted over its tries: "5 of 5 tries cant-connect:
// /dev/ttyUSB0: Connection refused". The lab's last trouble stands for the verdict of the last
// try; a journal's verdicts say what they mean.
std::string NoTtffLine(const Tally& t) {
    if (t.Cycles() == 0) return "No TTFF to chart: no try has ended yet";
    const std::string tries = " of " + std::to_string(t.Cycles()) + " tries ";
    const auto last = static_cast<std::size_t>(t.verdictByCycle.back());
    std::vector<std::string> parts;
    for (std::size_t v = 0; v < kVerdictNames.size(); ++v) {
        if (t.verdicts[v] == 0) continue;
        parts.push_back(std::to_string(t.verdicts[v]) + tries + std::string(kVerdictNames[v]) +
                        ": " + (v == last && !t.trouble.empty() ? t.trouble : kVerdictMeanings[v]));
    }
    return "No TTFF to chart: " + Joined(parts, "; ");
}

// The summary's verdict columns as one cell, the verdicts that occurred with their counts:
// ten columns of mostly zeros would push the page past the screen.
std::vector<std::string> VerdictsInOne(std::vector<std::string> cells, bool header) {
    const auto first = cells.begin() + 4, end = first + kVerdictNames.size();
    std::string counts;
    for (std::size_t v = 0; v < kVerdictNames.size() && !header; ++v) {
        if (first[static_cast<std::ptrdiff_t>(v)] != "0")
            counts += (counts.empty() ? "" : ", ") + std::string(kVerdictNames[v]) + " " +
                      first[static_cast<std::ptrdiff_t>(v)];
    }
    *first = header ? "verdicts" : counts.empty() ? "-" : counts;
    cells.erase(first + 1, end);
    return cells;
}

constexpr const char* kStyle = R"(
body { font-family: sans-serif; margin: 24px; color: #111; background: #fff; }
table { border-collapse: collapse; margin-bottom: 24px; }
th, td { border: 1px solid #999; padding: 4px 8px; text-align: right; }
th:first-child, td:first-child { text-align: left; }
table.head th, table.head td { text-align: left; }
table.head th { background: #eee; }
.pass, .fail, .undecided { font-weight: bold; }
.pass { background: #c8e6c9; border: 2px solid #111; }
.fail { background: #f8c8c8; border: 4px double #111; }
.undecided { background: #fff3c4; border: 2px dashed #111; }
table.summary td:first-child, table.summary td:last-child, table.summary th:last-child {
    text-align: left; min-width: 11em; }
/* Names, paths and a receiver's own texts may hold no space: they break anywhere rather than
   push the page past the screen. */
table.head td, table.summary td:first-child, h2, p, li { overflow-wrap: anywhere; }
p.verdict { display: inline-block; padding: 6px 12px; font-size: 1.2em; }
.charts { display: flex; flex-wrap: wrap; gap: 24px; }
canvas { border: 1px solid #ccc; }
#overview { display: block; margin-bottom: 24px; }
@media print { * { -webkit-print-color-adjust: exact; print-color-adjust: exact; } }
)";

}  // namespace

std::string ReportPage(const std::vector<Tally>& tallies, const PassRule& rule,
                       const ReportHead& head, const std::string& chartJs, int reloadS) {
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
    const std::vector<const Tally*> order = FailingFirst(tallies, rule);
    // Every receiver at a glance: one bar per receiver, its TTFF range and its median to p95.
    page << "<h2>Overview</h2>\n<canvas id=\"overview\" width=\"1100\" height=\""
         << 100 + 18 * tallies.size() << "\"></canvas>\n<table class=\"summary\"><tr>";
    for (const std::string& cell : VerdictsInOne(SummaryHeader(rule, shape), true))
        page << "<th>" << Html(cell) << "</th>";
    page << "</tr>\n";
    for (const Tally* t : order) {
        page << "<tr>";
        auto cells = VerdictsInOne(SummaryCells(*t, rule, shape), false);
        const std::string standing = rule.ttffS ? cells.back() : "";
        if (rule.ttffS) cells.pop_back();
        for (const std::string& cell : cells) page << "<td>" << Html(cell) << "</td>";
        if (rule.ttffS) {
            const Decision d = DecisionOf(*t, rule);
            page << (d == Decision::Pass   ? "<td class=\"pass\">&#10004; "
                     : d == Decision::Fail ? "<td class=\"fail\">&#10008; "
                                           : "<td class=\"undecided\">? ")
                 << Html(standing) << "</td>";
        }
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
    // A chart only where there is something to draw; a receiver without a TTFF says why.
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Tally& t = *order[i];
        std::vector<std::string> about;
        if (!t.profile.empty()) about.push_back(t.profile);
        if (!t.start.empty()) about.push_back(t.start + " start");
        const bool ttffs = !Present(t.ttffByCycle).empty();
        page << "<h2>" << PageText(t.receiver + (about.empty() ? "" : " (" + Joined(about) + ")"))
             << "</h2>\n";
        if (!ttffs) page << "<p class=\"nochart\">" << PageText(NoTtffLine(t)) << "</p>\n";
        page << "<div class=\"charts\">";
        if (ttffs || !Present(t.restartByCycle).empty())
            page << "<canvas id=\"ttff" << i << "\" width=\"540\" height=\"260\"></canvas>";
        if (ttffs) page << "<canvas id=\"hist" << i << "\" width=\"540\" height=\"260\"></canvas>";
        if (rule.confidencePct && t.Judged() > 0)
            page << "<canvas id=\"bounds" << i << "\" width=\"540\" height=\"260\"></canvas>";
        if (HasErrorChart(t))
            page << "<canvas id=\"error" << i << "\" width=\"540\" height=\"260\"></canvas>";
        page << "</div>\n";
    }
    if (charts) {
        page << "<script>" << script.str()
             << "</script>\n<script>\nconst limit = " << (rule.ttffS ? Plain(*rule.ttffS) : "null")
             << ";\nconst decision = "
             << (rule.confidencePct
                     ? "{pass: " + Plain(100 - rule.badFactor * (100 - rule.ratePct)) +
                           ", fail: " + Plain(rule.ratePct) + "}"
                     : std::string("null"))
             << ";\nconst receivers = [\n";
        for (const Tally* t : order) {
            std::string data = ChartData(*t);
            if (rule.confidencePct) data.insert(data.size() - 1, ", " + BoundsData(*t, rule));
            page << data << ",\n";
        }
        page << "];\n" << kDrawCharts << "</script>\n";
    }
    page << "</body></html>\n";
    return page.str();
}

bool WriteReport(const std::string& path, const std::vector<Tally>& tallies, std::string& error,
                 const PassRule& rule, const ReportHead& head, const std::string& chartJs,
                 int reloadS) {
    // A browser never sees half a page, and a failed write leaves the last good one.
    std::string reason;
    if (WriteWhole(path, ReportPage(tallies, rule, head, chartJs, reloadS), reason)) return true;
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
         std::to_string(options.interval) + " s from a start's first fix (or its fix limit) to the next order"},
        {"duration or cycles", end.empty() ? "until stopped" : end},
        {"fix limit", std::to_string(options.fixLimit) + " s without a fix, then no-fix"}};
    for (std::size_t i = 0; i < options.ports.size(); ++i) {
        const PortSpec& port = options.ports[i];
        const std::string profile = i < profiles.size() ? profiles[i] : port.profile;
        // As the receiver runs it: an `auto` port has no family, and so no order, until named.
        const Profile* family = FindProfile(profile);
        const PortOrders given = OrdersFor(family, port.starts, options.order, options.sign);
        std::vector<std::string> starts, orders;
        for (const Start start : port.starts) starts.push_back(StartName(start));
        for (std::size_t k = 0; k < given.orders.size(); ++k)
            orders.push_back(std::string(StartName(given.starts[k])) + ": " +
                             PrintableOrder(given.orders[k]));
        if (options.order) orders = {PrintableOrder(*options.order) + " (--order, every start)"};
        head.ports.push_back(
            {port.name, profile, Joined(starts),
             orders.empty() ? "none until its family is named" : Joined(orders, "; "),
             SignName(given.sign) + std::string(options.sign ? " (--sign)" : "")});
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
    std::map<std::string, std::size_t> index;
    for (const Tally& t : tallies) {
        const auto [found, added] = index.emplace(t.receiver, receivers.size());
        const std::size_t at = found->second;
        if (added) {
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

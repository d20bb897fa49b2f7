#include "lab/http/Metrics.h"

#include <charconv>
#include <cmath>
#include <utility>

#include "lab/record/Verdict.h"

namespace quorvel::lab {
namespace {

// The length of the UTF-8 sequence at `at`, or 0 when it is not one.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) return 1;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
    if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
    for (std::size_t i = 1; i < length; ++i)
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
    // No overlong forms, surrogates or code points past U+10FFFF.
    const unsigned char second = byte(at + 1);
    if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F) ||
        (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
        return 0;
    return length;
}

void Number(std::string& out, double value) {
    if (std::isnan(value)) return void(out += "NaN");
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

void Number(std::string& out, long long value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

void Family(std::string& out, const char* name, const char* type, const char* help) {
    out += "# HELP ";
    out += name;
    out += ' ';
    out += help;
    out += "\n# TYPE ";
    out += name;
    out += ' ';
    out += type;
    out += '\n';
}

// The bounds as the `le` label gives them, made once.
const std::array<std::string, LabMetrics::kBuckets.size()>& BucketLabels() {
    static const auto labels = [] {
        std::array<std::string, LabMetrics::kBuckets.size()> made;
        for (std::size_t i = 0; i < made.size(); ++i) {
            std::string number;
            Number(number, LabMetrics::kBuckets[i]);
            made[i] = ",le=\"" + number + "\"} ";
        }
        return made;
    }();
    return labels;
}

}  // namespace

std::string LabelValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t at = 0; at < text.size();) {
        const char c = text[at];
        if (c == '\\' || c == '"') {
            (out += '\\') += c;
        } else if (c == '\n') {
            out += "\\n";
        } else if (const std::size_t length = Utf8Length(text, at); length > 0) {
            out.append(text.substr(at, length));
            at += length;
            continue;
        } else {
            out += "\xEF\xBF\xBD";
        }
        ++at;
    }
    return out;
}

void LabMetrics::Histogram::Observe(double value) {
    std::size_t bucket = 0;
    while (bucket < kBuckets.size() && value > kBuckets[bucket]) ++bucket;
    ++counts[bucket];
    sum += value;
    ++count;
}

void LabMetrics::Describe(Receiver& r) {
    r.info = r.name + ",profile=\"" + LabelValue(r.profile) + "\",make=\"" + LabelValue(r.make) +
             "\",model=\"" + LabelValue(r.model) + "\",firmware=\"" + LabelValue(r.firmware) +
             '"';
}

void LabMetrics::AddReceiver(const std::string& name, const std::string& profile,
                             const std::string& start) {
    Receiver& r = receivers_.emplace_back();
    r.name = "receiver=\"" + LabelValue(name) + '"';
    r.profile = profile;
    Describe(r);
    SeriesOf(r, start);
}

LabMetrics::Series& LabMetrics::SeriesOf(Receiver& receiver, const std::string& start) {
    for (Series& s : receiver.series)
        if (s.start == start) return s;
    Series& s = receiver.series.emplace_back();
    s.start = start;
    s.labels = receiver.name + ",start=\"" + LabelValue(start) + '"';
    return s;
}

void LabMetrics::Add(std::size_t receiver, const Row& row, std::optional<Decision> decision) {
    Receiver& r = receivers_.at(receiver);
    Series& s = SeriesOf(r, row.start);
    ++s.verdicts[static_cast<std::size_t>(row.verdict)];
    if (row.ttffS) s.ttff.Observe(*row.ttffS);
    if (row.restartS) s.restart.Observe(*row.restartS);
    if (decision) s.decision = *decision;
    s.changed = true;
    // Who it is, as its latest row says.
    if (!row.profile.empty() &&
        (row.profile != r.profile || row.make != r.make || row.model != r.model ||
         row.firmware != r.firmware)) {
        r.profile = row.profile, r.make = row.make, r.model = row.model, r.firmware = row.firmware;
        Describe(r);
    }
}

void LabMetrics::Print(const Series& s) const {
    std::string& cycles = s.lines[0];
    cycles.clear();
    for (std::size_t v = 0; v < kVerdictNames.size(); ++v) {
        // A verdict a receiver never had is no series: ten of them at 0 for each of ten
        // thousand receivers would be most of a scrape. ok is always there.
        if (s.verdicts[v] == 0 && static_cast<Verdict>(v) != Verdict::Ok) continue;
        cycles += "quorvel_lab_cycles_total{";
        cycles += s.labels;
        cycles += ",verdict=\"";
        cycles += kVerdictNames[v];
        cycles += "\"} ";
        Number(cycles, s.verdicts[v]);
        cycles += '\n';
    }
    const auto histogram = [&s](std::string& out, const char* name, const Histogram& h) {
        out.clear();
        long long cumulative = 0;
        for (std::size_t b = 0; b <= kBuckets.size(); ++b) {
            cumulative += h.counts[b];
            out += name;
            out += "_bucket{";
            out += s.labels;
            out += b < kBuckets.size() ? BucketLabels()[b] : std::string(",le=\"+Inf\"} ");
            Number(out, cumulative);
            out += '\n';
        }
        (((out += name) += "_sum{") += s.labels) += "} ";
        Number(out, h.sum);
        (((out += "\n") += name) += "_count{") += s.labels;
        out += "} ";
        Number(out, h.count);
        out += '\n';
    };
    histogram(s.lines[1], "quorvel_lab_ttff_seconds", s.ttff);
    histogram(s.lines[2], "quorvel_lab_restart_seconds", s.restart);
    std::string& decided = s.lines[3];
    decided.clear();
    if (!decisions_) return;
    for (const Decision d : {Decision::Pass, Decision::Fail, Decision::Undecided}) {
        decided += "quorvel_lab_decision{";
        decided += s.labels;
        decided += ",decision=\"";
        decided += DecisionName(d);
        decided += s.decision == d ? "\"} 1\n" : "\"} 0\n";
    }
}

const std::string& LabMetrics::Text(const std::function<bool(std::size_t)>& up) const {
    Write(up, text_);
    return text_;
}

void LabMetrics::Write(const std::function<bool(std::size_t)>& up, std::string& out) const {
    std::size_t size = 2000;
    for (const Receiver& r : receivers_) {
        size += 2 * r.info.size() + 64;
        for (const Series& s : r.series) {
            if (std::exchange(s.changed, false)) Print(s);
            for (const std::string& part : s.lines) size += part.size();
        }
    }
    out.clear();
    out.reserve(size);
    const auto each = [&](std::size_t family) {
        for (const Receiver& r : receivers_)
            for (const Series& s : r.series) out += s.lines[family];
    };
    Family(out, "quorvel_lab_cycles_total", "counter",
           "Rows journaled, one per cycle, by receiver, start and verdict.");
    each(0);
    Family(out, "quorvel_lab_ttff_seconds", "histogram",
           "Time to first fix after each order that had one, in seconds.");
    each(1);
    Family(out, "quorvel_lab_restart_seconds", "histogram",
           "Time from each order to the restart it brought, in seconds.");
    each(2);
    Family(out, "quorvel_lab_receiver_info", "gauge",
           "Who each receiver said it is, and the profile it runs under; always 1.");
    for (const Receiver& r : receivers_) {
        out += "quorvel_lab_receiver_info{";
        out += r.info;
        out += "} 1\n";
    }
    Family(out, "quorvel_lab_port_up", "gauge", "1 while the receiver's port is open, else 0.");
    for (std::size_t i = 0; i < receivers_.size(); ++i) {
        out += "quorvel_lab_port_up{";
        out += receivers_[i].name;
        out += up(i) ? "} 1\n" : "} 0\n";
    }
    if (!decisions_) return;
    Family(out, "quorvel_lab_decision", "gauge",
           "The decision at --confidence: 1 for the state the receiver and start are in.");
    each(3);
}

}  // namespace quorvel::lab

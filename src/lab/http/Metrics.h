#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lab/decide/Decision.h"
#include "lab/record/Row.h"
#include "lab/record/Verdict.h"

namespace quorvel::lab {

// A label value as the Prometheus text format takes it: backslash, double quote and line feed
// escaped, and bytes that are not UTF-8 (a receiver's own texts may hold any) as U+FFFD, which
// would otherwise fail the whole scrape.
std::string LabelValue(std::string_view text);

// The bench's figures for /metrics, kept up to date row by row, so that a scrape only prints
// them: with 10,000 receivers it must not walk every cycle of every receiver.
class LabMetrics {
  public:
    // The upper bounds of the TTFF and restart buckets, in seconds (+Inf beside them).
    // Ten, as few as tell a hot start from a cold one and a slow one from a lost one: at
    // ten thousand receivers each bucket is half a megabyte a scrape.
    static constexpr std::array<double, 10> kBuckets = {1, 2, 5, 10, 20, 30, 60, 120, 300, 600};

    // `decisions`: --confidence is given, so each receiver and start has a decision.
    explicit LabMetrics(bool decisions = false) : decisions_(decisions) {}

    // The receivers, in the order named, each with its profile and the start of its first
    // order: every receiver has its series from the start, rows or none.
    void AddReceiver(const std::string& name, const std::string& profile,
                     const std::string& start);
    // A row of receiver `receiver` (as added); `decision` its start's, with --confidence.
    void Add(std::size_t receiver, const Row& row, std::optional<Decision> decision = {});
    // The exposition (text format 0.0.4); `up` says whether a receiver's port is open now.
    // Valid until the next call: its buffer is kept, as fresh pages for tens of megabytes
    // would cost more than the copying.
    const std::string& Text(const std::function<bool(std::size_t)>& up) const;
    // The same into `out`, whose buffer is reused.
    void Write(const std::function<bool(std::size_t)>& up, std::string& out) const;

  private:
    struct Histogram {
        std::array<long long, kBuckets.size() + 1> counts{};  // per bucket, not cumulative
        double sum = 0;
        long long count = 0;
        void Observe(double value);
    };
    struct Series {
        std::string start;
        std::string labels;  // receiver="...",start="..."
        std::array<long long, kVerdictNames.size()> verdicts{};
        Histogram ttff, restart;
        Decision decision = Decision::Undecided;
        // Its lines of each family (cycles, TTFF, restart, decision) as last printed; printed
        // anew only after a row, so a scrape mostly copies.
        mutable std::array<std::string, 4> lines = {};
        mutable bool changed = true;
    };
    void Print(const Series& s) const;
    struct Receiver {
        std::string name;   // receiver="..."
        std::string info;   // every label of its info series
        std::string profile, make, model, firmware;
        std::vector<Series> series;
    };
    Series& SeriesOf(Receiver& receiver, const std::string& start);
    static void Describe(Receiver& receiver);

    bool decisions_;
    std::vector<Receiver> receivers_;
    mutable std::string text_;
};

}  // namespace quorvel::lab

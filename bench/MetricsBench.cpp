// The cost of one /metrics scrape of a lab with many receivers, each with a day of rows: the
// figures are kept row by row, so a scrape only prints them.
#include <benchmark/benchmark.h>

#include "lab/http/Metrics.h"

namespace {

void BM_Scrape(benchmark::State& state) {
    const auto receivers = static_cast<std::size_t>(state.range(0));
    quorvel::lab::LabMetrics metrics(true);
    for (std::size_t i = 0; i < receivers; ++i) {
        metrics.AddReceiver("/dev/ttyUSB" + std::to_string(i), "ubx", "cold");
        for (int cycle = 1; cycle <= 2880; ++cycle) {  // 30 s cycles for a day
            quorvel::lab::Row row;
            row.start = "cold";
            row.profile = "ubx";
            row.make = "u-blox";
            row.model = "NEO-M8N";
            row.firmware = "ROM 3.01 (107888)";
            row.restartS = 1.2;
            row.ttffS = 20.0 + cycle % 40;
            metrics.Add(i, row, quorvel::lab::Decision::Pass);
        }
    }
    const auto up = [](std::size_t i) { return i % 7 != 0; };
    std::size_t bytes = metrics.Text(up).size();  // the first prints every series once
    for (auto _ : state) {
        const std::string& text = metrics.Text(up);
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_Scrape)->Arg(64)->Arg(10000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

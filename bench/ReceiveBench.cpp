// Throughput of the receive path on the real captures, cut into reads of 1 byte, of 64 bytes,
// and into whole bursts (one GGA to the next). Reported as bytes per second and as a multiple
// of what a 921600-baud line can deliver (92,160 bytes/s).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Display.h"
#include "engine/RunState.h"
#include "engine/SerialPort.h"
#include "engine/TestEngine.h"

namespace {

constexpr double kLineRateBytesPerSecond = 92160.0;  // 921600 baud, 10 bits a byte

// Every capture's text, comment lines left out, one after the other.
const std::string& Captures() {
    static const std::string all = [] {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(QUORVEL_CAPTURES_DIR)) {
            if (entry.path().extension() == ".log") files.push_back(entry.path());
        }
        std::sort(files.begin(), files.end());
        std::string text;
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::string line;
            while (std::getline(in, line)) {
                if (!line.starts_with("#")) text += line + "\n";
            }
        }
        return text;
    }();
    return all;
}

// Cuts the text before every GGA sentence: what a receiver sends in one second.
std::vector<std::string_view> Bursts(std::string_view text) {
    std::vector<std::string_view> bursts;
    std::size_t begin = 0;
    for (std::size_t at = text.find("GGA,", 1); at != std::string_view::npos;
         at = text.find("GGA,", at + 1)) {
        if (at < 3 || text[at - 3] != '$' || at - 3 <= begin) continue;
        bursts.push_back(text.substr(begin, at - 3 - begin));
        begin = at - 3;
    }
    bursts.push_back(text.substr(begin));
    return bursts;
}

// A window that keeps only the latest of everything, so memory stays flat however long it runs.
class LatestDisplay : public quorvel::Display {
  public:
    void SetStatusText(const std::string& text) override { status_ = text; }
    std::string StatusText() const override { return status_; }
    void SetStatusColour(quorvel::Colour) override {}
    void ShowStatus() override {}
    void SetStatusReadOnly() override {}
    void SetLabel1(const std::string& text) override { label_ = text; }
    void SetStartButtonColour(quorvel::Colour) override {}
    void SetSelectorColours(quorvel::Colour) override {}
    void SetFrame5Enabled(bool) override {}
    void AddSelectorEntry(quorvel::Selector, const std::string&) override {}
    bool SelectSelectorEntry(quorvel::Selector, const std::string&) override { return true; }
    std::string SelectedPort() const override { return "COM 1"; }
    std::string SelectedBaud() const override { return "921600"; }
    void SetTimerEnabled(quorvel::TimerId timer, bool on) override {
        timers_[static_cast<int>(timer)] = on;
    }
    bool TimerEnabled(quorvel::TimerId timer) const override {
        return timers_[static_cast<int>(timer)];
    }

  private:
    std::string status_;
    std::string label_;
    std::array<bool, 4> timers_{false, false, false, true};
};

// A port whose next read is whatever the benchmark put there; orders are only counted.
class ReadPort : public quorvel::SerialPort {
  public:
    std::string_view next;
    long long orders = 0;

    bool SetCommPort(std::int16_t) override { return true; }
    bool SetSettings(const std::string&) override { return true; }
    bool Open() override { return true; }
    void Close() override {}
    bool IsOpen() const override { return true; }
    void DiscardInput() override {}
    std::string Input() override { return std::string(next); }
    bool Output(const std::string&) override {
        ++orders;
        return true;
    }
};

void Report(benchmark::State& state, std::size_t bytesPerIteration, std::size_t largestBuffer) {
    const auto bytes = static_cast<double>(bytesPerIteration) * state.iterations();
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["x_line_rate"] =
        benchmark::Counter(bytes / kLineRateBytesPerSecond, benchmark::Counter::kIsRate);
    state.counters["largest_rxbuffer"] = static_cast<double>(largestBuffer);
}

void RunReceive(benchmark::State& state, const std::vector<std::string_view>& reads) {
    quorvel::RunState run;
    run.RestartCountdown = 30;
    LatestDisplay display;
    ReadPort port;
    quorvel::TestEngine engine(run, display, port);
    std::size_t bytes = 0;
    for (auto read : reads) bytes += read.size();
    std::size_t largest = 0;
    for (auto _ : state) {
        for (auto read : reads) {
            port.next = read;
            engine.HandlePortEvent(quorvel::comm_event::kReceive);
            if (run.RxBuffer.size() > largest) largest = run.RxBuffer.size();
        }
    }
    benchmark::DoNotOptimize(port.orders);
    Report(state, bytes, largest);
}

std::vector<std::string_view> Pieces(std::string_view text, std::size_t size) {
    std::vector<std::string_view> pieces;
    for (std::size_t at = 0; at < text.size(); at += size) pieces.push_back(text.substr(at, size));
    return pieces;
}

void BM_Receive_1ByteReads(benchmark::State& state) {
    static const auto reads = Pieces(Captures(), 1);
    RunReceive(state, reads);
}

void BM_Receive_64ByteReads(benchmark::State& state) {
    static const auto reads = Pieces(Captures(), 64);
    RunReceive(state, reads);
}

void BM_Receive_WholeBursts(benchmark::State& state) {
    static const auto reads = Bursts(Captures());
    RunReceive(state, reads);
}

BENCHMARK(BM_Receive_1ByteReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Receive_64ByteReads)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Receive_WholeBursts)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

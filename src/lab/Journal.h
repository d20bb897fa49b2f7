#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace quorvel::lab {

// One judged cycle.
struct Row {
    std::string utc;  // host time, ISO 8601
    std::string receiver;
    int cycle = 0;
    std::string verdict;  // ok, no-respond, shut-down, baud-mismatch, cant-connect
    std::optional<double> restartS;
    std::optional<double> ttffS;
    std::optional<int> satellites;
    std::string hdop;  // as the GGA sent it
};

inline constexpr const char* kJournalHeader =
    "utc,receiver,cycle,verdict,restart_s,ttff_s,satellites,hdop";

std::string FormatRow(const Row& row);
// Now, as 2026-12-07T04:30:00.123Z.
std::string UtcNow();

// The CSV journal: header first, one row per line, each flushed as it is written. An existing
// journal is appended to, so rows already written are never touched.
class Journal {
  public:
    ~Journal();
    bool Open(const std::string& path);
    void Write(const Row& row);

  private:
    std::FILE* file_ = nullptr;
};

}  // namespace quorvel::lab

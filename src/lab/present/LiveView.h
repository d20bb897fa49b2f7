#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "lab/command/LabOptions.h"
#include "lab/record/Journal.h"

namespace quorvel::lab {

// What a receiver's live line shows.
struct LiveRow {
    std::string profile;
    int cycles = 0;
    std::string state;
    std::optional<double> restartS, ttffS;
    std::string problem;  // its port's last trouble, as a terminal shows it
};

// The lines a terminal shows during a run, updated in place: the run's progress, then one line
// a receiver.
class LiveView {
  public:
    // `names`: the receivers' names as a terminal shows them.
    LiveView(std::ostream& out, std::vector<std::string> names);
    // Makes room on the screen for the lines.
    void Open();
    // Draws the lines again where they changed; `rows` in the order of the names.
    void Draw(const std::string& progress, const std::vector<LiveRow>& rows);

  private:
    std::ostream& out_;
    std::vector<std::string> names_;
    std::size_t shortestName_ = 0;  // the columns below which names would no longer differ
    std::vector<std::string> lines_;
};

// The run so far: time elapsed and left, cycles done of those due, the journal's rows.
std::string ProgressLine(double nowS, const LabOptions& options, long long cycles,
                         std::size_t receivers, const Journal& journal);
// A row's line on an output that is not a terminal.
std::string RowLine(const Row& row);

}  // namespace quorvel::lab

#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "lab/record/Verdict.h"

namespace quorvel::lab {

// One judged cycle.
struct Row {
    std::string utc;  // host time, ISO 8601
    std::string receiver;
    int cycle = 0;
    Verdict verdict = Verdict::Ok;
    std::optional<double> restartS;
    std::optional<double> ttffS;
    std::optional<int> satellites;
    std::string hdop;  // as the GGA sent it
    std::string start = {};    // hot, warm, cold or factory: the order's, or the next order's
    std::string profile = {};  // the profile it ran under
    // Who the receiver said it is, in its own words; empty when it did not say.
    std::string make = {};
    std::string model = {};
    std::string firmware = {};
    std::optional<double> errorM = {};  // the first fix's distance from the reference
    std::optional<double> cn0 = {};     // mean C/N0 of the four strongest at the first fix, dB-Hz
    std::optional<double> cn0AgeS = {};  // how much older the satellite report is than the fix
    std::string ttffRule = {};          // what counted as the first fix, e.g. "3d within 100 m"
};

inline constexpr const char* kJournalHeader =
    "utc,receiver,cycle,verdict,restart_s,ttff_s,satellites,hdop,start,profile,make,model,"
    "firmware,error_m,cn0_dbhz,ttff_rule,cn0_age_s";
inline constexpr std::size_t kJournalColumns = 17;
// The columns before the age of the C/N0's satellite report was kept: read, never appended to.
inline constexpr const char* kPreviousJournalHeader =
    "utc,receiver,cycle,verdict,restart_s,ttff_s,satellites,hdop,start,profile,make,model,"
    "firmware,error_m,cn0_dbhz,ttff_rule";
inline constexpr std::size_t kPreviousJournalColumns = 16;
// The columns of journals written before the start and the receiver's identity were kept:
// read, never appended to, so that no file mixes rows of two layouts.
inline constexpr const char* kOlderJournalHeader =
    "utc,receiver,cycle,verdict,restart_s,ttff_s,satellites,hdop";
inline constexpr std::size_t kOlderJournalColumns = 8;

// The row's line; control characters (bytes below 0x20, and 0x7F) are left out of its text
// fields, so that every row is one line that reads back.
std::string FormatRow(const Row& row);
// Texts the receiver chose (its make, model, firmware, and the hdop its GGA sent) go into the
// journal safe to open in a spreadsheet: one a spreadsheet would take for a formula, beginning
// with =, +, - or @ (or tab or CR, left out anyway as control characters), gets a ' before it,
// as does one beginning with ' itself, so that ReceiverSaid gives back exactly what was said.
std::string SpreadsheetSafe(const std::string& text);
// A receiver's text as the journal holds it, back as the receiver said it: the ' that
// SpreadsheetSafe put before it taken away.
std::string ReceiverSaid(const std::string& field);
// `text` for a terminal: each control character shown as \xNN (ESC as the four characters
// \x1b), so a receiver's name never moves the cursor or recolours the screen. Text already
// escaped stays as it is.
std::string EscapeControls(const std::string& text);
// Now, as 2026-12-07T04:30:00.123Z.
std::string UtcNow();

// The CSV journal: header first, one row per line, each written as it comes. An existing
// journal is appended to, so rows already written are never touched. A row that cannot be
// written is said on stderr and kept; every later write first retries the kept rows in order,
// so a journal whose disk fills catches up when space comes back. A regular file only ever
// holds whole rows, and the journal is whatever file is at its path: truncated, replaced or
// removed under the lab, it gets the header again where needed and every row. Only a regular
// file is ever read (its header, its row count, and its contents when it is removed under the
// lab); a FIFO, pipe or device gets rows written without blocking.
class Journal {
  public:
    ~Journal();
    // False with the reason in `error`; an existing file with another first line is refused
    // untouched.
    bool Open(const std::string& path, std::string& error);
    void Write(const Row& row);
    // Retries the kept rows; true when none is left.
    bool Flush();

    const std::string& Path() const { return path_; }
    // Rows in the file: those found at the open and those written since.
    long long Rows() const { return rows_; }
    // Lines kept in memory that the file does not hold yet (the header among them).
    long long Unwritten() const;

  private:
    void Push();
    bool Adopt();
    void UnwriteBegun();
    bool Follow();
    void Fail(const std::string& reason);

    std::string path_;
    int fd_ = -1;
    bool regular_ = false;
    std::string pending_;    // whole lines not written yet
    std::size_t begun_ = 0;  // bytes of the first of them already in the file
    long long size_ = 0;     // a regular file's size after our last write: less is a truncation
    long long rows_ = 0;
    std::string lastFailure_;
};

}  // namespace quorvel::lab

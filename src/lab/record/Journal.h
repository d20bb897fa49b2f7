#pragma once

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "lab/record/Columns.h"

namespace quorvel::lab {

// `at` in UTC, as strftime writes it by `format`.
std::string UtcText(std::chrono::system_clock::time_point at, const char* format);
// The format of a time to the second: 2026-12-07T04:30:00Z.
inline constexpr const char* kUtcSeconds = "%Y-%m-%dT%H:%M:%SZ";
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

#include "lab/Journal.h"

#include <chrono>
#include <ctime>

namespace quorvel::lab {
namespace {

std::string Tenths(const std::optional<double>& seconds) {
    if (!seconds) return "";
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", *seconds);
    return text;
}

// A receiver name is the port as given; quote it if it could split the row.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

std::string FormatRow(const Row& r) {
    return r.utc + "," + CsvField(r.receiver) + "," + std::to_string(r.cycle) + "," + r.verdict +
           "," + Tenths(r.restartS) + "," + Tenths(r.ttffS) + "," +
           (r.satellites ? std::to_string(*r.satellites) : "") + "," + CsvField(r.hdop);
}

std::string UtcNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t seconds = system_clock::to_time_t(now);
    const auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm tm{};
    gmtime_r(&seconds, &tm);
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
                  static_cast<int>(ms));
    return text;
}

Journal::~Journal() {
    if (file_) std::fclose(file_);
}

bool Journal::Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "a+");
    if (!file_) return false;
    std::fseek(file_, 0, SEEK_END);
    if (std::ftell(file_) == 0) {
        std::fprintf(file_, "%s\n", kJournalHeader);
    } else {
        // A row cut short by a kill stays as it is; ours start on a line of their own.
        std::fseek(file_, -1, SEEK_END);
        if (std::fgetc(file_) != '\n') std::fputc('\n', file_);
    }
    std::fflush(file_);
    return true;
}

void Journal::Write(const Row& row) {
    if (!file_) return;
    std::fprintf(file_, "%s\n", FormatRow(row).c_str());
    std::fflush(file_);
}

}  // namespace quorvel::lab

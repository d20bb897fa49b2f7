#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lab/record/Row.h"

namespace quorvel::lab {

// One column of the journal: its name in the header, how a row's field is written, and how it
// is read back.
struct Column {
    std::string_view name;
    std::string (*write)(const Row& row);
    // Takes the field's text into `row`; empty, or why the text is no value of the column.
    std::string (*read)(std::string_view name, const std::string& text, Row& row);
    // The start of a field, as a run killed while writing the row left it, completed to a
    // whole one where some ending makes it one; the text as it is when none is needed. An
    // empty text stands for a field the cut left out.
    std::string (*complete)(const std::string& started) = nullptr;
    // Journals written before this column was kept have the columns before it: they are read,
    // never appended to.
    bool newLayout = false;
};

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

// How fields are written and read back.
namespace columns {
// The field's text made one CSV field: control characters left out, quoted where it could
// split the row.
std::string Csv(std::string text);
// A receiver's own text (SpreadsheetSafe), as Csv writes it.
std::string SaidCsv(std::string text);
std::string Tenths(const std::optional<double>& value);
// Why `text` is no value, with `complaint` ("is unknown") after the column's name and text.
std::string Bad(std::string_view name, const std::string& text, const std::string& complaint);
// Digits with at most one decimal point (none when `whole`), up to `most`: the way the journal
// writes its numbers. Signs, exponents, 0x, inf and nan are not numbers here.
std::optional<double> Decimal(const std::string& text, double most, bool whole);
std::string ReadSeconds(std::string_view name, const std::string& text,
                        std::optional<double>& value);

// The kinds of field kept in a member M of the row, each with how it is written and read.
// A text the lab wrote itself, without commas or quotes: as it is.
template <auto M>
struct AsIs {
    static std::string Write(const Row& r) { return r.*M; }
    static std::string Read(std::string_view, const std::string& text, Row& r) {
        r.*M = text;
        return {};
    }
};
// A text from a person or the lab's own words: quoted where need be, read as it is.
template <auto M>
struct Text : AsIs<M> {
    static std::string Write(const Row& r) { return Csv(r.*M); }
};
// A text the receiver sent: safe for a spreadsheet, read back as the receiver said it.
template <auto M>
struct Said {
    static std::string Write(const Row& r) { return SaidCsv(r.*M); }
    static std::string Read(std::string_view, const std::string& text, Row& r) {
        r.*M = ReceiverSaid(text);
        return {};
    }
};
// Seconds in tenths, from 0 to a year; empty when there are none.
template <auto M>
struct Seconds {
    static std::string Write(const Row& r) { return Tenths(r.*M); }
    static std::string Read(std::string_view name, const std::string& text, Row& r) {
        return ReadSeconds(name, text, r.*M);
    }
};
// A value in tenths from 0 to `Most`; empty when there is none.
template <double Most>
struct UpTo {
    template <auto M>
    struct Kind : Seconds<M> {
        static std::string Read(std::string_view name, const std::string& text, Row& r) {
            if (!text.empty() && !(r.*M = Decimal(text, Most, false)))
                return Bad(name, text, "is out of range");
            return {};
        }
    };
};

// Fields of their own.
std::string AppendDigit(const std::string& started);  // a receiver's name, a cycle's digits
std::string ReadReceiver(std::string_view name, const std::string& text, Row& r);
std::string WriteCycle(const Row& r);
std::string ReadCycle(std::string_view name, const std::string& text, Row& r);
std::string WriteVerdict(const Row& r);
std::string ReadVerdict(std::string_view name, const std::string& text, Row& r);
std::string CompleteVerdict(const std::string& started);
std::string WriteSatellites(const Row& r);
std::string ReadSatellites(std::string_view name, const std::string& text, Row& r);
std::string ReadStart(std::string_view name, const std::string& text, Row& r);
std::string CompleteStart(const std::string& started);
}  // namespace columns

// A column of the kind `Kind` for the member M of the row.
template <template <auto> class Kind, auto M>
constexpr Column Of(std::string_view name, bool newLayout = false) {
    return {name, Kind<M>::Write, Kind<M>::Read, nullptr, newLayout};
}
inline constexpr bool kNewLayout = true;

// The journal's columns, in their order in the file. A new column goes last, marked
// kNewLayout when journals without it exist: a journal's layout is a number of leading
// columns, so those journals are still read.
inline constexpr std::array kColumns = {
    Of<columns::AsIs, &Row::utc>("utc"),
    Column{"receiver", columns::Text<&Row::receiver>::Write, columns::ReadReceiver,
           columns::AppendDigit},
    Column{"cycle", columns::WriteCycle, columns::ReadCycle, columns::AppendDigit},
    Column{"verdict", columns::WriteVerdict, columns::ReadVerdict, columns::CompleteVerdict},
    Of<columns::Seconds, &Row::restartS>("restart_s"),
    Of<columns::Seconds, &Row::ttffS>("ttff_s"),
    Column{"satellites", columns::WriteSatellites, columns::ReadSatellites},
    Of<columns::Said, &Row::hdop>("hdop"),
    Column{"start", columns::AsIs<&Row::start>::Write, columns::ReadStart, columns::CompleteStart,
           kNewLayout},
    Of<columns::AsIs, &Row::profile>("profile"),
    Of<columns::Said, &Row::make>("make"),
    Of<columns::Said, &Row::model>("model"),
    Of<columns::Said, &Row::firmware>("firmware"),
    Of<columns::UpTo<4e7>::Kind, &Row::errorM>("error_m"),
    Of<columns::UpTo<99.0>::Kind, &Row::cn0>("cn0_dbhz"),
    Of<columns::Text, &Row::ttffRule>("ttff_rule"),
    Of<columns::Seconds, &Row::cn0AgeS>("cn0_age_s", kNewLayout),
};

// Today's layout: every column.
inline constexpr std::size_t kJournalColumns = kColumns.size();
// Every layout the lab reads, today's first, then the older ones, the newest first. Rows are
// only ever appended to a journal of today's, so that no file mixes rows of two layouts.
inline constexpr auto kJournalLayouts = [] {
    std::array<std::size_t, 1 + std::ranges::count(kColumns, true, &Column::newLayout)> layouts{};
    std::size_t at = 0;
    layouts[at++] = kJournalColumns;
    for (std::size_t i = kJournalColumns; i-- > 0;)
        if (kColumns[i].newLayout) layouts[at++] = i;
    return layouts;
}();

// The header line of the layout of `count` columns, without its line end.
constexpr std::string JournalHeader(std::size_t count = kJournalColumns) {
    std::string header;
    for (std::size_t i = 0; i < count; ++i) (header += i ? "," : "") += kColumns[i].name;
    return header;
}
template <std::size_t Count>
inline constexpr auto kHeaderText = [] {
    std::array<char, JournalHeader(Count).size() + 1> text{};
    std::ranges::copy(JournalHeader(Count), text.begin());
    return text;
}();
inline constexpr const char* kJournalHeader = kHeaderText<kJournalColumns>.data();
// The oldest layout's, before the start and the receiver's identity were kept.
inline constexpr const char* kOlderJournalHeader = kHeaderText<kJournalLayouts.back()>.data();

// The row's line; control characters (bytes below 0x20, and 0x7F) are left out of its text
// fields, so that every row is one line that reads back.
std::string FormatRow(const Row& row);
// The row in a record's fields of a layout of `count` columns, or nothing with `why` it is not
// one: its first field that holds no value of its column.
std::optional<Row> ParseRow(const std::vector<std::string>& fields, std::size_t count,
                            std::string& why);

}  // namespace quorvel::lab

#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::lab {

// What an option's value is. Each kind has one reader, so that two options of one kind take
// the same spellings; a number outside the option's range is as bad as one misspelt.
enum class Kind {
    Flag,      // no value; it ends the reading: what it asks for is done instead of the rest
    Switch,    // no value; the reading goes on
    Text,      // any text, checked by the option itself
    Whole,     // a count, or the timers' whole seconds: a whole number from low to high
    Seconds,   // a plain decimal number (DecimalNumber), more than low and at most high
    Metres,    // a plain decimal number, more than low and at most high
    Percent,   // a plain decimal number from low to high
    Factor,    // a plain decimal number from low to high
    Duration,  // whole seconds, or with a unit: "90", "90s", "45m", "8h"; up to a year
};

// An option's value as its setter gets it.
struct Value {
    std::string name;  // the option as written, e.g. "--cycles"
    std::string text;
    double number = 0;  // what a number's text reads as

    // "NAME: bad value 'TEXT'", then `why`.
    std::string Bad(std::string_view why = {}) const;
};

// One line of a command's option table: how the option is read and what --help says of it.
struct Option {
    // Its names, then the name of its value, as --help lists it: "--cycles N", "-h, --help".
    std::string_view synopsis;
    Kind kind;
    double low = 0, high = 0;  // the numbers taken, as its kind says
    // Takes the value: the error line, or empty.
    std::function<std::string(const Value&)> set = {};
    // Its lines in --help beside the synopsis, as printed; empty: not in the option list.
    std::string_view help = {};
};

// How a command tells its options from its other words.
struct Grammar {
    std::string_view prefix;  // what begins an option: "--" (then "-x" is no option), or "-"
    // An option not in the table takes its value before it is refused: `report` has always read
    // so, and one last on its line is told as needing a value.
    bool unknownTakesValue = false;
};

// Reads `args` by `table`: "--name value", "--name=value", a Flag only as a word of its own;
// the words that are no option go to `operands` in turn. Stops at the first bad word, naming it
// in the error line it returns, or at the first Flag, after setting it. Empty: read to the end
// or to a Flag.
std::string ReadArgs(const std::vector<Option>& table, Grammar grammar,
                     const std::vector<std::string>& args, std::vector<std::string>& operands);

// The option list of --help: each option's synopsis and, beside it, its help lines.
std::string OptionLines(const std::vector<Option>& table);

// "[-o FILE.html] [--pass-ttff S]": the options that take a value, for a usage line.
std::string UsageOptions(const std::vector<Option>& table);

// The readers of the kinds of number.
// A whole number from `low` to `high`: digits, after an optional "-".
std::optional<long long> WholeNumber(const std::string& text, long long low, long long high);
// Digits with at most one decimal point ("12", "12.5", ".5", "5."): no sign, exponent, hex or
// spaces, which a typing slip would give as readily as a number meant.
std::optional<double> DecimalNumber(const std::string& text);
// "90", "90s", "45m", "8h" in seconds; up to a year.
std::optional<double> DurationS(std::string text);

}  // namespace quorvel::lab

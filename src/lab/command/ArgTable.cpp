#include "lab/command/ArgTable.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace quorvel::lab {
namespace {

// Runs end on the lab's clock; a year is the longest that is taken.
constexpr double kLongestRunS = 365.0 * 24 * 3600;

// The columns of --help's option list where the help lines begin.
constexpr std::size_t kHelpColumn = 22;

// "-h, --help" gives "-h" and "--help"; "--cycles N" gives "--cycles".
std::vector<std::string_view> Names(std::string_view synopsis) {
    std::vector<std::string_view> names;
    for (;;) {
        const auto end = synopsis.find_first_of(", ");
        names.push_back(synopsis.substr(0, end));
        if (end == std::string_view::npos || synopsis[end] != ',') return names;
        synopsis.remove_prefix(end + 2);
    }
}

const Option* Find(const std::vector<Option>& table, std::string_view name) {
    for (const Option& option : table)
        for (const std::string_view known : Names(option.synopsis))
            if (known == name) return &option;
    return nullptr;
}

// The text read as its option's kind into `value.number`; false when it is not one.
bool Read(const Option& option, Value& value) {
    std::optional<double> number;
    switch (option.kind) {
        case Kind::Flag:
        case Kind::Switch:
        case Kind::Text:
            return true;
        case Kind::Whole:
            if (const auto whole = WholeNumber(value.text, static_cast<long long>(option.low),
                                               static_cast<long long>(option.high)))
                number = static_cast<double>(*whole);
            break;
        case Kind::Seconds:
        case Kind::Metres:
            number = DecimalNumber(value.text);
            if (number && !(*number > option.low && *number <= option.high)) number.reset();
            break;
        case Kind::Percent:
        case Kind::Factor:
            number = DecimalNumber(value.text);
            if (number && !(*number >= option.low && *number <= option.high)) number.reset();
            break;
        case Kind::Duration:
            number = DurationS(value.text);
            break;
    }
    value.number = number.value_or(0);
    return number.has_value();
}

// What a bad value of a kind is told with, beyond its name and text.
std::string_view Hint(Kind kind) {
    switch (kind) {
        case Kind::Metres:
            return " (metres, more than 0)";
        case Kind::Duration:
            return " (a whole number up to a year, e.g. 90s, 45m, 8760h)";
        default:
            return {};
    }
}

}  // namespace

std::string Value::Bad(std::string_view why) const {
    return name + ": bad value '" + text + "'" + std::string(why);
}

std::string ReadArgs(const std::vector<Option>& table, Grammar grammar,
                     const std::vector<std::string>& args, std::vector<std::string>& operands) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (const Option* flag = Find(table, args[i]); flag && flag->kind == Kind::Flag)
            return flag->set(Value{args[i], {}});
        if (const Option* on = Find(table, args[i]); on && on->kind == Kind::Switch) {
            if (std::string error = on->set(Value{args[i], {}}); !error.empty()) return error;
            continue;
        }
        if (!args[i].starts_with(grammar.prefix)) {
            operands.push_back(args[i]);
            continue;
        }
        Value value{args[i], {}};
        std::optional<std::string> text;
        if (const auto eq = value.name.find('='); eq != std::string::npos) {
            text = value.name.substr(eq + 1);
            value.name.resize(eq);
        }
        const Option* option = Find(table, value.name);
        if (option && (option->kind == Kind::Flag || option->kind == Kind::Switch))
            option = nullptr;  // "--help=1"
        if (!option && !grammar.unknownTakesValue) return "unknown option " + value.name;
        if (!text) {
            if (i + 1 == args.size()) return value.name + " needs a value";
            text = args[++i];
        }
        if (!option) return "unknown option " + value.name;
        value.text = *text;
        if (!Read(*option, value)) return value.Bad(Hint(option->kind));
        if (std::string error = option->set(value); !error.empty()) return error;
    }
    return {};
}

std::string OptionLines(const std::vector<Option>& table) {
    std::string lines;
    for (const Option& option : table) {
        if (option.help.empty()) continue;
        std::string line = "  " + std::string(option.synopsis);
        line.resize(std::max(line.size() + 2, kHelpColumn), ' ');
        for (std::string_view help = option.help; !help.empty();) {
            const auto end = std::min(help.find('\n'), help.size());
            lines += line + std::string(help.substr(0, end)) + "\n";
            line.assign(kHelpColumn, ' ');
            help.remove_prefix(std::min(end + 1, help.size()));
        }
    }
    return lines;
}

std::string UsageOptions(const std::vector<Option>& table) {
    std::string usage;
    for (const Option& option : table)
        if (option.kind != Kind::Flag && option.kind != Kind::Switch)
            usage += (usage.empty() ? "[" : " [") + std::string(option.synopsis) + "]";
    return usage;
}

std::optional<long long> WholeNumber(const std::string& text, long long low, long long high) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end || value < low || value > high) return {};
    return value;
}

std::optional<double> DecimalNumber(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return {};
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) return {};
    return value;
}

std::optional<double> DurationS(std::string text) {
    double unit = 1;
    if (!text.empty() && std::string("smh").find(text.back()) != std::string::npos) {
        unit = text.back() == 'h' ? 3600 : text.back() == 'm' ? 60 : 1;
        text.pop_back();
    }
    const auto value = WholeNumber(text, 1, 10'000'000);
    if (!value || static_cast<double>(*value) * unit > kLongestRunS) return {};
    return static_cast<double>(*value) * unit;
}

}  // namespace quorvel::lab

// The settings reader under arbitrary file content.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "link/SettingsFile.h"

namespace {

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

bool Contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

// A field the writer can put on the line and the reader gives back unchanged: no separator,
// no quote, and nothing the reader skips in front of a field.
bool WritesPlain(const std::string& field) {
    if (!field.empty() && (field[0] == ' ' || field[0] == '\t')) return false;
    return field.find_first_of(",\r\n\"") == std::string::npos;
}

struct Fields {
    bool ok = false;
    std::string port = "untouched port";
    std::string baud = "untouched baud";
    bool operator==(const Fields&) const = default;
};

Fields Parse(std::string_view content) {
    Fields f;
    f.ok = quorvel::ParseSettingsFields(content, f.port, f.baud);
    return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const Fields first = Parse(content);

    // The same content always reads the same way.
    Require(Parse(content) == first, "deterministic");
    if (!first.ok) {
        Require(first == Fields{}, "a failed read leaves both fields untouched");
        return 0;
    }

    // Each field is a piece of the content, so the output never outgrows the input.
    Require(first.port.size() + first.baud.size() <= size, "fields no longer than the content");
    Require(Contains(content, first.port) && Contains(content, first.baud),
            "fields are pieces of the content");

    // Writing what was read and reading it back gives it again: read, write, read is read.
    if (WritesPlain(first.port) && WritesPlain(first.baud)) {
        const Fields again = Parse(first.port + "," + first.baud + "\r\n");
        Require(again == first, "write then read gives the fields back");
        // Without a line end the content's end closes the baud field, if there is one.
        if (!first.baud.empty()) {
            Require(Parse(first.port + "," + first.baud) == first, "the line end is optional");
        }
    }
    // A quoted field keeps separators and leading blanks.
    if (first.port.find('"') == std::string::npos && first.baud.find('"') == std::string::npos) {
        const Fields quoted = Parse("\"" + first.port + "\",\"" + first.baud + "\"\r\n");
        Require(quoted == first, "quoted write then read gives the fields back");
    }
    return 0;
}

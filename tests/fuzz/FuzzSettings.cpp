// The settings reader under arbitrary file content.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>

#include "link/SettingsFile.h"

namespace {

void Require(bool ok, const char* what) {
    if (ok) return;
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
}

// The two fields, or nothing; a failed read must leave both as they were.
std::optional<std::pair<std::string, std::string>> Read(std::string_view content) {
    std::string port = "untouched", baud = "untouched";
    const bool ok = quorvel::ParseSettingsFields(content, port, baud);
    Require(ok || (port == "untouched" && baud == "untouched"), "a failed read touches nothing");
    if (!ok) return std::nullopt;
    return std::pair{port, baud};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view content(reinterpret_cast<const char*>(data), size);
    const auto first = Read(content);
    Require(Read(content) == first, "deterministic");
    if (!first) return 0;
    const auto& [port, baud] = *first;
    Require(content.find(port) != std::string_view::npos && content.find(baud) != std::string_view::npos,
            "fields are pieces of the content");
    // What was read, written the way the program writes it, reads back the same.
    const auto plain = [](const std::string& f) {
        return f.find_first_of(",\r\n\"") == std::string::npos && (f.empty() || (f[0] != ' ' && f[0] != '\t'));
    };
    if (plain(port) && plain(baud)) {
        Require(Read(port + "," + baud + "\r\n") == first, "write then read gives the fields back");
        Require(baud.empty() || Read(port + "," + baud) == first, "the line end is optional");
    }
    // A quoted field keeps separators and leading blanks.
    if (port.find('"') == std::string::npos && baud.find('"') == std::string::npos)
        Require(Read("\"" + port + "\",\"" + baud + "\"\r\n") == first, "quoted fields read back");
    return 0;
}

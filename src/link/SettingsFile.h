#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "link/SettingsStore.h"

namespace quorvel {

// A valid file is 12 to 20 bytes. Reading stops after this many, so a huge or endless file
// costs no more than a small one; a field still running at this point counts as cut off.
inline constexpr std::size_t kSettingsReadLimit = 64 * 1024;

// Takes the first two fields of a settings file's content, the way the sequential-file reader
// does: a field ends at a comma or a line end (CR LF, LF or a lone CR, each exactly like a
// comma); blanks and tabs in front of a field are skipped; a field that begins with a double
// quote runs to the next double quote and is taken without the quotes, and whatever follows
// the closing quote up to the separator is ignored. The end of the content ends the last field,
// so "COM 1,9600" without a line end is fine, but reaching the end before the second field
// begins is a failure. Anything after the second field is ignored. Any bytes are accepted,
// NULs included; time is linear in the content. On failure port and baud are left untouched.
bool ParseSettingsFields(std::string_view content, std::string& port, std::string& baud);

// "Set.txt": the bare relative name, so it lies in the working directory. Tests may name
// another path.
class SettingsFile : public SettingsStore {
  public:
    explicit SettingsFile(std::string path = "Set.txt");

    void ResetAttributes() override;
    bool Read(std::string& port, std::string& baud) override;
    // Replaces the file through a temporary and a rename, so a crash leaves either the old
    // line or the new one. Where the folder cannot take the temporary but the file is
    // writable, it writes the file in place.
    bool Write(const std::string& port, const std::string& baud) override;

  private:
    std::string path_;
};

}  // namespace quorvel

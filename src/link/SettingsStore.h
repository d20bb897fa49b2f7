#pragma once

#include <string>

namespace quorvel {

// The one settings file, "Set.txt": port text, ",", baud text, CR LF.
class SettingsStore {
public:
    virtual ~SettingsStore() = default;

    // Makes an existing file readable and writable by its owner; a missing file is no error.
    virtual void ResetAttributes() = 0;
    // Reads the first two fields; false when the file is missing, unreadable or too short.
    virtual bool Read(std::string& port, std::string& baud) = 0;
    // Replaces the whole file with the line "port,baud" CR LF; false when it cannot.
    virtual bool Write(const std::string& port, const std::string& baud) = 0;
};

}  // namespace quorvel

#pragma once

#include <string>
#include <vector>

#include "link/SettingsStore.h"

namespace quorvel::testing {

// "Set.txt" in memory. `exists` and the two fields are the file; every Write attempt is counted,
// and `journal`, when set, gets "Write port,baud" so a test can see where it fell among the
// port's calls.
class FakeSettingsStore : public SettingsStore {
public:
    bool exists = true;
    std::string port = "COM 1";
    std::string baud = "9600";
    bool refuseWrite = false;
    bool refuseRead = false;
    int writeAttempts = 0;
    int resetAttributesCalls = 0;
    std::vector<std::string>* journal = nullptr;

    void ResetAttributes() override { ++resetAttributesCalls; }
    bool Read(std::string& portOut, std::string& baudOut) override {
        if (!exists || refuseRead) return false;
        portOut = port;
        baudOut = baud;
        return true;
    }
    bool Write(const std::string& portIn, const std::string& baudIn) override {
        ++writeAttempts;
        if (journal) journal->push_back("Write " + portIn + "," + baudIn);
        if (refuseWrite) return false;
        exists = true;
        port = portIn;
        baud = baudIn;
        return true;
    }

    std::string Line() const { return exists ? port + "," + baud + "\r\n" : std::string(); }
};

}  // namespace quorvel::testing

#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/SerialPort.h"

namespace quorvel::testing {

// A serial port in memory. `pending` is what the receiver has sent and the next Input returns;
// `written` collects every Output in order. Each operation can be told to refuse.
class FakeSerialPort : public SerialPort {
public:
    std::int16_t commPort = 1;
    std::string settings = "9600,n,8,1";
    bool open = false;
    std::string pending;
    std::vector<std::string> written;
    std::vector<std::string> calls;  // "SetCommPort 12", "SetSettings 9600,n,8,1", "Open", ...

    bool refuseSetCommPort = false;
    bool refuseSetSettings = false;
    int refuseOpenNumber = 0;  // refuse the n-th Open call (1-based); 0 refuses none
    bool refuseOutput = false;
    int openCalls = 0;

    bool SetCommPort(std::int16_t number) override {
        calls.push_back("SetCommPort " + std::to_string(number));
        if (open || refuseSetCommPort) return false;
        commPort = number;
        return true;
    }
    bool SetSettings(const std::string& value) override {
        calls.push_back("SetSettings " + value);
        if (refuseSetSettings) return false;
        settings = value;
        return true;
    }
    bool Open() override {
        calls.push_back("Open");
        ++openCalls;
        if (open || openCalls == refuseOpenNumber) return false;
        open = true;
        return true;
    }
    void Close() override {
        calls.push_back("Close");
        open = false;
    }
    bool IsOpen() const override { return open; }
    void DiscardInput() override {
        calls.push_back("DiscardInput");
        pending.clear();
    }
    std::string Input() override {
        std::string out;
        out.swap(pending);
        return out;
    }
    bool Output(const std::string& text) override {
        calls.push_back("Output");
        if (refuseOutput) return false;
        written.push_back(text);
        return true;
    }
};

}  // namespace quorvel::testing

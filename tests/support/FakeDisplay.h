#pragma once

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/Display.h"

namespace quorvel::testing {

// A window without a window: remembers what the logic showed, and every status text in order.
class FakeDisplay : public Display {
public:
    std::string status;
    std::vector<std::string> statusHistory;
    Colour statusColour = Colour::ButtonFace;
    bool statusVisible = true;
    bool statusReadOnly = true;
    std::string label1;
    Colour startButtonColour = Colour::ButtonFace;
    Colour selectorColour = Colour::WindowColour;
    bool frame5Enabled = true;
    std::vector<std::string> ports;
    std::vector<std::string> bauds;
    std::string selectedPort;
    std::string selectedBaud;
    std::map<TimerId, bool> timers{{TimerId::Timer1, false},
                                   {TimerId::Timer, false},
                                   {TimerId::Timer_Start, false},
                                   {TimerId::Timer_PF, true}};

    void SetStatusText(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    std::string StatusText() const override { return status; }
    void SetStatusColour(Colour colour) override { statusColour = colour; }
    void ShowStatus() override { statusVisible = true; }
    void SetStatusReadOnly() override { statusReadOnly = true; }
    void SetLabel1(const std::string& text) override { label1 = text; }
    void SetStartButtonColour(Colour colour) override { startButtonColour = colour; }
    void SetSelectorColours(Colour colour) override { selectorColour = colour; }
    void SetFrame5Enabled(bool enabled) override { frame5Enabled = enabled; }
    void AddSelectorEntry(Selector selector, const std::string& text) override {
        (selector == Selector::ComPort_6 ? ports : bauds).push_back(text);
    }
    bool SelectSelectorEntry(Selector selector, const std::string& text) override {
        auto& entries = selector == Selector::ComPort_6 ? ports : bauds;
        if (std::find(entries.begin(), entries.end(), text) == entries.end()) return false;
        (selector == Selector::ComPort_6 ? selectedPort : selectedBaud) = text;
        return true;
    }
    std::string SelectedPort() const override { return selectedPort; }
    std::string SelectedBaud() const override { return selectedBaud; }
    void SetTimerEnabled(TimerId timer, bool enabled) override { timers[timer] = enabled; }
    bool TimerEnabled(TimerId timer) const override { return timers.at(timer); }

    bool On(TimerId timer) const { return timers.at(timer); }
};

}  // namespace quorvel::testing

#pragma once

#include <array>
#include <string>

#include "engine/Display.h"
#include "engine/SerialPort.h"
#include "lab/cycle/Echo.h"
#include "lab/families/Identity.h"
#include "link/SettingsStore.h"

namespace quorvel::lab {

// What the window's cycle reaches the world through, for a receiver that has no window: the
// display in memory, no settings file, and the port as the cycle sees it.

// The window's display operations held in memory: nobody looks at them but the engine.
class HeadlessDisplay : public Display {
  public:
    std::string port;  // the selected port entry, "COM n"
    std::string baud;

    void SetStatusText(const std::string& text) override { status_ = text; }
    std::string StatusText() const override { return status_; }
    void SetStatusColour(Colour) override {}
    void ShowStatus() override {}
    void SetStatusReadOnly() override {}
    void SetLabel1(const std::string&) override {}
    void SetStartButtonColour(Colour) override {}
    void SetSelectorColours(Colour) override {}
    void SetFrame5Enabled(bool) override {}
    void AddSelectorEntry(Selector, const std::string&) override {}
    bool SelectSelectorEntry(Selector, const std::string&) override { return true; }
    std::string SelectedPort() const override { return port; }
    std::string SelectedBaud() const override { return baud; }
    void SetTimerEnabled(TimerId timer, bool on) override { timers_[Index(timer)] = on; }
    bool TimerEnabled(TimerId timer) const override { return timers_[Index(timer)]; }

  private:
    static std::size_t Index(TimerId timer) { return static_cast<std::size_t>(timer); }
    std::string status_;
    std::array<bool, 4> timers_{};
};

// The lab keeps no Set.txt.
class NoSettings : public SettingsStore {
  public:
    void ResetAttributes() override {}
    bool Read(std::string&, std::string&) override { return false; }
    bool Write(const std::string&, const std::string&) override { return true; }
};

// The port as the cycle sees it, less the lab's own words echoed back; what the cycle reads also
// goes to the reader of the receiver's identity, binary answers included, which the cycle's
// sentence scan would pass over.
class IdentityTap : public SerialPort {
  public:
    explicit IdentityTap(SerialPort& port) : port_(port) {}
    bool SetCommPort(std::int16_t number) override { return port_.SetCommPort(number); }
    bool SetSettings(const std::string& settings) override { return port_.SetSettings(settings); }
    bool Open() override { return port_.Open(); }
    void Close() override { port_.Close(); }
    bool IsOpen() const override { return port_.IsOpen(); }
    void DiscardInput() override { port_.DiscardInput(); }
    std::string Input() override {
        std::string text = echoes.Filter(port_.Input());
        changed = reader.Feed(text) || changed;
        received = received || !text.empty();
        return text;
    }
    bool Output(const std::string& text) override {
        echoes.Sent(text);
        return port_.Output(text);
    }
    std::string ErrorReason() const override { return port_.ErrorReason(); }

    IdentityReader reader;
    EchoFilter echoes;
    bool changed = false;   // the identity changed since the receiver last looked
    bool received = false;  // text came since the receiver last looked

  private:
    SerialPort& port_;
};

}  // namespace quorvel::lab

#include "link/StartUp.h"

#include <string>

#include "engine/Texts.h"
#include "link/LinkTexts.h"

namespace quorvel {

StartUp::StartUp(RunState& state, Display& display, SettingsStore& settings, MessageBox& messages,
                 WindowDecoration& decoration)
    : s_(state),
      display_(display),
      settings_(settings),
      messages_(messages),
      decoration_(decoration) {}

namespace {

void FillSelectors(Display& display) {
    for (int n = 1; n <= texts::kPortEntryCount; ++n) {
        display.AddSelectorEntry(Selector::ComPort_6, texts::PortEntry(n));
    }
    for (std::string_view rate : texts::kBaudRates) {
        display.AddSelectorEntry(Selector::BaudRate_6, std::string(rate));
    }
}

// The port first, then the baud; the first text that is not an entry stops it.
bool SelectSaved(Display& display, const std::string& port, const std::string& baud) {
    return display.SelectSelectorEntry(Selector::ComPort_6, port) &&
           display.SelectSelectorEntry(Selector::BaudRate_6, baud);
}

bool ReadAndSelect(SettingsStore& settings, Display& display) {
    std::string port;
    std::string baud;
    return settings.Read(port, baud) && SelectSaved(display, port, baud);
}

void ClearRunState(RunState& s) {
    s.RxBuffer.clear();
    s.Sentence.clear();
    s.GgaSeen = false;
    s.TextReceived = false;
    s.NoRespondSeconds = 0;
    s.GgaCount = 0;
    s.ReceiveTick = 0;
    s.Phase = 0;
    s.RestartCountdown = 0;  // not the reset value 30: the connection step sets that
    s.ColdStartSeconds = 0;
    s.LastReceiveTick = 0;
    s.SilentSeconds = 0;
    s.ProbeSeconds = 0;
}

// Whatever went wrong, one message and the default file; the lists are not filled again.
// When even the default cannot be written and read back, say so once more and go on with
// the default in memory: the program stays usable, only the choice is not remembered.
void RecoverSettings(SettingsStore& settings, Display& display, MessageBox& messages) {
    const std::string title(texts::kFileLoseTitle);
    messages.Show(title, std::string(texts::kCantFindSettingsFile));
    const std::string port(texts::kDefaultPort);
    const std::string baud(texts::kDefaultBaud);
    if (settings.Write(port, baud) && ReadAndSelect(settings, display)) return;

    messages.Show(title, std::string(texts::kCantSaveSettings));
    SelectSaved(display, port, baud);
}

}  // namespace

void StartUp::Form_Load() {
    decoration_.TrimSystemMenu();
    settings_.ResetAttributes();
    std::string port;
    std::string baud;
    const bool read = settings_.Read(port, baud);
    FillSelectors(display_);
    if (!read || !SelectSaved(display_, port, baud))
        RecoverSettings(settings_, display_, messages_);

    ClearRunState(s_);
    display_.SetStatusText("");
    display_.SetStatusReadOnly();
    display_.SetLabel1(std::string(texts::kNotConnected));
    s_.ConnectTicks = 0;
    s_.BaudCheckSeconds = 0;
    decoration_.FadeIn();
}

}  // namespace quorvel

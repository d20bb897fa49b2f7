#include "link/Connection.h"

#include <cstdint>
#include <limits>
#include <string>
#include <utility>

#include "engine/Texts.h"
#include "link/BaudTable.h"

namespace quorvel {

namespace {

// "COM 12" -> 12: the digits from the fifth character on, at most three of them.
// A text without digits there gives 0, which names no port, so the port refuses it.
std::int16_t PortNumberOf(const std::string& portText) {
    std::int16_t number = 0;
    for (std::size_t i = 4; i < portText.size() && i < 7; ++i) {
        const char c = portText[i];
        if (c < '0' || c > '9') break;
        number = static_cast<std::int16_t>(number * 10 + (c - '0'));
    }
    return number;
}

}  // namespace

Connection::Connection(RunState& state, Display& display, SerialPort& port, SettingsStore& settings,
                       CycleSettings cycle)
    : s_(state), display_(display), port_(port), settings_(settings), cycle_(std::move(cycle)) {}

void Connection::ConfigurePort() {
    const std::string portText = display_.SelectedPort();
    if (!port_.SetCommPort(PortNumberOf(portText))) return;

    // A baud text without a row is refused here, so no bogus rate ever reaches the file.
    const std::string baudText = display_.SelectedBaud();
    const auto settings = LineSettingsFor(baudText);
    if (!settings || !port_.SetSettings(std::string(*settings))) return;

    // Opening twice makes sure the line really starts with the new settings.
    if (!port_.Open()) return;
    port_.Close();
    if (!port_.Open()) return;
    port_.DiscardInput();

    settings_.Write(portText, baudText);
}

void Connection::Timer1_Tick() {
    if (s_.ConnectTicks == 0) ConnectionStep();
    if (s_.ConnectTicks < std::numeric_limits<std::int32_t>::max()) ++s_.ConnectTicks;
}

void Connection::ConnectionStep() {
    // Each connection starts afresh, so that the probe asks about this connection only and the
    // silence watch counts from now, whatever an earlier run received.
    s_.RxBuffer.clear();
    s_.TextReceived = false;
    s_.ProbeSeconds = 0;
    s_.SilentSeconds = 0;
    s_.LastReceiveTick = s_.ReceiveTick;

    ConfigurePort();

    display_.SetStartButtonColour(Colour::Grey);
    display_.SetSelectorColours(Colour::ButtonFace);
    display_.SetFrame5Enabled(false);
    display_.SetLabel1(std::string(texts::kConnecting));
    s_.RestartCountdown = cycle_.countdown;
    display_.SetTimerEnabled(TimerId::Timer, true);
    display_.SetTimerEnabled(TimerId::Timer_PF, true);
    display_.SetTimerEnabled(TimerId::Timer1, false);
}

void Connection::Timer_Tick() {
    if (!s_.TextReceived && s_.ProbeSeconds < std::numeric_limits<std::int16_t>::max()) {
        ++s_.ProbeSeconds;
        display_.SetStatusText(std::to_string(s_.ProbeSeconds));
    }
    if (s_.ProbeSeconds == 3) ReportNoConnection();
}

void Connection::ReportNoConnection() {
    std::string text = display_.SelectedPort();
    text += texts::kPortError;
    text += texts::kCrLf;
    text += texts::kSelectAnotherPort;
    display_.SetStatusText(text);
    display_.SetLabel1(std::string(texts::kCantConnect));
    display_.SetTimerEnabled(TimerId::Timer, false);
    display_.SetTimerEnabled(TimerId::Timer_PF, false);
    display_.SetTimerEnabled(TimerId::Timer_Start, false);
    if (cycle_.observer) cycle_.observer->VerdictReached(Verdict::CantConnect);
}

}  // namespace quorvel

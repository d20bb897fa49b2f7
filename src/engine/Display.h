#pragma once

#include <string>

namespace quorvel {

// The colours the logic may ask for. The window decides what button face and
// window colour are on this platform.
enum class Colour { ButtonFace, WindowColour, Red, Green, Grey };

// The four one-second timers of the main window.
enum class TimerId { Timer1, Timer, Timer_Start, Timer_PF };

enum class Selector { ComPort_6, BaudRate_6 };

// The display operations through which the logic changes the window.
// Texts are Latin-1: one char per received byte, as the port delivered it.
// Every operation acts at once; none of them fails, except the selection of a
// selector entry by a text that is not an entry.
class Display {
public:
    virtual ~Display() = default;

    // Text_Error_1, the status box.
    virtual void SetStatusText(const std::string& text) = 0;
    virtual std::string StatusText() const = 0;
    virtual void SetStatusColour(Colour colour) = 0;
    virtual void ShowStatus() = 0;
    virtual void SetStatusReadOnly() = 0;

    // Label1, the connection caption.
    virtual void SetLabel1(const std::string& text) = 0;

    // Cmd_Start_1 background.
    virtual void SetStartButtonColour(Colour colour) = 0;
    // ComPort_6 and BaudRate_6 backgrounds, always set together.
    virtual void SetSelectorColours(Colour colour) = 0;
    // Frame5 enabled state; disabling it disables both selectors.
    virtual void SetFrame5Enabled(bool enabled) = 0;

    virtual void AddSelectorEntry(Selector selector, const std::string& text) = 0;
    // Selects the entry whose text equals `text`; false (and no change) when there is none.
    virtual bool SelectSelectorEntry(Selector selector, const std::string& text) = 0;
    // The selected entry's text; empty when none is selected.
    virtual std::string SelectedPort() const = 0;
    virtual std::string SelectedBaud() const = 0;

    // Enabling a running timer leaves it running; its next tick is one interval later
    // than the moment it was first enabled.
    virtual void SetTimerEnabled(TimerId timer, bool enabled) = 0;
    virtual bool TimerEnabled(TimerId timer) const = 0;
};

}  // namespace quorvel

#pragma once

namespace quorvel {

// The window dressing that start-up asks of the main window.
class WindowDecoration {
public:
    virtual ~WindowDecoration() = default;
    // Takes the Close command away from the window (close box, window menu).
    virtual void TrimSystemMenu() = 0;
    // Hides the window, then shows it through the opacity steps, ending fully opaque.
    virtual void FadeIn() = 0;
};

}  // namespace quorvel

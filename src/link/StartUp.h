#pragma once

#include "engine/Display.h"
#include "engine/RunState.h"
#include "link/MessageBox.h"
#include "link/SettingsStore.h"
#include "link/WindowDecoration.h"

namespace quorvel {

// The main window's load handler: settings, selectors, start values, fade-in.
class StartUp {
public:
    StartUp(RunState& state, Display& display, SettingsStore& settings, MessageBox& messages,
            WindowDecoration& decoration);

    void Form_Load();

private:
    RunState& s_;
    Display& display_;
    SettingsStore& settings_;
    MessageBox& messages_;
    WindowDecoration& decoration_;
};

}  // namespace quorvel

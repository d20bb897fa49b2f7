#pragma once

#include <gtest/gtest.h>

#include <string>

#include "engine/RunState.h"
#include "link/Connection.h"
#include "support/FakeDisplay.h"
#include "support/FakeSerialPort.h"
#include "support/FakeSettingsStore.h"

namespace quorvel::testing {

// A window as start-up leaves it, with "COM 12" at 115200 selected, "Set.txt" holding the
// default and the receiver's port closed.
class ConnectionTest : public ::testing::Test {
protected:
    ConnectionTest() {
        display.label1 = "Not connected!";
        display.selectedPort = "COM 12";
        display.selectedBaud = "115200";
        store.journal = &port.calls;
    }

    // What the click on an idle window does before the first Timer1 tick.
    void Click() { display.timers[TimerId::Timer1] = true; }

    RunState state;
    FakeDisplay display;
    FakeSerialPort port;
    FakeSettingsStore store;
    Connection connection{state, display, port, store};
};

inline std::string VerdictFor(const std::string& portText) {
    return portText + "  error!\r\nPlease select another Com Port.";
}

}  // namespace quorvel::testing

#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/Display.h"
#include "engine/EngineObserver.h"
#include "engine/Gga.h"
#include "engine/RunState.h"
#include "engine/SerialPort.h"

namespace quorvel {

// The longest sentence the scan assembles, "$" to the second checksum character. Longer text
// can only be line noise; bounding it keeps RxBuffer and the scan work small for good.
inline constexpr std::size_t kMaxUnfinishedSentence = 4096;

// The cold-start test: sentence extraction, time analysis and orders, and the
// tick handlers of the two cycle timers. Handlers run to completion on the one
// event thread and share RunState directly.
class TestEngine {
public:
    TestEngine(RunState& state, Display& display, SerialPort& port, CycleSettings cycle = {});

    // Every notification of the serial port arrives here; only kind 2 is acted on.
    void HandlePortEvent(std::int16_t kind);
    // Puts the test run back to its beginning.
    void ResetTestRun();
    // Tick handlers.
    void Timer_Start_Tick();
    void Timer_PF_Tick();
    // For a front end that restarted the receiver by other means than the order (it switched
    // its supply off and on) and heard it come back: the restart stands confirmed, as a
    // confirming sentence would make it. Nothing while no order is outstanding.
    void ConfirmRestart();

    // Reached through HandlePortEvent; public so the receive path can be driven in parts.
    void ProcessSentence();
    void AnalyseGga();
    void CheckBaudRate();

private:
    void Scan(std::size_t scanned);
    void OrderColdStart();
    // Which sentences count toward the first order, and which may carry the next order.
    bool CountsTowardOrder(const GgaFields& gga) const;
    bool MayOrder(const GgaFields& gga) const;
    void NoteGgaTime(const GgaFields& gga);
    void ShowUncounted(const GgaFields& gga);
    // The receiver looked restarted `second` seconds after the order.
    void NoteSign(std::int16_t second);

    RunState& s_;
    Display& display_;
    SerialPort& port_;
    CycleSettings cycle_;
};

}  // namespace quorvel

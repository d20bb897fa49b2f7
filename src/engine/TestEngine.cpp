#include "engine/TestEngine.h"

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>

#include "engine/Counters.h"
#include "engine/Gga.h"
#include "engine/RestartSign.h"
#include "engine/StatusTexts.h"
#include "engine/Texts.h"

namespace quorvel {

namespace {

constexpr std::int16_t kReceiveTickLast = 1000;
constexpr std::int16_t kOrderAtGgaCount = 5;
constexpr std::int16_t kConfirmedGgaCount = 10;
constexpr std::int16_t kNoRespondLimit = 30;
constexpr std::int16_t kColdStartLimit = 30;
constexpr std::int16_t kSilenceLimit = 5;
constexpr std::int16_t kBaudCheckLast = 9;
// Seconds without a byte that make a silence: a receiver rebooting, not epochs out of step
// with our ticks.
constexpr std::int16_t kRebootSilence = 3;

// Keeps the last `limit` characters. Used only on text that holds no sentence start,
// or whose start has fallen off with the over-long sentence it began.
std::string LastChars(const std::string& text, std::size_t limit) {
    return text.size() > limit ? text.substr(text.size() - limit) : text;
}

}  // namespace

TestEngine::TestEngine(RunState& state, Display& display, SerialPort& port, CycleSettings cycle)
    : s_(state), display_(display), port_(port), cycle_(std::move(cycle)) {}

void TestEngine::HandlePortEvent(std::int16_t kind) {
    if (kind != comm_event::kReceive) return;
    if (!display_.TimerEnabled(TimerId::Timer_Start)) {
        display_.SetTimerEnabled(TimerId::Timer_Start, true);
    }
    s_.ReceiveTick = s_.ReceiveTick < kReceiveTickLast ? s_.ReceiveTick + 1 : 0;
    const std::string input = port_.Input();
    if (!input.empty()) {
        s_.TextReceived = true;
        s_.QuietSeconds = 0;
    }
    const std::size_t scanned = s_.RxBuffer.size();
    s_.RxBuffer += input;
    s_.ProbeSeconds = 0;
    Scan(scanned);
    CheckBaudRate();
}

// One pass over RxBuffer. A sentence runs from "$" to the second character after its first
// "*". A "$" anywhere inside it, checksum places included, drops it and starts a new one
// there. A sentence longer than kMaxUnfinishedSentence is dropped as noise.
//
// Afterwards RxBuffer keeps only what a later event can still need: the unfinished sentence
// from its "$", or else the text behind the last complete sentence (no "$" in it, capped).
// So each sentence is processed exactly once, and the same bytes give the same sentences
// however the port happened to split them. When an unfinished sentence outgrows the bound,
// its last characters are kept without the "$": that text can never be taken for the start
// of a sentence, the same outcome as if the whole over-long text had come in one piece.
//
// The first `scanned` characters are what the last scan left: an unfinished sentence, or text
// without a "$". Nothing that follows can change how they read, so the scan picks up behind
// them; a long sentence read byte by byte no longer costs a pass over all of it per byte.
void TestEngine::Scan(std::size_t scanned) {
    std::string buffer = std::move(s_.RxBuffer);
    constexpr std::size_t kNone = std::string::npos;
    const std::string_view left(buffer.data(), scanned);
    std::size_t start = left.starts_with('$') ? 0 : kNone;
    std::size_t star = start == 0 ? left.find('*') : kNone;
    if (left.find('$', start == 0 ? 1 : 0) != kNone || (star != kNone && star + 2 < scanned) ||
        scanned > kMaxUnfinishedSentence) {
        scanned = 0;  // not what a scan leaves: look at all of it
        start = star = kNone;
    }
    std::size_t consumed = 0;
    for (std::size_t i = scanned; i < buffer.size(); ++i) {
        // Jump over what cannot change anything: text outside a sentence up to the next "$",
        // and a sentence's body up to its "*", the next "$" or its bound.
        if (start == kNone) {
            i = buffer.find('$', i);
        } else if (star == kNone) {
            const std::size_t bound = start + kMaxUnfinishedSentence;
            const std::string_view body(buffer.data(), std::min(buffer.size(), bound));
            i = std::min({body.find('$', i), body.find('*', i), bound});
        }
        if (i >= buffer.size()) break;
        const char c = buffer[i];
        if (c == '$') {
            start = i;
            star = kNone;
        } else if (start == kNone) {
            continue;
        } else if (i - start + 1 > kMaxUnfinishedSentence) {
            start = kNone;
        } else if (star == kNone) {
            if (c == '*') star = i;
        } else if (i == star + 2) {
            s_.Sentence = buffer.substr(start, i - start + 1);
            ProcessSentence();
            s_.Sentence.clear();
            start = kNone;
            consumed = i + 1;
        }
    }
    // A buffer that is still one unfinished sentence is kept as it is: copying it after every
    // byte made a sentence read byte by byte cost a copy and an allocation per byte.
    if (start == 0) {
        s_.RxBuffer = std::move(buffer);
        return;
    }
    s_.RxBuffer = start != kNone ? buffer.substr(start)
                                 : LastChars(buffer.substr(consumed), kMaxUnfinishedSentence);
}

void TestEngine::ProcessSentence() {
    const std::string_view sentence = s_.Sentence;
    const bool intact = !cycle_.checkSums || ChecksumMatches(sentence);
    if (cycle_.observer) cycle_.observer->SentenceRead(sentence, intact);
    if (!intact) return;
    if (s_.Phase == 1) {
        for (const std::string& text : cycle_.startUpTexts) {
            if (text.empty() || !sentence.starts_with(text)) continue;
            s_.StartUpSinceOrder = true;
            NoteSign(s_.ColdStartSeconds);
        }
    }
    if (sentence.size() < 6 || sentence.substr(3, 3) != "GGA") return;
    // Any GGA proves the line speed, with or without a time in it.
    s_.GgaSeen = true;
    // A receiver that loses its fix on a restart may lose its time too: its time-less
    // sentences are signs as well.
    if ((sentence.size() >= 8 && sentence[7] != ',') || cycle_.sign == RestartSign::FixLost) {
        AnalyseGga();
        return;
    }
    // A receiver without a time yet is talking at the right rate. Before the first order the
    // status would otherwise stay empty, and an empty status makes every click a start: the
    // run could not be stopped. Not counted; label and colours stay as they are.
    if (s_.Phase == 0) display_.SetStatusText(std::string(texts::kWaiting));
}

void TestEngine::AnalyseGga() {
    const GgaFields gga = ReadGga(s_.Sentence);
    const RestartEvidence evidence{
        s_.GgaTimeKnown ? std::optional<int>(s_.LastGgaSeconds) : std::nullopt,
        s_.SecondsSinceGga, s_.SilenceSinceOrder, s_.StartUpSinceOrder, s_.TimeGoneTrusted};
    const bool looksRestarted =
        cycle_.sign == RestartSign::FixLost ? !gga.HasFix() : IsResetTime(gga.time);
    if (s_.Phase == 1 && looksRestarted) NoteSign(s_.ColdStartSeconds);
    const bool inTime = !cycle_.signWithinS ||
                        (s_.FirstSignSecond >= 0 && s_.FirstSignSecond <= *cycle_.signWithinS);
    const bool confirms = s_.Phase == 1 && inTime && ConfirmsRestart(cycle_.sign, gga, evidence);
    const bool counts = s_.Phase != 0 || CountsTowardOrder(gga);
    NoteGgaTime(gga);
    if (!counts) {
        if (cycle_.observer) cycle_.observer->GgaAnalysed(s_.Sentence, gga);
        ShowUncounted(gga);
        return;
    }
    if (confirms) {
        display_.SetStatusText(texts::ConfirmationText(gga.time));
        s_.Phase = 2;
        s_.GgaCount = kConfirmedGgaCount;
        if (cycle_.observer) cycle_.observer->RestartConfirmed(s_.ColdStartSeconds);
    }
    if (cycle_.observer) cycle_.observer->GgaAnalysed(s_.Sentence, gga);
    if (s_.Phase < 2) {
        display_.SetStatusText(gga.hasTime ? texts::TimeText(gga.time)
                                           : std::string(texts::kWaiting));
    }
    if (s_.Phase == 2) {
        display_.SetStatusColour(Colour::Green);
        display_.SetStatusText(texts::Phase2Text(s_.RestartCountdown));
    }
    display_.SetLabel1(std::string(texts::kConnected));
    SaturatingIncrement(s_.GgaCount);
    // In Phase 2 a countdown that went past 0 between two GGA sentences still orders;
    // otherwise a receiver that skips a second would stall the cycle for good.
    const bool countdownDone = s_.Phase == 2 ? s_.RestartCountdown <= 0 : s_.RestartCountdown == 0;
    if ((countdownDone && MayOrder(gga)) || s_.GgaCount == kOrderAtGgaCount) OrderColdStart();
}

bool TestEngine::CountsTowardOrder(const GgaFields& gga) const {
    if (cycle_.sign == RestartSign::FixLost) return gga.HasFix();
    return !IsResetTime(gga.time);
}

bool TestEngine::MayOrder(const GgaFields& gga) const {
    return cycle_.sign != RestartSign::FixLost || gga.HasFix();
}

// Only a time a clock can show is remembered: a damaged hour must not pass for a jump.
void TestEngine::NoteGgaTime(const GgaFields& gga) {
    const auto now = ClockSeconds(gga.time);
    if (!now) return;
    s_.GgaTimeKnown = true;
    s_.LastGgaSeconds = *now;
    s_.SecondsSinceGga = 0;
}

// A sentence that does not count toward the first order: a clock still at its reset time, or
// a receiver without a fix that must get one before an order can prove anything.
void TestEngine::ShowUncounted(const GgaFields& gga) {
    if (cycle_.sign == RestartSign::FixLost && gga.hasTime) {
        display_.SetStatusText(texts::TimeText(gga.time));
        display_.SetLabel1(std::string(texts::kConnected));
        return;
    }
    display_.SetStatusText(std::string(texts::kWaiting));
}

void TestEngine::OrderColdStart() {
    const std::optional<std::string> order =
        cycle_.observer ? cycle_.observer->NextOrder(cycle_.order) : cycle_.order;
    if (!order) return;
    port_.Output(*order);
    s_.SilenceSinceOrder = false;
    s_.StartUpSinceOrder = false;
    s_.FirstSignSecond = -1;
    display_.SetStatusColour(Colour::ButtonFace);
    s_.NoRespondSeconds = 0;
    s_.Phase = 1;
    s_.RestartCountdown = cycle_.countdown;
    s_.ColdStartSeconds = 0;
    if (cycle_.observer) cycle_.observer->OrderSent(*order);
}

void TestEngine::ConfirmRestart() {
    if (s_.Phase == 0) return;
    s_.Phase = 2;
    s_.GgaCount = kConfirmedGgaCount;
    display_.SetStatusColour(Colour::Green);
    display_.SetStatusText(texts::Phase2Text(s_.RestartCountdown));
    if (cycle_.observer) cycle_.observer->RestartConfirmed(s_.ColdStartSeconds);
}

void TestEngine::NoteSign(std::int16_t second) {
    if (s_.FirstSignSecond < 0 || second < s_.FirstSignSecond) s_.FirstSignSecond = second;
}

void TestEngine::CheckBaudRate() {
    if (s_.BaudCheckSeconds <= 3 || s_.BaudCheckSeconds >= 7 || s_.GgaSeen) return;
    display_.SetTimerEnabled(TimerId::Timer_Start, false);
    display_.SetTimerEnabled(TimerId::Timer_PF, true);
    display_.ShowStatus();
    display_.SetStatusColour(Colour::Red);
    display_.SetStatusText(std::string(texts::kBaudMismatch));
    if (cycle_.observer) cycle_.observer->VerdictReached(Verdict::BaudMismatch);
}

void TestEngine::ResetTestRun() {
    display_.SetTimerEnabled(TimerId::Timer_Start, false);
    s_.GgaSeen = false;
    s_.BaudCheckSeconds = 0;
    s_.ConnectTicks = 0;
    s_.NoRespondSeconds = 0;
    s_.GgaCount = 0;
    s_.Phase = 0;
    s_.ColdStartSeconds = 0;
    s_.LastReceiveTick = 0;
    s_.SilentSeconds = 0;
    s_.ProbeSeconds = 0;
    s_.RestartCountdown = cycle_.countdown;
    s_.GgaTimeKnown = false;
    s_.SecondsSinceGga = 0;
    s_.QuietSeconds = 0;
    s_.SilenceSinceOrder = false;
    s_.StartUpSinceOrder = false;
    s_.FirstSignSecond = -1;
    display_.SetStatusText("");
    display_.SetStatusColour(Colour::ButtonFace);
    display_.SetStartButtonColour(Colour::ButtonFace);
    display_.SetSelectorColours(Colour::WindowColour);
}

void TestEngine::Timer_Start_Tick() {
    if (s_.BaudCheckSeconds < kBaudCheckLast) ++s_.BaudCheckSeconds;
    SaturatingIncrement(s_.SecondsSinceGga);
    SaturatingIncrement(s_.QuietSeconds);
    if (s_.Phase == 1 && s_.QuietSeconds >= kRebootSilence && s_.SilenceTrusted) {
        // The silence began with the last text, not when it grew long enough to count.
        const int began = s_.ColdStartSeconds + 1 - s_.QuietSeconds;
        NoteSign(static_cast<std::int16_t>(std::max(began, 0)));
        s_.SilenceSinceOrder = true;
    }
    if (s_.Phase == 1) {
        SaturatingIncrement(s_.ColdStartSeconds);
        display_.SetStatusText(texts::CountText(s_.ColdStartSeconds));
    }
    if (s_.ColdStartSeconds > kColdStartLimit) {
        display_.SetStatusText(std::string(texts::kColdStartFail));
    }
    if (s_.Phase == 2) SaturatingDecrement(s_.RestartCountdown);
}

void TestEngine::Timer_PF_Tick() {
    if (s_.Phase == 1) {
        SaturatingIncrement(s_.NoRespondSeconds);
        if (s_.NoRespondSeconds != kNoRespondLimit) return;
        display_.SetStatusColour(Colour::Red);
        display_.SetStatusText(texts::NoRespondText());
        display_.SetLabel1(std::string(texts::kNotConnected));
        display_.SetTimerEnabled(TimerId::Timer, false);
        display_.SetTimerEnabled(TimerId::Timer_Start, false);
        if (cycle_.observer) cycle_.observer->VerdictReached(Verdict::NoRespond);
        return;
    }
    if (s_.ReceiveTick != s_.LastReceiveTick) {
        s_.LastReceiveTick = s_.ReceiveTick;
        s_.SilentSeconds = 0;
        return;
    }
    SaturatingIncrement(s_.SilentSeconds);
    if (s_.SilentSeconds <= kSilenceLimit) return;
    if (s_.Phase == 2) {
        display_.SetStatusText(std::string(texts::kShutDown));
    } else {
        ResetTestRun();
    }
    display_.SetTimerEnabled(TimerId::Timer, false);
    display_.SetTimerEnabled(TimerId::Timer_PF, false);
    display_.SetTimerEnabled(TimerId::Timer_Start, false);
    if (s_.Phase == 2 && cycle_.observer) cycle_.observer->VerdictReached(Verdict::ShutDown);
}

}  // namespace quorvel

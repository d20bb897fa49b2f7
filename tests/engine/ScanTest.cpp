// The receive event: what it does to the run state, and how it cuts the text into sentences.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

using Texts = std::vector<std::string>;

TEST(ReceiveEvent, OtherNotificationsChangeNothing) {
    for (std::int16_t kind :
         {comm_event::kSend, comm_event::kCts, comm_event::kDsr, comm_event::kCd, comm_event::kRing,
          comm_event::kEof, comm_event::kBreak, comm_event::kFrame, comm_event::kOverrun,
          comm_event::kRxOver, comm_event::kRxParity}) {
        SimulatedWindow w;
        w.port.pending = "$GPG";
        w.engine.HandlePortEvent(kind);
        EXPECT_EQ(w.state.ReceiveTick, 0) << kind;
        EXPECT_FALSE(w.display.On(TimerId::Timer_Start)) << kind;
        EXPECT_EQ(w.port.pending, "$GPG") << kind;
    }
}

// An empty read still counts as an event but proves no text arrived.
TEST(ReceiveEvent, StartsTimerStartStepsTickAndClearsProbeCount) {
    for (const std::string read : {"noise", ""}) {
        SimulatedWindow w;
        w.state.ProbeSeconds = 2;
        w.Receive(read);
        EXPECT_TRUE(w.display.On(TimerId::Timer_Start));
        EXPECT_EQ(w.state.ReceiveTick, 1);
        EXPECT_EQ(w.state.ProbeSeconds, 0);
        EXPECT_EQ(w.state.TextReceived, !read.empty());
    }
}

TEST(ReceiveEvent, OneAndAHalfSentencesThenTheRest) {
    SimulatedWindow w;
    const std::string gsa = Line(Gsa());
    w.Receive(Line(Gga("123519.00")) + gsa.substr(0, 12));
    EXPECT_EQ(w.state.GgaCount, 1);
    EXPECT_EQ(w.state.RxBuffer, gsa.substr(0, 12));

    w.Receive(gsa.substr(12));
    EXPECT_EQ(w.state.RxBuffer, "\r\n");  // only what follows the checksum

    const std::string rmc = Rmc("123520.00").substr(0, 20);
    w.Receive(rmc);
    EXPECT_EQ(w.state.RxBuffer, rmc);
    EXPECT_EQ(w.display.statusHistory, Texts{"UTC Time :12:35:19\r\n"});
}

TEST(ReceiveEvent, SentenceIsCompleteWithItsSecondChecksumCharacter) {
    SimulatedWindow w;
    const std::string gga = Gga("120000.00");
    w.Receive(gga.substr(0, gga.size() - 1));
    EXPECT_EQ(w.state.GgaCount, 0);
    w.Receive(gga.substr(gga.size() - 1));
    EXPECT_EQ(w.state.GgaCount, 1);
    EXPECT_EQ(w.state.RxBuffer, "");
}

// A read that ends at a sentence's end used to leave it in the buffer to be analysed again.
TEST(ReceiveEvent, SentenceEndingAReadIsAnalysedOnce) {
    for (const std::string tail : {"", "\r", "\r\n"}) {
        SimulatedWindow w;
        w.Receive(Gga("120000.00") + tail);
        w.Receive("");
        w.Receive(Line(Gsa()));
        EXPECT_EQ(w.display.statusHistory.size(), 1u) << tail.size();
    }
}

TEST(ReceiveEvent, TextBeforeTheFirstDollarIsNeverASentence) {
    SimulatedWindow w;
    w.Receive("GGA,000005.00,*11\r\n" + Line(Gga("120000.00")));
    EXPECT_EQ(w.display.statusHistory, Texts{"UTC Time :12:00:00\r\n"});
}

// A "$" always starts a sentence: a sentence cut short by the next one is dropped.
TEST(ReceiveEvent, DollarStartsANewSentenceWherever) {
    const std::string gga = Gga("120001.00");
    for (const std::string& text :
         {"$GPGGA,0301" + gga, "$GPGSV,1,1*" + gga, "$GPGSV,1,1*4" + gga, "$$" + gga.substr(1)}) {
        SimulatedWindow whole;
        whole.Receive(Line(text));
        EXPECT_EQ(whole.display.statusHistory, Texts{"UTC Time :12:00:01\r\n"}) << text;
        SimulatedWindow bytewise;
        for (char ch : Line(text)) bytewise.Receive(std::string(1, ch));
        EXPECT_EQ(bytewise.display.statusHistory, Texts{"UTC Time :12:00:01\r\n"}) << text;
    }
}

TEST(ReceiveEvent, UnfinishedSentenceKeepsItsLastCharactersWithoutItsStart) {
    SimulatedWindow w;
    w.Receive("$GPGGA,000001.00," + std::string(kMaxUnfinishedSentence, 'x'));
    EXPECT_EQ(w.state.RxBuffer.size(), kMaxUnfinishedSentence);
    EXPECT_EQ(w.state.RxBuffer.find('$'), std::string::npos);
    // Its end cannot complete it any more; the next sentence is analysed as usual.
    w.Receive("*00\r\n" + Line(Gga("120002.00")));
    EXPECT_EQ(w.display.statusHistory, Texts{"UTC Time :12:00:02\r\n"});
}

TEST(ReceiveEvent, LongestSentenceIsAnalysedOneMoreIsNot) {
    const std::string head = "$GPGGA,120003.00,";
    for (std::size_t length : {kMaxUnfinishedSentence, kMaxUnfinishedSentence + 1}) {
        const std::string sentence = head + std::string(length - head.size() - 3, 'x') + "*00";
        SimulatedWindow whole;
        whole.Receive(sentence);
        SimulatedWindow bytewise;
        for (char ch : sentence) bytewise.Receive(std::string(1, ch));
        const int expected = length == kMaxUnfinishedSentence ? 1 : 0;
        EXPECT_EQ(whole.state.GgaCount, expected) << length;
        EXPECT_EQ(bytewise.state.GgaCount, expected) << length << " byte by byte";
        EXPECT_LE(bytewise.largestRxBuffer, kMaxUnfinishedSentence);
    }
}

// Which complete sentences count; any GGA, with or without a time, proves the line speed.
struct SentenceCase {
    const char* name;
    std::string sentence;
    bool ggaSeen;
    bool analysed;
};

TEST(ProcessSentence, WhichSentencesCount) {
    const std::vector<SentenceCase> cases = {
        {"GN talker", Gga("120000.00", "GN"), true, true},
        {"any two characters as talker", Gga("120000", "x?"), true, true},
        {"wrong checksum", "$GPGGA,120000.00,,,,,1,,,,,,,,*00", true, true},
        {"checksum not hexadecimal", "$GPGGA,120000.00,,*zz", true, true},
        {"time field holds a checksum character", "$GPGGA,*12", true, true},
        {"empty time field", EmptyTimeGga(), true, false},
        {"lower-case type", "$GPgga,120000.00,*00", false, false},
        {"other type", Rmc("120000.00"), false, false},
        {"too short for a type", "$GG*00", false, false},
    };
    for (const auto& c : cases) {
        SimulatedWindow w;
        w.state.Sentence = c.sentence;
        w.engine.ProcessSentence();
        EXPECT_EQ(w.state.GgaSeen, c.ggaSeen) << c.name;
        EXPECT_EQ(w.display.statusHistory.size(), c.analysed ? 1u : 0u) << c.name;
    }
}

}  // namespace
}  // namespace quorvel::testing

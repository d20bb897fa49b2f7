// The receive event: what it does to the run state, and how it cuts the text into sentences.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/ScriptedReceiver.h"

namespace quorvel::testing {
namespace {

class ReceiveEvent : public ::testing::Test {
protected:
    SimulatedWindow w;

    // The status texts the analysed GGA sentences wrote, in order.
    const std::vector<std::string>& Shown() const { return w.display.statusHistory; }
};

TEST_F(ReceiveEvent, OtherNotificationsChangeNothing) {
    for (std::int16_t kind :
         {comm_event::kSend, comm_event::kCts, comm_event::kDsr, comm_event::kCd, comm_event::kRing,
          comm_event::kEof, comm_event::kBreak, comm_event::kFrame, comm_event::kOverrun,
          comm_event::kRxOver, comm_event::kRxParity}) {
        w.port.pending = Line(Gga("120000.00"));
        w.engine.HandlePortEvent(kind);
        EXPECT_EQ(w.state.ReceiveTick, 0) << kind;
        EXPECT_FALSE(w.display.On(TimerId::Timer_Start)) << kind;
        EXPECT_EQ(w.port.pending, Line(Gga("120000.00"))) << kind;
        EXPECT_TRUE(w.state.RxBuffer.empty()) << kind;
    }
}

TEST_F(ReceiveEvent, StartsTimerStartStepsTickAndClearsProbeCount) {
    w.state.ProbeSeconds = 2;
    w.Receive("noise");
    EXPECT_TRUE(w.display.On(TimerId::Timer_Start));
    EXPECT_EQ(w.state.ReceiveTick, 1);
    EXPECT_EQ(w.state.ProbeSeconds, 0);
    EXPECT_TRUE(w.state.TextReceived);
}

TEST_F(ReceiveEvent, EmptyReadStillCountsButProvesNothing) {
    w.state.ProbeSeconds = 2;
    w.Receive("");
    EXPECT_EQ(w.state.ReceiveTick, 1);
    EXPECT_EQ(w.state.ProbeSeconds, 0);
    EXPECT_FALSE(w.state.TextReceived);
    EXPECT_TRUE(w.display.On(TimerId::Timer_Start));
}

TEST_F(ReceiveEvent, ReceiveTickRunsToThousandAndBackToZero) {
    for (int i = 0; i < 1000; ++i) w.Receive("");
    EXPECT_EQ(w.state.ReceiveTick, 1000);
    w.Receive("");
    EXPECT_EQ(w.state.ReceiveTick, 0);
}

TEST_F(ReceiveEvent, OneAndAHalfSentencesThenTheRest) {
    const std::string gga = Gga("123519.00");
    const std::string gsa = Line(Gsa());
    w.Receive(Line(gga) + gsa.substr(0, 12));
    EXPECT_EQ(w.state.GgaCount, 1);
    EXPECT_TRUE(w.state.GgaSeen);
    EXPECT_EQ(w.state.RxBuffer, gsa.substr(0, 12));
    EXPECT_TRUE(w.state.Sentence.empty());

    w.Receive(gsa.substr(12));
    EXPECT_EQ(w.state.RxBuffer, "\r\n");  // only what follows the checksum

    const std::string rmc = Rmc("123520.00").substr(0, 20);
    w.Receive(rmc);
    EXPECT_EQ(w.state.RxBuffer, rmc);
    EXPECT_EQ(w.state.GgaCount, 1);
    EXPECT_EQ(Shown(), std::vector<std::string>{"UTC Time :12:35:19\r\n"});
}

TEST_F(ReceiveEvent, SentenceIsCompleteWithItsSecondChecksumCharacter) {
    const std::string gga = Gga("120000.00");
    w.Receive(gga.substr(0, gga.size() - 1));
    EXPECT_EQ(w.state.GgaCount, 0);
    EXPECT_EQ(w.state.RxBuffer, gga.substr(0, gga.size() - 1));
    w.Receive(gga.substr(gga.size() - 1));
    EXPECT_EQ(w.state.GgaCount, 1);
    EXPECT_EQ(w.state.RxBuffer, "");
}

// A read that ends at a sentence's end used to leave it in the buffer to be analysed again.
TEST_F(ReceiveEvent, SentenceEndingAReadIsAnalysedOnce) {
    for (const std::string tail : {"", "\r", "\r\n"}) {
        SimulatedWindow fresh;
        fresh.Receive(Gga("120000.00") + tail);
        fresh.Receive("");
        fresh.Receive(Line(Gsa()));
        EXPECT_EQ(fresh.state.GgaCount, 1) << tail.size();
        EXPECT_EQ(fresh.display.statusHistory.size(), 1u) << tail.size();
    }
}

TEST_F(ReceiveEvent, TextBeforeTheFirstDollarIsNeverASentence) {
    w.Receive("GGA,000005.00,*11\r\n" + Line(Gga("120000.00")));
    EXPECT_EQ(Shown(), std::vector<std::string>{"UTC Time :12:00:00\r\n"});
}

// A "$" always starts a sentence: a sentence cut short by the next one is dropped.
struct BrokenCase {
    const char* name;
    std::string text;
    std::vector<std::string> shown;
};

TEST_F(ReceiveEvent, DollarStartsANewSentenceWherever) {
    const std::string gga = Gga("120001.00");
    const std::vector<BrokenCase> cases = {
        {"cut in the time field", "$GPGGA,0301" + gga, {"UTC Time :12:00:01\r\n"}},
        {"cut after the star", "$GPGSV,1,1*" + gga, {"UTC Time :12:00:01\r\n"}},
        {"cut in the checksum", "$GPGSV,1,1*4" + gga, {"UTC Time :12:00:01\r\n"}},
        {"two in a row", "$$" + gga.substr(1), {"UTC Time :12:00:01\r\n"}},
    };
    for (const auto& c : cases) {
        SimulatedWindow whole;
        whole.Receive(c.text + "\r\n");
        EXPECT_EQ(whole.display.statusHistory, c.shown) << c.name;
        SimulatedWindow bytewise;
        for (char ch : c.text + "\r\n") bytewise.Receive(std::string(1, ch));
        EXPECT_EQ(bytewise.display.statusHistory, c.shown) << c.name << " byte by byte";
    }
}

TEST_F(ReceiveEvent, UnfinishedSentenceKeepsItsLastCharactersWithoutItsStart) {
    w.Receive("$GPGGA,000001.00," + std::string(kMaxUnfinishedSentence, 'x'));
    EXPECT_EQ(w.state.RxBuffer.size(), kMaxUnfinishedSentence);
    EXPECT_EQ(w.state.RxBuffer.find('$'), std::string::npos);
    // Its end cannot complete it any more; the next sentence is analysed as usual.
    w.Receive("*00\r\n" + Line(Gga("120002.00")));
    EXPECT_EQ(Shown(), std::vector<std::string>{"UTC Time :12:00:02\r\n"});
}

TEST_F(ReceiveEvent, LongestSentenceIsAnalysedOneMoreIsNot) {
    const std::string head = "$GPGGA,120003.00,";
    for (std::size_t length : {kMaxUnfinishedSentence, kMaxUnfinishedSentence + 1}) {
        const std::string sentence = head + std::string(length - head.size() - 3, 'x') + "*00";
        for (bool bytewise : {false, true}) {
            SimulatedWindow fresh;
            if (bytewise) {
                for (char ch : sentence) fresh.Receive(std::string(1, ch));
            } else {
                fresh.Receive(sentence);
            }
            EXPECT_EQ(fresh.state.GgaCount, length == kMaxUnfinishedSentence ? 1 : 0)
                << length << (bytewise ? " byte by byte" : " whole");
            EXPECT_LE(fresh.largestRxBuffer, kMaxUnfinishedSentence);
        }
    }
}

TEST_F(ReceiveEvent, NoiseWithoutSentencesStaysBounded) {
    for (int i = 0; i < 100; ++i) w.Receive(std::string(1000, static_cast<char>(0xA5)));
    EXPECT_LE(w.largestRxBuffer, kMaxUnfinishedSentence);
    EXPECT_FALSE(w.state.RxBuffer.empty());
}

TEST_F(ReceiveEvent, BaudCheckRunsAfterEveryEvent) {
    w.state.BaudCheckSeconds = 5;
    w.Receive("");
    EXPECT_EQ(w.display.status, texts::kBaudMismatch);
    EXPECT_FALSE(w.display.On(TimerId::Timer_Start));
    w.Receive(Line(Gga("120000.00")));
    EXPECT_EQ(w.display.status, "UTC Time :12:00:00\r\n");
}

// Which complete sentences count, one sentence per case.
struct SentenceCase {
    const char* name;
    std::string sentence;
    bool ggaSeen;
    bool analysed;
};

TEST(ProcessSentence, WhichSentencesCount) {
    const std::vector<SentenceCase> cases = {
        {"GP talker", Gga("120000.00"), true, true},
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

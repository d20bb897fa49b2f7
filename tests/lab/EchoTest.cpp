// The lab's own words read back from a line that echoes them: taken out, however the reads
// split them, and nothing else with them.
#include <gtest/gtest.h>

#include "lab/cycle/Echo.h"

namespace quorvel::lab {
namespace {

TEST(LabEcho, TheLabsOwnWordsAreTakenOutHoweverTheReadsSplitThem) {
    const std::string query = "$PAIR020*38\r\n", ubx("\xB5\x62\x0A\x04\x00\x00\x0E\x34", 8);
    const std::string gga = "$GPGGA,120000.00,,,,,0*00\r\n";
    struct Case {
        const char* name;
        std::vector<std::string> reads;
        std::string out;
        long long echoes;
    };
    const Case cases[] = {
        {"nothing sent back", {gga}, gga, 0},
        {"an echo between sentences", {gga + query + gga}, gga + gga, 1},
        {"an echo split over reads", {gga + "$PAI", "R020*3", "8\r\n" + gga}, gga + gga, 1},
        {"a binary echo", {ubx + gga}, gga, 1},
        {"a sentence that only begins like one", {"$PAIR020,1*00\r\n"}, "$PAIR020,1*00\r\n", 0},
        {"the same start held, then told apart", {"$PAIR", "001,1*00\r\n"}, "$PAIR001,1*00\r\n", 0},
    };
    for (const Case& c : cases) {
        EchoFilter filter;
        filter.Sent(query);
        filter.Sent(ubx);
        std::string out;
        for (const std::string& read : c.reads) out += filter.Filter(read);
        EXPECT_EQ(out, c.out) << c.name;
        EXPECT_EQ(filter.Echoes(), c.echoes) << c.name;
    }
}

}  // namespace
}  // namespace quorvel::lab

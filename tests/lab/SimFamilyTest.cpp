// The simulated receiver families: which orders each obeys, and how each shows a restart.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <tuple>

#include "engine/Gga.h"
#include "engine/Gsa.h"
#include "lab/Geo.h"
#include "sim/Receiver.h"
#include "sim/Sentences.h"

namespace quorvel::sim {
namespace {

using F = Family;
using lab::HorizontalErrorM;
using namespace std::string_literals;
const std::string kUbx = "\xB5\x62\x06\x04\x04\x00\xFF\xFF\x02\x00\x0E\x61"s;

TEST(SimFamily, EachObeysItsOwnOrderOnly) {
    const std::string orders[] = {"$PXEMSRT,C*3A\r\n", kUbx, "$PMTK103*30\r\n",
                                  "$PSRF101,0,0,0,0,0,0,12,4*10\r\n"};
    for (int r = 0; r < 4; ++r)
        for (int o = 0; o < 4; ++o) EXPECT_EQ(IsColdStartOrder(F(r), orders[o]), r == o) << r << o;
    const std::tuple<F, std::string, bool> nearMisses[] = {
        {F::Ubx, "$GPTXT\n" + kUbx + "$PMTK", true},
        {F::Ubx, kUbx.substr(0, 11) + "\x62", false},                          // bad checksum
        {F::Ubx, "\xB5\x62\x06\x04\x04\x00\x00\x00\x02\x00\x10\x68"s, false},  // hot start
        {F::Pmtk, "$PMTK103*31\r\n", false},
        {F::Psrf, "$PSRF101,0,0,0,0,0,0,12,1*15\r\n", false},  // hot start
    };
    for (const auto& [family, bytes, order] : nearMisses)
        EXPECT_EQ(IsColdStartOrder(family, bytes), order) << bytes;
}

// A receiver of `family` told to cold start at 12:00:00; one burst of reboot silence follows.
Receiver Ordered(F family, bool neverFix) {
    ReceiverConfig c;
    c.startSecondsOfDay = 12 * 3600;
    c.rebootSilence = 1;
    c.noFixAfterRestart = 4;
    c.family = family;
    c.neverFix = neverFix;
    Receiver rx(c);
    rx.NextBurst();
    rx.OnOrder();
    return rx;
}

// "hhmmss/quality" of each GGA in the next six bursts.
std::string AfterOrder(F family, bool neverFix) {
    Receiver rx = Ordered(family, neverFix);
    std::string out;
    for (int i = 0; i < 6; ++i) {
        const auto e = rx.NextBurst();
        if (!e) continue;
        std::vector<std::string> f;
        std::stringstream gga(Gga(*e));
        for (std::string field; std::getline(gga, field, ',');) f.push_back(field);
        out += (out.empty() ? "" : " ") + f[1].substr(0, 6) + "/" + f[6];
    }
    return out;
}

TEST(SimFamily, EachShowsARestartAsItsCapturesDo) {
    const std::tuple<F, bool, std::string> rows[] = {
        {F::Pxemsrt, false, "000000/0 000001/0 000002/0 000003/0 000004/1"},
        {F::Ubx, false, "/0 /0 120004/0 120005/0 120006/1"},
        {F::Pmtk, false, "235946/0 235947/0 120004/0 120005/0 120006/1"},
        {F::Psrf, false, "000000/0 000001/0 120004/0 120005/0 120006/1"},
        {F::Ubx, true, "/0 /0 /0 /0 /0"},
        {F::Pmtk, true, "235946/0 235947/0 235948/0 235949/0 235950/0"},
        {F::Psrf, true, "000000/0 000001/0 000002/0 000003/0 000004/0"},
    };
    for (const auto& [family, neverFix, ggas] : rows) EXPECT_EQ(AfterOrder(family, neverFix), ggas);
    Receiver rx = Ordered(F::Ubx, false);
    rx.NextBurst();
    EXPECT_EQ(Gga(*rx.NextBurst()), "$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n");  // as bt451.log
}

// "metres off/GSA fix type" of each burst after an order, read back by the lab's readers.
TEST(SimFamily, TheFirstFixesAfterARestartAreOffAnd2DForAsLongAsAsked) {
    ReceiverConfig c;
    c.rebootSilence = 0;
    c.noFixAfterRestart = 1;
    c.offsetM = 500;
    c.offsetFor = 2;
    c.twoDFor = 3;
    Receiver rx(c);
    rx.NextBurst();
    rx.OnOrder();
    std::string out;
    for (int i = 0; i < 6; ++i) {
        const Epoch e = *rx.NextBurst();
        const GgaFields g = ReadGga(Gga(e));
        const double off =
            g.latitude ? HorizontalErrorM(48.1173, 11.5167, *g.latitude, *g.longitude) : -1;
        out += std::to_string(std::lround(off / 10) * 10) + "/" +
               std::to_string(ReadGsa(Gsa(e))->fixType.value_or(0)) + " ";
    }
    EXPECT_EQ(out, "0/1 500/2 500/2 0/2 0/3 0/3 ");
    c.sendsGsa = false;
    EXPECT_EQ(Burst(*Receiver(c).NextBurst()).find("GSA"), std::string::npos);
}

}  // namespace
}  // namespace quorvel::sim

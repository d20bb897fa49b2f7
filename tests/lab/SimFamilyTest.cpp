// The receiver families: every order byte for byte in the lab's profiles and in the simulator's
// own description, which orders each simulated family obeys, how it shows a restart, and what
// the lab reads of who a receiver is.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <tuple>

#include "lab/families/Identity.h"
#include "lab/families/Profiles.h"
#include "sim/Nmea.h"
#include "sim/Orders.h"
#include "engine/Gga.h"
#include "engine/Gsa.h"
#include "lab/cycle/Geo.h"
#include "sim/Receiver.h"
#include "sim/Sentences.h"

namespace quorvel::sim {
namespace {

using F = Family;
using S = Start;
using lab::HorizontalErrorM;
using namespace std::string_literals;

// The makers' orders, hot, warm, cold, factory ("" where the family has none), as published.
const std::pair<F, std::array<std::string, 4>> kOrderTable[] = {
    {F::Pxemsrt, {"", "", "$PXEMSRT,C*3A\r\n", ""}},
    {F::Ubx,
     {"\xB5\x62\x06\x04\x04\x00\x00\x00\x02\x00\x10\x68"s,
      "\xB5\x62\x06\x04\x04\x00\x01\x00\x02\x00\x11\x6C"s,
      "\xB5\x62\x06\x04\x04\x00\xFF\xFF\x02\x00\x0E\x61"s, ""}},
    {F::Pmtk, {"$PMTK101*32\r\n", "$PMTK102*31\r\n", "$PMTK103*30\r\n", "$PMTK104*37\r\n"}},
    {F::Psrf,
     {"$PSRF101,0,0,0,0,0,0,12,0*14\r\n", "$PSRF101,0,0,0,0,0,0,12,2*16\r\n",
      "$PSRF101,0,0,0,0,0,0,12,4*10\r\n", "$PSRF101,0,0,0,0,0,0,12,8*1C\r\n"}},
    {F::Pair, {"$PAIR004*3E\r\n", "$PAIR005*3F\r\n", "$PAIR006*3C\r\n", "$PAIR007*3D\r\n"}},
    {F::Pqtm, {"$PQTMHOT*4B\r\n", "$PQTMWARM*11\r\n", "$PQTMCOLD*1C\r\n", ""}},
    {F::Casic, {"$PCAS10,0*1C\r\n", "$PCAS10,1*1D\r\n", "$PCAS10,2*1E\r\n", "$PCAS10,3*1F\r\n"}},
};

TEST(SimFamily, EveryOrderByteForByteAndEachFamilyObeysItsOwnOnly) {
    for (const auto& [family, orders] : kOrderTable) {
        const lab::Profile& profile = *lab::FindProfile(FamilyName(family));
        for (S start : kStarts) {
            const std::string& bytes = orders[static_cast<int>(start)];
            const std::string* labOrder = profile.OrderFor(lab::Start(start));
            EXPECT_EQ(labOrder ? *labOrder : "", bytes) << profile.name << StartName(start);
            EXPECT_EQ(OrderFor(family, start), bytes) << profile.name << StartName(start);
            if (bytes.empty()) continue;
            if (bytes.starts_with('$')) {  // the table's own checksums
                EXPECT_EQ(FrameSentence(bytes.substr(1, bytes.find('*') - 1)), bytes);
            }
            for (F receiver : kFamilies) {
                EXPECT_EQ(OrderStart(receiver, bytes),
                          receiver == family ? std::optional(start) : std::nullopt)
                    << FamilyName(receiver) << " given " << profile.name << StartName(start);
            }
        }
    }
    const std::tuple<F, std::string, std::optional<S>> nearMisses[] = {
        {F::Ubx, "$GPTXT\n" + kOrderTable[1].second[2] + "$PMTK", S::Cold},
        {F::Ubx, kOrderTable[1].second[2].substr(0, 11) + "\x62", std::nullopt},  // bad checksum
        {F::Ubx, "\xB5\x62\x06\x04\x04\x00\x02\x00\x02\x00\x12\x70"s, std::nullopt},  // mask 0002
        {F::Pmtk, "$PMTK103*31\r\n", std::nullopt},
    };
    for (const auto& [family, bytes, start] : nearMisses)
        EXPECT_EQ(OrderStart(family, bytes), start);
}

// A receiver of `family` ordered to `start` at 12:00:00; one burst of reboot silence follows.
Receiver Ordered(F family, bool neverFix, S start = S::Cold) {
    ReceiverConfig c;
    c.startSecondsOfDay = 12 * 3600;
    c.rebootSilence = 1;
    c.noFixAfterRestart = 4;
    c.family = family;
    c.neverFix = neverFix;
    Receiver rx(c);
    rx.NextBurst();
    rx.OnOrder(start);
    return rx;
}

// "hhmmss/quality" of each GGA in the next six bursts, "+" before one led by start-up text.
std::string AfterOrder(F family, bool neverFix, S start) {
    Receiver rx = Ordered(family, neverFix, start);
    std::string out;
    for (int i = 0; i < 6; ++i) {
        const auto e = rx.NextBurst();
        if (!e) continue;
        std::vector<std::string> f;
        std::stringstream gga(Gga(*e));
        for (std::string field; std::getline(gga, field, ',');) f.push_back(field);
        out += (out.empty() ? "" : " ") + (e->before.empty() ? "" : "+"s) + f[1].substr(0, 6) +
               "/" + f[6];
    }
    return out;
}

TEST(SimFamily, EachShowsARestartAsItsCapturesDo) {
    const std::tuple<F, bool, S, std::string> rows[] = {
        {F::Pxemsrt, false, S::Cold, "000000/0 000001/0 000002/0 000003/0 000004/1"},
        {F::Ubx, false, S::Cold, "/0 /0 120004/0 120005/0 120006/1"},
        {F::Pmtk, false, S::Cold, "+235946/0 235947/0 120004/0 120005/0 120006/1"},
        {F::Psrf, false, S::Cold, "000000/0 000001/0 120004/0 120005/0 120006/1"},
        {F::Ubx, true, S::Cold, "/0 /0 /0 /0 /0"},
        {F::Pmtk, true, S::Cold, "+235946/0 235947/0 235948/0 235949/0 235950/0"},
        {F::Psrf, true, S::Cold, "000000/0 000001/0 000002/0 000003/0 000004/0"},
        {F::Pmtk, false, S::Warm, "+120002/0 120003/0 120004/1 120005/1 120006/1"},
        {F::Pmtk, false, S::Hot, "+120002/0 120003/1 120004/1 120005/1 120006/1"},
        {F::Pair, false, S::Factory, "/0 /0 120004/0 120005/0 120006/1"},
        {F::Pqtm, false, S::Cold, "+/0 /0 120004/0 120005/0 120006/1"},
        {F::Casic, false, S::Hot, "+120002/0 120003/1 120004/1 120005/1 120006/1"},
    };
    for (const auto& [family, neverFix, start, ggas] : rows)
        EXPECT_EQ(AfterOrder(family, neverFix, start), ggas) << FamilyName(family);
    Receiver rx = Ordered(F::Ubx, false);
    rx.NextBurst();
    EXPECT_EQ(Gga(*rx.NextBurst()), "$GPGGA,,,,,,0,00,99.99,,,,,,*48\r\n");  // as bt451.log
}

// Each family's query, as the lab sends it, answered by the simulator and read by the lab; its
// start-up text as the lab expects it.
TEST(SimFamily, TheLabKnowsEachSimulatedFamilyByItsAnswerAndStartUpText) {
    for (const lab::Profile& profile : lab::Profiles()) {
        const F family = *ParseFamily(profile.name);
        lab::IdentityReader reader;
        reader.Feed(AnswerTo(family, profile.versionQuery));
        EXPECT_EQ(lab::FamilyOf(reader.identity()),
                  profile.versionQuery.empty() ? "" : profile.name);
        bool matches = profile.startupTexts.empty() && StartupText(family).empty();
        for (const std::string& text : profile.startupTexts)
            matches |= StartupText(family).starts_with(text);
        EXPECT_TRUE(matches) << profile.name;
    }
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

namespace quorvel::lab {
namespace {

TEST(LabIdentity, BannersAndAnswersTellWhoTheReceiverIs) {
    const std::string ublox =
        "$GPTXT,01,01,02,u-blox ag - www.u-blox.com*50\r\n$GPTXT,01,01,02,HW UBX-M8030 "
        "00080000*7E\r\n$GPTXT,01,01,02,ROM CORE 3.01 "
        "(107888)*35\r\n$GPTXT,01,01,02,MOD=NEO-M8N*64\r\n";
    const std::string casic =
        "$GPTXT,01,01,02,MA=CASIC*27\r\n$GPTXT,01,01,02,IC=AT6558R-5N-32-1C580901*13\r\n"
        "$GPTXT,01,01,02,SW=URANUS5,V5.3.0.0*1D\r\n$GPTXT,01,01,02,TB=2020-03-26,13:25:12*4B\r\n";
    const std::string gga =
        "$GPGGA,120002.00,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*65\r\n";
    // The profile given, what the receiver sent, what the lab reads and whether it contradicts.
    const std::tuple<std::string, std::string, std::string, std::string, bool> rows[] = {
        {"ubx", ublox + gga, "ubx",
         "u-blox NEO-M8N, firmware ROM CORE 3.01 (107888), hardware UBX-M8030 00080000", false},
        {"ubx",  // bt451.log
         "$GPTXT,01,01,02,u-blox ag - www.u-blox.com*50\n$GPTXT,01,01,02,ANTARIS ATR062x HW "
         "80040001*26\n$GPTXT,01,01,02,ROM CORE       5.00    Jan 09 2006 12:00:00*76\n",
         "ubx",
         "u-blox, firmware ROM CORE 5.00 Jan 09 2006 12:00:00, hardware ANTARIS ATR062x HW "
         "80040001",
         false},
        {"casic", casic, "casic",
         "CASIC, firmware URANUS5,V5.3.0.0 TB=2020-03-26,13:25:12, hardware AT6558R-5N-32-1C580901",
         false},
        {"ubx", "$PMTK705,AXN_2.31_3339_13101700,5632,PA6H,1.0*6B\r\n", "pmtk",
         "MediaTek PA6H, firmware AXN_2.31_3339_13101700 build 5632", true},
        {"pqtm", "$PQTMVERNO,LC29HAANR01A04S,2022/11/04,16:39:48*34\r\n", "pair",
         "Quectel LC29H, firmware LC29HAANR01A04S", true},
        {"pqtm", "$PQTMVER,1,MODULE,LG290P03AANR01A03S,2024/04/30,10:53:07*32\r\n", "pqtm",
         "Quectel LG290P, firmware LG290P03AANR01A03S", false},
        {"pair",
         "$PAIR020,AG3352Q_V2.5.0.AG3352_20230420,S,N,9ec1cc8,2210141406,2ba,3,,,5bebcf5b,"
         "2210141404,72555ce,2210141406,,*17\r\n",
         "pair", "Airoha, firmware AG3352Q_V2.5.0.AG3352_20230420, hardware AG3352Q", false},
        {"ubx", sim::AnswerTo(sim::Family::Ubx, FindProfile("ubx")->versionQuery), "ubx",
         "u-blox SIM-NEO-M8N, firmware SIM 1.00, hardware SIM08000", false},
        {"psrf", "$PSRFTXT,Version:GSW3.2.2_3.1.00.12-SDK003P1.01a*6E\r\n", "psrf",
         "SiRF, firmware GSW3.2.2_3.1.00.12-SDK003P1.01a", false},
        {"psrf", "$PSRFTXTVersion GSW3.2.2_3.1.00.12-SDK003P1.01a *78\r\n", "psrf",  // SiRFstar III
         "SiRF, firmware GSW3.2.2_3.1.00.12-SDK003P1.01a", false},
        {"ubx", gga + "$GPTXT,01,01,02,MA=CASIC*28\r\n$PMTK011,MTKGPS", "", "", false},  // damaged
        {"pmtk", "$GPGGA,1200$PMTK011,MTKGPS*08\r\n" + casic.substr(0, 29), "", "CASIC", false},
        {"ubx", "$GNTXT,01,01,02,MOD=\x1b[2J" + std::string(100, 'A') + "*10\r\n", "",
         "[2J" + std::string(45, 'A'), false},
    };
    for (const auto& [profile, stream, family, described, contradicts] : rows) {
        IdentityReader reader;
        for (std::size_t at = 0; at < stream.size(); at += 7) reader.Feed(stream.substr(at, 7));
        EXPECT_EQ(FamilyOf(reader.identity()), family) << stream;
        EXPECT_EQ(IdentityText(reader.identity()), described);
        EXPECT_EQ(ProfileContradicts(profile, reader.identity()).empty(), !contradicts);
    }
}

// A UBX-MON-VER answer: software, hardware, then the extensions.
std::string MonVer(std::string sw, std::string hw, const std::vector<std::string>& extensions) {
    std::string payload = (sw.resize(30), sw) + (hw.resize(10), hw);
    for (std::string e : extensions) payload += (e.resize(30), e);
    std::string frame =
        "\xB5\x62\x0A\x04" + std::string{char(payload.size()), char(payload.size() >> 8)};
    frame += payload;
    unsigned char a = 0, b = 0;
    for (std::size_t i = 2; i < frame.size(); ++i) b += a += static_cast<unsigned char>(frame[i]);
    return frame + char(a) + char(b);
}

// Texts as they come, a read each: what the lab makes of them, and which reads changed that
// ('+'). A make written three ways, a banner again after a restart, the answer to a query before
// or after it: what is known is the richest of what was said, and only news changes it.
TEST(LabIdentity, KeepsTheRichestOfItsTextsAndChangesOnlyWithNews) {
    const std::string m8 =
        "$GPTXT,01,01,02,u-blox ag - www.u-blox.com*50\r\n$GPTXT,01,01,02,HW UBX-M8030 "
        "00080000*7E\r\n$GPTXT,01,01,02,ROM CORE 3.01 (107888)*35\r\n$GPTXT,01,01,02,FWVER=SPG "
        "3.01*58\r\n$GPTXT,01,01,02,MOD=NEO-M8N*64\r\n";
    const std::string m8Answer = MonVer("ROM CORE 3.01 (107888)", "00080000",
                                        {"FWVER=SPG 3.01", "PROTVER=18.00", "MOD=NEO-M8N"});
    const std::string m8Known = "u-blox NEO-M8N, firmware SPG 3.01, hardware UBX-M8030 00080000";
    const std::string casic =
        "$GPTXT,01,01,02,MA=CASIC*27\r\n$GPTXT,01,01,02,IC=AT6558R-5N-32-1C580901*13\r\n"
        "$GPTXT,01,01,02,SW=URANUS5,V5.3.0.0*1D\r\n$GPTXT,01,01,02,TB=2020-03-26,13:25:12*4B\r\n";
    const std::string l76kKnown =
        "CASIC, firmware URANUS5,V5.3.0.0 TB=2020-03-26,13:25:12, hardware AT6558R-5N-32-1C580901";
    const std::tuple<std::vector<std::string>, std::string, std::string> rows[] = {
        {{MonVer("", "", {}), "$GPTXT,01,01,02,u-blox ag - www.u-blox.com*50\r\n",
          "$GNTXT,01,01,02,u-blox AG - www.u-blox.com*4E\r\n"},
         "u-blox",
         "+--"},
        {{m8, m8Answer, m8}, m8Known, "+--"},
        {{m8Answer, m8}, m8Known, "++"},  // the banner's HW line names the chip too
        {{"$GPTXT,01,01,02,MOD LEA-5H-0*2E\r\n"}, "LEA-5H-0", "+"},
        {{MonVer("6.02 (36023)", "00040005", {"MOD LEA-5H-0"})},
         "u-blox LEA-5H-0, firmware 6.02 (36023), hardware 00040005",
         "+"},
        // quectel-l76k-nmea.log's text; then the answer to $PCAS06,0
        {{casic, "$GPTXT,01,01,01,ANTENNA OK*35\r\n", "$GPTXT,01,01,02,SW=URANUS5,V5.3.0.0*1D\r\n"},
         l76kKnown,
         "+--"},
        {{casic, casic,
          "$GPTXT,01,01,02,SW=URANUS5,V5.3.0.2*1F\r\n$GPTXT,01,01,02,TB=2021-07-05,10:10:10*"
          "48\r\n"},
         "CASIC, firmware URANUS5,V5.3.0.2 TB=2021-07-05,10:10:10, hardware AT6558R-5N-32-1C580901",
         "+-+"},  // a firmware update
    };
    for (const auto& [texts, known, changes] : rows) {
        IdentityReader reader;
        std::string changed;
        for (const std::string& text : texts) changed += reader.Feed(text) ? '+' : '-';
        EXPECT_EQ(IdentityText(reader.identity()), known) << texts.front();
        EXPECT_EQ(changed, changes) << texts.front();
    }
}

}  // namespace
}  // namespace quorvel::lab

#include "lab/families/Identity.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "engine/Gga.h"
#include "lab/families/FindAny.h"
#include "lab/families/Frames.h"
#include "lab/families/Profiles.h"

namespace quorvel::lab {
namespace {

constexpr std::size_t kFieldMax = 48;      // one name or version, as the receiver gave it
constexpr std::size_t kToldMax = 82;       // NMEA's longest sentence

// Printable ASCII only, the spaces at both ends dropped and no run of them kept ("ROM CORE
// 5.00" however widely spaced is one firmware), at most `max` characters.
std::string Clean(std::string_view text, std::size_t max = kFieldMax) {
    std::string out;
    for (const char c : text) {
        if (c == ' ' && !out.empty() && out.back() == ' ') continue;
        if (c >= 0x20 && c < 0x7F && out.size() < max) out += c;
    }
    const auto first = out.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

bool Starts(std::string_view text, std::string_view head) { return text.starts_with(head); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool Alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool SameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool StartsNoCase(std::string_view text, std::string_view head) {
    return text.size() >= head.size() && SameLetters(text.substr(0, head.size()), head);
}

// Whether `whole` holds `part` as whole words, letter case aside: "UBX-M8030 00080000" holds
// "00080000", "URANUS5,V5.3.0.0 TB=..." holds "URANUS5,V5.3.0.0", "V5.3.0.1" does not hold
// "V5.3.0".
bool Holds(std::string_view whole, std::string_view part) {
    const auto edge = [](char c) { return c == ' ' || c == ',' || c == ';' || c == '_'; };
    for (std::size_t at = 0; at + part.size() <= whole.size(); ++at) {
        const std::size_t end = at + part.size();
        if (SameLetters(whole.substr(at, part.size()), part) && (at == 0 || edge(whole[at - 1])) &&
            (end == whole.size() || edge(whole[end])))
            return true;
    }
    return false;
}

// One message as the readers see it: its address ("TXT" for any talker's TXT), its fields and
// its text (a TXT's text field, otherwise every field after the address).
struct Message {
    std::string address;
    std::vector<std::string_view> fields;
    std::string text;
};

std::vector<std::string_view> Split(std::string_view text, char comma) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(comma, at);
        parts.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos) return parts;
        at = end + 1;
    }
}

bool IsTxt(std::string_view address);

// How long the address heading a sentence's `body` is; 0 when it tells nothing. It is a
// talker's TXT or an address some reader or profile knows. Most sentences put a comma after
// it, but a SiRFstar III runs its text straight on ("$PSRFTXTVersion GSW3..."), so a head
// that begins with a known address counts too: the longest (PQTMVERNO before PQTMVER), and
// not one whose number runs on in more digits.
std::size_t AddressLength(std::string_view body);

bool ParseNmea(std::string_view s, Message& m) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    const std::size_t star = s.rfind('*');
    if (!Starts(s, "$") || star == std::string_view::npos || star + 3 != s.size()) return false;
    const std::string_view body = s.substr(1, star - 1);
    const int high = HexValue(s[star + 1]), low = HexValue(s[star + 2]);
    if (high < 0 || low < 0 || NmeaChecksum(body) != static_cast<unsigned>(high * 16 + low))
        return false;
    const std::size_t length = AddressLength(body);
    if (length == 0) return false;
    m.address = std::string(body.substr(0, length));
    std::string_view text = body.substr(length);
    if (Starts(text, ",")) text.remove_prefix(1);
    if (!text.empty()) m.fields = Split(text, ',');
    if (IsTxt(m.address)) {
        m.address = "TXT";  // "$GPTXT,01,01,02,text": the text may hold commas of its own
        for (int skip = 0; skip < 3 && !text.empty(); ++skip) {
            const std::size_t next = text.find(',');
            text = next == std::string_view::npos ? "" : text.substr(next + 1);
        }
    }
    m.text = std::string(text);
    return true;
}

// A UBX-MON-VER answer: swVersion (30 bytes), hwVersion (10), then extensions of 30 bytes
// each, every one a NUL-ended string.
bool ParseMonVer(std::string_view f, Message& m) {
    if (!UbxIntact(f) || Byte(f, 2) != 0x0A || Byte(f, 3) != 0x04 || f.size() < 40 + kUbxOverhead)
        return false;
    const std::string_view payload = f.substr(6, f.size() - kUbxOverhead);
    m.address = "UBX-MON-VER";
    for (std::size_t at = 0, size = 30; at + size <= payload.size();
         at += size, size = at == 30 ? 10 : 30) {
        const std::string_view field = payload.substr(at, size);
        m.fields.push_back(field.substr(0, field.find('\0')));
        m.text += std::string(m.fields.back()) + ";";
    }
    return true;
}

// The module in a Quectel version string, which begins with it: letters, digits and one more
// letter ("LC29HAANR01A04S" is an LC29H, "LG290P03AANR01A03S" an LG290P).
std::string QuectelModel(std::string_view version) {
    std::size_t at = 0;
    while (at < version.size() &&
           ((version[at] >= 'A' && version[at] <= 'Z') || version[at] == '-'))
        ++at;
    const std::size_t digits = at;
    while (at < version.size() && version[at] >= '0' && version[at] <= '9') ++at;
    if (at == digits || at == version.size() || version[at] < 'A' || version[at] > 'Z') return "";
    return std::string(version.substr(0, at + 1));
}

std::string_view Field(const Message& m, std::size_t i) {
    return i < m.fields.size() ? m.fields[i] : std::string_view();
}

enum Part { kMake, kModel, kFirmware, kHardware };

std::string& FieldOf(Identity& id, Part part) {
    switch (part) {
        case kMake:
            return id.make;
        case kModel:
            return id.model;
        case kFirmware:
            return id.firmware;
        case kHardware:
            break;
    }
    return id.hardware;
}

// One spelling for each maker whatever its texts write: "u-blox ag", "u-blox AG" and "u-blox"
// are one make. A maker not listed keeps its own words.
std::string Make(std::string_view said) {
    static constexpr std::string_view kMakes[] = {"u-blox", "MediaTek", "SiRF",
                                                  "Airoha", "Quectel",  "CASIC"};
    std::string clean = Clean(said);
    for (const std::string_view make : kMakes) {
        if (StartsNoCase(clean, make) &&
            (clean.size() == make.size() || !Alnum(clean[make.size()])))
            return std::string(make);
    }
    return clean;
}

// What a statement of `weight` says of a part. A weightier statement (the product firmware
// over the core's build, the module's maker over the chip's) overrides a lighter one, which
// only fills a gap. Among equals a richer value replaces one it holds, and a value already held
// changes nothing, so that the banner and the answer to a query may come in either order; a
// value that neither holds is the receiver saying something new (a firmware update, say).
void Offer(Identity& id, Part part, std::string_view said, int weight) {
    std::string& field = FieldOf(id, part);
    int& held = id.weights[part];
    std::string value = part == kMake ? Make(said) : Clean(said);
    if (value.empty() || (!field.empty() && weight < held)) return;
    if (field.empty() || weight > held) {
        if (!SameLetters(field, value)) field = std::move(value);
        held = weight;
    } else if (!Holds(field, value)) {
        field = std::move(value);
    }
}

// A u-blox item, "MOD=NEO-M8N" from a u-blox 7 or later, "MOD LEA-5H-0" from a 5 or 6.
std::optional<std::string_view> UbloxItem(std::string_view text, std::string_view key) {
    if (!Starts(text, key) || text.size() == key.size()) return std::nullopt;
    const char after = text[key.size()];
    if (after != '=' && after != ' ') return std::nullopt;
    return text.substr(key.size() + 1);
}

// A u-blox or CASIC text: u-blox writes "HW ...", "ROM CORE ...", "FWVER=...", "MOD=...";
// CASIC "MA=", "HW=model,serial", "IC=", "SW=", "TB=" (the build time).
void ReadText(const Message& m, Identity& id) {
    const std::string_view t = m.text;
    const std::size_t eq = t.find('=');
    const std::string_view key = eq == std::string_view::npos ? "" : t.substr(0, eq + 1);
    const std::string_view value = eq == std::string_view::npos ? "" : t.substr(eq + 1);
    if (StartsNoCase(t, "u-blox")) {
        Offer(id, kMake, t.substr(0, t.find(" - ")), 2);
    } else if (Starts(t, "HW ")) {
        Offer(id, kHardware, t.substr(3), 3);
    } else if (t.find(" HW ") != std::string_view::npos) {
        Offer(id, kHardware, t, 3);  // "ANTARIS ATR062x HW 80040001"
    } else if (Starts(t, "ROM CORE") || Starts(t, "EXT CORE")) {
        Offer(id, kFirmware, t, 2);
    } else if (Starts(t, "ROM BASE")) {
        Offer(id, kFirmware, t, 1);  // the boot ROM, not the firmware that runs
    } else if (const auto firmware = UbloxItem(t, "FWVER")) {
        Offer(id, kFirmware, *firmware, 3);
    } else if (const auto model = UbloxItem(t, "MOD")) {
        Offer(id, kModel, *model, 2);
    } else if (key == "SW=") {
        Offer(id, kFirmware, value, 2);
    } else if (key == "MA=") {
        Offer(id, kMake, value, 2);
    } else if (key == "IC=") {
        Offer(id, kHardware, value, 3);
    } else if (key == "HW=") {
        Offer(id, kModel, value.substr(0, value.find(',')), 2);
    } else if (key == "TB=" && !id.firmware.empty()) {
        // The build time of the software just named; a new one replaces the old.
        const std::string software = id.firmware.substr(0, id.firmware.find(" TB="));
        Offer(id, kFirmware, software + " TB=" + std::string(value), id.weights[kFirmware]);
    }
}

// swVersion is the banner's "ROM CORE" line, hwVersion the number ending its "HW" line.
void ReadMonVer(const Message& m, Identity& id) {
    Offer(id, kMake, "u-blox", 1);
    Offer(id, kFirmware, Field(m, 0), 2);
    Offer(id, kHardware, Field(m, 1), 2);
    for (std::size_t i = 2; i < m.fields.size(); ++i) {
        if (const auto firmware = UbloxItem(m.fields[i], "FWVER"))
            Offer(id, kFirmware, *firmware, 3);
        if (const auto model = UbloxItem(m.fields[i], "MOD")) Offer(id, kModel, *model, 2);
    }
}

void ReadQuectelVersion(std::string_view version, Identity& id) {
    Offer(id, kMake, "Quectel", 3);  // the module's maker, before the chip's
    Offer(id, kFirmware, version, 3);
    Offer(id, kModel, QuectelModel(version), 2);
}

// The proprietary sentences' addresses name their makers: MTK, SRF, AIR, QTM.
using Reader = void (*)(const Message&, Identity&);

const std::vector<std::pair<std::string_view, Reader>>& Readers() {
    static const std::vector<std::pair<std::string_view, Reader>> kReaders = {
        {"TXT", ReadText},
        {"UBX-MON-VER", ReadMonVer},
        {"PMTK011", [](const Message&, Identity& id) { Offer(id, kMake, "MediaTek", 1); }},
        {"PMTK010", [](const Message&, Identity& id) { Offer(id, kMake, "MediaTek", 1); }},
        // "$PMTK705,<release>,<build>,<product>,..."
        {"PMTK705",
         [](const Message& m, Identity& id) {
             Offer(id, kMake, "MediaTek", 1);
             const std::string_view build = Field(m, 1);
             Offer(id, kFirmware,
                   std::string(Field(m, 0)) + (build.empty() ? "" : " build " + std::string(build)),
                   2);
             Offer(id, kModel, Field(m, 2), 2);
         }},
        // "$PSRFTXT,Version:GSW3.2.2_3.1.00.12-SDK003P1.01a"; a SiRFstar III writes
        // "$PSRFTXTVersion GSW3.2.2_3.1.00.12-SDK003P1.01a " (no comma, a space for the colon).
        {"PSRFTXT",
         [](const Message& m, Identity& id) {
             Offer(id, kMake, "SiRF", 1);
             const std::string_view t = m.text;
             if (Starts(t, "Version") && t.size() > 8 && (t[7] == ':' || t[7] == ' '))
                 Offer(id, kFirmware, t.substr(8), 2);
         }},
        // "$PAIR020,<board>_<SDK version>_<build date>,..."; "$PAIR020" alone is a query.
        {"PAIR020",
         [](const Message& m, Identity& id) {
             const std::string_view version = Field(m, 0);
             if (version.empty()) return;
             Offer(id, kMake, "Airoha", 1);
             Offer(id, kFirmware, version, 2);
             Offer(id, kHardware, version.substr(0, version.find('_')), 3);
         }},
        // "$PQTMVERNO,<version>,<date>,<time>"
        {"PQTMVERNO",
         [](const Message& m, Identity& id) {
             if (!Field(m, 0).empty() && Field(m, 0) != "ERROR")
                 ReadQuectelVersion(Field(m, 0), id);
         }},
        // "$PQTMVER,1,MODULE,<version>,<date>,<time>", older "$PQTMVER,MODULE_<version>,..."
        {"PQTMVER",
         [](const Message& m, Identity& id) {
             if (Starts(Field(m, 0), "MODULE_")) ReadQuectelVersion(Field(m, 0).substr(7), id);
             if (Field(m, 1) == "MODULE") ReadQuectelVersion(Field(m, 2), id);
         }},
    };
    return kReaders;
}

// The addresses of the sentences that can tell anything, but a talker's TXT.
const std::vector<std::string_view>& KnownAddresses() {
    static const std::vector<std::string_view> kKnown = [] {
        std::vector<std::string_view> known;
        const auto add = [&known](std::string_view address) {
            if (address != "TXT" && address != "UBX-MON-VER" &&
                std::find(known.begin(), known.end(), address) == known.end())
                known.push_back(address);
        };
        for (const auto& reader : Readers()) add(reader.first);
        for (const Profile& profile : Profiles()) {
            for (const Recognition& r : profile.recognition) add(r.address);
        }
        return known;
    }();
    return kKnown;
}

bool IsTxt(std::string_view address) {
    return address.size() == 5 && address[0] >= 'A' && address[0] <= 'Z' && address[1] >= 'A' &&
           address[1] <= 'Z' && address.substr(2) == "TXT";
}

bool Digit(char c) { return c >= '0' && c <= '9'; }

std::size_t AddressLength(std::string_view body) {
    const std::string_view head = body.substr(0, FindAny<',', '*'>(body, 0));
    if (head.size() >= 5 && IsTxt(head.substr(0, 5))) return 5;
    std::size_t length = 0;
    for (const std::string_view address : KnownAddresses()) {
        if (!Starts(head, address) || address.size() <= length) continue;
        if (head.size() > address.size() && Digit(address.back()) && Digit(head[address.size()]))
            continue;
        length = address.size();
    }
    return length;
}

void Name(const std::string& family, std::string_view sentence, Identity& id) {
    if (std::find(id.named.begin(), id.named.end(), family) != id.named.end()) return;
    id.named.push_back(family);
    id.family = id.named.size() == 1 ? family : "";
    if (!id.told.empty()) id.told += " / ";
    id.told += Clean(sentence, kToldMax);
}

}  // namespace

bool ReadIdentity(std::string_view message, Identity& identity) {
    Message m;
    if (Starts(message, "$")) {
        // Most sentences are GGA, RMC, GSV...: known at a glance to tell nothing.
        if (AddressLength(message.substr(1)) == 0 || !ParseNmea(message, m)) return false;
    } else if (!ParseMonVer(message, m)) {
        return false;
    }
    const Identity before = identity;
    for (const auto& [address, read] : Readers()) {
        if (address == m.address) read(m, identity);
    }
    const bool binary = m.address == "UBX-MON-VER";
    std::string_view sentence = message.substr(0, message.find_first_of("\r\n"));
    const std::string shown = binary ? "UBX-MON-VER " + m.text : std::string(sentence);
    for (const Profile& profile : Profiles()) {
        for (const Recognition& r : profile.recognition) {
            if (r.address == m.address && m.text.find(r.contains) != std::string::npos) {
                Name(profile.name, shown, identity);
            }
        }
    }
    return before.named != identity.named || before.make != identity.make ||
           before.model != identity.model || before.firmware != identity.firmware ||
           before.hardware != identity.hardware;
}

std::string FamilyOf(const Identity& identity) { return identity.family; }

std::string ProfileContradicts(std::string_view profile, const Identity& identity) {
    if (identity.named.empty()) return "";
    for (const std::string& family : identity.named) {
        if (family == profile) return "";
    }
    std::string families;
    for (const std::string& family : identity.named)
        families += (families.empty() ? "" : " or ") + family;
    return "answers as " + families + ": " + identity.told;
}

std::string IdentityText(const Identity& identity) {
    std::string text = identity.make;
    if (!identity.model.empty()) text += (text.empty() ? "" : " ") + identity.model;
    if (!identity.firmware.empty())
        text += (text.empty() ? "" : ", ") + ("firmware " + identity.firmware);
    if (!identity.hardware.empty())
        text += (text.empty() ? "" : ", ") + ("hardware " + identity.hardware);
    return text;
}

}  // namespace quorvel::lab

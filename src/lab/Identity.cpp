#include "lab/Identity.h"

#include <algorithm>
#include <cstdint>

#include "lab/Profiles.h"

namespace quorvel::lab {
namespace {

constexpr std::size_t kFieldMax = 48;      // one name or version, as the receiver gave it
constexpr std::size_t kToldMax = 82;       // NMEA's longest sentence
constexpr std::size_t kSentenceMax = 200;  // longer without a line end: no sentence
constexpr std::size_t kUbxPayloadMax = 40 + 30 * 16;  // MON-VER with sixteen extensions
constexpr std::size_t kUbxOverhead = 8;               // sync, class, id, length, checksum

// Printable ASCII only, the spaces at both ends dropped, at most `max` characters.
std::string Clean(std::string_view text, std::size_t max = kFieldMax) {
    std::string out;
    for (const char c : text) {
        if (c >= 0x20 && c < 0x7F && out.size() < max) out += c;
    }
    const auto first = out.find_first_not_of(' ');
    if (first == std::string::npos) return "";
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

bool Starts(std::string_view text, std::string_view head) { return text.starts_with(head); }

// One message as the readers see it: its address ("TXT" for any talker's TXT), its fields and
// its text (a TXT's text field, otherwise every field after the address).
struct Message {
    std::string address;
    std::vector<std::string_view> fields;
    std::string text;
};

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::vector<std::string_view> Split(std::string_view text, char comma) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0;;) {
        const std::size_t end = text.find(comma, at);
        parts.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
        if (end == std::string_view::npos) return parts;
        at = end + 1;
    }
}

bool ParseNmea(std::string_view s, Message& m) {
    while (!s.empty() && (s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
    const std::size_t star = s.rfind('*');
    if (!Starts(s, "$") || star == std::string_view::npos || star + 3 != s.size()) return false;
    const std::string_view body = s.substr(1, star - 1);
    std::uint8_t sum = 0;
    for (const char c : body) sum ^= static_cast<std::uint8_t>(c);
    const int high = HexDigit(s[star + 1]), low = HexDigit(s[star + 2]);
    if (high < 0 || low < 0 || sum != high * 16 + low) return false;
    const std::vector<std::string_view> parts = Split(body, ',');
    m.address = std::string(parts.front());
    m.fields.assign(parts.begin() + 1, parts.end());
    const std::size_t comma = body.find(',');
    std::string_view text = comma == std::string_view::npos ? "" : body.substr(comma + 1);
    if (m.address.size() == 5 && m.address.ends_with("TXT")) {
        m.address = "TXT";  // "$GPTXT,01,01,02,text": the text may hold commas of its own
        for (int skip = 0; skip < 3 && !text.empty(); ++skip) {
            const std::size_t next = text.find(',');
            text = next == std::string_view::npos ? "" : text.substr(next + 1);
        }
    }
    m.text = std::string(text);
    return true;
}

std::uint8_t Byte(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint8_t>(bytes[at]);
}

// A whole UBX frame with its Fletcher checksum right.
bool UbxIntact(std::string_view f) {
    if (f.size() < kUbxOverhead || Byte(f, 0) != 0xB5 || Byte(f, 1) != 0x62) return false;
    const std::size_t length = Byte(f, 4) | std::size_t{Byte(f, 5)} << 8;
    if (f.size() != length + kUbxOverhead) return false;
    std::uint8_t a = 0, b = 0;
    for (std::size_t i = 2; i + 2 < f.size(); ++i) {
        a = static_cast<std::uint8_t>(a + Byte(f, i));
        b = static_cast<std::uint8_t>(b + a);
    }
    return a == Byte(f, f.size() - 2) && b == Byte(f, f.size() - 1);
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

void Set(std::string& field, std::string_view value) {
    if (std::string clean = Clean(value); !clean.empty()) field = std::move(clean);
}

void SetIfEmpty(std::string& field, std::string_view value) {
    if (field.empty()) Set(field, value);
}

// A u-blox or CASIC text: u-blox writes "HW ...", "ROM CORE ...", "FWVER=...", "MOD=...";
// CASIC "MA=", "HW=model,serial", "IC=", "SW=", "TB=" (the build time).
void ReadText(const Message& m, Identity& id) {
    const std::string_view t = m.text;
    const std::size_t eq = t.find('=');
    const std::string_view key = eq == std::string_view::npos ? "" : t.substr(0, eq + 1);
    const std::string_view value = eq == std::string_view::npos ? "" : t.substr(eq + 1);
    if (Starts(t, "u-blox")) {
        Set(id.make, t.substr(0, t.find(" - ")));
    } else if (Starts(t, "HW ")) {
        Set(id.hardware, t.substr(3));
    } else if (t.find(" HW ") != std::string_view::npos) {
        Set(id.hardware, t);  // "ANTARIS ATR062x HW 80040001"
    } else if (Starts(t, "ROM CORE") || Starts(t, "ROM BASE")) {
        if (id.firmware.empty() || Starts(id.firmware, "ROM ")) Set(id.firmware, t);
    } else if (key == "FWVER=" || key == "SW=") {
        Set(id.firmware, value);
    } else if (key == "MOD=") {
        Set(id.model, value);
    } else if (key == "MA=") {
        Set(id.make, value);
    } else if (key == "IC=") {
        Set(id.hardware, value);
    } else if (key == "HW=") {
        Set(id.model, value.substr(0, value.find(',')));
    } else if (key == "TB=" && !id.firmware.empty() &&
               id.firmware.find(" TB=") == std::string::npos) {
        id.firmware = Clean(id.firmware + " TB=" + std::string(value));
    }
}

void ReadMonVer(const Message& m, Identity& id) {
    SetIfEmpty(id.make, "u-blox");
    if (id.firmware.empty() || Starts(id.firmware, "ROM ")) Set(id.firmware, Field(m, 0));
    Set(id.hardware, Field(m, 1));
    for (std::size_t i = 2; i < m.fields.size(); ++i) {
        if (Starts(m.fields[i], "FWVER=")) Set(id.firmware, m.fields[i].substr(6));
        if (Starts(m.fields[i], "MOD=")) Set(id.model, m.fields[i].substr(4));
    }
}

void ReadQuectelVersion(std::string_view version, Identity& id) {
    id.make = "Quectel";  // the module's maker, before the chip's
    Set(id.firmware, version);
    Set(id.model, QuectelModel(version));
}

// The proprietary sentences' addresses name their makers: MTK, SRF, AIR, QTM.
using Reader = void (*)(const Message&, Identity&);

const std::vector<std::pair<std::string_view, Reader>>& Readers() {
    static const std::vector<std::pair<std::string_view, Reader>> kReaders = {
        {"TXT", ReadText},
        {"UBX-MON-VER", ReadMonVer},
        {"PMTK011", [](const Message&, Identity& id) { SetIfEmpty(id.make, "MediaTek"); }},
        {"PMTK010", [](const Message&, Identity& id) { SetIfEmpty(id.make, "MediaTek"); }},
        // "$PMTK705,<release>,<build>,<product>,..."
        {"PMTK705",
         [](const Message& m, Identity& id) {
             SetIfEmpty(id.make, "MediaTek");
             const std::string_view build = Field(m, 1);
             Set(id.firmware,
                 std::string(Field(m, 0)) + (build.empty() ? "" : " build " + std::string(build)));
             Set(id.model, Field(m, 2));
         }},
        // "$PSRFTXT,Version:GSW3.2.2_3.1.00.12-SDK003P1.01a"
        {"PSRFTXT",
         [](const Message& m, Identity& id) {
             SetIfEmpty(id.make, "SiRF");
             if (Starts(m.text, "Version:")) Set(id.firmware, m.text.substr(8));
         }},
        // "$PAIR020,<board>_<SDK version>_<build date>,..."; "$PAIR020" alone is a query.
        {"PAIR020",
         [](const Message& m, Identity& id) {
             const std::string_view version = Field(m, 0);
             if (version.empty()) return;
             SetIfEmpty(id.make, "Airoha");
             if (!Starts(id.make, "Quectel") || id.firmware.empty()) Set(id.firmware, version);
             Set(id.hardware, version.substr(0, version.find('_')));
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

// Whether a sentence of `address` can tell anything.
bool Telling(std::string_view address) {
    for (const auto& reader : Readers()) {
        if (reader.first == address) return true;
    }
    for (const Profile& profile : Profiles()) {
        for (const Recognition& r : profile.recognition) {
            if (r.address == address) return true;
        }
    }
    return false;
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
        std::string_view address = message.substr(1, message.find_first_of(",*") - 1);
        if (address.size() == 5 && address.ends_with("TXT")) address = "TXT";
        if (!Telling(address) || !ParseNmea(message, m)) return false;
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

bool IdentityReader::Feed(std::string_view bytes) {
    // Most reads end where a sentence does: those are read where they lie, and only an
    // unfinished tail is kept.
    const bool inPlace = pending_.empty();
    if (!inPlace) pending_ += bytes;
    const std::string_view data = inPlace ? bytes : std::string_view(pending_);
    bool changed = false;
    std::size_t at =
        0;  // every byte before it is read; each is looked at a bounded number of times
    for (;;) {
        at = data.find_first_of("$\xB5", at);
        if (at == std::string_view::npos) {
            at = data.size();
            break;
        }
        if (data[at] == '$') {
            const std::size_t next = data.find_first_of("\n$\xB5", at + 1);
            if (next == std::string_view::npos) {
                if (data.size() - at > kSentenceMax) ++at;  // no line end in sight: no sentence
                if (data.size() - at > kSentenceMax) continue;
                break;
            }
            if (data[next] == '\n')
                changed |= ReadIdentity(data.substr(at, next + 1 - at), identity_);
            at = data[next] == '\n' ? next + 1 : next;  // else a sentence cut off by the next
            continue;
        }
        if (data.size() - at < 6) break;
        const std::size_t length = Byte(data, at + 4) | std::size_t{Byte(data, at + 5)} << 8;
        if (Byte(data, at + 1) != 0x62 || length > kUbxPayloadMax) {
            ++at;
            continue;
        }
        if (data.size() - at < length + kUbxOverhead) break;
        const std::string_view frame = data.substr(at, length + kUbxOverhead);
        changed |= ReadIdentity(frame, identity_);
        // An intact frame is consumed whole; a false sync only by its first byte.
        at += UbxIntact(frame) ? frame.size() : 1;
    }
    if (inPlace)
        pending_.assign(data.substr(at));
    else
        pending_.erase(0, at);
    return changed;
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

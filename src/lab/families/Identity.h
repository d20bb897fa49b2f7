#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace quorvel::lab {

// Who a receiver says it is, in its own words: from the texts it sends as it starts and its
// answers to the families' version queries. Every text is the receiver's, untrusted: only
// printable characters are kept, and each is cut to a bounded length.
struct Identity {
    std::string family = {};  // the profile its texts name; empty while none does, or two do
    std::string make = {};
    std::string model = {};
    std::string firmware = {};
    std::string hardware = {};
    std::string told = {};                // the sentence that named the family, for an event line
    std::vector<std::string> named = {};  // every profile its texts named, first first
    // The weight of the statement behind each of make, model, firmware and hardware: a text of
    // less weight never overwrites what a weightier one said.
    std::array<int, 4> weights = {};

    bool Empty() const {
        return named.empty() && make.empty() && model.empty() && firmware.empty() &&
               hardware.empty();
    }
};

// Adds what one message tells to `identity`: an NMEA sentence ("$...*hh", its line end
// optional) or a UBX frame, each only when intact. Each make has one spelling ("u-blox", however
// the receiver writes it); a field the receiver tells in several texts keeps the richest of them
// and changes only when the receiver says something new. True when the identity changed.
bool ReadIdentity(std::string_view message, Identity& identity);

// Reads a receiver's byte stream as it comes, in pieces, sentences and frames whole; its memory
// stays bounded whatever the line carries.
class IdentityReader {
  public:
    // True when the identity changed.
    bool Feed(std::string_view bytes);
    const Identity& identity() const { return identity_; }

  private:
    std::string pending_;
    Identity identity_;
};

// The family for `auto`: the one profile the receiver's texts named, or empty.
std::string FamilyOf(const Identity& identity);

// Why the receiver contradicts the profile it was given, as "answers as pmtk: $PMTK705,...";
// empty when its texts name no family, or name this one.
std::string ProfileContradicts(std::string_view profile, const Identity& identity);

// "u-blox NEO-M8N, firmware SPG 3.01, hardware 00080000" for the summary; empty when the
// receiver said nothing of itself.
std::string IdentityText(const Identity& identity);

}  // namespace quorvel::lab

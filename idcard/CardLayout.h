#pragma once

// Where the holder's fields sit on the card: the raw record's parts and,
// for each of the three card types, the fields of the 256-byte UTF-16LE
// text block. The parser reads with these tables; the simulated card
// (simdevices) writes with them, so both agree on one layout.

#include "IDINFO.h"

#include <cstddef>

namespace idcard {

// The record as the card holds it: text block, portrait, fingerprint data.
constexpr int kTextBlockBytes = 256;
constexpr int kPortraitBytes = 1024;
constexpr int kFingerprintBytes = 1024;
// The SAM reader's record starts with six bytes (status, length words)
// before the text block; the HID reader's starts with the text block.
constexpr int kSamHeaderBytes = 6;
// The character that tells the card types apart, at this text offset.
constexpr int kCardTypeOffset = 248;

enum class CardKind { Resident, ForeignPermanent, ResidencePermit };

// How a converted field is stored.
enum class Finish {
    CutAtSpace, // up to its first space (removes the padding)
    Fixed8,     // exactly 8 bytes (dates)
    Fixed18,    // exactly 18 bytes (identity numbers)
    Whole,      // unchanged, padding included
    Gender,     // "1"/"2" through the gender table
    Nation,     // two decimal digits through the nation table
};

struct FieldPlace {
    const char* key;        // the field's name, as IDINFO and the reply call it
    int offset;             // in the text block, bytes
    int length;             // bytes (two per UTF-16 unit)
    unsigned long capacity; // UTF-8 bytes the conversion may produce
    Finish finish;
    std::size_t infoOffset; // the IDINFO member it fills
    std::size_t infoWidth;
};

struct CardLayout {
    CardKind kind;
    const FieldPlace* fields;
    std::size_t count;
};

// The card type character ('I', 'J', anything else) picks the layout.
CardKind cardKindOf(char cardTypeCharacter);
const CardLayout& cardLayout(CardKind kind);

} // namespace idcard

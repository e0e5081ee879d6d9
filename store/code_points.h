// Characters of a name in the system's own units: UTF-8 bytes on POSIX,
// UTF-16 units on Windows. Names need not be valid: a unit that is not part
// of a well-formed sequence stands for itself, as a value no character has.
#pragma once

#include <cstdint>
#include <string>

// A byte b outside any well-formed UTF-8 sequence reads as InvalidUnitBase + b;
// a lone UTF-16 surrogate as its own value (D800-DFFF), which no scalar value has.
const uint32_t InvalidUnitBase = 0x110000;

inline bool IsInvalidUnit(uint32_t codePoint) {
    return codePoint >= InvalidUnitBase || (codePoint >= 0xD800 && codePoint <= 0xDFFF);
}

// The character at text[at] (at < length) into *codePoint; returns where the
// next one starts. Strict UTF-8: no overlong forms, no surrogates, nothing
// above U+10FFFF.
inline int NextCodePoint(const char* text, int at, int length, uint32_t* codePoint) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    unsigned lead = s[at];
    *codePoint = InvalidUnitBase + lead;
    if (lead < 0x80) {
        *codePoint = lead;
        return at + 1;
    }
    int count;
    uint32_t value, minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 1, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 2, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 3, value = lead & 0x07, minimum = 0x10000;
    } else {
        return at + 1;
    }
    if (length - at - 1 < count) return at + 1;
    for (int i = 1; i <= count; i++) {
        unsigned next = s[at + i];
        if ((next & 0xC0) != 0x80) return at + 1;
        value = (value << 6) | (next & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return at + 1;
    *codePoint = value;
    return at + 1 + count;
}

// UTF-16 in 16-bit units (Windows' wchar_t); used with wider units, as tests
// on Linux do, each unit above 0xFFFF is taken as the character it names.
template <typename Unit>
inline int NextCodePoint(const Unit* text, int at, int length, uint32_t* codePoint) {
    uint32_t unit = static_cast<uint32_t>(text[at]);
    *codePoint = unit;
    if (unit >= 0xD800 && unit <= 0xDBFF && at + 1 < length) {
        uint32_t low = static_cast<uint32_t>(text[at + 1]);
        if (low >= 0xDC00 && low <= 0xDFFF) {
            *codePoint = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
            return at + 2;
        }
    }
    return at + 1;
}

// Appends the UTF-8 of bytes [from, to) as Char units: unchanged for bytes,
// as UTF-16 for wider units. False for malformed UTF-8 there.
template <typename Char>
inline bool AppendUtf8AsUnits(const char* from, const char* to, std::basic_string<Char>* out) {
    if (sizeof(Char) == 1) {
        out->append(reinterpret_cast<const Char*>(from), to - from);
        return true;
    }
    int length = static_cast<int>(to - from);
    for (int i = 0; i < length;) {
        uint32_t c;
        i = NextCodePoint(from, i, length, &c);
        if (IsInvalidUnit(c)) return false;
        if (c >= 0x10000) {
            out->push_back(static_cast<Char>(0xD800 + ((c - 0x10000) >> 10)));
            out->push_back(static_cast<Char>(0xDC00 + ((c - 0x10000) & 0x3FF)));
        } else {
            out->push_back(static_cast<Char>(c));
        }
    }
    return true;
}

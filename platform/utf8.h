#pragma once
// Reading UTF-8, for lyrics that newer editors write in it while the program draws 8-bit text.

#include <cstdint>

namespace platform {

// The character that starts at text[pos], or -1 when no well-formed UTF-8 sequence starts there
// (overlong forms, surrogates and values past U+10FFFF are not well-formed). `pos` moves past
// what was read.
inline int32_t nextUtf8(const unsigned char* text, int32_t length, int32_t& pos) {
    const unsigned char lead = text[pos++];
    if (lead < 0x80) return lead;
    int extra;
    int32_t value;
    int32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        extra = 2, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3, value = lead & 0x07, least = 0x10000;
    } else {
        return -1;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= length || (text[pos] & 0xC0) != 0x80) return -1;
        value = value << 6 | (text[pos++] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return -1;
    return value;
}

// Whether the text is well-formed UTF-8 with at least one character beyond ASCII: only then is
// it taken for UTF-8; anything else is 8-bit text already.
inline bool isUtf8BeyondAscii(const unsigned char* text, int32_t length) {
    int32_t first = 0;
    while (first < length && text[first] < 0x80) ++first;
    if (first == length) return false;  // plain ASCII, the common case
    bool beyond = false;
    for (int32_t pos = first; pos < length;) {
        const int32_t c = nextUtf8(text, length, pos);
        if (c < 0) return false;
        if (c >= 0x80) beyond = true;
    }
    return beyond;
}

}  // namespace platform

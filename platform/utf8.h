// UTF-8 checks on byte strings, shared by the program and the archive library (header only, no
// Qt): file names on Linux are bytes, most of them UTF-8, some in older code pages.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tvk {

// Whether the `length` bytes at `text` are well-formed UTF-8 (no overlong forms, surrogates or
// values beyond U+10FFFF).
inline bool isValidUtf8(const char* text, std::size_t length) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const auto* end = p + length;
    while (p < end) {
        const unsigned char lead = *p;
        if (lead < 0x80) {
            ++p;
            continue;
        }
        int extra = 0;
        std::uint32_t value = 0;
        if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1;
            value = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2;
            value = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3;
            value = lead & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
            value = (value << 6) | (p[i] & 0x3F);
        }
        const bool overlong = (extra == 2 && value < 0x800) || (extra == 3 && value < 0x10000);
        if (overlong || (value >= 0xD800 && value <= 0xDFFF) || value > 0x10FFFF)
            return false;
        p += extra + 1;
    }
    return true;
}

// The longest prefix of the `length` bytes at `text` that fits in `limit` bytes without
// splitting a UTF-8 character; where the bytes are not UTF-8 the cut is simply at `limit`.
inline std::size_t utf8CutLength(const char* text, std::size_t length, std::size_t limit) {
    if (length <= limit)
        return length;
    if (!isValidUtf8(text, length))
        return limit;
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    return cut;
}

// `text` cut to at most `maxBytes` bytes as utf8CutLength cuts it.
inline std::string cutAtCharacter(const std::string& text, std::size_t maxBytes) {
    return text.substr(0, utf8CutLength(text.data(), text.size(), maxBytes));
}

} // namespace tvk

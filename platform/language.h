// The user's default language as a Windows-style language identifier, made from the POSIX
// locale of the process environment.
#pragma once

#include <cstdint>

namespace tvk {

constexpr std::uint16_t LANG_ENGLISH = 0x09;
constexpr std::uint16_t LANG_FRENCH = 0x0C;

inline std::uint16_t primaryLangId(std::uint16_t langId) {
    return langId & 0x3FF;
}

// From LC_ALL, else LC_MESSAGES, else LANG: the primary language of the locale's language
// code ("fr" 12, "en" 9, "de" 7, ...), with sub-language 1 ("default"), or 9 (English) for an
// unset, "C" or "POSIX" locale and for language codes without a Windows number.
std::uint16_t getUserDefaultLangId();

} // namespace tvk

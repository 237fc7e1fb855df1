#include "platform/language.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace tvk {

namespace {

struct LanguageNumber {
    const char* code;
    std::uint16_t primary;
};

// ISO 639-1 codes and the primary language numbers Windows gives them.
constexpr LanguageNumber kLanguages[] = {
    {"ar", 0x01}, {"bg", 0x02}, {"ca", 0x03}, {"zh", 0x04}, {"cs", 0x05}, {"da", 0x06},
    {"de", 0x07}, {"el", 0x08}, {"en", 0x09}, {"es", 0x0A}, {"fi", 0x0B}, {"fr", 0x0C},
    {"he", 0x0D}, {"hu", 0x0E}, {"is", 0x0F}, {"it", 0x10}, {"ja", 0x11}, {"ko", 0x12},
    {"nl", 0x13}, {"nb", 0x14}, {"nn", 0x14}, {"no", 0x14}, {"pl", 0x15}, {"pt", 0x16},
    {"rm", 0x17}, {"ro", 0x18}, {"ru", 0x19}, {"hr", 0x1A}, {"sr", 0x1A}, {"bs", 0x1A},
    {"sk", 0x1B}, {"sq", 0x1C}, {"sv", 0x1D}, {"th", 0x1E}, {"tr", 0x1F}, {"ur", 0x20},
    {"id", 0x21}, {"uk", 0x22}, {"be", 0x23}, {"sl", 0x24}, {"et", 0x25}, {"lv", 0x26},
    {"lt", 0x27}, {"fa", 0x29}, {"vi", 0x2A}, {"hy", 0x2B}, {"az", 0x2C}, {"eu", 0x2D},
    {"mk", 0x2F}, {"af", 0x36}, {"ka", 0x37}, {"fo", 0x38}, {"hi", 0x39}, {"mt", 0x3A},
    {"ga", 0x3C}, {"ms", 0x3E}, {"kk", 0x3F}, {"sw", 0x41}, {"uz", 0x43}, {"bn", 0x45},
    {"pa", 0x46}, {"gu", 0x47}, {"ta", 0x49}, {"te", 0x4A}, {"kn", 0x4B}, {"ml", 0x4C},
    {"mr", 0x4E}, {"mn", 0x50}, {"cy", 0x52}, {"km", 0x53}, {"gl", 0x56}, {"si", 0x5B},
    {"am", 0x5E}, {"ne", 0x61}, {"ps", 0x63}, {"yo", 0x6A}, {"zu", 0x35}, {"xh", 0x34},
};

constexpr std::uint16_t kSubLangDefault = 1;

const char* localeName() {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value && *value)
            return value;
    }
    return nullptr;
}

} // namespace

std::uint16_t getUserDefaultLangId() {
    std::uint16_t primary = LANG_ENGLISH;
    if (const char* name = localeName()) {
        // "fr_BE.UTF-8@euro": the language code runs up to the first '_', '.' or '@'.
        std::string code(name, std::strcspn(name, "_.@"));
        for (char& c : code)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        for (const LanguageNumber& lang : kLanguages) {
            if (code == lang.code) {
                primary = lang.primary;
                break;
            }
        }
    }
    return static_cast<std::uint16_t>((kSubLangDefault << 10) | primary);
}

} // namespace tvk

#include "platform/language.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

struct LocaleEnv {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
};

std::uint16_t primaryFor(const LocaleEnv& env) {
    auto set = [](const char* name, const char* value) {
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    };
    set("LC_ALL", env.lcAll);
    set("LC_MESSAGES", env.lcMessages);
    set("LANG", env.lang);
    return tvk::primaryLangId(tvk::getUserDefaultLangId());
}

TEST(UserDefaultLanguage, FrenchOfEveryCountryIsFrench) {
    for (const char* locale : {"fr_FR.UTF-8", "fr_BE.UTF-8", "fr_CA", "fr_CH.ISO-8859-1", "fr"})
        EXPECT_EQ(primaryFor({nullptr, nullptr, locale}), tvk::LANG_FRENCH) << locale;
}

TEST(UserDefaultLanguage, OtherLanguagesKeepTheirOwnNumbers) {
    EXPECT_EQ(primaryFor({nullptr, nullptr, "en_US.UTF-8"}), tvk::LANG_ENGLISH);
    EXPECT_EQ(primaryFor({nullptr, nullptr, "de_DE.UTF-8"}), 7);
    EXPECT_EQ(primaryFor({nullptr, nullptr, "es_ES"}), 10);
    EXPECT_EQ(primaryFor({nullptr, nullptr, "it_IT@euro"}), 16);
}

TEST(UserDefaultLanguage, UnsetCAndPosixAreEnglish) {
    EXPECT_EQ(primaryFor({nullptr, nullptr, nullptr}), tvk::LANG_ENGLISH);
    EXPECT_EQ(primaryFor({"C", nullptr, nullptr}), tvk::LANG_ENGLISH);
    EXPECT_EQ(primaryFor({"POSIX", nullptr, nullptr}), tvk::LANG_ENGLISH);
    EXPECT_EQ(primaryFor({"", "", ""}), tvk::LANG_ENGLISH);
    EXPECT_EQ(primaryFor({nullptr, nullptr, "xx_YY"}), tvk::LANG_ENGLISH);
}

TEST(UserDefaultLanguage, LcAllThenLcMessagesThenLang) {
    EXPECT_EQ(primaryFor({"fr_FR.UTF-8", "de_DE", "en_US"}), tvk::LANG_FRENCH);
    EXPECT_EQ(primaryFor({nullptr, "fr_FR.UTF-8", "en_US"}), tvk::LANG_FRENCH);
    EXPECT_EQ(primaryFor({"", "de_DE", "fr_FR"}), 7);
}

} // namespace

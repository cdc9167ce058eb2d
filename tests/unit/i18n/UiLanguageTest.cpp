// The language the program chooses from its environment.

#include "platform/UiLanguage.h"
#include "support/ScopedEnv.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

using Language = platform::UiLanguage::Language;

struct Case
{
    std::optional<std::string> lumetraLang, language, lcAll, lcMessages, lang;
    Language expected;
};

TEST(UiLanguageTest, LumetraLangOverridesTheLocaleWhichIsReadInGettextsOrder)
{
    const Language zh = Language::Chinese;
    const Language en = Language::English;
    const std::optional<std::string> unset;
    const Case cases[] = {
        // nothing set, or only empty values: Chinese
        {unset, unset, unset, unset, unset, zh},
        {"", "", "", "", "", zh},
        // the locale alone
        {unset, unset, unset, unset, "zh_CN.UTF-8", zh},
        {unset, unset, unset, unset, "zh_TW", zh},
        {unset, unset, unset, unset, "en_US.UTF-8", en},
        {unset, unset, unset, unset, "de_DE.UTF-8", en},
        {unset, unset, unset, unset, "C", zh},
        {unset, unset, unset, unset, "C.UTF-8", zh},
        {unset, unset, unset, unset, "POSIX", zh},
        // the first set one of LANGUAGE, LC_ALL, LC_MESSAGES, LANG decides
        {unset, unset, unset, "fr_FR.UTF-8", "zh_CN.UTF-8", en},
        {unset, unset, "zh_CN.UTF-8", "en_GB.UTF-8", "en_US.UTF-8", zh},
        {unset, unset, "C", "en_GB.UTF-8", unset, zh},
        {unset, "en_GB:zh_CN", "zh_CN.UTF-8", unset, "zh_CN.UTF-8", en},
        {unset, "zh_CN:en", "en_US.UTF-8", unset, "en_US.UTF-8", zh},
        {unset, "", "", "", "en_US.UTF-8", en},
        // LUMETRA_LANG overrides; other values of it are ignored
        {"en", unset, unset, unset, "zh_CN.UTF-8", en},
        {"en", unset, unset, unset, unset, en},
        {"zh", "en_US", "en_US.UTF-8", unset, "en_US.UTF-8", zh},
        {"fr", unset, unset, unset, "zh_CN.UTF-8", zh},
        {"EN", unset, unset, unset, "zh_CN.UTF-8", zh},
        {"", unset, unset, unset, "de_DE.UTF-8", en},
    };
    for (const Case& c : cases) {
        ScopedEnv a("LUMETRA_LANG", c.lumetraLang);
        ScopedEnv b("LANGUAGE", c.language);
        ScopedEnv d("LC_ALL", c.lcAll);
        ScopedEnv e("LC_MESSAGES", c.lcMessages);
        ScopedEnv f("LANG", c.lang);
        EXPECT_EQ(platform::UiLanguage::FromEnvironment(), c.expected)
            << "LUMETRA_LANG=" << c.lumetraLang.value_or("<unset>")
            << " LANGUAGE=" << c.language.value_or("<unset>") << " LC_ALL=" << c.lcAll.value_or("<unset>")
            << " LC_MESSAGES=" << c.lcMessages.value_or("<unset>") << " LANG=" << c.lang.value_or("<unset>");
    }
}

} // namespace

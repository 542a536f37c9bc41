#include <gtest/gtest.h>
#include <optional>

#include "platform/locale.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

using test::LangOnly;
using test::ScopedEnv;

TEST(LocaleIdOfName, MapsPosixNamesToWindowsIdentifiers)
{
    const struct {
        const char* name;
        std::uint32_t lcid;
    } cases[] = {
        { "de_DE", 0x0407 },
        { "de_AT.UTF-8", 0x0C07 },
        { "de_DE.UTF-8@euro", 0x0407 },
        { "de_CH.ISO-8859-1", 0x0807 },
        { "hr_HR", 0x041A },
        { "sr_RS", 0x281A },
        { "sr_RS.UTF-8@latin", 0x241A },
        { "nn_NO", 0x0814 },
        { "zh_TW.Big5", 0x0404 },
        { "sq_AL", 0x041C },
        // Unknown country of a known language: the language's default locale.
        { "de_BE", 0x0407 },
        { "fr_SN.UTF-8", 0x040C },
        { "en_PH", 0x0409 },
        { "de", 0x0407 },
        // Serbian and Nynorsk share the primary language of other languages, so they keep their own.
        { "sr_BA", 0x281A },
        { "nn_SE", 0x0814 },
        { "C", 0 },
        { "POSIX", 0 },
        { "C.UTF-8", 0 },
        { "", 0 },
        { "xx_YY", 0 },
        { ".UTF-8", 0 },
        { "@euro", 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LocaleIdOfName(QString::fromUtf8(c.name)), c.lcid);
    }
}

TEST(AnsiCodePageOfLocale, FollowsThePrimaryLanguage)
{
    const struct {
        std::uint32_t lcid;
        int codePage;
    } cases[] = {
        { 0x0407, 1252 }, // de_DE
        { 0x0C07, 1252 }, // de_AT
        { 0x0415, 1250 }, // pl
        { 0x041A, 1250 }, // hr
        { 0x241A, 1250 }, // sr Latin
        { 0x041C, 1250 }, // sq
        { 0x0419, 1251 }, // ru
        { 0x281A, 1251 }, // sr Cyrillic
        { 0x0408, 1253 }, // el
        { 0x041F, 1254 }, // tr
        { 0x040D, 1255 }, // he
        { 0x0429, 1256 }, // fa
        { 0x0427, 1257 }, // lt
        { 0x042A, 1258 }, // vi
        { 0x041E, 874 }, // th
        { 0x0411, 1252 }, // ja: double-byte page not supported
        { 0, 1252 },
        { 0x007F, 1252 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lcid);
        EXPECT_EQ(AnsiCodePageOfLocale(c.lcid), c.codePage);
    }
}

TEST(GetACP, FollowsTheEnvironmentOnEveryCall)
{
    const struct {
        const char* lang;
        int codePage;
    } cases[] = {
        { "de_DE.UTF-8", 1252 },
        { "pl_PL.UTF-8", 1250 },
        { "ru_RU.UTF-8", 1251 },
        { "el_GR.UTF-8", 1253 },
        { "tr_TR.UTF-8", 1254 },
        { "lt_LT.UTF-8", 1257 },
        { "xx_YY.UTF-8", 1252 },
        { "C", 1252 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang);
        const LangOnly env(QString::fromUtf8(c.lang));
        EXPECT_EQ(GetACP(), c.codePage);
        EXPECT_EQ(GetThreadLocale(), LocaleIdOfName(QString::fromUtf8(c.lang)));
    }
}

TEST(UserLocaleName, TakesTheFirstNonEmptyOfLcAllLcMessagesLang)
{
    const std::optional<QString> unset;
    const QString empty;
    const struct {
        std::optional<QString> all;
        std::optional<QString> messages;
        std::optional<QString> lang;
        QString expected;
    } cases[] = {
        { QStringLiteral("fr_FR"), QStringLiteral("it_IT"), QStringLiteral("de_DE"), QStringLiteral("fr_FR") },
        { unset, QStringLiteral("it_IT"), QStringLiteral("de_DE"), QStringLiteral("it_IT") },
        { empty, QStringLiteral("it_IT"), QStringLiteral("de_DE"), QStringLiteral("it_IT") },
        { empty, empty, QStringLiteral("de_DE.UTF-8@euro"), QStringLiteral("de_DE.UTF-8@euro") },
        { unset, unset, QStringLiteral("pl_PL"), QStringLiteral("pl_PL") },
        { empty, empty, empty, QString() },
        { unset, unset, unset, QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expected.toStdString());
        const ScopedEnv all("LC_ALL", c.all);
        const ScopedEnv messages("LC_MESSAGES", c.messages);
        const ScopedEnv lang("LANG", c.lang);
        EXPECT_EQ(UserLocaleName(), c.expected);
    }
}

TEST(UserQLocale, UsesLanguageAndCountryOfTheEnvironment)
{
    const struct {
        const char* lang;
        QLocale::Language language;
        QLocale::Territory territory;
    } cases[] = {
        { "de_DE.UTF-8", QLocale::German, QLocale::Germany },
        { "de_AT.UTF-8@euro", QLocale::German, QLocale::Austria },
        { "fr_CA", QLocale::French, QLocale::Canada },
        { "C", QLocale::C, QLocale::AnyTerritory },
        { "POSIX", QLocale::C, QLocale::AnyTerritory },
        { "xx_YY.UTF-8", QLocale::C, QLocale::AnyTerritory },
        { "", QLocale::C, QLocale::AnyTerritory },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.lang);
        const LangOnly env(QString::fromUtf8(c.lang));
        const QLocale locale = UserQLocale();
        EXPECT_EQ(locale.language(), c.language);
        if (c.language != QLocale::C) {
            EXPECT_EQ(locale.territory(), c.territory);
        }
    }
}

} // namespace
} // namespace pd::platform

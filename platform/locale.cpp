#include "platform/locale.h"

namespace pd::platform {

namespace {

struct NamedLocale {
    const char* name; // "ll_CC" or "ll_CC@modifier"
    std::uint32_t lcid;
};

// Windows locale identifiers of the POSIX locales the program meets in practice.
constexpr NamedLocale kLocales[] = {
    { "de_DE", 0x0407 },
    { "de_AT", 0x0C07 },
    { "de_CH", 0x0807 },
    { "de_LU", 0x1007 },
    { "de_LI", 0x1407 },
    { "en_US", 0x0409 },
    { "en_GB", 0x0809 },
    { "en_AU", 0x0C09 },
    { "en_CA", 0x1009 },
    { "en_NZ", 0x1409 },
    { "en_IE", 0x1809 },
    { "en_ZA", 0x1C09 },
    { "en_IN", 0x4009 },
    { "fr_FR", 0x040C },
    { "fr_BE", 0x080C },
    { "fr_CA", 0x0C0C },
    { "fr_CH", 0x100C },
    { "fr_LU", 0x140C },
    { "it_IT", 0x0410 },
    { "it_CH", 0x0810 },
    { "es_ES", 0x0C0A },
    { "es_MX", 0x080A },
    { "es_AR", 0x2C0A },
    { "es_US", 0x540A },
    { "nl_NL", 0x0413 },
    { "nl_BE", 0x0813 },
    { "pt_BR", 0x0416 },
    { "pt_PT", 0x0816 },
    { "cs_CZ", 0x0405 },
    { "pl_PL", 0x0415 },
    { "hu_HU", 0x040E },
    { "sk_SK", 0x041B },
    { "sl_SI", 0x0424 },
    { "hr_HR", 0x041A },
    { "bs_BA", 0x141A },
    { "ro_RO", 0x0418 },
    { "ru_RU", 0x0419 },
    { "uk_UA", 0x0422 },
    { "bg_BG", 0x0402 },
    { "be_BY", 0x0423 },
    { "mk_MK", 0x042F },
    { "sr_RS", 0x281A },
    { "sr_RS@latin", 0x241A },
    { "sr_ME", 0x301A },
    { "sr_ME@latin", 0x2C1A },
    { "el_GR", 0x0408 },
    { "tr_TR", 0x041F },
    { "et_EE", 0x0425 },
    { "lv_LV", 0x0426 },
    { "lt_LT", 0x0427 },
    { "da_DK", 0x0406 },
    { "sv_SE", 0x041D },
    { "sv_FI", 0x081D },
    { "fi_FI", 0x040B },
    { "nb_NO", 0x0414 },
    { "nn_NO", 0x0814 },
    { "is_IS", 0x040F },
    { "he_IL", 0x040D },
    { "ar_SA", 0x0401 },
    { "ar_EG", 0x0C01 },
    { "fa_IR", 0x0429 },
    { "th_TH", 0x041E },
    { "vi_VN", 0x042A },
    { "id_ID", 0x0421 },
    { "ms_MY", 0x043E },
    { "ja_JP", 0x0411 },
    { "zh_CN", 0x0804 },
    { "zh_TW", 0x0404 },
    { "zh_HK", 0x0C04 },
    { "ko_KR", 0x0412 },
    { "ca_ES", 0x0403 },
    { "ca_ES@valencia", 0x0803 },
    { "eu_ES", 0x042D },
    { "gl_ES", 0x0456 },
    { "sq_AL", 0x041C },
};

struct CodePageOfLanguage {
    std::uint32_t language; // primary language id (low 10 bits), or a whole identifier
    int codePage;
};

// Locales whose page differs from the rest of their primary language: the Cyrillic Serbian and
// Bosnian locales share their primary language with Croatian.
constexpr CodePageOfLanguage kCodePageExceptions[] = {
    { 0x0C1A, 1251 },
    { 0x1C1A, 1251 },
    { 0x201A, 1251 },
    { 0x281A, 1251 },
    { 0x301A, 1251 },
};

// Every language not listed uses 1252, which includes the double-byte East Asian ones: their
// pages are not supported.
constexpr CodePageOfLanguage kCodePages[] = {
    { 0x05, 1250 }, // cs
    { 0x15, 1250 }, // pl
    { 0x0E, 1250 }, // hu
    { 0x1B, 1250 }, // sk
    { 0x24, 1250 }, // sl
    { 0x1A, 1250 }, // hr, sr Latin, bs Latin
    { 0x18, 1250 }, // ro
    { 0x1C, 1250 }, // sq
    { 0x19, 1251 }, // ru
    { 0x22, 1251 }, // uk
    { 0x23, 1251 }, // be
    { 0x02, 1251 }, // bg
    { 0x2F, 1251 }, // mk
    { 0x08, 1253 }, // el
    { 0x1F, 1254 }, // tr
    { 0x25, 1257 }, // et
    { 0x26, 1257 }, // lv
    { 0x27, 1257 }, // lt
    { 0x0D, 1255 }, // he
    { 0x01, 1256 }, // ar
    { 0x29, 1256 }, // fa
    { 0x1E, 874 }, // th
    { 0x2A, 1258 }, // vi
};

constexpr std::uint32_t kPrimaryLanguageMask = 0x3FF;
constexpr std::uint32_t kDefaultSubLanguage = 1u << 10;

QString LanguageOf(const QString& tableName)
{
    return tableName.section(QLatin1Char('_'), 0, 0);
}

const NamedLocale* FindLocale(const QString& name)
{
    for (const NamedLocale& entry : kLocales) {
        if (name.compare(QLatin1String(entry.name), Qt::CaseInsensitive) == 0)
            return &entry;
    }
    return nullptr;
}

// The language's default locale is the one with sub-language 1 of its primary language, unless
// that identifier belongs to another language (Serbian shares Croatian's, Nynorsk Bokmål's); then
// it is the language's first locale in the table.
std::uint32_t DefaultLocaleOfLanguage(const QString& language)
{
    const NamedLocale* first = nullptr;
    for (const NamedLocale& entry : kLocales) {
        if (LanguageOf(QLatin1String(entry.name)).compare(language, Qt::CaseInsensitive) == 0) {
            first = &entry;
            break;
        }
    }
    if (!first)
        return 0;
    const std::uint32_t candidate = kDefaultSubLanguage | (first->lcid & kPrimaryLanguageMask);
    for (const NamedLocale& entry : kLocales) {
        if (entry.lcid == candidate
            && LanguageOf(QLatin1String(entry.name)).compare(language, Qt::CaseInsensitive) != 0)
            return first->lcid;
    }
    return candidate;
}

// "ll_CC.codeset@modifier" -> "ll_CC" and "modifier".
void SplitPosixName(const QString& posixName, QString& languageCountry, QString& modifier)
{
    const qsizetype at = posixName.indexOf(QLatin1Char('@'));
    modifier = at < 0 ? QString() : posixName.mid(at + 1);
    const QString base = at < 0 ? posixName : posixName.left(at);
    languageCountry = base.section(QLatin1Char('.'), 0, 0);
}

} // namespace

QString UserLocaleName()
{
    for (const char* variable : { "LC_ALL", "LC_MESSAGES", "LANG" }) {
        const QString value = qEnvironmentVariable(variable);
        if (!value.isEmpty())
            return value;
    }
    return {};
}

std::uint32_t LocaleIdOfName(const QString& posixName)
{
    QString languageCountry;
    QString modifier;
    SplitPosixName(posixName, languageCountry, modifier);
    if (languageCountry.isEmpty())
        return 0;
    if (!modifier.isEmpty()) {
        if (const NamedLocale* entry = FindLocale(languageCountry + QLatin1Char('@') + modifier))
            return entry->lcid;
    }
    if (const NamedLocale* entry = FindLocale(languageCountry))
        return entry->lcid;
    return DefaultLocaleOfLanguage(LanguageOf(languageCountry));
}

std::uint32_t GetThreadLocale()
{
    return LocaleIdOfName(UserLocaleName());
}

int AnsiCodePageOfLocale(std::uint32_t lcid)
{
    for (const CodePageOfLanguage& entry : kCodePageExceptions) {
        if (entry.language == lcid)
            return entry.codePage;
    }
    for (const CodePageOfLanguage& entry : kCodePages) {
        if (entry.language == (lcid & kPrimaryLanguageMask))
            return entry.codePage;
    }
    return 1252;
}

int GetACP()
{
    return AnsiCodePageOfLocale(GetThreadLocale());
}

QLocale UserQLocale()
{
    QString languageCountry;
    QString modifier;
    SplitPosixName(UserLocaleName(), languageCountry, modifier);
    if (languageCountry.isEmpty())
        return QLocale::c();
    const QLocale locale(languageCountry);
    return locale.language() == QLocale::C ? QLocale::c() : locale;
}

} // namespace pd::platform

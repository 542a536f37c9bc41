#include "ui/languagetranslator.h"

#include <array>
#include <optional>

#include <QFileInfo>
#include <QStringList>

#include "platform/locale.h"
#include "platform/text.h"

namespace pd::ui {

namespace {

struct MainLocale {
    std::uint32_t primaryLanguage;
    std::uint32_t locale;
};

// Languages whose countries share one language file: Czech, German, English, Spanish, French,
// Italian, Polish.
constexpr std::array<MainLocale, 7> kMainLocales { {
    { 0x05, 0x0405 },
    { 0x07, 0x0407 },
    { 0x09, 0x0409 },
    { 0x0A, 0x040A },
    { 0x0C, 0x040C },
    { 0x10, 0x0410 },
    { 0x15, 0x0415 },
} };

const QChar kNoHotkey = QLatin1Char(' ');
const QChar kTilde = QLatin1Char('~');

bool IsFile(const QString& path)
{
    return !path.isEmpty() && QFileInfo(path).isFile();
}

// The lines of a language file, or none when the file cannot be read or is no text: too large,
// NUL bytes, undecodable data after a byte-order mark, or a line beyond kMaxLanguageLine.
std::optional<QStringList> ReadLanguageLines(const QString& path, platform::TextEncoding* encoding)
{
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > kMaxLanguageFileSize)
        return std::nullopt;
    const std::optional<platform::DecodedText> decoded = platform::ReadTextFile(path);
    if (!decoded || decoded->text.contains(QChar(0)) || decoded->text.contains(QChar::ReplacementCharacter))
        return std::nullopt;
    QStringList lines = platform::SplitLines(decoded->text);
    for (const QString& line : lines)
        if (line.size() > kMaxLanguageLine)
            return std::nullopt;
    *encoding = decoded->encoding;
    return lines;
}

QString SaveLine(const TTransWort& entry)
{
    QString source = entry.Source;
    QString target = entry.Target;
    if (entry.TargetHotkey != kNoHotkey)
        InsertHotkeyMark(target, entry.TargetHotkey);
    if (entry.SourceHotkey != kNoHotkey)
        InsertHotkeyMark(source, entry.SourceHotkey);
    return source != target ? source + kTilde + target : source + kTilde;
}

} // namespace

QString DetectLanguageCode(std::uint32_t lcid)
{
    if (lcid == 0)
        lcid = 0x0409;
    const std::uint32_t primary = lcid & 0x3FF;
    for (const MainLocale& main : kMainLocales)
        if (main.primaryLanguage == primary)
            lcid = main.locale;
    return QString::number(lcid, 16).toUpper().rightJustified(4, QLatin1Char('0'));
}

QString DetectLanguageCode()
{
    return DetectLanguageCode(platform::GetThreadLocale());
}

TLanguageTranslator::TLanguageTranslator(WarningBox warningBox)
    : m_warningBox(std::move(warningBox))
    , m_entries(std::make_unique<TTransListe>())
{
    setDatei(QStringLiteral("default.lng"));
}

QString TLanguageTranslator::MissingFileWarning()
{
    return QStringLiteral("Übersetzungsdatei existiert nicht !");
}

void TLanguageTranslator::setDatei(const QString& value)
{
    m_entries = std::make_unique<TTransListe>();
    m_readEncoding.reset();
    const QString bareName = QFileInfo(value).fileName();
    if (IsFile(value)) {
        m_datei = value;
    } else if (IsFile(bareName)) {
        m_datei = bareName;
    } else {
        if (m_dotranslate && !m_warned) {
            // Set before the box runs its own event loop, so nothing shown meanwhile warns again.
            m_warned = true;
            if (m_warningBox)
                m_warningBox(MissingFileWarning());
        }
        // The old name stays; the warning clears only while its file is there.
        if (!IsFile(m_datei))
            return;
    }
    m_warned = false;
}

void TLanguageTranslator::setDotranslate(bool value)
{
    m_dotranslate = value;
    if (value)
        setDatei(m_datei);
}

QString TLanguageTranslator::tl(const QString& text)
{
    if (platform::IsBlank(text))
        return {};
    if (!Loaded())
        Load();
    QString t = EncodeText(text);
    QString r = Lookup(t);
    if (m_newText) {
        m_entries->Add(t, {});
        Save();
    }
    r.remove(kTilde);
    return DecodeText(r);
}

QString TLanguageTranslator::Lookup(QString& t)
{
    // Cleared first: a lookup that is skipped must not leave the previous text's "new" behind,
    // or tl would add and write a text while the file is known to be gone.
    m_newText = false;
    if (!m_dotranslate || m_warned)
        return t;
    qsizetype width = t.size();
    qsizetype colon = NormaliseSource(t);
    const TTransWort* found = m_entries->First();
    while (found != nullptr && found->Source != t)
        found = found->Next;
    if (found != nullptr) {
        t = found->Target;
        if (found->TargetHotkey != kNoHotkey && !t.isEmpty()) {
            HotkeysInUse.set(found->TargetHotkey.unicode());
            InsertHotkeyMark(t, found->TargetHotkey);
            ++width;
            if (colon > 0)
                ++colon;
        }
    } else if (!t.isEmpty()) {
        m_newText = true;
    }
    if (colon > 0) {
        const qsizetype length = t.size();
        if (length < width) {
            t = t.leftJustified(width);
            if (length >= colon)
                colon = length + 1;
            t[colon - 1] = QLatin1Char(':');
        } else {
            t.append(QLatin1Char(':'));
        }
    }
    return t.leftJustified(width);
}

void TLanguageTranslator::Load()
{
    if (!m_dotranslate || m_datei.isEmpty())
        return;
    platform::TextEncoding encoding = platform::TextEncoding::Ansi;
    const std::optional<QStringList> lines = ReadLanguageLines(m_datei, &encoding);
    if (!lines) {
        setDatei(m_datei);
        return;
    }
    for (const QString& line : *lines) {
        const qsizetype p = line.indexOf(kTilde);
        if (p < 0)
            m_entries->Add({}, platform::Trim(line));
        else
            m_entries->Add(platform::TrimRight(line.left(p)), platform::Trim(line.mid(p + 1)));
    }
    // An empty file counts as read: otherwise it would be read again after the first new text
    // was written to it, and that text would stand twice in the list and in the file.
    m_readEncoding = encoding;
}

bool TLanguageTranslator::MayWrite(bool nothingToWrite) const
{
    if (Loaded())
        return true;
    if (nothingToWrite)
        return false;
    // Lines that were not read may only replace a file that has none.
    const QFileInfo info(m_datei);
    if (!info.exists() && !info.isSymLink())
        return true;
    return info.isFile() && info.size() == 0;
}

void TLanguageTranslator::Save()
{
    if (m_datei.isEmpty())
        return;
    try {
        QString text;
        bool empty = true;
        for (const TTransWort* entry = m_entries->First(); entry != nullptr; entry = entry->Next) {
            if (entry->Source.isEmpty())
                continue;
            text += SaveLine(*entry) + QStringLiteral("\r\n");
            empty = false;
        }
        if (MayWrite(empty))
            platform::WriteTextFile(m_datei, text, m_readEncoding.value_or(platform::TextEncoding::Ansi));
    } catch (...) {
        // A failed write leaves the entries in memory for the next one.
    }
}

} // namespace pd::ui

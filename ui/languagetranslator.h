#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include <QString>

#include "platform/textfile.h"
#include "ui/translist.h"

namespace pd::ui {

// The language code of a Windows locale identifier: four or more upper-case hexadecimal digits.
// Languages with several countries use their main locale (0x0C07 -> "0407"); 0 counts as 0x0409.
QString DetectLanguageCode(std::uint32_t lcid);
// The same for the locale of the user's environment.
QString DetectLanguageCode();

// Files larger than this, or with a line longer than kMaxLanguageLine characters, are no language
// files: they are neither read nor ever written.
inline constexpr qint64 kMaxLanguageFileSize = 4 * 1024 * 1024;
inline constexpr qsizetype kMaxLanguageLine = 65536;

// Translates message texts through a language file of "source~target" lines and collects texts
// the file does not know yet as untranslated entries.
class TLanguageTranslator {
public:
    // Shows the missing-file warning; the translator calls it at most once until a file is found
    // again. Without one, the warning only sets the state.
    using WarningBox = std::function<void(const QString& text)>;

    explicit TLanguageTranslator(WarningBox warningBox = {});

    // The language file as last resolved; empty until a file was found. Assigning empties the
    // entries and resolves the name: as given, else its bare file name in the working folder,
    // else the old name stays (and a missing file is warned of once while translation is on).
    const QString& Datei() const { return m_datei; }
    void setDatei(const QString& value);

    // Switching on re-resolves the file (see setDatei).
    bool dotranslate() const { return m_dotranslate; }
    void setDotranslate(bool value);

    // Translates one text: blank texts give empty text; reads the file at the first text; a text
    // without an entry is added and the file written.
    QString tl(const QString& text);

    // Looks the escaped text t up; t is normalised in place (see NormaliseSource). The result
    // keeps the colon column and is never shorter than the input.
    QString Lookup(QString& t);

    // Reads the file's lines into the entries; a file that cannot be read, or is no text, leaves
    // the translator without entries.
    void Load();
    // Replaces the file with the entries. Never writes over a file whose lines were not read in
    // this run, unless that file is missing or empty. Errors are ignored.
    void Save();

    const TTransListe& Entries() const { return *m_entries; }
    bool Loaded() const { return m_readEncoding.has_value(); }
    bool NewText() const { return m_newText; }
    bool Warned() const { return m_warned; }

    // The warning text shown when the language file has gone.
    static QString MissingFileWarning();

private:
    bool MayWrite(bool nothingToWrite) const;

    WarningBox m_warningBox;
    QString m_datei;
    std::unique_ptr<TTransListe> m_entries;
    bool m_newText = false;
    bool m_dotranslate = false;
    bool m_warned = false;
    // The encoding the file's lines were read in, none until they were: a file with a byte-order
    // mark is written back in it, so characters outside the ANSI code page survive.
    std::optional<platform::TextEncoding> m_readEncoding;
};

} // namespace pd::ui

#pragma once

#include <bitset>

#include <QString>

namespace pd::ui {

// One entry of a language file. Texts are kept in the file's escaped form ("#13", "#38").
struct TTransWort {
    QString Source; // no trailing spaces, no final colon, first "&" removed
    QString Target; // equal to Source while the entry is not translated
    QChar SourceHotkey = QLatin1Char(' '); // a space means none
    QChar TargetHotkey = QLatin1Char(' ');
    TTransWort* Next = nullptr;
};

// The entries of a language file in file order; owns them. No index, no sorting.
class TTransListe {
public:
    TTransListe() = default;
    ~TTransListe();
    TTransListe(const TTransListe&) = delete;
    TTransListe& operator=(const TTransListe&) = delete;

    TTransWort* First() const { return m_first; }
    // The last entry, or none for an empty list.
    TTransWort* Last() const { return m_last; }

    // Normalises source (trailing spaces and one final colon go), takes the accelerators out of
    // both texts and appends the entry. An empty target makes the entry untranslated.
    void Add(QString source, QString target);

private:
    TTransWort* m_first = nullptr;
    // Kept so that appending does not walk the list: a long file would otherwise load in
    // quadratic time.
    TTransWort* m_last = nullptr;
};

// Accelerator characters already given out during the run, one flag per UTF-16 code unit, so
// characters above 255 have flags of their own. Never cleared by the program.
using HotkeyFlags = std::bitset<65536>;
extern HotkeyFlags HotkeysInUse;

// Takes the trailing spaces, then one final colon with the spaces before it, off a source text, as
// the entries keep it. Returns the length up to and with that colon, 0 when there was none.
qsizetype NormaliseSource(QString& text);

// Escapes a text for the language file: CR -> "#13", LF dropped, "&" -> "#38".
QString EncodeText(const QString& s);
// "#13" -> CR (a lone CR, not CR LF), then "#38" -> "&".
QString DecodeText(const QString& s);

// Puts "&" before the first occurrence of hotkey in text (exact comparison), or at the start when
// text does not hold it; returns where it was put.
qsizetype InsertHotkeyMark(QString& text, QChar hotkey);

} // namespace pd::ui

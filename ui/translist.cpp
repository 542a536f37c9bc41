#include "ui/translist.h"

namespace pd::ui {

namespace {

const QChar kNoHotkey = QLatin1Char(' ');
const QChar kMark = QLatin1Char('&');

void ChopTrailingSpaces(QString& text)
{
    while (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
}

QChar AsciiUpper(QChar c)
{
    if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
        return QChar(c.unicode() - u'a' + u'A');
    return c;
}

// The character after the first "&", or none; an "&" at the very end gives code 0.
QChar CharAfterMark(const QString& text, qsizetype mark)
{
    if (mark < 0)
        return kNoHotkey;
    return mark + 1 < text.size() ? text[mark + 1] : QChar(0);
}

void Flag(QChar hotkey)
{
    HotkeysInUse.set(hotkey.unicode());
}

} // namespace

HotkeyFlags HotkeysInUse;

TTransListe::~TTransListe()
{
    // Iterative, so a long list cannot exhaust the stack.
    for (TTransWort* entry = m_first; entry != nullptr;) {
        TTransWort* next = entry->Next;
        delete entry;
        entry = next;
    }
}

void TTransListe::Add(QString source, QString target)
{
    NormaliseSource(source);
    if (target.isEmpty()) {
        source.remove(kMark);
        target = source;
    }
    const qsizetype sourceMark = source.indexOf(kMark);
    const qsizetype targetMark = target.indexOf(kMark);
    const QChar sourceKey = CharAfterMark(source, sourceMark);
    QChar sourceHotkey = sourceMark >= 0 ? AsciiUpper(sourceKey) : kNoHotkey;
    QChar targetHotkey = targetMark >= 0 ? CharAfterMark(target, targetMark).toUpper() : kNoHotkey;

    const bool sourceSet = sourceHotkey != kNoHotkey;
    const bool targetSet = targetHotkey != kNoHotkey;
    if (sourceSet && targetSet) {
        Flag(targetHotkey);
        source.remove(sourceMark, 1);
        target.remove(targetMark, 1);
    } else if (sourceSet) {
        // The untranslated target holds the hotkey at the place of the source's "&". A "&" beyond
        // the end of the target leaves the target without a candidate.
        if (sourceMark < target.size() && target[sourceMark] != kNoHotkey)
            targetHotkey = target[sourceMark];
        if (HotkeysInUse.test(targetHotkey.unicode())) {
            sourceHotkey = kNoHotkey;
            targetHotkey = kNoHotkey;
        } else {
            Flag(targetHotkey);
        }
        source.remove(sourceMark, 1);
    } else if (targetSet) {
        Flag(targetHotkey);
        target.remove(targetMark, 1);
    }

    auto* entry = new TTransWort { source, target, sourceHotkey, targetHotkey, nullptr };
    if (m_last == nullptr)
        m_first = entry;
    else
        m_last->Next = entry;
    m_last = entry;
}

qsizetype NormaliseSource(QString& text)
{
    ChopTrailingSpaces(text);
    if (!text.endsWith(QLatin1Char(':')))
        return 0;
    const qsizetype colon = text.size();
    text.chop(1);
    ChopTrailingSpaces(text);
    return colon;
}

QString EncodeText(const QString& s)
{
    QString result = s;
    result.replace(QLatin1Char('\r'), QLatin1String("#13"));
    result.remove(QLatin1Char('\n'));
    result.replace(kMark, QLatin1String("#38"));
    return result;
}

QString DecodeText(const QString& s)
{
    QString result = s;
    result.replace(QLatin1String("#13"), QStringLiteral("\r"));
    result.replace(QLatin1String("#38"), QStringLiteral("&"));
    return result;
}

qsizetype InsertHotkeyMark(QString& text, QChar hotkey)
{
    qsizetype at = text.indexOf(hotkey);
    if (at < 0)
        at = 0;
    text.insert(at, kMark);
    return at;
}

} // namespace pd::ui

#include "mail/headerencoding.h"

#include <QList>

namespace pd::mail {

namespace {

// RFC 2047 2: an encoded word has at most 75 characters, a line holding one at most 76.
constexpr int kEncodedWordLimit = 75;
constexpr int kLineLimit = 76;
constexpr char kWordStart[] = "=?UTF-8?Q?";
constexpr int kWordFrame = sizeof kWordStart - 1 + 2;
constexpr char kHexDigits[] = "0123456789ABCDEF";

bool IsPlainAscii(const QString& text)
{
    for (const QChar c : text)
        if (c.unicode() > 0x7F)
            return false;
    return true;
}

// A CR or LF inside a value would end the header line and let the rest pose as a header of its
// own; a blank keeps the text readable.
QString WithoutLineBreaks(QString text)
{
    for (QChar& c : text)
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n'))
            c = QLatin1Char(' ');
    return text;
}

// Q encoding as RFC 2047 5(3) allows it in a phrase, which is also valid in unstructured text.
QByteArray QEncoded(const QByteArray& utf8)
{
    QByteArray out;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '!'
            || byte == '*' || byte == '+' || byte == '-' || byte == '/') {
            out.append(c);
        } else if (byte == ' ') {
            out.append('_');
        } else {
            out.append('=');
            out.append(kHexDigits[byte >> 4]);
            out.append(kHexDigits[byte & 0x0F]);
        }
    }
    return out;
}

// The text as encoded words. A character is never split between two words (RFC 2047 5), and
// the first word leaves room for firstColumn characters before it on its line.
QList<QByteArray> EncodedWords(const QString& text, int firstColumn)
{
    QList<QByteArray> words;
    QByteArray current;
    int limit = qMin(kEncodedWordLimit, kLineLimit - firstColumn) - kWordFrame;
    for (const char32_t codePoint : text.toUcs4()) {
        const QByteArray piece = QEncoded(QString::fromUcs4(&codePoint, 1).toUtf8());
        if (!current.isEmpty() && current.size() + piece.size() > limit) {
            words.append(kWordStart + current + "?=");
            current.clear();
            limit = kEncodedWordLimit - kWordFrame;
        }
        current.append(piece);
    }
    if (!current.isEmpty() || words.isEmpty())
        words.append(kWordStart + current + "?=");
    return words;
}

// Joins the tokens with blanks after "Name:", and folds before a token that would carry its line
// past the limit (RFC 5322 2.2.3: the fold is CR LF followed by the blank).
QByteArray Folded(const char* name, const QList<QByteArray>& tokens)
{
    QByteArray field(name);
    field.append(':');
    qsizetype column = field.size();
    bool lineHasToken = false;
    for (const QByteArray& token : tokens) {
        if (lineHasToken && column + 1 + token.size() > kLineLimit) {
            field.append("\r\n");
            column = 0;
        }
        field.append(' ');
        field.append(token);
        column += 1 + token.size();
        lineHasToken = true;
    }
    return field;
}

struct Mailbox {
    QString text; // as written, without the separator
    QChar separator; // "," or ";" after it, or none
};

// Splits at a comma or semicolon outside quotes and angle brackets once the part before it holds
// an "@", so that "Müller, Jürgen <jm@example.org>" stays one mailbox.
QList<Mailbox> SplitMailboxes(const QString& value)
{
    QList<Mailbox> boxes;
    QString current;
    bool quoted = false;
    int angle = 0;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\\') && quoted && i + 1 < value.size()) {
            current += c;
            current += value[++i];
            continue;
        }
        if (c == QLatin1Char('"'))
            quoted = !quoted;
        else if (!quoted && c == QLatin1Char('<'))
            ++angle;
        else if (!quoted && c == QLatin1Char('>') && angle > 0)
            --angle;
        const bool separator = c == QLatin1Char(',') || c == QLatin1Char(';');
        if (separator && !quoted && angle == 0 && current.contains(QLatin1Char('@'))) {
            boxes.append({ current, c });
            current.clear();
            continue;
        }
        current += c;
    }
    if (!current.trimmed().isEmpty() || boxes.isEmpty())
        boxes.append({ current, QChar() });
    return boxes;
}

// A display name without its enclosing quotes and quoted-pair escapes.
QString UnquotedName(QString name)
{
    name = name.trimmed();
    if (name.size() < 2 || !name.startsWith(QLatin1Char('"')) || !name.endsWith(QLatin1Char('"')))
        return name;
    QString plain;
    for (qsizetype i = 1; i + 1 < name.size(); ++i) {
        if (name[i] == QLatin1Char('\\') && i + 2 < name.size())
            ++i;
        plain += name[i];
    }
    return plain;
}

// The tokens of one mailbox: "Name <address>" with a display name that is not plain ASCII gets
// encoded words for the name; anything else stays as typed, in UTF-8.
QList<QByteArray> MailboxTokens(const Mailbox& box, qsizetype column)
{
    const QString text = box.text.trimmed();
    const qsizetype open = text.lastIndexOf(QLatin1Char('<'));
    const QString name = open > 0 ? UnquotedName(text.left(open)) : QString();
    QList<QByteArray> tokens;
    if (text.endsWith(QLatin1Char('>')) && !name.isEmpty() && !IsPlainAscii(name)) {
        tokens = EncodedWords(name, static_cast<int>(column) + 1);
        tokens.append(text.mid(open).toUtf8());
    } else {
        tokens.append(text.toUtf8());
    }
    if (!box.separator.isNull())
        tokens.last().append(static_cast<char>(box.separator.unicode()));
    return tokens;
}

bool NeedsQuotedPair(QChar c)
{
    return c == QLatin1Char('"') || c == QLatin1Char('\\');
}

} // namespace

QByteArray UnstructuredField(const char* name, const QString& value)
{
    const QString text = WithoutLineBreaks(value);
    if (IsPlainAscii(text))
        return QByteArray(name) + ": " + text.toLatin1();
    const int column = static_cast<int>(qstrlen(name)) + 2;
    return Folded(name, EncodedWords(text, column));
}

QByteArray AddressField(const char* name, const QString& value)
{
    const QString text = WithoutLineBreaks(value);
    if (IsPlainAscii(text))
        return QByteArray(name) + ": " + text.toLatin1();
    QList<QByteArray> tokens;
    for (const Mailbox& box : SplitMailboxes(text))
        tokens += MailboxTokens(box, qstrlen(name) + 1);
    return Folded(name, tokens);
}

QByteArray FileNameParameter(const char* name, const QString& fileName)
{
    const QString text = WithoutLineBreaks(fileName);
    if (IsPlainAscii(text)) {
        QByteArray quoted;
        for (const QChar c : text) {
            if (NeedsQuotedPair(c))
                quoted.append('\\');
            quoted.append(static_cast<char>(c.unicode()));
        }
        return QByteArray(name) + "=\"" + quoted + '"';
    }
    // RFC 2231 4: charset, empty language, then the UTF-8 bytes with percent escapes.
    return QByteArray(name) + "*=utf-8''" + text.toUtf8().toPercentEncoding("!#$&+-.^_`|~");
}

} // namespace pd::mail

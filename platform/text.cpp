#include "platform/text.h"

namespace pd::platform {

namespace {

bool IsTrimmed(QChar c)
{
    return c.unicode() <= 32;
}

qsizetype FirstKept(const QString& s)
{
    qsizetype begin = 0;
    while (begin < s.size() && IsTrimmed(s[begin]))
        ++begin;
    return begin;
}

qsizetype EndOfKept(const QString& s, qsizetype begin)
{
    qsizetype end = s.size();
    while (end > begin && IsTrimmed(s[end - 1]))
        --end;
    return end;
}

} // namespace

QString Trim(const QString& s)
{
    const qsizetype begin = FirstKept(s);
    return s.mid(begin, EndOfKept(s, begin) - begin);
}

QString TrimLeft(const QString& s)
{
    return s.mid(FirstKept(s));
}

QString TrimRight(const QString& s)
{
    return s.left(EndOfKept(s, 0));
}

bool IsBlank(const QString& s)
{
    return FirstKept(s) == s.size();
}

QString WithLf(const QString& text)
{
    QString result = text;
    result.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    result.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return result;
}

QString WithCrLf(const QString& text)
{
    return WithLf(text).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

} // namespace pd::platform

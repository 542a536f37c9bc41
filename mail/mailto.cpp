#include "mail/mailto.h"

#include <QByteArray>

#include "platform/text.h"

namespace pd::mail {

namespace {

bool IsUnreserved(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

} // namespace

QString EncodeMailtoValue(const QString& text, bool keepAt)
{
    static const char kHex[] = "0123456789ABCDEF";
    QString encoded;
    for (const char c : platform::WithCrLf(text).toUtf8()) {
        if (IsUnreserved(c) || (keepAt && c == '@')) {
            encoded += QLatin1Char(c);
            continue;
        }
        const auto byte = static_cast<unsigned char>(c);
        encoded += QLatin1Char('%');
        encoded += QLatin1Char(kHex[byte >> 4]);
        encoded += QLatin1Char(kHex[byte & 0x0F]);
    }
    return encoded;
}

QString MailtoUri(const QString& recipient, const QString& subject, const QString& body, const QString& attachmentPath)
{
    QString uri = QStringLiteral("mailto:") + EncodeMailtoValue(recipient, true) + QStringLiteral("?subject=")
        + EncodeMailtoValue(subject) + QStringLiteral("&body=") + EncodeMailtoValue(body);
    if (!attachmentPath.isEmpty())
        uri += QStringLiteral("&attach=") + EncodeMailtoValue(attachmentPath);
    return uri;
}

} // namespace pd::mail

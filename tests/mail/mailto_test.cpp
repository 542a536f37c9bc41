#include <gtest/gtest.h>

#include <QUrl>

#include "mail/mailto.h"
#include "platform/text.h"
#include "tests/support/testsupport.h"

namespace pd::mail {
namespace {

TEST(MailtoTest, ValuesArePercentEncoded)
{
    const struct {
        QString text;
        bool keepAt;
        QString encoded;
    } cases[] = {
        { QStringLiteral("Scan"), false, QStringLiteral("Scan") },
        { QStringLiteral("a-b.c_d~e"), false, QStringLiteral("a-b.c_d~e") },
        // Delimiters of the URI and of address lists never stay bare; a blank is never "+".
        { QStringLiteral(",'&%=?#+; "), false, QStringLiteral("%2C%27%26%25%3D%3F%23%2B%3B%20") },
        { QStringLiteral("/home/anna/Job Ordner/Scan.pdf"), false,
            QStringLiteral("%2Fhome%2Fanna%2FJob%20Ordner%2FScan.pdf") },
        { QString::fromUtf8("Grüße €"), false, QStringLiteral("Gr%C3%BC%C3%9Fe%20%E2%82%AC") },
        // Every kind of line break becomes CR LF.
        { QStringLiteral("a\r\nb\nc\rd\r\n"), false, QStringLiteral("a%0D%0Ab%0D%0Ac%0D%0Ad%0D%0A") },
        { QStringLiteral("anna@example.org"), true, QStringLiteral("anna@example.org") },
        { QStringLiteral("anna@example.org"), false, QStringLiteral("anna%40example.org") },
        { QString::fromUtf8("Anna Müller <anna@example.org>, b@example.org"), true,
            QStringLiteral("Anna%20M%C3%BCller%20%3Canna@example.org%3E%2C%20b@example.org") },
        { QString(), false, QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const QString encoded = EncodeMailtoValue(c.text, c.keepAt);
        EXPECT_EQ(encoded, c.encoded);
        // Qt's own decoder gets the text back, line breaks as CR LF.
        EXPECT_EQ(QUrl::fromPercentEncoding(encoded.toLatin1()), platform::WithCrLf(c.text));
    }
}

TEST(MailtoTest, UriCarriesRecipientSubjectBodyAndAttachment)
{
    EXPECT_EQ(MailtoUri(QStringLiteral("a@example.org"), QStringLiteral("Scan & Co"),
                  QStringLiteral("Zeile 1\r\nZeile 2"), QStringLiteral("/tmp/x y.pdf")),
        QStringLiteral("mailto:a@example.org?subject=Scan%20%26%20Co&body=Zeile%201%0D%0AZeile%202"
                       "&attach=%2Ftmp%2Fx%20y.pdf"));
    EXPECT_EQ(MailtoUri(QString(), QString(), QString()), QStringLiteral("mailto:?subject=&body="));
    // A recipient that tries to add a header field of its own stays one address.
    EXPECT_EQ(MailtoUri(QStringLiteral("a@example.org?bcc=spy@example.org"), QStringLiteral("s"), QString()),
        QStringLiteral("mailto:a@example.org%3Fbcc%3Dspy@example.org?subject=s&body="));
}

} // namespace
} // namespace pd::mail

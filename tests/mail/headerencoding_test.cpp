#include <gtest/gtest.h>

#include <QString>

#include "mail/headerencoding.h"
#include "tests/support/testsupport.h"

namespace pd::mail {
namespace {

QString U(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

TEST(HeaderFields, AsciiStaysAndOtherTextBecomesEncodedWords)
{
    const struct {
        const char* what;
        QByteArray field;
        QByteArray expected;
    } cases[] = {
        { "plain subject", UnstructuredField("Subject", U("Scan vom Kopierer")), "Subject: Scan vom Kopierer" },
        { "empty subject", UnstructuredField("Subject", QString()), "Subject: " },
        { "line breaks in a subject", UnstructuredField("Subject", U("Hallo\r\nBcc: x@example.org\n")),
            "Subject: Hallo  Bcc: x@example.org " },
        { "umlauts", UnstructuredField("Subject", U("Grüße an _alle_ = 100%?")),
            "Subject: =?UTF-8?Q?Gr=C3=BC=C3=9Fe_an_=5Falle=5F_=3D_100=25=3F?=" },
        { "empty sender", AddressField("From", QString()), "From: " },
        { "plain address", AddressField("To", U("empfang@example.org")), "To: empfang@example.org" },
        { "plain name stays byte for byte", AddressField("To", U("Mueller, J. <jm@example.org>")),
            "To: Mueller, J. <jm@example.org>" },
        { "line break in an address", AddressField("To", U("a@example.org\r\nBcc: b@example.org")),
            "To: a@example.org  Bcc: b@example.org" },
        { "name with umlauts", AddressField("To", U("Jürgen Müller <jm@example.org>")),
            "To: =?UTF-8?Q?J=C3=BCrgen_M=C3=BCller?= <jm@example.org>" },
        { "quoted name with a comma", AddressField("To", U("\"Müller, \\\"Jo\\\"\" <jm@example.org>")),
            "To: =?UTF-8?Q?M=C3=BCller=2C_=22Jo=22?= <jm@example.org>" },
        { "address with umlauts is never encoded", AddressField("To", U("Jörg <jörg@bücher.example>")),
            QByteArray("To: =?UTF-8?Q?J=C3=B6rg?= <j\xc3\xb6rg@b\xc3\xbc"
                       "cher.example>") },
        { "bare address with umlauts", AddressField("To", U("jörg@bücher.example")),
            QByteArray("To: j\xc3\xb6rg@b\xc3\xbc"
                       "cher.example") },
        { "two mailboxes", AddressField("To", U("Jürgen <a@example.org>, Anna Öl <b@example.org>")),
            "To: =?UTF-8?Q?J=C3=BCrgen?= <a@example.org>, =?UTF-8?Q?Anna_=C3=96l?=\r\n <b@example.org>" },
        { "unquoted name with a comma", AddressField("To", U("Müller, Jürgen <jm@example.org>")),
            "To: =?UTF-8?Q?M=C3=BCller=2C_J=C3=BCrgen?= <jm@example.org>" },
        { "plain file name", FileNameParameter("name", U("Scan_20251201_1435.pdf")),
            "name=\"Scan_20251201_1435.pdf\"" },
        { "quote and backslash in a file name", FileNameParameter("filename", U("a\"b\\c.pdf")),
            "filename=\"a\\\"b\\\\c.pdf\"" },
        { "line break in a file name", FileNameParameter("name", U("a\r\nb.pdf")), "name=\"a  b.pdf\"" },
        { "file name with umlauts", FileNameParameter("filename", U("Brief für Jürgen.pdf")),
            "filename*=utf-8''Brief%20f%C3%BCr%20J%C3%BCrgen.pdf" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.field, c.expected);
    }
}

// Greek letters take six characters each and an emoji twelve: the words fill up at different
// places, and no character may be split between two of them.
TEST(HeaderFields, LongTextIsFoldedIntoShortWords)
{
    const QString subject = U("Übersicht der Messwerte für α, β und γ 😀 im Dezember – Teil 1 von 3, "
                              "mit Anhängen ΑΒΓΔΕΖΗΘ und Prüfprotokoll");
    const QByteArray field = UnstructuredField("Subject", subject);
    const QList<QByteArray> lines = field.split('\n');
    ASSERT_GT(lines.size(), 3);
    QString decoded;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        SCOPED_TRACE(lines[i].toStdString());
        QByteArray line = lines[i];
        if (i + 1 < lines.size()) {
            ASSERT_TRUE(line.endsWith('\r'));
            line.chop(1);
        }
        EXPECT_LE(line.size(), 76);
        const QByteArray lead = i == 0 ? QByteArray("Subject: ") : QByteArray(" ");
        ASSERT_TRUE(line.startsWith(lead));
        const QByteArray word = line.mid(lead.size());
        EXPECT_LE(word.size(), 75);
        ASSERT_TRUE(word.startsWith("=?UTF-8?Q?") && word.endsWith("?="));
        QByteArray text = word.mid(10, word.size() - 12);
        text.replace('_', ' ');
        const QByteArray bytes = QByteArray::fromPercentEncoding(text, '=');
        const QString part = QString::fromUtf8(bytes);
        EXPECT_EQ(part.toUtf8(), bytes) << "a character was split";
        decoded += part;
    }
    EXPECT_EQ(decoded, subject);
}

} // namespace
} // namespace pd::mail

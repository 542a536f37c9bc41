#include <cstdint>
#include <gtest/gtest.h>
#include <vector>

#include <QBuffer>
#include <QIODevice>

#include "mail/encoders.h"
#include "tests/support/testsupport.h"

namespace pd::mail {
namespace {

QByteArray Repeated(char c, int count)
{
    return QByteArray(count, c);
}

QByteArray Bytes(int first, int count)
{
    QByteArray bytes;
    for (int i = 0; i < count; ++i)
        bytes.append(static_cast<char>((first + i) & 0xFF));
    return bytes;
}

QByteArray Base64Of(const QByteArray& bytes)
{
    QBuffer source;
    source.setData(bytes);
    source.open(QIODevice::ReadOnly);
    QByteArray text;
    QBuffer target(&text);
    target.open(QIODevice::WriteOnly);
    EXPECT_TRUE(EncodeBase64Stream(source, target));
    return text;
}

// What the stream must give, from Qt's own encoder: 76-character lines, each ended by CR LF, the
// shorter rest without one.
QByteArray LinedBase64(const QByteArray& bytes)
{
    const QByteArray plain = bytes.toBase64();
    QByteArray lined;
    for (qsizetype i = 0; i < plain.size(); i += 76) {
        lined += plain.mid(i, 76);
        if (i + 76 <= plain.size())
            lined += "\r\n";
    }
    return lined;
}

// The edge cases of both encoders in one table: the quoted-printable body and the base64
// attachment text, the latter also group by group where the input is one group.
TEST(Encoders, EdgeCases)
{
    enum Encoder { QuotedPrintable, Base64 };
    const struct {
        const char* what;
        Encoder encoder;
        QByteArray input;
        QByteArray expected;
    } cases[] = {
        { "empty body", QuotedPrintable, QByteArray(), QByteArray() },
        { "one space", QuotedPrintable, "Hallo Welt", "Hallo=20Welt" },
        { "line break", QuotedPrintable, "a\r\nb", "a=0D=0Ab" },
        { "equals sign and tab", QuotedPrintable, "x=1\ty", "x=3D1=09y" },
        { "umlaut as UTF-8", QuotedPrintable, QByteArray("\xc3\xbc"), "=C3=BC" },
        { "30 spaces: 25 escapes, soft break, 5 escapes", QuotedPrintable, Repeated(' ', 30),
            QByteArray("=20").repeated(25) + "=\r\n" + QByteArray("=20").repeated(5) },
        { "75 plain characters stay on one line", QuotedPrintable, Repeated('x', 75), Repeated('x', 75) },
        { "76 plain characters", QuotedPrintable, Repeated('x', 76), Repeated('x', 75) + "=\r\nx" },
        { "escape never split", QuotedPrintable, Repeated('x', 73) + ' ', Repeated('x', 73) + "=\r\n=20" },
        { "escape that just fits", QuotedPrintable, Repeated('x', 72) + ' ', Repeated('x', 72) + "=20" },
        { "every byte value once, quoted-printable", QuotedPrintable, Bytes(0, 256),
            "=00=01=02=03=04=05=06=07=08=09=0A=0B=0C=0D=0E=0F=10=11=12=13=14=15=16=17=18=\r\n"
            "=19=1A=1B=1C=1D=1E=1F=20!\"#$%&'()*+,-./0123456789:;<=3D>?@ABCDEFGHIJKLMNOPQ=\r\n"
            "RSTUVWXYZ[\\]^_`abcdefghijklmnopqrstuvwxyz{|}~=7F=80=81=82=83=84=85=86=87=88=\r\n"
            "=89=8A=8B=8C=8D=8E=8F=90=91=92=93=94=95=96=97=98=99=9A=9B=9C=9D=9E=9F=A0=A1=\r\n"
            "=A2=A3=A4=A5=A6=A7=A8=A9=AA=AB=AC=AD=AE=AF=B0=B1=B2=B3=B4=B5=B6=B7=B8=B9=BA=\r\n"
            "=BB=BC=BD=BE=BF=C0=C1=C2=C3=C4=C5=C6=C7=C8=C9=CA=CB=CC=CD=CE=CF=D0=D1=D2=D3=\r\n"
            "=D4=D5=D6=D7=D8=D9=DA=DB=DC=DD=DE=DF=E0=E1=E2=E3=E4=E5=E6=E7=E8=E9=EA=EB=EC=\r\n"
            "=ED=EE=EF=F0=F1=F2=F3=F4=F5=F6=F7=F8=F9=FA=FB=FC=FD=FE=FF" },
        { "empty attachment", Base64, QByteArray(), QByteArray() },
        { "one byte", Base64, "M", "TQ==" },
        { "two bytes", Base64, "Ma", "TWE=" },
        { "three bytes", Base64, "Man", "TWFu" },
        { "57 bytes: one full line and its own line break", Base64, Repeated('\xff', 57), Repeated('/', 76) + "\r\n" },
        { "58 bytes: a full line and four characters", Base64, Repeated('\xff', 58), Repeated('/', 76) + "\r\n/w==" },
        { "every byte value once, base64", Base64, Bytes(0, 256),
            "AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8gISIjJCUmJygpKissLS4vMDEyMzQ1Njc4\r\n"
            "OTo7PD0+P0BBQkNERUZHSElKS0xNTk9QUVJTVFVWV1hZWltcXV5fYGFiY2RlZmdoaWprbG1ub3Bx\r\n"
            "cnN0dXZ3eHl6e3x9fn+AgYKDhIWGh4iJiouMjY6PkJGSk5SVlpeYmZqbnJ2en6ChoqOkpaanqKmq\r\n"
            "q6ytrq+wsbKztLW2t7i5uru8vb6/wMHCw8TFxsfIycrLzM3Oz9DR0tPU1dbX2Nna29zd3t/g4eLj\r\n"
            "5OXm5+jp6uvs7e7v8PHy8/T19vf4+fr7/P3+/w==" },
        { "a line across two read blocks", Base64, Bytes(7, 570), LinedBase64(Bytes(7, 570)) },
        { "several blocks, rest of one byte", Base64, Bytes(3, 510 * 4 + 1), LinedBase64(Bytes(3, 510 * 4 + 1)) },
        { "several blocks, whole lines", Base64, Bytes(5, 57 * 60), LinedBase64(Bytes(5, 57 * 60)) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QByteArray text = c.encoder == QuotedPrintable ? EncodeQuotedPrintable(c.input) : Base64Of(c.input);
        EXPECT_EQ(text, c.expected);
        for (const QByteArray& line : text.split('\n'))
            EXPECT_LE(line.size(), 77) << "76 characters and the CR";
        if (c.encoder == Base64 && c.input.size() >= 1 && c.input.size() <= 3) {
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(c.input.constData());
            const std::array<char, 4> group = EncodeBase64Group({ bytes, static_cast<std::size_t>(c.input.size()) });
            EXPECT_EQ(QByteArray(group.data(), 4), c.expected);
        }
    }
}

// Hands out at most seven bytes per read, as a pipe may.
class TricklingDevice : public QIODevice {
public:
    explicit TricklingDevice(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(qMin<qint64>(maxSize, 7), m_bytes.size() - m_position);
        memcpy(data, m_bytes.constData() + m_position, static_cast<size_t>(n));
        m_position += n;
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray m_bytes;
    qint64 m_position = 0;
};

TEST(EncodeBase64, ShortReadsPutNoPaddingIntoTheMiddle)
{
    const QByteArray bytes = Bytes(11, 1000);
    TricklingDevice source(bytes);
    QByteArray text;
    QBuffer target(&text);
    target.open(QIODevice::WriteOnly);
    ASSERT_TRUE(EncodeBase64Stream(source, target));
    EXPECT_EQ(text, LinedBase64(bytes));
}

TEST(EncodeBase64, FailedReadOrWriteIsReported)
{
    QBuffer source;
    source.setData(Bytes(0, 600));
    source.open(QIODevice::ReadOnly);
    QBuffer readOnlyTarget;
    readOnlyTarget.open(QIODevice::ReadOnly);
    EXPECT_FALSE(EncodeBase64Stream(source, readOnlyTarget));

    QBuffer closedSource;
    QByteArray text;
    QBuffer target(&text);
    target.open(QIODevice::WriteOnly);
    EXPECT_FALSE(EncodeBase64Stream(closedSource, target));
}

} // namespace
} // namespace pd::mail

#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>

#include "platform/textfile.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

using test::ReadBytes;
using test::TempFolder;
using test::WriteBytes;

// ANSI is 1252 in every test here.
class TextFileTest : public testing::Test {
    test::LangOnly m_lang { QStringLiteral("de_DE.UTF-8") };

protected:
    TempFolder m_folder;
};

TEST_F(TextFileTest, DecodeTextDetectsTheByteOrderMark)
{
    const struct {
        const char* name;
        QByteArray bytes;
        QString text;
        TextEncoding encoding;
    } cases[] = {
        { "UTF-8 BOM", QByteArrayLiteral("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"), QStringLiteral("Grüß"),
            TextEncoding::Utf8Bom },
        { "UTF-16 LE", QByteArrayLiteral("\xFF\xFEG\0\xFC\0\xAC\x20"), QStringLiteral("Gü€"),
            TextEncoding::Utf16LeBom },
        { "UTF-16 BE", QByteArrayLiteral("\xFE\xFF\0G\0\xFC\x20\xAC"), QStringLiteral("Gü€"),
            TextEncoding::Utf16BeBom },
        { "UTF-16 LE pair", QByteArrayLiteral("\xFF\xFE\x3D\xD8\x00\xDE"), QStringLiteral("\U0001F600"),
            TextEncoding::Utf16LeBom },
        { "no BOM is ANSI", QByteArrayLiteral("Gr\xFC\xDF \x80"), QStringLiteral("Grüß €"), TextEncoding::Ansi },
        { "UTF-8 without BOM", QByteArrayLiteral("Gr\xC3\xBC\xC3\x9F"), QStringLiteral("GrÃ¼ÃŸ"), TextEncoding::Ansi },
        { "empty", QByteArray(), QString(), TextEncoding::Ansi },
        { "UTF-8 BOM only", QByteArrayLiteral("\xEF\xBB\xBF"), QString(), TextEncoding::Utf8Bom },
        { "UTF-16 LE BOM only", QByteArrayLiteral("\xFF\xFE"), QString(), TextEncoding::Utf16LeBom },
        { "UTF-16 BE BOM only", QByteArrayLiteral("\xFE\xFF"), QString(), TextEncoding::Utf16BeBom },
        { "partial UTF-8 BOM", QByteArrayLiteral("\xEF\xBB"), QStringLiteral("ï»"), TextEncoding::Ansi },
        { "odd UTF-16 LE", QByteArrayLiteral("\xFF\xFEH\0i\0!"), QStringLiteral("Hi"), TextEncoding::Utf16LeBom },
        { "odd UTF-16 BE", QByteArrayLiteral("\xFE\xFF\0H\0"), QStringLiteral("H"), TextEncoding::Utf16BeBom },
        { "lone surrogate",
            QByteArrayLiteral("\xFF\xFE\x00\xD8"
                              "A\0"),
            QStringLiteral("\uFFFDA"), TextEncoding::Utf16LeBom },
        { "invalid UTF-8",
            QByteArrayLiteral("\xEF\xBB\xBF"
                              "a\xFF"
                              "b"),
            QStringLiteral("a\uFFFDb"), TextEncoding::Utf8Bom },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedText decoded = DecodeText(c.bytes);
        EXPECT_EQ(decoded.text, c.text);
        EXPECT_EQ(decoded.encoding, c.encoding);
    }
}

TEST_F(TextFileTest, InvalidUtf8AfterTheMarkNeverFails)
{
    const DecodedText decoded = DecodeText(QByteArrayLiteral("\xEF\xBB\xBF\xC3\xFF\xE2\x82\xC0\x80ok\xF0\x9F"));
    EXPECT_EQ(decoded.encoding, TextEncoding::Utf8Bom);
    EXPECT_TRUE(decoded.text.contains(QChar::ReplacementCharacter));
    EXPECT_TRUE(decoded.text.contains(QStringLiteral("ok")));
}

TEST_F(TextFileTest, EncodeTextWritesTheMarkAndRoundTrips)
{
    const QString text = QStringLiteral("Grüße €\r\n");
    const struct {
        TextEncoding encoding;
        QByteArray bytes;
    } cases[] = {
        { TextEncoding::Ansi,
            QByteArrayLiteral("Gr\xFC\xDF"
                              "e \x80\r\n") },
        { TextEncoding::Utf8Bom,
            QByteArrayLiteral("\xEF\xBB\xBFGr\xC3\xBC\xC3\x9F"
                              "e \xE2\x82\xAC\r\n") },
        { TextEncoding::Utf16LeBom,
            QByteArrayLiteral("\xFF\xFEG\0r\0\xFC\0\xDF\0"
                              "e\0 \0\xAC\x20\r\0\n\0") },
        { TextEncoding::Utf16BeBom, QByteArrayLiteral("\xFE\xFF\0G\0r\0\xFC\0\xDF\0e\0 \x20\xAC\0\r\0\n") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.encoding));
        EXPECT_EQ(EncodeText(text, c.encoding), c.bytes);
        const DecodedText decoded = DecodeText(c.bytes);
        EXPECT_EQ(decoded.text, text);
        EXPECT_EQ(decoded.encoding, c.encoding);
    }
}

TEST_F(TextFileTest, AnsiTextThatWouldReadAsAByteOrderMarkGetsAUtf8Mark)
{
    const struct {
        QString text;
        QString read; // characters outside the code page still become "?"
    } cases[] = {
        { QStringLiteral("ÿþx"), QStringLiteral("ÿþx") },
        { QStringLiteral("þÿ"), QStringLiteral("þÿ") },
        { QStringLiteral("ï»¿€ℤ"), QStringLiteral("ï»¿€?") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        const QByteArray bytes = EncodeText(c.text, TextEncoding::Ansi);
        EXPECT_TRUE(bytes.startsWith("\xEF\xBB\xBF"));
        const DecodedText decoded = DecodeText(bytes);
        EXPECT_EQ(decoded.text, c.read);
        EXPECT_EQ(decoded.encoding, TextEncoding::Utf8Bom);
    }
    EXPECT_EQ(EncodeText(QStringLiteral("ÿ x"), TextEncoding::Ansi), QByteArrayLiteral("\xFF x"));
}

TEST_F(TextFileTest, ReadTextFileReadsARegularFileWhole)
{
    QByteArray big = QByteArrayLiteral("\xFF\xFE");
    for (int i = 0; i < 100000; ++i)
        big.append("x\0", 2);
    WriteBytes(m_folder.File(QStringLiteral("big.txt")), big);
    const std::optional<DecodedText> decoded = ReadTextFile(m_folder.File(QStringLiteral("big.txt")));
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->encoding, TextEncoding::Utf16LeBom);
    EXPECT_EQ(decoded->text, QString(100000, QLatin1Char('x')));

    WriteBytes(m_folder.File(QStringLiteral("empty.txt")), QByteArray());
    const std::optional<DecodedText> empty = ReadTextFile(m_folder.File(QStringLiteral("empty.txt")));
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->text.isEmpty());
}

TEST_F(TextFileTest, ReadTextFileRefusesWhatIsNoRegularFileWithoutBlocking)
{
    const QString fifo = m_folder.File(QStringLiteral("fifo"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    QDir().mkpath(m_folder.File(QStringLiteral("folder")));
    WriteBytes(m_folder.File(QStringLiteral("file")), QByteArrayLiteral("x"));
    const QString paths[] = {
        fifo,
        m_folder.File(QStringLiteral("folder")),
        m_folder.File(QStringLiteral("missing.txt")),
        m_folder.File(QStringLiteral("file/below.txt")),
        QStringLiteral("/dev/null"),
        QString(),
    };
    for (const QString& path : paths) {
        SCOPED_TRACE(path.toStdString());
        // A read that blocks is killed by the alarm and shows as 100 + SIGALRM.
        const int status = test::RunInChild([&path] {
            ::alarm(10);
            return ReadTextFile(path) ? 1 : 0;
        });
        EXPECT_EQ(status, 0);
    }
}

TEST_F(TextFileTest, ReadTextFileFailsWithoutPermission)
{
    if (!test::RunningAsRoot())
        GTEST_SKIP() << "needs root to switch users";
    const QString path = m_folder.File(QStringLiteral("secret.txt"));
    WriteBytes(path, QByteArrayLiteral("geheim"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(m_folder.Path()).constData(), 0755), 0);
    EXPECT_EQ(test::RunAsOtherUser([&path] { return ReadTextFile(path) ? 1 : 0; }), 0);
}

TEST_F(TextFileTest, WriteTextFileWritesAnsiWithoutMark)
{
    const QString path = m_folder.File(QStringLiteral("out.txt"));
    ASSERT_TRUE(WriteTextFile(path, QStringLiteral("Grüße\r\n")));
    EXPECT_EQ(ReadBytes(path),
        QByteArrayLiteral("Gr\xFC\xDF"
                          "e\r\n"));
    ASSERT_TRUE(WriteTextFile(path, QStringLiteral("neu"), TextEncoding::Utf8Bom));
    EXPECT_EQ(ReadBytes(path), QByteArrayLiteral("\xEF\xBB\xBFneu"));
    EXPECT_EQ(QDir(m_folder.Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        QStringList { QStringLiteral("out.txt") });
}

TEST_F(TextFileTest, WriteTextFileKeepsThePermissionsOfTheFileItReplaces)
{
    const QString path = m_folder.File(QStringLiteral("keep.txt"));
    WriteBytes(path, QByteArrayLiteral("alt"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    ASSERT_TRUE(WriteTextFile(path, QStringLiteral("neu")));
    EXPECT_EQ(ReadBytes(path), QByteArrayLiteral("neu"));
    struct stat info { };
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
}

TEST_F(TextFileTest, FailedWriteLeavesNothingBehind)
{
    const QString file = m_folder.File(QStringLiteral("file"));
    WriteBytes(file, QByteArrayLiteral("bleibt"));
    QDir().mkpath(m_folder.File(QStringLiteral("folder/inner")));
    const QString targets[] = {
        m_folder.File(QStringLiteral("file/below.txt")),
        m_folder.File(QStringLiteral("folder")),
        m_folder.File(QStringLiteral("missing/new.txt")),
    };
    for (const QString& target : targets) {
        SCOPED_TRACE(target.toStdString());
        QString error;
        EXPECT_FALSE(WriteTextFile(target, QStringLiteral("text"), TextEncoding::Ansi, &error));
        EXPECT_FALSE(error.isEmpty());
    }
    EXPECT_EQ(ReadBytes(file), QByteArrayLiteral("bleibt"));
    EXPECT_EQ(QDir(m_folder.Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden),
        (QStringList { QStringLiteral("file"), QStringLiteral("folder") }));
    EXPECT_EQ(QDir(m_folder.File(QStringLiteral("folder"))).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("inner") });
}

TEST_F(TextFileTest, WriteIntoAFolderWithoutWriteAccessLeavesTheFileAsItWas)
{
    if (!test::RunningAsRoot())
        GTEST_SKIP() << "needs root to switch users";
    // The file itself is writable, but no temporary file can be made beside it: writing in place
    // would risk a half-written file, so the write fails.
    const QString path = m_folder.File(QStringLiteral("locked/data.txt"));
    WriteBytes(path, QByteArrayLiteral("alt"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0666), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(m_folder.Path()).constData(), 0755), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(m_folder.File(QStringLiteral("locked"))).constData(), 0755), 0);
    EXPECT_EQ(test::RunAsOtherUser([&path] { return WriteTextFile(path, QStringLiteral("neu")) ? 1 : 0; }), 0);
    EXPECT_EQ(ReadBytes(path), QByteArrayLiteral("alt"));
}

TEST_F(TextFileTest, WriteCutShortByTheFileSizeLimitLeavesTheFileAsItWas)
{
    // The kernel takes the first bytes and refuses the rest: the short write must not be
    // committed as the new file.
    const QString path = m_folder.File(QStringLiteral("data.txt"));
    WriteBytes(path, QByteArrayLiteral("alt"));
    const int status = test::RunInChild([&path] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit {};
        getrlimit(RLIMIT_FSIZE, &limit);
        limit.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &limit);
        return WriteTextFile(path, QString(100, QLatin1Char('x'))) ? 1 : 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(ReadBytes(path), QByteArrayLiteral("alt"));
}

TEST(SplitLines, EachOfCrLfAndCrLfEndsALine)
{
    const struct {
        QString text;
        QStringList lines;
    } cases[] = {
        { QString(), {} },
        { QStringLiteral("a"), { QStringLiteral("a") } },
        { QStringLiteral("a\r\n"), { QStringLiteral("a") } },
        { QStringLiteral("a\r\n\r\nb"), { QStringLiteral("a"), QString(), QStringLiteral("b") } },
        { QStringLiteral("a\nb\rc\r\nd"),
            { QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c"), QStringLiteral("d") } },
        { QStringLiteral("a\n\rb"), { QStringLiteral("a"), QString(), QStringLiteral("b") } },
        { QStringLiteral("\n"), { QString() } },
        { QStringLiteral("\r\n\r\n"), { QString(), QString() } },
        { QStringLiteral("a\r"), { QStringLiteral("a") } },
        { QStringLiteral("a\r\r\n"), { QStringLiteral("a"), QString() } },
        { QStringLiteral(" x \t\n"), { QStringLiteral(" x \t") } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        EXPECT_EQ(SplitLines(c.text), c.lines);
    }
}

} // namespace
} // namespace pd::platform

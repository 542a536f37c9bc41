#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>

#include "platform/error.h"
#include "platform/profile.h"
#include "tests/support/testsupport.h"

namespace pd::platform {
namespace {

using test::ReadBytes;
using test::WriteBytes;

TEST(ProfileStringToInt, AcceptsDecimalAndBothHexadecimalForms)
{
    const struct {
        const char* text;
        int expected;
    } cases[] = {
        { "0x46", 70 }, { "0X1f", 31 }, { "$14", 20 }, { "$ff", 255 }, { " 42 ", 42 }, { "\t-7\r\n", -7 }, { "+8", 8 },
        { "0", 0 }, { "007", 7 }, { "2147483647", 2147483647 }, { "-2147483648", -2147483647 - 1 }, { "$FFFFFFFF", -1 },
        { "0x80000000", -2147483647 - 1 }, { "0x7FFFFFFF", 2147483647 }, { "0x0", 0 },
        // Each of these gives the default.
        { "abc", -99 }, { "", -99 }, { "   ", -99 }, { "0x", -99 }, { "0x ", -99 }, { "$", -99 }, { "12abc", -99 },
        { "1 2", -99 }, { "99999999999", -99 }, { "2147483648", -99 }, { "-2147483649", -99 }, { "$123456789", -99 },
        { "0x1g", -99 }, { "$-1", -99 }, { "$+1", -99 }, { "$0x1", -99 }, { "+", -99 }, { "-", -99 }, { "--1", -99 },
        { "+0x10", -99 }, { "\"42\"", -99 }, { "\xD9\xA3", -99 }, // Arabic-Indic digit three
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ProfileStringToInt(QString::fromUtf8(c.text), -99), c.expected);
    }
}

// A file in the ANSI code page (1252 here) with the quirks real INI files have.
class ProfileTest : public testing::Test {
protected:
    void SetUp() override { WriteBytes(m_path, kSample); }

    QString Read(const char* section, const char* key, const QString& defaultValue = QStringLiteral("<default>"))
    {
        return GetPrivateProfileString(QString::fromUtf8(section), QString::fromUtf8(key), defaultValue, m_path);
    }

    static inline const QByteArray kSample = QByteArrayLiteral("Orphan=before any section\r\n"
                                                               "; Kommentar\r\n"
                                                               "[LOG]\r\n"
                                                               "Level=0x46\r\n"
                                                               "  Quoted = \"  42 \"  \r\n"
                                                               "Single='7'\r\n"
                                                               "Half=\"open\r\n"
                                                               "Empty=\r\n"
                                                               "Spaces =   a b  \r\n"
                                                               "Path=C:\\Scan=1\r\n"
                                                               "Dup=first\r\n"
                                                               "Dup=second\r\n"
                                                               ";Hidden=1\r\n"
                                                               "no equals sign here\r\n"
                                                               "Name=M\xFCller\r\n"
                                                               "\r\n"
                                                               "[ Other ]\r\n"
                                                               "Level=3\r\n"
                                                               "[log]\r\n"
                                                               "Late=1\r\n");

    test::LangOnly m_lang { QStringLiteral("de_DE.UTF-8") };
    test::TempFolder m_folder;
    QString m_path = m_folder.File(QStringLiteral("paperdart.ini"));
};

TEST_F(ProfileTest, ReadsTrimmedUnquotedValuesOfTheFirstMatch)
{
    const struct {
        const char* section;
        const char* key;
        QString expected;
    } cases[] = {
        { "LOG", "Level", QStringLiteral("0x46") },
        { "log", "LEVEL", QStringLiteral("0x46") },
        { " LOG ", " Level ", QStringLiteral("0x46") },
        { "LOG", "Quoted", QStringLiteral("  42 ") },
        { "LOG", "Single", QStringLiteral("7") },
        { "LOG", "Half", QStringLiteral("\"open") },
        { "LOG", "Empty", QString() },
        { "LOG", "Spaces", QStringLiteral("a b") },
        { "LOG", "Path", QStringLiteral("C:\\Scan=1") },
        { "LOG", "Dup", QStringLiteral("first") },
        { "LOG", "Name", QStringLiteral("Müller") },
        { "Other", "Level", QStringLiteral("3") },
        { "LOG", "Missing", QStringLiteral("<default>") },
        { "LOG", "Hidden", QStringLiteral("<default>") },
        { "LOG", ";Hidden", QStringLiteral("<default>") },
        { "LOG", "Orphan", QStringLiteral("<default>") },
        { "LOG", "Late", QStringLiteral("<default>") },
        { "Missing", "Level", QStringLiteral("<default>") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.section << "/" << c.key);
        EXPECT_EQ(Read(c.section, c.key), c.expected);
    }
}

TEST_F(ProfileTest, MissingFileGivesTheDefault)
{
    EXPECT_EQ(GetPrivateProfileString(QStringLiteral("LOG"), QStringLiteral("Level"), QStringLiteral("d"),
                  m_folder.File(QStringLiteral("missing.ini"))),
        QStringLiteral("d"));
    EXPECT_EQ(
        GetPrivateProfileString(QStringLiteral("LOG"), QStringLiteral("Level"), QStringLiteral("d"), m_folder.Path()),
        QStringLiteral("d"));
}

TEST_F(ProfileTest, ReadIntegerConvertsTheStoredValue)
{
    const IniFile ini(m_path);
    const struct {
        const char* section;
        const char* key;
        int expected;
    } cases[] = {
        { "LOG", "Level", 70 },
        { "log", "LEVEL", 70 },
        { "LOG", "Quoted", 42 },
        { "LOG", "Single", 7 },
        { "Other", "Level", 3 },
        { "LOG", "Spaces", -1 },
        { "LOG", "Empty", -1 },
        { "LOG", "Missing", -1 },
        { "Missing", "Level", -1 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.section << "/" << c.key);
        EXPECT_EQ(ini.ReadInteger(QString::fromUtf8(c.section), QString::fromUtf8(c.key), -1), c.expected);
    }
    EXPECT_EQ(IniFile(m_folder.File(QStringLiteral("missing.ini")))
                  .ReadInteger(QStringLiteral("LOG"), QStringLiteral("Level"), 5),
        5);
}

TEST_F(ProfileTest, IniFileCutsLongValues)
{
    const QString longValue(3000, QLatin1Char('v'));
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("K"), longValue, m_path));
    EXPECT_EQ(Read("S", "K"), longValue);
    EXPECT_EQ(IniFile(m_path).ReadString(QStringLiteral("S"), QStringLiteral("K"), QString()), longValue.left(2047));
}

TEST_F(ProfileTest, WriteChangesOnlyTheLineOfTheKey)
{
    ASSERT_TRUE(
        WritePrivateProfileString(QStringLiteral("log"), QStringLiteral("quoted"), QStringLiteral("5"), m_path));
    QByteArray expected = kSample;
    expected.replace("  Quoted = \"  42 \"  \r\n", "quoted=5\r\n");
    EXPECT_EQ(ReadBytes(m_path), expected);

    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("LOG"), QStringLiteral("Dup"), QStringLiteral("x"), m_path));
    expected.replace("Dup=first\r\n", "Dup=x\r\n");
    EXPECT_EQ(ReadBytes(m_path), expected);
}

TEST_F(ProfileTest, WriteAddsAMissingKeyAfterTheLastKeyOfTheSection)
{
    ASSERT_TRUE(
        WritePrivateProfileString(QStringLiteral("log"), QStringLiteral("New"), QStringLiteral("Größe"), m_path));
    QByteArray expected = kSample;
    expected.replace("Name=M\xFCller\r\n",
        "Name=M\xFCller\r\nNew=Gr\xF6\xDF"
        "e\r\n");
    EXPECT_EQ(ReadBytes(m_path), expected);
    EXPECT_EQ(Read("LOG", "New"), QStringLiteral("Größe"));
}

TEST_F(ProfileTest, WriteAddsAMissingSectionAtTheEnd)
{
    ASSERT_TRUE(
        WritePrivateProfileString(QStringLiteral("SCAN"), QStringLiteral("Dpi"), QStringLiteral("300"), m_path));
    EXPECT_EQ(ReadBytes(m_path), kSample + QByteArrayLiteral("[SCAN]\r\nDpi=300\r\n"));
}

TEST_F(ProfileTest, WriteCreatesAMissingFile)
{
    const QString path = m_folder.File(QStringLiteral("new.ini"));
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("LOG"), QStringLiteral("Level"), QStringLiteral("2"), path));
    EXPECT_EQ(ReadBytes(path), QByteArrayLiteral("[LOG]\r\nLevel=2\r\n"));
}

TEST_F(ProfileTest, WriteIntoAnEmptySectionGoesRightAfterItsHeader)
{
    WriteBytes(m_path, QByteArrayLiteral("[A]\n; nur Kommentar\n\n[B]\nx=1"));
    ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("a"), QStringLiteral("k"), QStringLiteral("v"), m_path));
    // Every line now ends with CR LF, the last one too.
    EXPECT_EQ(ReadBytes(m_path), QByteArrayLiteral("[A]\r\nk=v\r\n; nur Kommentar\r\n\r\n[B]\r\nx=1\r\n"));
}

TEST_F(ProfileTest, LineBreaksInTheValueBecomeBlanks)
{
    ASSERT_TRUE(
        WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("a\r\nb\nc\rd"), m_path));
    EXPECT_EQ(Read("S", "K"), QStringLiteral("a  b c d"));
    EXPECT_TRUE(ReadBytes(m_path).endsWith("[S]\r\nK=a  b c d\r\n"));
}

TEST_F(ProfileTest, WriteKeepsTheEncodingOfTheFile)
{
    const struct {
        QByteArray before;
        QByteArray after;
    } cases[] = {
        { QByteArrayLiteral("\xEF\xBB\xBF[S]\r\nK=1\r\n"), QByteArrayLiteral("\xEF\xBB\xBF[S]\r\nK=\xC3\xBC\r\n") },
        { QByteArrayLiteral("\xFF\xFE[\0S\0]\0\n\0"),
            QByteArrayLiteral("\xFF\xFE[\0S\0]\0\r\0\n\0K\0=\0\xFC\0\r\0\n\0") },
        { QByteArrayLiteral("\xFE\xFF\0[\0S\0]"), QByteArrayLiteral("\xFE\xFF\0[\0S\0]\0\r\0\n\0K\0=\0\xFC\0\r\0\n") },
        { QByteArrayLiteral("[S]\r\nK=1\r\n"), QByteArrayLiteral("[S]\r\nK=\xFC\r\n") },
        { QByteArray(), QByteArrayLiteral("[S]\r\nK=\xFC\r\n") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.before.toHex().toStdString());
        WriteBytes(m_path, c.before);
        ASSERT_TRUE(WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("ü"), m_path));
        EXPECT_EQ(ReadBytes(m_path), c.after);
        EXPECT_EQ(Read("S", "K"), QStringLiteral("ü"));
    }
}

TEST_F(ProfileTest, NamesThatWouldNotReadBackAreRefused)
{
    const struct {
        QString section;
        QString key;
    } cases[] = {
        { QString(), QStringLiteral("K") },
        { QStringLiteral("  "), QStringLiteral("K") },
        { QStringLiteral("S"), QString() },
        { QStringLiteral("A]B"), QStringLiteral("K") },
        { QStringLiteral("S\n[T"), QStringLiteral("K") },
        { QStringLiteral("S"), QStringLiteral("a=b") },
        { QStringLiteral("S"), QStringLiteral(";K") },
        { QStringLiteral("S"), QStringLiteral("[K") },
        { QStringLiteral("S"), QStringLiteral("K\r\nX") },
        // A line break among the blanks around a name would split its line just the same.
        { QStringLiteral("S"), QStringLiteral("Level\n ") },
        { QStringLiteral("\r\nLOG"), QStringLiteral("K") },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.section.toStdString() << "/" << c.key.toStdString());
        EXPECT_FALSE(WritePrivateProfileString(c.section, c.key, QStringLiteral("v"), m_path));
        EXPECT_EQ(ReadBytes(m_path), kSample);
    }
}

TEST_F(ProfileTest, FailedWritesReportAndChangeNothing)
{
    const QString belowFile = m_path + QStringLiteral("/sub.ini");
    EXPECT_FALSE(WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("v"), belowFile));
    EXPECT_FALSE(
        WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("v"), m_folder.Path()));
    EXPECT_EQ(ReadBytes(m_path), kSample);

    IniFile ini(belowFile);
    try {
        ini.WriteString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("v"));
        ADD_FAILURE() << "no error thrown";
    } catch (const Error& error) {
        EXPECT_EQ(error.Message(), QStringLiteral("In %1 kann nicht geschrieben werden").arg(belowFile));
    }
    EXPECT_THROW(ini.WriteInteger(QStringLiteral("S"), QStringLiteral("K"), 1), Error);
}

TEST_F(ProfileTest, AFileThatCannotBeReadIsNotOverwritten)
{
    if (!test::RunningAsRoot())
        GTEST_SKIP() << "needs root to switch users";
    // Writable but unreadable: rewriting it from nothing would lose every other line.
    ASSERT_EQ(::chmod(QFile::encodeName(m_path).constData(), 0222), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(m_folder.Path()).constData(), 0777), 0);
    const QString path = m_path;
    EXPECT_EQ(test::RunAsOtherUser([&path] {
        return WritePrivateProfileString(QStringLiteral("S"), QStringLiteral("K"), QStringLiteral("v"), path) ? 1 : 0;
    }),
        0);
    EXPECT_EQ(ReadBytes(m_path), kSample);
}

TEST_F(ProfileTest, IniFileWritesIntegersInDecimal)
{
    IniFile ini(m_path);
    ini.WriteInteger(QStringLiteral("LOG"), QStringLiteral("Level"), -12);
    EXPECT_EQ(Read("LOG", "Level"), QStringLiteral("-12"));
    EXPECT_EQ(ini.ReadInteger(QStringLiteral("LOG"), QStringLiteral("Level"), 0), -12);
    ini.WriteString(QStringLiteral("Neu"), QStringLiteral("Text"), QStringLiteral("Hallo"));
    EXPECT_EQ(ini.ReadString(QStringLiteral("NEU"), QStringLiteral("text"), QString()), QStringLiteral("Hallo"));
}

} // namespace
} // namespace pd::platform

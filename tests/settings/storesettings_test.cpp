#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>

#include "platform/codepage.h"
#include "platform/error.h"
#include "settings/settingsfiles.h"
#include "settings/storesettings.h"
#include "tests/support/testsupport.h"

namespace pd::settings {
namespace {

using namespace Qt::StringLiterals;

class StoreSettingsTest : public ::testing::Test {
protected:
    QString IniPath() const { return m_folder.File(u"a/b/Paperdart.INI"_s); }
    void WriteIni(const QByteArray& content) { test::WriteBytes(IniPath(), content); }

    test::TempFolder m_folder;
};

TEST_F(StoreSettingsTest, ConstructorCreatesTheMissingFoldersOfTheFile)
{
    TStoreSettings store(IniPath(), false);
    EXPECT_TRUE(QFileInfo(m_folder.File(u"a/b"_s)).isDir());
    EXPECT_FALSE(QFileInfo::exists(IniPath()));
}

TEST_F(StoreSettingsTest, ReadingSetsTheVariableFromTheKeyOrTheDefault)
{
    struct Case {
        const char* name;
        QByteArray line; // the key line in section SCAN; empty: no key
        QString text;
        int number;
    };
    const QByteArray longValue(5000, 'x');
    const Case cases[] = {
        { "missing key", QByteArray(), u"Vorgabe"_s, 7 },
        { "decimal", "V=42", u"42"_s, 42 },
        { "negative", "V=-3", u"-3"_s, -3 },
        { "hexadecimal 0x", "V=0x1F", u"0x1F"_s, 31 },
        { "hexadecimal $", "V=$12C", u"$12C"_s, 300 },
        { "not a number", "V=zwanzig", u"zwanzig"_s, 7 },
        { "empty value", "V=", QString(), 7 },
        // Quotes keep the blanks from the INI reader; the binder still takes them off.
        { "blanks and control characters inside quotes", "V=\" \t Betreff \t \"", u"Betreff"_s, 7 },
        { "5000 characters", "V=" + longValue, QString(2047, u'x'), 7 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteIni("[SCAN]\r\n" + c.line + "\r\n");
        TStoreSettings store(IniPath(), false);
        QString text = u"alt"_s;
        int number = 99;
        store.BindString(text, u"SCAN"_s, u"V"_s, u"Vorgabe"_s);
        store.BindInteger(number, u"SCAN"_s, u"V"_s, 7);
        EXPECT_EQ(text, c.text);
        EXPECT_EQ(number, c.number);
    }
}

TEST_F(StoreSettingsTest, WritingStoresTrimmedTextAndDecimalAndLeavesTheVariable)
{
    TStoreSettings store(IniPath(), true);
    QString subject = u" \tÄrger im Büro\r\n "_s;
    int threshold = 0x1F;
    store.BindInteger(threshold, u"SCAN"_s, u"threshold"_s, 20);
    store.BindString(subject, u"SCAN"_s, u"Subject"_s, u"Vorgabe"_s);
    EXPECT_EQ(subject, u" \tÄrger im Büro\r\n "_s);
    EXPECT_EQ(threshold, 31);
    EXPECT_EQ(test::ReadBytes(IniPath()),
        "[SCAN]\r\nthreshold=31\r\nSubject=" + platform::EncodeCodePage(u"Ärger im Büro"_s, 1252) + "\r\n");
}

TEST_F(StoreSettingsTest, FileTooLargeToBeOursReadsAsEmptyAndIsStartedAnewByTheFirstWrite)
{
    QByteArray content = "[SCAN]\r\nV=5\r\n";
    content.append(QByteArray(kMaxSettingsFileSize, ';'));
    WriteIni(content);
    int value = 0;
    TStoreSettings(IniPath(), false).BindInteger(value, u"SCAN"_s, u"V"_s, 7);
    EXPECT_EQ(value, 7);
    EXPECT_EQ(test::ReadBytes(IniPath()).size(), content.size());

    TStoreSettings store(IniPath(), true);
    value = 9;
    store.BindInteger(value, u"SCAN"_s, u"V"_s, 7);
    QString text = u"neu"_s;
    store.BindString(text, u"SCAN"_s, u"W"_s, {});
    EXPECT_EQ(test::ReadBytes(IniPath()), "[SCAN]\r\nV=9\r\nW=neu\r\n");
}

TEST_F(StoreSettingsTest, FileThatCannotBeWrittenRaisesTheErrorWithItsPath)
{
    // A folder in the file's place holds for root too.
    ASSERT_TRUE(QDir().mkpath(IniPath()));
    TStoreSettings store(IniPath(), true);
    int value = 1;
    try {
        store.BindInteger(value, u"SCAN"_s, u"DPI"_s, 0);
        FAIL() << "no error raised";
    } catch (const platform::Error& error) {
        EXPECT_EQ(error.Message(), u"In "_s + IniPath() + u" kann nicht geschrieben werden"_s);
    }
}

} // namespace
} // namespace pd::settings

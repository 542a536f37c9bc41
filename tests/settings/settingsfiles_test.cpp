#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/codepage.h"
#include "settings/settingsfiles.h"
#include "tests/support/testsupport.h"

namespace pd::settings {
namespace {

using namespace Qt::StringLiterals;

TEST(SettingsFiles, FolderIsBelowTheUserConfigurationFolder)
{
    test::TempFolder folder;
    test::ScopedEnv config("XDG_CONFIG_HOME", folder.File(u"cfg"_s));
    EXPECT_EQ(SettingsFolderPath(), folder.File(u"cfg/Quor/Paperdart/"_s));
}

TEST(SettingsFiles, DefaultsAreOneAddressAndTheFiveLineBody)
{
    EXPECT_EQ(DefaultRecipients(), u"scan@example.org"_s);
    EXPECT_EQ(DefaultBody().split(u"\r\n"_s),
        QStringList({ u"Hallo,"_s, u"anbei das gewünschte Dokument."_s, QString(), u"MFG"_s,
            u"Paperdart by https://www.example.org/"_s }));
}

TEST(SettingsFiles, ReadGivesTheTextOrNothingWhenTheFileIsNoSettingsFile)
{
    test::TempFolder folder;
    const QString path = folder.File(u"Body.cfg"_s);
    struct Case {
        const char* name;
        std::function<void()> make;
        std::optional<QString> text;
    };
    const Case cases[] = {
        { "missing", [] {}, std::nullopt },
        { "empty", [&] { test::WriteBytes(path, {}); }, QString() },
        { "line breaks kept as they stand", [&] { test::WriteBytes(path, "a\r\nb\nc\rd\r\n"); },
            u"a\r\nb\nc\rd\r\n"_s },
        { "a folder", [&] { QDir().mkpath(path); }, std::nullopt },
        { "exactly the size limit", [&] { test::WriteBytes(path, QByteArray(kMaxSettingsFileSize, 'a')); },
            QString(kMaxSettingsFileSize, u'a') },
        { "one byte beyond", [&] { test::WriteBytes(path, QByteArray(kMaxSettingsFileSize + 1, 'a')); }, std::nullopt },
        { "50 MB",
            [&] {
                QFile file(path);
                ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(50 * 1024 * 1024));
            },
            std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(path).removeRecursively();
        QFile::remove(path);
        c.make();
        EXPECT_EQ(ReadSettingsText(path), c.text);
    }
}

TEST(SettingsFiles, WriteUsesTheCodePageAndCrLfAndAddsNoFinalBreak)
{
    test::ScopedEnv lang("LC_ALL", u"de_DE.UTF-8"_s);
    test::TempFolder folder;
    const QString path = folder.File(u"Recipient.cfg"_s);
    ASSERT_TRUE(WriteSettingsText(path, u"jürgen@example.org\nb€@example.org\r\rℤ"_s));
    EXPECT_EQ(test::ReadBytes(path), "j\xFCrgen@example.org\r\nb\x80@example.org\r\n\r\n?");
    ASSERT_TRUE(WriteSettingsText(path, u"ende\n"_s));
    EXPECT_EQ(test::ReadBytes(path), "ende\r\n");
    ASSERT_TRUE(WriteSettingsText(path, QString()));
    EXPECT_EQ(test::ReadBytes(path), QByteArray());
}

// In code page 1252 "ÿþ", "þÿ" and "ï»¿" are the bytes of a byte-order mark; a list or body
// beginning with them was read back as UTF-16 or UTF-8 and came out as other text.
TEST(SettingsFiles, TextBeginningLikeAByteOrderMarkReadsBackAsWritten)
{
    test::ScopedEnv lang("LC_ALL", u"de_DE.UTF-8"_s);
    test::TempFolder folder;
    const QString path = folder.File(u"Body.cfg"_s);
    const struct {
        QString text;
        QString read;
    } cases[] = {
        { u"ÿþHallo\nWelt"_s, u"ÿþHallo\r\nWelt"_s },
        { u"þÿ"_s, u"þÿ"_s },
        { u"ï»¿Grüße ℤ"_s, u"ï»¿Grüße ?"_s },
        { u"ÿ allein"_s, u"ÿ allein"_s },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        ASSERT_TRUE(WriteSettingsText(path, c.text));
        EXPECT_EQ(ReadSettingsText(path), c.read);
    }
    // Text that cannot be taken for a mark stays in the code page, without one.
    EXPECT_EQ(test::ReadBytes(path), "\xFF allein");
}

TEST(SettingsFiles, FailedWriteReportsFalseAndLeavesWhatIsThere)
{
    test::TempFolder folder;
    const QString path = folder.File(u"Body.cfg"_s);
    ASSERT_TRUE(QDir().mkpath(path + u"/inside"_s));
    EXPECT_FALSE(WriteSettingsText(path, u"neu"_s));
    EXPECT_TRUE(QFileInfo(path + u"/inside"_s).isDir());
    EXPECT_EQ(QDir(folder.Path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList { u"Body.cfg"_s });
}

} // namespace
} // namespace pd::settings

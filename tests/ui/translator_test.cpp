#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include "platform/codepage.h"
#include "platform/folders.h"
#include "tests/support/testsupport.h"
#include "ui/translator.h"

namespace pd::ui {
namespace {

using namespace Qt::StringLiterals;

// The program folder in a folder of the test's own; every test ends the run's translator.
class TranslateTextTest : public ::testing::Test {
protected:
    void SetUp() override { platform::OverrideModuleFileName(m_folder.File(u"paperdart"_s)); }
    void TearDown() override
    {
        TranslatorEndStep();
        platform::OverrideModuleFileName({});
    }

    void WriteLanguageFile(const QString& name, const QString& content)
    {
        test::WriteBytes(m_folder.File(name), platform::EncodeCodePage(content, 1252));
    }

    test::TempFolder m_folder;
};

TEST_F(TranslateTextTest, LanguageFileFollowsTheLocale)
{
    WriteLanguageFile(u"0407.lng"_s, u"Hallo~Servus\r\n"_s);
    WriteLanguageFile(u"0409.lng"_s, u"Hallo~Hello!\r\n"_s);
    WriteLanguageFile(u"041A.lng"_s, u"Hallo~Bokbok\r\n"_s);
    struct Case {
        const char* locale;
        QString expected;
    };
    const Case cases[] = {
        { "de_DE.UTF-8", u"Servus"_s }, { "de_AT.UTF-8", u"Servus"_s }, { "hr_HR.UTF-8", u"Bokbok"_s },
        { "en_GB.UTF-8", u"Hello!"_s }, { "C", u"Hello!"_s }, { "fr_FR.UTF-8", u"Hallo"_s }, // no 040C.lng: default.lng
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale);
        test::ScopedEnv lang("LANG", QString::fromLatin1(c.locale));
        EXPECT_EQ(TranslateText(u"Hallo"_s), c.expected);
        TranslatorEndStep();
    }
    EXPECT_EQ(test::ReadBytes(m_folder.File(u"default.lng"_s)), QByteArray("Hallo~\r\n"));
}

TEST_F(TranslateTextTest, EmptyDefaultFileIsCreatedWhenNeitherFileExists)
{
    EXPECT_EQ(TranslateText(u" \t "_s), QString());
    ASSERT_TRUE(QFileInfo(m_folder.File(u"default.lng"_s)).isFile());
    EXPECT_EQ(QFileInfo(m_folder.File(u"default.lng"_s)).size(), 0);
    EXPECT_TRUE(Translator->dotranslate());
    EXPECT_EQ(TranslateText(u"Zeile eins\r\nzwei"_s), u"Zeile eins\rzwei"_s);
    EXPECT_EQ(test::ReadBytes(m_folder.File(u"default.lng"_s)), QByteArray("Zeile eins#13zwei~\r\n"));
}

TEST_F(TranslateTextTest, FolderThatCannotTakeTheFileLeavesTranslationOff)
{
    ASSERT_TRUE(QDir().mkdir(m_folder.File(u"default.lng"_s)));
    EXPECT_EQ(TranslateText(u"Hallo:  "_s), u"Hallo:  "_s);
    ASSERT_NE(Translator, nullptr);
    EXPECT_FALSE(Translator->dotranslate());
    // Off: blank texts keep their spaces; markers and escapes are still taken out.
    EXPECT_EQ(TranslateText(u"   "_s), u"   "_s);
    EXPECT_EQ(TranslateText(u"a~b#13c#38d"_s), u"ab\rc&d"_s);
    // Off for the rest of the run, even once the folder is gone.
    QDir(m_folder.File(u"default.lng"_s)).removeRecursively();
    EXPECT_EQ(TranslateText(u"Hallo"_s), u"Hallo"_s);
    EXPECT_FALSE(QFileInfo::exists(m_folder.File(u"default.lng"_s)));
}

TEST_F(TranslateTextTest, MissingFileWarningIsShownOnce)
{
    WriteLanguageFile(u"0407.lng"_s, u"Hallo~Servus\r\n"_s);
    EXPECT_EQ(TranslateText(u"  "_s), QString()); // translator set up, file not read yet
    ASSERT_TRUE(QFile::remove(m_folder.File(u"0407.lng"_s)));
    QStringList warnings;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&warnings] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            warnings << box->text();
            EXPECT_EQ(box->icon(), QMessageBox::Warning);
            EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
            box->accept();
        }
    });
    answer.start(10);
    EXPECT_EQ(TranslateText(u"Hallo"_s), u"Hallo"_s);
    EXPECT_EQ(TranslateText(u"Noch etwas"_s), u"Noch etwas"_s);
    EXPECT_EQ(warnings, QStringList { u"Übersetzungsdatei existiert nicht !"_s });
    TranslatorEndStep();
    EXPECT_FALSE(QFileInfo::exists(m_folder.File(u"0407.lng"_s)));
}

TEST_F(TranslateTextTest, EndStepSavesTheFileAndDestroysTheTranslator)
{
    TranslatorEndStep(); // no translator: nothing happens
    EXPECT_FALSE(QFileInfo::exists(m_folder.File(u"default.lng"_s)));
    WriteLanguageFile(u"0407.lng"_s, u"Hallo ~ Servus \r\nohne Tilde\r\n\r\n"_s);
    EXPECT_EQ(TranslateText(u"Hallo"_s), u"Servus"_s);
    ASSERT_NE(Translator, nullptr);
    TranslatorEndStep();
    EXPECT_EQ(Translator, nullptr);
    EXPECT_EQ(test::ReadBytes(m_folder.File(u"0407.lng"_s)), QByteArray("Hallo~Servus\r\n"));
}

// Every caption and message text of the program with its English text.
const std::pair<QString, QString> kEnglish[] = {
    { u"Fehler"_s, u"Error"_s },
    { u"Bitte überprüfen Sie Ihren Scanner und Ihre Einstellungen.\r\r- Dokument richtig eingelegt?\r- Schwellwert "
      "für leere Seiten richtig eingestellt? (default 20)"_s,
        u"Please check your scanner and your settings.\r\r- Is the document inserted correctly?\r- Is the threshold "
        "for blank pages set correctly? (default 20)"_s },
    { u"Es wurde keine PDF-Datei erzeugt."_s, u"No PDF file was created."_s },
    { u"Error"_s, u"Error"_s },
    { u"Möchten Sie die PDF-Datei öffnen?"_s, u"Do you want to open the PDF file?"_s },
    { u"Seite eingelesen"_s, u"Page scanned"_s },
    { u"Möchten Sie eine weitere Seite einlesen?"_s, u"Do you want to scan another page?"_s },
};

TEST_F(TranslateTextTest, EnglishDesktopGetsEnglishMessages)
{
    const QByteArray shipped = test::ReadBytes(QStringLiteral(PD_BUILD_ROOT "/0409.lng"));
    ASSERT_FALSE(shipped.isEmpty()) << "0409.lng is not beside the program";
    test::WriteBytes(m_folder.File(u"0409.lng"_s), shipped);
    test::ScopedEnv lang("LANG", u"en_US.UTF-8"_s);
    for (const auto& [german, english] : kEnglish) {
        SCOPED_TRACE(german.toStdString());
        // Shorter texts come back padded to the German length.
        EXPECT_EQ(TranslateText(german).trimmed(), english);
    }
    TranslatorEndStep();
    EXPECT_EQ(test::ReadBytes(m_folder.File(u"0409.lng"_s)), shipped);
}

} // namespace
} // namespace pd::ui

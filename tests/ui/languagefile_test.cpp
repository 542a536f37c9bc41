#include <gtest/gtest.h>

#include <QFile>

#include "tests/support/testsupport.h"
#include "ui/languagetranslator.h"

namespace pd::ui {
namespace {

using namespace Qt::StringLiterals;

// Every caption and text that the program passes through the translator, as it passes them.
const QString kMessageTexts[] = {
    u"Fehler"_s,
    u"Bitte überprüfen Sie Ihren Scanner und Ihre Einstellungen.\r\r- Dokument richtig eingelegt?\r- Schwellwert "
    "für leere Seiten richtig eingestellt? (default 20)"_s,
    u"Es wurde keine PDF-Datei erzeugt."_s,
    u"Error"_s,
    u"Möchten Sie die PDF-Datei öffnen?"_s,
    u"Seite eingelesen"_s,
    u"Möchten Sie eine weitere Seite einlesen?"_s,
};

class EnglishLanguageFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_shipped = test::ReadBytes(QStringLiteral(PD_LANGUAGE_SOURCE_DIR "/0409.lng"));
        ASSERT_FALSE(m_shipped.isEmpty());
        m_copy = m_folder.File(u"0409.lng"_s);
        test::WriteBytes(m_copy, m_shipped);
        m_translator.setDatei(m_copy);
        m_translator.setDotranslate(true);
        m_translator.Load();
        ASSERT_TRUE(m_translator.Loaded());
    }

    test::TempFolder m_folder;
    QByteArray m_shipped;
    QString m_copy;
    TLanguageTranslator m_translator;
};

TEST_F(EnglishLanguageFile, IsWrittenAsTheProgramWritesLanguageFiles)
{
    EXPECT_FALSE(m_shipped.startsWith("\xEF\xBB\xBF"));
    EXPECT_TRUE(m_shipped.endsWith("\r\n"));
    // Code page 1252: the umlauts are single bytes.
    EXPECT_TRUE(m_shipped.contains("\xFC"
                                   "berpr\xFC"
                                   "fen"));
    m_translator.Save();
    EXPECT_EQ(test::ReadBytes(m_copy), m_shipped);
}

TEST_F(EnglishLanguageFile, HoldsAnEnglishTextForEveryMessageText)
{
    for (const QString& text : kMessageTexts) {
        SCOPED_TRACE(text.toStdString());
        QString t = EncodeText(text);
        const QString shown = DecodeText(m_translator.Lookup(t));
        EXPECT_FALSE(m_translator.NewText());
        if (text != u"Error"_s) {
            EXPECT_NE(shown, text);
        }
        for (const QChar c : shown)
            EXPECT_LT(c.unicode(), 0x80) << "not English: " << shown.toStdString();
        EXPECT_EQ(shown.count(QLatin1Char('\r')), text.count(QLatin1Char('\r')));
    }
    // Shorter translations are padded to the length of the German text, as every lookup is.
    QString caption = u"Seite eingelesen"_s;
    EXPECT_EQ(m_translator.Lookup(caption), u"Page scanned    "_s);
}

} // namespace
} // namespace pd::ui

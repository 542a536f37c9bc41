#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "logging/log.h"
#include "platform/codepage.h"
#include "platform/folders.h"
#include "tests/support/testsupport.h"
#include "tests/ui/modalscript.h"
#include "ui/messagebox.h"
#include "ui/translator.h"

namespace pd::ui {
namespace {

using namespace Qt::StringLiterals;
using test::ModalScript;

TForm_Messagebox* OpenBox()
{
    return qobject_cast<TForm_Messagebox*>(QApplication::activeModalWidget());
}

// The program folder, its log and its German language file in a folder of the test's own.
class MessageBoxTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_folder.File(u"paperdart"_s));
        logging::LogModuleStart();
    }
    void TearDown() override
    {
        TranslatorEndStep();
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    void WriteLanguageFile(const QString& content)
    {
        test::WriteBytes(m_folder.File(u"0407.lng"_s), platform::EncodeCodePage(content, 1252));
    }

    QString LogText() const
    {
        const QDir logs(m_folder.File(u"log"_s));
        QString text;
        for (const QString& name : logs.entryList({ u"*.log"_s }, QDir::Files))
            text += platform::DecodeCodePage(test::ReadBytes(logs.filePath(name)), 1252);
        return text;
    }

    test::TempFolder m_folder;
};

TEST_F(MessageBoxTest, ErrorBoxLogsTheTranslatedCaptionAndTextBeforeItShows)
{
    WriteLanguageFile(u"Fehler~Failure\r\nDrucker fehlt~Printer is missing\r\n"_s);
    QString logWhileShown;
    QString caption;
    QString text;
    bool cancelShown = true;
    ModalScript script({
        [&] {
            logWhileShown = LogText();
            caption = OpenBox()->windowTitle();
            text = OpenBox()->Messagetext->text();
            cancelShown = OpenBox()->ASBCancel->isVisible();
        },
        [&] { QTest::keyClick(OpenBox(), Qt::Key_Escape); },
    });
    ErrorBox(u"Drucker fehlt"_s);
    EXPECT_TRUE(script.Finished());
    EXPECT_FALSE(script.TimedOut());
    EXPECT_TRUE(logWhileShown.contains(u"messagebox: Failure Printer is missing\r\n"_s)) << logWhileShown.toStdString();
    EXPECT_EQ(caption, u"Failure"_s);
    EXPECT_EQ(text, u"Printer is missing"_s);
    EXPECT_FALSE(cancelShown);
}

TEST_F(MessageBoxTest, LanguageFileThatIsNoTextLeavesTheBoxUntranslated)
{
    QByteArray binary("Fehler~Failure\r\n");
    for (int i = 0; i < 1000; ++i)
        binary.append(static_cast<char>(i % 256));
    test::WriteBytes(m_folder.File(u"0407.lng"_s), binary);
    ModalScript script({ [&] { QTest::keyClick(OpenBox(), Qt::Key_Escape); } });
    ErrorBox(u"Drucker fehlt"_s);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(LogText().contains(u"messagebox: Fehler Drucker fehlt"_s));
    TranslatorEndStep();
    EXPECT_EQ(test::ReadBytes(m_folder.File(u"0407.lng"_s)), binary);
}

TEST_F(MessageBoxTest, ResultsOfTheKeysAndButtons)
{
    struct Case {
        const char* name;
        bool withCancel;
        std::function<void(TForm_Messagebox*)> action;
        int expected;
    };
    const Case cases[] = {
        { "Escape on an information box", false, [](TForm_Messagebox* b) { QTest::keyClick(b, Qt::Key_Escape); }, 2 },
        { "information box closed", false, [](TForm_Messagebox* b) { b->close(); }, 2 },
        { "Enter on an information box", false, [](TForm_Messagebox* b) { QTest::keyClick(b, Qt::Key_Return); }, 1 },
        { "Enter on a question", true,
            [](TForm_Messagebox* b) { QTest::keyClick(b->Messagetext, Qt::Key_Enter, Qt::KeypadModifier); }, 1 },
        { "Enter on the focused cancel button", true,
            [](TForm_Messagebox* b) {
                b->ASBCancel->setFocus();
                QTest::keyClick(b->ASBCancel, Qt::Key_Return);
            },
            1 },
        { "Escape on a question", true, [](TForm_Messagebox* b) { QTest::keyClick(b, Qt::Key_Escape); }, 2 },
        { "cancel button", true, [](TForm_Messagebox* b) { QTest::mouseClick(b->ASBCancel, Qt::LeftButton); }, 2 },
        { "OK button", true, [](TForm_Messagebox* b) { QTest::mouseClick(b->ASButtonOK, Qt::LeftButton); }, 1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModalScript script({ [&] { c.action(OpenBox()); } });
        EXPECT_EQ(ShowMessageBox(u"Titel"_s, u"Text"_s, c.withCancel), c.expected);
        EXPECT_FALSE(script.TimedOut());
    }
}

TEST_F(MessageBoxTest, EnterLeavesTheBoxOpenWhileOkIsDisabled)
{
    bool open = false;
    ModalScript script({
        [&] {
            OpenBox()->ASButtonOK->setEnabled(false);
            QTest::keyClick(OpenBox(), Qt::Key_Return);
        },
        [&] { open = OpenBox() != nullptr && OpenBox()->isVisible(); },
        [&] { QTest::keyClick(OpenBox(), Qt::Key_Escape); },
    });
    EXPECT_EQ(ShowMessageBox(u"Titel"_s, u"Text"_s, true), 2);
    EXPECT_TRUE(open);
    EXPECT_FALSE(script.TimedOut());
}

TEST_F(MessageBoxTest, CarriageReturnsStartNewLines)
{
    QString shown;
    int height = 0;
    int lineSpacing = 0;
    ModalScript script({
        [&] {
            shown = OpenBox()->Messagetext->text();
            height = OpenBox()->Messagetext->sizeHint().height();
            lineSpacing = OpenBox()->Messagetext->fontMetrics().lineSpacing();
        },
        [&] { QTest::keyClick(OpenBox(), Qt::Key_Escape); },
    });
    ShowMessageBox(u"Titel"_s, u"eins\r\rdrei\r\nvier"_s, false);
    EXPECT_EQ(shown, u"eins\n\ndrei\nvier"_s);
    EXPECT_GE(height, 4 * lineSpacing);
}

TEST_F(MessageBoxTest, SizedToItsTextWithinTheScreenAndCentred)
{
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    struct Case {
        const char* name;
        QString text;
    };
    QString longText;
    for (int i = 0; i < 400; ++i)
        longText += u"Dokument "_s;
    const Case cases[] = { { "short", u"Kurz"_s }, { "long", longText } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QRect geometry;
        bool fixedSize = false;
        int labelHeight = 0;
        int neededHeight = 0;
        ModalScript script({
            [&] {
                geometry = OpenBox()->geometry();
                fixedSize = OpenBox()->minimumSize() == geometry.size() && OpenBox()->maximumSize() == geometry.size();
                const QLabel* label = OpenBox()->Messagetext;
                labelHeight = label->height();
                neededHeight = label->heightForWidth(label->width());
            },
            [&] { QTest::keyClick(OpenBox(), Qt::Key_Escape); },
        });
        ShowMessageBox(u"Titel"_s, c.text, false);
        EXPECT_GE(geometry.width(), 400);
        EXPECT_GE(geometry.height(), 300);
        EXPECT_LE(geometry.width(), area.width());
        EXPECT_LE(geometry.height(), area.height());
        EXPECT_LE((geometry.center() - area.center()).manhattanLength(), 4);
        EXPECT_TRUE(fixedSize);
        // The whole text is visible, or for a text taller than the screen, can be scrolled to.
        EXPECT_GE(labelHeight, neededHeight);
    }
}

TEST_F(MessageBoxTest, QueryBoxTranslatesTheTextBeforeTheCaption)
{
    WriteLanguageFile(QString());
    ModalScript script({ [&] { QTest::keyClick(OpenBox(), Qt::Key_Return); } });
    EXPECT_EQ(QueryBox(u"Neue Frage"_s, u"Wirklich & sicher?"_s), 1);
    EXPECT_EQ(test::ReadBytes(m_folder.File(u"0407.lng"_s)), QByteArray("Wirklich #38 sicher?~\r\nNeue Frage~\r\n"));
    EXPECT_TRUE(LogText().contains(u"messagebox: Neue Frage Wirklich & sicher?"_s));
}

} // namespace
} // namespace pd::ui

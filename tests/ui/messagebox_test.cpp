#include <gtest/gtest.h>
#include <stdexcept>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>

#include "logging/log.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/folders.h"
#include "tests/support/testsupport.h"
#include "tests/ui/modalscript.h"
#include "tests/ui/programfoldertest.h"
#include "ui/application.h"
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
class MessageBoxTest : public test::ProgramFolderTest {
protected:
    void WriteLanguageFile(const QString& content)
    {
        test::WriteBytes(m_folder.File(u"0407.lng"_s), platform::EncodeCodePage(content, 1252));
    }
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
                if (const QString folder = qEnvironmentVariable("PD_SCREENSHOT_DIR"); !folder.isEmpty())
                    OpenBox()->grab().save(folder + u"/Messagebox_"_s + QLatin1StringView(c.name) + u".png"_s);
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

TEST_F(MessageBoxTest, ErrorFromAnEventHandlerIsShownInAnErrorBoxAndTheProgramGoesOn)
{
    ASSERT_NE(qobject_cast<TPaperdartApplication*>(QCoreApplication::instance()), nullptr);
    struct Case {
        const char* name;
        std::function<void()> handler;
        QString text;
    };
    const Case cases[] = {
        { "program error", [] { throw platform::Error(u"In /x/Paperdart.INI kann nicht geschrieben werden"_s); },
            u"In /x/Paperdart.INI kann nicht geschrieben werden"_s },
        { "program error wrapping another",
            [] { throw platform::Error(u"Speichern fehlgeschlagen"_s, 0, { platform::Error(u"Platte voll"_s) }); },
            u"Speichern fehlgeschlagen\r\nPlatte voll"_s },
        { "standard exception",
            [] {
                throw std::runtime_error("Gr\xC3\xB6\xC3\x9F"
                                         "e falsch");
            },
            u"Größe falsch"_s },
        { "anything else", [] { throw 42; }, u"Unbekannter Fehler"_s },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QString caption;
        QString shown;
        bool wentOn = false;
        QEventLoop loop;
        ModalScript script({
            [&] {
                auto* box = qobject_cast<TForm_Messagebox*>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                caption = box->windowTitle();
                shown = box->Messagetext->text();
                QTest::keyClick(box, Qt::Key_Return);
            },
            [&] {
                wentOn = true;
                loop.quit();
            },
        });
        QTimer::singleShot(0, c.handler);
        QTimer::singleShot(8000, &loop, &QEventLoop::quit);
        loop.exec();
        EXPECT_TRUE(wentOn);
        EXPECT_FALSE(script.TimedOut());
        EXPECT_EQ(caption, u"Fehler"_s);
        EXPECT_EQ(shown, QString(c.text).replace(u"\r\n"_s, u"\n"_s));
        EXPECT_TRUE(LogText().contains(u"messagebox: Fehler "_s + c.text.section(u"\r\n"_s, 0, 0)))
            << LogText().toStdString();
    }
}

} // namespace
} // namespace pd::ui

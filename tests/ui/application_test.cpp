#include <gtest/gtest.h>
#include <stdexcept>

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include "logging/log.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/folders.h"
#include "tests/support/testsupport.h"
#include "tests/ui/modalscript.h"
#include "ui/application.h"
#include "ui/messagebox.h"
#include "ui/translator.h"

namespace pd::ui {
namespace {

using namespace Qt::StringLiterals;
using test::ModalScript;

class TopLevelErrorTest : public ::testing::Test {
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

TEST_F(TopLevelErrorTest, ErrorFromAnEventHandlerIsShownInAnErrorBoxAndTheProgramGoesOn)
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

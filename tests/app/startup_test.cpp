#include <csignal>
#include <gtest/gtest.h>
#include <optional>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "app/paperdartform.h"
#include "app/startup.h"
#include "platform/error.h"
#include "platform/folders.h"
#include "platform/imaging/imaginglog.h"
#include "settings/mailconfigform.h"
#include "tests/mail/fakedesktop.h"
#include "tests/support/faultinjection.h"
#include "tests/support/testsupport.h"
#include "tests/ui/modalscript.h"
#include "ui/messagebox.h"

namespace pd::app {
namespace {

using settings::Form_MAILConfig;

TEST(ModuleTable, ModulesRunInTheirFixedOrder)
{
    const auto modules = ProgramModules();
    ASSERT_EQ(modules.size(), 4u);
    const char* names[] = { "log", "translator", "shared configuration", "imaging library" };
    for (std::size_t i = 0; i < modules.size(); ++i)
        EXPECT_EQ(modules[i].name, QLatin1StringView(names[i]));
    EXPECT_TRUE(modules[0].start && modules[0].end);
    EXPECT_TRUE(!modules[1].start && modules[1].end);
    EXPECT_TRUE(modules[2].start && modules[2].end);
    EXPECT_TRUE(modules[3].start && !modules[3].end);
}

std::vector<std::string> g_calls;

TEST(ModuleTable, EndStepsRunInReverseOrderAndMissingStepsAreSkipped)
{
    using namespace Qt::StringLiterals;
    const ModuleSteps table[] = {
        { "a"_L1, [] { g_calls.push_back("start a"); }, [] { g_calls.push_back("end a"); } },
        { "b"_L1, nullptr, [] { g_calls.push_back("end b"); } },
        { "c"_L1, [] { g_calls.push_back("start c"); }, nullptr },
    };
    g_calls.clear();
    RunStartSteps(table);
    RunEndSteps(table);
    EXPECT_EQ(g_calls, (std::vector<std::string> { "start a", "start c", "end b", "end a" }));
}

// A run of the whole program with the real program file copied into a folder of the test's own,
// so the log lands there.
class ProgramRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        const QString program = m_folder.File(QStringLiteral("paperdart"));
        ASSERT_TRUE(QFile::copy(QStringLiteral(PD_PAPERDART_EXE), program));
        platform::OverrideModuleFileName(program);
    }
    void TearDown() override { platform::OverrideModuleFileName({}); }

    QList<QByteArray> LogLines() const
    {
        const QString month = QDate::currentDate().toString(QStringLiteral("yyyyMM"));
        QList<QByteArray> lines
            = test::ReadBytes(m_folder.File(QStringLiteral("log/") + month + QStringLiteral(".log"))).split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }

    test::TempFolder m_folder;
    test::ScopedEnv m_config { "XDG_CONFIG_HOME", m_folder.File(QStringLiteral("home/config")) };
    test::ScopedEnv m_cache { "XDG_CACHE_HOME", m_folder.File(QStringLiteral("home/cache")) };
};

TEST_F(ProgramRun, StartsLogsShowsTheMainWindowAndShutsDownInReverseOrder)
{
    std::vector<StartupStage> stages;
    bool loopSurvivedOtherWindowClosing = false;
    const int result = RunProgram("paperdart", [&](StartupStage stage) {
        stages.push_back(stage);
        switch (stage) {
        case StartupStage::ModulesStarted: {
            EXPECT_EQ(QApplication::instance(), nullptr); // so no window can exist yet
            const QList<QByteArray> lines = LogLines();
            ASSERT_EQ(lines.size(), 1);
            EXPECT_TRUE(lines[0].endsWith(": Startup:" + QFile::encodeName(m_folder.File(QStringLiteral("paperdart")))
                + "  Version:" PD_PROJECT_VERSION "\r"))
                << lines[0].toStdString();
            EXPECT_EQ(platform::imaging::ImagingLogPath(), m_folder.File(QStringLiteral("log/imaging.log")));
            break;
        }
        case StartupStage::MainWindowCreated:
            ASSERT_NE(Form_Paperdart, nullptr);
            EXPECT_EQ(Form_MAILConfig, nullptr);
            EXPECT_TRUE(Form_Paperdart->FirstShow);
            EXPECT_FALSE(Form_Paperdart->isVisible());
            EXPECT_EQ(QApplication::applicationDisplayName(), QStringLiteral("Paperdart"));
            break;
        case StartupStage::ConfigDialogCreated:
            ASSERT_NE(Form_MAILConfig, nullptr);
            EXPECT_EQ(Form_MAILConfig->parentWidget(), Form_Paperdart);
            EXPECT_FALSE(Form_MAILConfig->isVisible());
            EXPECT_FALSE(Form_Paperdart->isVisible());
            break;
        case StartupStage::LoopRunning:
            EXPECT_TRUE(Form_Paperdart->isVisible());
            EXPECT_FALSE(Form_Paperdart->FirstShow);
            EXPECT_EQ(Form_Paperdart->windowTitle(), QStringLiteral("Paperdart"));
            EXPECT_FALSE(Form_MAILConfig->isVisible());
            // Another window closing does not end the run; the main window closing does.
            Form_MAILConfig->show();
            Form_MAILConfig->close();
            QTimer::singleShot(20, [&] {
                loopSurvivedOtherWindowClosing = true;
                Form_Paperdart->close();
            });
            break;
        case StartupStage::LoopEnded:
            EXPECT_TRUE(loopSurvivedOtherWindowClosing);
            EXPECT_FALSE(LogLines().last().endsWith(": Stop\r"));
            break;
        case StartupStage::ModulesEnded:
            EXPECT_TRUE(LogLines().last().endsWith(": Stop\r"));
            EXPECT_NE(Form_Paperdart, nullptr);
            EXPECT_NE(Form_MAILConfig, nullptr);
            break;
        case StartupStage::WindowsDestroyed:
            EXPECT_EQ(Form_Paperdart, nullptr);
            EXPECT_EQ(Form_MAILConfig, nullptr);
            EXPECT_EQ(QApplication::instance(), nullptr);
            break;
        }
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(stages,
        (std::vector<StartupStage> { StartupStage::ModulesStarted, StartupStage::MainWindowCreated,
            StartupStage::ConfigDialogCreated, StartupStage::LoopRunning, StartupStage::LoopEnded,
            StartupStage::ModulesEnded, StartupStage::WindowsDestroyed }));
    const QList<QByteArray> lines = LogLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains(": Startup:"));
    EXPECT_TRUE(lines[1].endsWith(": Stop\r"));
}

TEST_F(ProgramRun, SettingsAreLoadedAtTheStartAndAnErrorEscapingAHandlerIsShownWhileTheRunGoesOn)
{
    test::WriteBytes(
        m_folder.File(QStringLiteral("home/config/Quor/Paperdart/Paperdart.INI")), "[SCAN]\r\nSubject=Gespeichert\r\n");
    QString subject;
    QString shown;
    std::optional<test::ModalScript> script;
    const int result = RunProgram("paperdart", [&](StartupStage stage) {
        if (stage == StartupStage::ConfigDialogCreated)
            subject = Form_MAILConfig->edtSubject->text();
        if (stage != StartupStage::LoopRunning)
            return;
        QTimer::singleShot(0, [] { throw platform::Error(QStringLiteral("Etwas ging schief")); });
        script.emplace(std::vector<std::function<void()>> {
            [&] {
                auto* box = qobject_cast<ui::TForm_Messagebox*>(QApplication::activeModalWidget());
                ASSERT_NE(box, nullptr);
                shown = box->Messagetext->text();
                box->LMDButtonOKClick();
            },
            [] { Form_Paperdart->close(); },
        });
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(subject, QStringLiteral("Gespeichert"));
    EXPECT_EQ(shown, QStringLiteral("Etwas ging schief"));
    ASSERT_TRUE(script && script->Finished());
    const QList<QByteArray> lines = LogLines();
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[1].endsWith(": messagebox: Fehler Etwas ging schief\r"));
    EXPECT_TRUE(lines[2].endsWith(": Stop\r"));
}

TEST_F(ProgramRun, TheFirstRecipientShowsAtTheStartAndTheLastJobsFilesGoWithTheRun)
{
    test::FakeDesktop desktop;
    desktop.Program(QStringLiteral("xdg-open"));
    test::WriteBytes(desktop.File(QStringLiteral("config/Quor/Paperdart/Recipient.cfg")),
        "erste@example.org\r\nzweite@example.org\r\n");
    // The scan itself is not what this run is about: it writes a small PDF.
    JobServices services;
    services.ScanToPdf = [](quintptr, const QString& pdfPath, bool, bool, double, int, int, bool, int) {
        test::WriteBytes(pdfPath, "%PDF-1.4\n%%EOF\n");
        return 0;
    };
    SetJobServices(services);
    QString shown;
    QString pdf;
    bool filesDuringTheRun = false;
    const int result = RunProgram("paperdart", [&](StartupStage stage) {
        if (stage != StartupStage::LoopRunning)
            return;
        shown = Form_Paperdart->ComboBoxEmpfaenger->currentText();
        QTimer::singleShot(0, [&] {
            Form_Paperdart->BtnImport->click();
            pdf = Form_Paperdart->PdfPath;
            filesDuringTheRun = QFileInfo::exists(pdf) && QFileInfo::exists(pdf + QStringLiteral(".eml"));
            Form_Paperdart->close();
        });
    });
    SetJobServices({});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(shown, QStringLiteral("erste@example.org"));
    ASSERT_TRUE(pdf.startsWith(desktop.File(QStringLiteral("tmp/Paperdart/Scan_")))) << pdf.toStdString();
    EXPECT_TRUE(filesDuringTheRun);
    EXPECT_EQ(desktop.Recorded(QStringLiteral("xdg-open")), QStringList { pdf + QStringLiteral(".eml") });
    EXPECT_FALSE(QFileInfo::exists(pdf));
    EXPECT_FALSE(QFileInfo::exists(pdf + QStringLiteral(".eml")));
}

TEST_F(ProgramRun, LogLevelZeroLeavesOnlyTheStartLine)
{
    test::WriteBytes(m_folder.File(QStringLiteral("config/Hollowell.INI")), "[LOG]\r\nLevel=0\r\n");
    const int result = RunProgram("paperdart", [](StartupStage stage) {
        if (stage == StartupStage::LoopRunning)
            QTimer::singleShot(0, [] { Form_Paperdart->close(); });
    });
    EXPECT_EQ(result, 0);
    const QList<QByteArray> lines = LogLines();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_TRUE(lines[0].contains(": Startup:"));
}

TEST_F(ProgramRun, TerminationSignalEndsTheRunInOrder)
{
    std::vector<StartupStage> stages;
    const int result = RunProgram("paperdart", [&](StartupStage stage) {
        stages.push_back(stage);
        if (stage == StartupStage::LoopRunning)
            ::raise(SIGTERM); // as at logout
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(stages.size(), 7u);
    const QList<QByteArray> lines = LogLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(": Stop\r"));
}

TEST_F(ProgramRun, AFileSizeLimitDropsLogLinesButNotTheProgram)
{
    // The real program with no room for writes: its first log line runs past the limit, which
    // kills a program that leaves SIGXFSZ at its default.
    const QString program = m_folder.File(QStringLiteral("paperdart"));
    // Long enough for the start line, the settings and the main window.
    const std::optional<int> ended = test::RunInChildFor(
        [&program] {
            const rlimit limit { 0, 0 };
            ::setrlimit(RLIMIT_FSIZE, &limit);
            const QByteArray path = QFile::encodeName(program);
            ::execl(path.constData(), path.constData(), static_cast<char*>(nullptr));
            return 127;
        },
        std::chrono::seconds(2));
    EXPECT_FALSE(ended) << "the program ended with status " << ended.value_or(0) << " (100 + signal)";
    // The start line did not fit: not one byte of it is left.
    EXPECT_TRUE(LogLines().isEmpty());
}

} // namespace
} // namespace pd::app

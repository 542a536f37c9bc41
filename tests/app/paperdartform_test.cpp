#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QJsonArray>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include "app/paperdartform.h"
#include "logging/log.h"
#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/folders.h"
#include "platform/wia/commondialog.h"
#include "scan/desktopscanning.h"
#include "scan/scandispatcher.h"
#include "settings/mailconfigform.h"
#include "tests/mail/fakedesktop.h"
#include "tests/mail/readback.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/platform/wia/modalpresser.h"
#include "tests/platform/wia/privatesane.h"
#include "tests/ui/modalscript.h"
#include "ui/messagebox.h"
#include "ui/translator.h"

namespace pd::app {
namespace {

using namespace Qt::StringLiterals;
using settings::TForm_MAILConfig;
using test::ModalPresser;
using test::ModalScript;
using test::PrivateSane;
using test::ReadBytes;
using test::WriteBytes;

const QString kScanFailedText = u"Bitte überprüfen Sie Ihren Scanner und Ihre Einstellungen.\r\r"
                                u"- Dokument richtig eingelegt?\r"
                                u"- Schwellwert für leere Seiten richtig eingestellt? (default 20)"_s;
const QString kNoPdfText = u"Es wurde keine PDF-Datei erzeugt."_s;
const QString kBox = u"Form_Messagebox"_s;

ui::TForm_Messagebox* OpenBox()
{
    return qobject_cast<ui::TForm_Messagebox*>(QApplication::activeModalWidget());
}

// A fake program writes its record a moment after it was started.
bool WaitForStart(const test::FakeDesktop& desktop, const QString& program, int milliseconds = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!desktop.WasStarted(program) && timer.elapsed() < milliseconds)
        QTest::qWait(20);
    return desktop.WasStarted(program);
}

// The job's arguments to the scan, as a fake scan receives them.
struct ScanCall {
    quintptr window = 0;
    QString pdfPath;
    bool showScannerDialog = true;
    bool colour = false;
    double threshold = -1;
    int resolution = -1;
    int paperSize = -1;
    bool feeder = false;
    int qualityIndex = -2;
};

// The two windows in the program's order (main window first, the dialog owned by it) over a
// desktop of the test's own: settings, temporary folder, program folder with its log, a fake
// xdg-open and a PDF viewer, and the program's scanning over SANE.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_desktop.File(u"program/paperdart"_s));
        logging::LogModuleStart();
        scan::InstallDesktopScanning();
        m_desktop.Program(u"xdg-open"_s);
        m_desktop.Program(u"pd-viewer"_s);
        m_desktop.DesktopFile(u"pd-viewer.desktop"_s, "pd-viewer %f");
        m_desktop.Defaults("application/pdf=pd-viewer.desktop;\n");
    }
    void TearDown() override
    {
        DestroyWindows();
        SetJobServices({});
        scan::SetScanPlatform({});
        ui::TranslatorEndStep();
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    void CreateWindows()
    {
        m_main = std::make_unique<TForm_Paperdart>();
        m_config = std::make_unique<TForm_MAILConfig>(m_main.get());
    }
    void DestroyWindows()
    {
        m_config.reset();
        m_main.reset();
    }
    // The settings of a user who has used the dialog before.
    void SetDialog(const QString& recipients, const QString& subject, const QString& body)
    {
        m_config->mmoEmpfaenger->setPlainText(recipients);
        m_config->edtSubject->setText(subject);
        m_config->mmoBody->setPlainText(body);
    }
    QString JobFolder() const { return m_desktop.File(u"tmp/Paperdart/"_s); }
    QString LogText() const
    {
        const QDir logs(m_desktop.File(u"program/log"_s));
        QString text;
        for (const QString& name : logs.entryList({ u"*.log"_s }, QDir::Files))
            text += platform::DecodeCodePage(ReadBytes(logs.filePath(name)), 1252);
        return text;
    }
    // The job with a fixed clock and a scan that records its arguments and writes pdfBytes,
    // unless they are empty. Returns the calls.
    std::shared_ptr<std::vector<ScanCall>> FakeScan(const QByteArray& pdfBytes = "%PDF-1.4\n%%EOF\n", int result = 0)
    {
        auto calls = std::make_shared<std::vector<ScanCall>>();
        JobServices services;
        services.Now = [] { return QDateTime(QDate(2026, 12, 10), QTime(9, 30, 59)); };
        services.ScanToPdf = [calls, pdfBytes, result](quintptr window, const QString& pdfPath, bool dialog,
                                 bool colour, double threshold, int resolution, int paperSize, bool feeder,
                                 int quality) {
            calls->push_back({ window, pdfPath, dialog, colour, threshold, resolution, paperSize, feeder, quality });
            if (!pdfBytes.isEmpty()) {
                // As the imaging library does: written aside, then put in place.
                WriteBytes(pdfPath + u".part"_s, pdfBytes);
                QFile::remove(pdfPath);
                QFile::rename(pdfPath + u".part"_s, pdfPath);
            }
            return result;
        };
        services.Sleep = [this](int milliseconds) { m_pauses.push_back(milliseconds); };
        SetJobServices(services);
        return calls;
    }
    static QString FakePdfPath(const QString& folder) { return folder + u"Scan_20261210_0930.pdf"_s; }

    test::FakeDesktop m_desktop;
    std::unique_ptr<TForm_Paperdart> m_main;
    std::unique_ptr<TForm_MAILConfig> m_config;
    std::vector<int> m_pauses;
};

TEST_F(MainWindowTest, LayoutOfTheWindow)
{
    CreateWindows();
    SetDialog(u"scan@example.org"_s, u"Scan"_s, u"Hallo"_s);
    EXPECT_EQ(m_main->windowTitle(), u"Paperdart"_s);
    EXPECT_EQ(m_main->font().pixelSize(), 13);
    EXPECT_EQ(m_main->lbl1->text(), u"&An E-Mail Empfänger"_s);
    EXPECT_EQ(m_main->lbl1->buddy(), m_main->ComboBoxEmpfaenger);
    EXPECT_TRUE(m_main->ComboBoxEmpfaenger->isEditable());
    EXPECT_EQ(m_main->lbl2->text(), u"Bitte legen Sie zuerst das zuversendende Dokument in den Scanner ein."_s);
    EXPECT_TRUE(m_main->lbl2->wordWrap());
    EXPECT_EQ(m_main->lbl2->alignment(), Qt::AlignCenter);
    const struct {
        QPushButton* button;
        QString caption;
        int width;
    } buttons[] = {
        { m_main->BtnImport, u"&Scan ADF && Sende an..."_s, 179 },
        { m_main->AdvSmoothButton1, u"&Scan && Sende an..."_s, 111 },
        { m_main->ASBCancel, u"&Abbruch"_s, 107 },
    };
    // The menu as laid out; "Scanner wählen ..." goes at the first show.
    const QList<QAction*> menus = m_main->mm1->actions();
    ASSERT_EQ(menus.size(), 2);
    EXPECT_EQ(menus[0]->text(), u"Datei"_s);
    EXPECT_TRUE(menus[0]->isVisible());
    EXPECT_EQ(menus[1]->text(), u"Hilfe"_s);
    EXPECT_FALSE(menus[1]->isVisible());
    const QList<QAction*> file = m_main->Datei1->actions();
    ASSERT_EQ(file.size(), 3);
    EXPECT_EQ(file[0], m_main->Scannerauswhlen1);
    EXPECT_EQ(file[0]->text(), u"Scanner wählen ..."_s);
    EXPECT_TRUE(file[1]->isSeparator());
    EXPECT_EQ(file[2], m_main->Konfiguration1);
    EXPECT_EQ(file[2]->text(), u"Konfiguration"_s);
    EXPECT_EQ(m_main->Hilfe1->actions(), QList<QAction*> { m_main->Dokumentation1 });
    EXPECT_EQ(m_main->Dokumentation1->text(), u"Dokumentation"_s);
    EXPECT_EQ(m_main->Dokumentation1->shortcut(), QKeySequence(Qt::Key_F1));
    EXPECT_TRUE(m_main->Scannerauswhlen1->isVisible());

    m_main->show();
    EXPECT_FALSE(m_main->Scannerauswhlen1->isVisible());
    EXPECT_EQ(m_main->width(), 461);
    EXPECT_EQ(m_main->height() - m_main->mm1->height(), 179) << "the client area below the menu";
    EXPECT_EQ(m_main->focusWidget(), m_main->BtnImport) << "first in tab order";
    EXPECT_EQ(m_main->palette().color(QPalette::Window), ui::clSkyBlue());
    EXPECT_EQ(m_main->pnl_finishButton->palette().color(QPalette::Window), ui::clSkyBlue());
    const auto inWindow = [&](const QWidget* w) { return QRect(w->mapTo(m_main.get(), QPoint(0, 0)), w->size()); };
    const QRect panel = inWindow(m_main->pnl_finishButton);
    EXPECT_EQ(panel, QRect(0, m_main->height() - 65, m_main->width(), 65)) << "the panel at the bottom";
    for (const auto& b : buttons) {
        SCOPED_TRACE(b.caption.toStdString());
        EXPECT_EQ(b.button->text(), b.caption);
        EXPECT_GE(b.button->width(), b.width);
        EXPECT_LE(b.button->width(), std::max(b.width, b.button->minimumSizeHint().width()));
        EXPECT_TRUE(panel.contains(inWindow(b.button)));
        EXPECT_GE(b.button->width(), b.button->minimumSizeHint().width()) << "caption cut";
    }
    EXPECT_LT(inWindow(m_main->BtnImport).right(), inWindow(m_main->AdvSmoothButton1).left());
    EXPECT_EQ(inWindow(m_main->ASBCancel).right(), panel.right() - 5) << "at the right of the panel";
    const QRect box = inWindow(m_main->ComboBoxEmpfaenger);
    EXPECT_EQ(box.left(), 20);
    EXPECT_EQ(m_main->width() - 1 - box.right(), 20);
    EXPECT_LT(inWindow(m_main->lbl1).bottom(), box.top());
    EXPECT_LT(box.bottom(), inWindow(m_main->lbl2).top());
    EXPECT_LE(inWindow(m_main->lbl2).bottom(), panel.top());
    EXPECT_GE(m_main->lbl2->height(), m_main->lbl2->heightForWidth(m_main->lbl2->width())) << "hint cut";
    if (const QString folder = qEnvironmentVariable("PD_SCREENSHOT_DIR"); !folder.isEmpty())
        m_main->grab().save(folder + u"/Paperdart.png"_s);

    // Made smaller than its minimum, the window keeps the minimum.
    m_main->resize(100, 50);
    EXPECT_EQ(m_main->size(), m_main->minimumSize());
    EXPECT_GE(m_main->minimumWidth(), 461);
}

TEST_F(MainWindowTest, KeysReachTheBoxAndTheManual)
{
    WriteBytes(m_desktop.File(u"program/help/Handbuch.html"_s), "<html></html>\n");
    CreateWindows();
    m_main->show();
    m_main->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(m_main.get()));
    // "&An" and "&Abbruch" share their access key: it moves the focus between them.
    bool boxReached = false;
    for (int i = 0; i < 2 && !boxReached; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
        boxReached = m_main->ComboBoxEmpfaenger->hasFocus();
    }
    EXPECT_TRUE(boxReached);
    EXPECT_TRUE(m_main->isVisible()) << "the access key pressed \"&Abbruch\"";

    // F1 opens the manual although its menu is hidden.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1);
    ASSERT_TRUE(WaitForStart(m_desktop, u"xdg-open"_s));
    EXPECT_EQ(m_desktop.Recorded(u"xdg-open"_s), QStringList { m_desktop.File(u"program/help/Handbuch.html"_s) });
}

TEST_F(MainWindowTest, FirstShowTakesTheDialogsRecipientListThoughTheWindowCameFirst)
{
    const struct {
        const char* what;
        QString recipients;
        QStringList items;
        QString text;
    } cases[] = {
        { "two recipients", u"erste@example.org\nzweite@example.org\n"_s,
            { u"erste@example.org"_s, u"zweite@example.org"_s }, u"erste@example.org"_s },
        { "an empty first line: nothing preselected", u"\nzweite@example.org"_s, { QString(), u"zweite@example.org"_s },
            QString() },
        { "an empty list", QString(), {}, QString() },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteBytes(m_desktop.File(u"config/Quor/Paperdart/Recipient.cfg"_s), c.recipients.toLatin1());
        CreateWindows();
        m_main->show();
        QStringList items;
        for (int i = 0; i < m_main->ComboBoxEmpfaenger->count(); ++i)
            items << m_main->ComboBoxEmpfaenger->itemText(i);
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(m_main->ComboBoxEmpfaenger->currentText(), c.text);
        EXPECT_EQ(m_main->ComboBoxEmpfaenger->currentIndex(), c.items.isEmpty() ? -1 : 0);
        EXPECT_TRUE(m_main->BtnImport->isEnabled()) << "until the user edits the box";
        EXPECT_TRUE(m_main->AdvSmoothButton1->isEnabled());

        // Later shows change nothing.
        m_main->hide();
        m_config->mmoEmpfaenger->setPlainText(u"neu@example.org"_s);
        m_main->show();
        EXPECT_EQ(m_main->ComboBoxEmpfaenger->currentText(), c.text);
        DestroyWindows();
    }
}

TEST_F(MainWindowTest, OnlyABlankRecipientTypedOrPickedDisablesTheFeederButton)
{
    test::WriteBytes(m_desktop.File(u"config/Quor/Paperdart/Recipient.cfg"_s), "a@example.org\n \n");
    CreateWindows();
    m_main->show();
    QLineEdit* edit = m_main->ComboBoxEmpfaenger->lineEdit();
    const struct {
        const char* what;
        std::function<void()> act;
        bool enabled;
    } steps[] = {
        { "blanks typed",
            [&] {
                edit->selectAll();
                QTest::keyClicks(edit, u"   "_s);
            },
            false },
        { "text typed", [&] { QTest::keyClicks(edit, u"b@example.org"_s); }, true },
        { "everything deleted",
            [&] {
                edit->selectAll();
                QTest::keyClick(edit, Qt::Key_Delete);
            },
            false },
        { "an item picked with the keys",
            [&] {
                m_main->ComboBoxEmpfaenger->setCurrentIndex(1);
                QTest::keyClick(m_main->ComboBoxEmpfaenger, Qt::Key_Up);
            },
            true },
        { "the blank item picked with the keys", [&] { QTest::keyClick(m_main->ComboBoxEmpfaenger, Qt::Key_Down); },
            false },
        { "the program selecting an item", [&] { m_main->ComboBoxEmpfaenger->setCurrentIndex(0); }, false },
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.act();
        EXPECT_EQ(m_main->BtnImport->isEnabled(), s.enabled);
        EXPECT_TRUE(m_main->AdvSmoothButton1->isEnabled());
    }

    // The flatbed button still runs a job: its message has no recipient.
    m_main->ComboBoxEmpfaenger->setCurrentIndex(1);
    FakeScan();
    QTest::mouseClick(m_main->AdvSmoothButton1, Qt::LeftButton);
    ASSERT_FALSE(m_main->PdfPath.isEmpty());
    EXPECT_TRUE(ReadBytes(m_main->PdfPath + u".eml"_s).contains("\r\nTo: \r\n"));
}

TEST_F(MainWindowTest, ConfigurationOkReplacesTheListAndCancelLeavesIt)
{
    const struct {
        const char* what;
        bool ok;
        QStringList items;
        QString text;
    } cases[] = {
        { "OK", true, { u"neu@example.org"_s, u"zwei@example.org"_s }, u"neu@example.org"_s },
        { "Abbruch", false, { u"alt@example.org"_s, u"bleibt@example.org"_s }, u"getippt@example.org"_s },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        test::WriteBytes(
            m_desktop.File(u"config/Quor/Paperdart/Recipient.cfg"_s), "alt@example.org\r\nbleibt@example.org\r\n");
        CreateWindows();
        m_main->show();
        // The user picked the second and typed over it; a blank edit disabled the feeder button.
        m_main->ComboBoxEmpfaenger->setCurrentIndex(1);
        m_main->ComboBoxEmpfaenger->lineEdit()->selectAll();
        QTest::keyClicks(m_main->ComboBoxEmpfaenger->lineEdit(), u" "_s);
        ASSERT_FALSE(m_main->BtnImport->isEnabled());
        m_main->ComboBoxEmpfaenger->lineEdit()->setText(u"getippt@example.org"_s);
        ModalScript script({
            [&] {
                ASSERT_EQ(QApplication::activeModalWidget(), m_config.get());
                m_config->mmoEmpfaenger->setPlainText(u"neu@example.org\nzwei@example.org"_s);
            },
            [&] { (c.ok ? m_config->ASButtonOK : m_config->ASBCancel)->click(); },
        });
        m_main->Konfiguration1->trigger();
        EXPECT_TRUE(script.Finished());
        EXPECT_FALSE(script.TimedOut());
        QStringList items;
        for (int i = 0; i < m_main->ComboBoxEmpfaenger->count(); ++i)
            items << m_main->ComboBoxEmpfaenger->itemText(i);
        EXPECT_EQ(items, c.items);
        EXPECT_EQ(m_main->ComboBoxEmpfaenger->currentText(), c.text);
        EXPECT_FALSE(m_main->BtnImport->isEnabled()) << "not looked at again after the dialog";
        DestroyWindows();
    }
}

// The whole road with the real scanner objects over SANE's test backend: ten black pages from
// the feeder, the message read back by Python, the files gone with the windows.
TEST_F(MainWindowTest, FeederScanHandsTheMailWithThePdfOfTheKeptPagesToTheMailProgram)
{
    PrivateSane sane;
    CreateWindows();
    const QString subject = u"  Grüße: Ihr Scan  "_s;
    const QString body = u"Guten Tag,\n\nanbei das Dokument.  \nGruß"_s;
    SetDialog(u"empfang@example.org\nandere@example.org"_s, subject, body);
    m_main->show();
    m_main->ComboBoxEmpfaenger->lineEdit()->setText(u"  Jürgen Müller <jm@example.org> "_s);

    const QDateTime started = QDateTime::currentDateTime();
    {
        ModalPresser presser;
        QTest::mouseClick(m_main->BtnImport, Qt::LeftButton);
        EXPECT_EQ(presser.Count(kBox), 0) << "no message";
        EXPECT_EQ(presser.Count(u"timed out"_s), 0);
    }
    const QDateTime ended = QDateTime::currentDateTime();
    const QString pdf = m_main->PdfPath;
    ASSERT_TRUE(pdf.startsWith(JobFolder())) << pdf.toStdString();
    const QString name = QFileInfo(pdf).fileName();
    EXPECT_TRUE(name == u"Scan_"_s + started.toString(u"yyyyMMdd_HHmm"_s) + u".pdf"_s
        || name == u"Scan_"_s + ended.toString(u"yyyyMMdd_HHmm"_s) + u".pdf"_s)
        << name.toStdString();
    EXPECT_EQ(platform::imaging::test::PageSizes(pdf).size(), 10u);
    const QString eml = pdf + u".eml"_s;
    EXPECT_EQ(m_desktop.Recorded(u"xdg-open"_s), QStringList { eml });

    const QJsonObject message = test::ReadMessageBack(eml);
    EXPECT_TRUE(message[u"defects"_s].toArray().isEmpty());
    EXPECT_EQ(message[u"unsent"_s].toString(), u"1"_s);
    const QJsonArray to = message[u"to"_s].toArray();
    ASSERT_EQ(to.size(), 1);
    EXPECT_EQ(to[0][u"name"_s].toString(), u"Jürgen Müller"_s);
    EXPECT_EQ(to[0][u"address"_s].toString(), u"jm@example.org"_s);
    EXPECT_EQ(message[u"subject"_s].toString(), u"Grüße: Ihr Scan"_s);
    EXPECT_EQ(message[u"body"_s].toString(), u"Guten Tag,\r\n\r\nanbei das Dokument.  \r\nGruß\n"_s)
        << "lines joined with CR LF, nothing trimmed";
    const QJsonArray attachments = message[u"attachments"_s].toArray();
    ASSERT_EQ(attachments.size(), 1);
    EXPECT_EQ(attachments[0][u"filename"_s].toString(), name);
    EXPECT_EQ(QByteArray::fromHex(attachments[0][u"hex"_s].toString().toLatin1()), ReadBytes(pdf));

    // The files stay until the windows go.
    EXPECT_TRUE(QFileInfo::exists(pdf));
    DestroyWindows();
    EXPECT_FALSE(QFileInfo::exists(pdf));
    EXPECT_FALSE(QFileInfo::exists(eml));
    EXPECT_TRUE(QDir(JobFolder()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(MainWindowTest, ScansThatGiveNoPdfEndWithTheirErrorBox)
{
    const struct {
        const char* what;
        QStringList testConf;
        QStringList backends;
        std::vector<ModalPresser::Answer> answers; // before the error box
        QString text;
    } cases[] = {
        { "no scanner, the empty list cancelled", {}, {},
            { { QString::fromLatin1(platform::wia::kSelectDeviceWindow), u"CancelButton"_s } }, kScanFailedText },
        { "white pages only", { u"test-picture \"Solid white\""_s }, { u"test"_s }, {}, kNoPdfText },
    };
    CreateWindows();
    SetDialog(u"empfang@example.org"_s, u"Scan"_s, u"Hallo"_s);
    m_main->show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PrivateSane sane(c.testConf, c.backends);
        std::vector<ModalPresser::Answer> answers = c.answers;
        QString shown;
        answers.push_back({ kBox, u"ASButtonOK"_s, [&shown](QWidget* box) {
                               shown = static_cast<ui::TForm_Messagebox*>(box)->windowTitle() + u"|"_s
                                   + static_cast<ui::TForm_Messagebox*>(box)->Messagetext->text();
                               return true;
                           } });
        ModalPresser presser(answers);
        QTest::mouseClick(m_main->BtnImport, Qt::LeftButton);
        EXPECT_TRUE(presser.AllPressed());
        EXPECT_EQ(presser.Count(u"timed out"_s), 0);
        EXPECT_EQ(shown, u"Fehler|"_s + QString(c.text).replace(u'\r', u'\n'));
        EXPECT_TRUE(LogText().contains(u"messagebox: Fehler "_s + c.text));
        EXPECT_FALSE(m_desktop.WasStarted(u"xdg-open"_s));
        EXPECT_TRUE(QDir(JobFolder()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    }
}

TEST_F(MainWindowTest, TheScanGetsEveryArgumentFromTheWindowAndTheDialog)
{
    const auto calls = FakeScan();
    CreateWindows();
    m_main->show();
    const struct {
        const char* what;
        int threshold;
        QString dpi; // typed into the dialog, saved by its OK
        int quality;
        QPushButton* button;
        double expectedThreshold;
        int expectedDpi;
        bool feeder;
    } cases[] = {
        { "defaults, feeder", 20, u"0"_s, 0, m_main->BtnImport, 0.002, 0, true },
        { "threshold 0, flatbed", 0, u"300"_s, 1, m_main->AdvSmoothButton1, 0.0, 300, false },
        { "highest threshold, nothing selected as quality", 1000, u"600"_s, -1, m_main->BtnImport, 0.1, 600, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_config->DarknessThreshold->setValue(c.threshold);
        m_config->CB_DPI->setCurrentText(c.dpi);
        m_config->ExchangeSettings(true);
        m_config->DBQuality->setCurrentIndex(c.quality);
        calls->clear();
        QTest::mouseClick(c.button, Qt::LeftButton);
        ASSERT_EQ(calls->size(), 1u);
        const ScanCall& call = calls->front();
        EXPECT_EQ(call.window, static_cast<quintptr>(m_main->winId()));
        EXPECT_EQ(call.pdfPath, FakePdfPath(JobFolder()));
        EXPECT_FALSE(call.showScannerDialog);
        EXPECT_TRUE(call.colour);
        EXPECT_EQ(call.threshold, c.expectedThreshold);
        EXPECT_EQ(call.resolution, c.expectedDpi);
        EXPECT_EQ(call.paperSize, 0);
        EXPECT_EQ(call.feeder, c.feeder);
        EXPECT_EQ(call.qualityIndex, c.quality);
    }
}

TEST_F(MainWindowTest, TwoJobsInOneMinuteShareTheNameAndTheFirstsFilesGoFirst)
{
    auto calls = FakeScan("%PDF-1.4\n% erster Auftrag\n%%EOF\n");
    CreateWindows();
    SetDialog(u"empfang@example.org"_s, u"Scan"_s, u"Hallo"_s);
    m_main->show();
    QTest::mouseClick(m_main->BtnImport, Qt::LeftButton);
    const QString pdf = FakePdfPath(JobFolder());
    ASSERT_EQ(m_main->PdfPath, pdf);
    ASSERT_TRUE(QFileInfo::exists(pdf + u".eml"_s));

    bool firstGoneBeforeTheScan = false;
    JobServices services = SetJobServices({});
    services.ScanToPdf = [&](quintptr, const QString& path, bool, bool, double, int, int, bool, int) {
        firstGoneBeforeTheScan = !QFileInfo::exists(pdf) && !QFileInfo::exists(pdf + u".eml"_s);
        WriteBytes(path, "%PDF-1.4\n% zweiter Auftrag\n%%EOF\n");
        return 0;
    };
    SetJobServices(services);
    m_desktop.ForgetRecords();
    QTest::mouseClick(m_main->AdvSmoothButton1, Qt::LeftButton);
    EXPECT_TRUE(firstGoneBeforeTheScan);
    EXPECT_EQ(m_main->PdfPath, pdf);
    EXPECT_EQ(m_desktop.Recorded(u"xdg-open"_s), QStringList { pdf + u".eml"_s });
    EXPECT_TRUE(ReadBytes(pdf + u".eml"_s).contains("JVBERi0xLjQKJSB6d2VpdGVyIEF1ZnRyYWcKJSVFT0YK"))
        << "the second PDF attached";
    EXPECT_EQ(QDir(JobFolder()).entryList(QDir::Files, QDir::Name),
        QStringList({ QFileInfo(pdf).fileName(), QFileInfo(pdf).fileName() + u".eml"_s }));
}

// A previous job's PDF that cannot be deleted is still at the new job's path when the scan
// keeps no page: it must not be mailed as this scan's document.
TEST_F(MainWindowTest, APreviousPdfThatCouldNotBeDeletedIsNeverMailedAgain)
{
    const struct {
        const char* what;
        QByteArray secondScan; // what the second scan writes; empty: nothing
        bool mailed;
    } cases[] = {
        { "the second scan keeps no page", {}, false },
        { "the second scan writes the same bytes anew", "%PDF-1.4\n% erster Auftrag\n%%EOF\n", true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FakeScan("%PDF-1.4\n% erster Auftrag\n%%EOF\n");
        CreateWindows();
        SetDialog(u"empfang@example.org"_s, u"Scan"_s, u"Hallo"_s);
        m_main->show();
        QTest::mouseClick(m_main->BtnImport, Qt::LeftButton);
        const QString pdf = FakePdfPath(JobFolder());
        ASSERT_TRUE(QFileInfo::exists(pdf));

        // The old files stay where they are, as when another program holds them.
        FakeScan(c.secondScan);
        JobServices services = SetJobServices({});
        int removals = 0;
        services.RemoveFile = [&removals](const QString&) {
            ++removals;
            return false;
        };
        SetJobServices(services);
        m_desktop.ForgetRecords();
        QString shown;
        ModalScript script({ [&] {
            if (ui::TForm_Messagebox* box = OpenBox()) {
                shown = box->Messagetext->text();
                box->LMDButtonOKClick();
            }
        } });
        QTest::mouseClick(m_main->BtnImport, Qt::LeftButton);
        EXPECT_EQ(removals, 2) << "the PDF and its message file were to go";
        EXPECT_EQ(m_desktop.WasStarted(u"xdg-open"_s), c.mailed);
        EXPECT_EQ(shown, c.mailed ? QString() : kNoPdfText);
        SetJobServices({});
        DestroyWindows();
        EXPECT_FALSE(QFileInfo::exists(pdf));
    }
}

TEST_F(MainWindowTest, ARefusedHandOffOffersThePdfAndOnlyOkOpensIt)
{
    m_desktop.Program(u"xdg-open"_s, "exit 1");
    const struct {
        const char* what;
        std::function<void(ui::TForm_Messagebox*)> answer;
        bool opened;
    } cases[] = {
        { "OK", [](ui::TForm_Messagebox* box) { box->ASButtonOK->click(); }, true },
        { "Abbruch", [](ui::TForm_Messagebox* box) { box->ASBCancel->click(); }, false },
        { "Escape", [](ui::TForm_Messagebox* box) { QTest::keyClick(box, Qt::Key_Escape); }, false },
        { "closing the box", [](ui::TForm_Messagebox* box) { box->close(); }, false },
    };
    FakeScan();
    CreateWindows();
    SetDialog(u"empfang@example.org"_s, u"Scan"_s, u"Hallo"_s);
    m_main->show();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        m_desktop.ForgetRecords();
        m_pauses.clear();
        QString shown;
        ModalScript script({ [&] {
            ui::TForm_Messagebox* box = OpenBox();
            ASSERT_NE(box, nullptr);
            shown = box->windowTitle() + u"|"_s + box->Messagetext->text();
            c.answer(box);
        } });
        QTest::mouseClick(m_main->AdvSmoothButton1, Qt::LeftButton);
        EXPECT_TRUE(script.Finished());
        EXPECT_EQ(shown, u"Error|Möchten Sie die PDF-Datei öffnen?"_s);
        EXPECT_TRUE(m_desktop.WasStarted(u"xdg-open"_s)) << "the hand-off was tried";
        const QString pdf = FakePdfPath(JobFolder());
        if (c.opened) {
            ASSERT_TRUE(WaitForStart(m_desktop, u"pd-viewer"_s));
            EXPECT_EQ(m_desktop.Recorded(u"pd-viewer"_s), QStringList { pdf });
            EXPECT_EQ(m_pauses, std::vector<int> { 4000 });
        } else {
            EXPECT_FALSE(WaitForStart(m_desktop, u"pd-viewer"_s, 300));
            EXPECT_TRUE(m_pauses.empty());
        }
        EXPECT_TRUE(QFileInfo::exists(pdf)) << "the PDF stays for the user";
    }
}

TEST_F(MainWindowTest, ErrorsAfterTheScanAreLoggedAndOthersEndTheJobQuietly)
{
    m_desktop.Program(u"xdg-open"_s, "exit 1");
    CreateWindows();
    SetDialog(u"empfang@example.org"_s, u"Scan"_s, u"Hallo"_s);
    m_main->show();

    SCOPED_TRACE("the program's error while the PDF is being opened");
    FakeScan();
    JobServices services = SetJobServices({});
    services.Sleep = [](int) { throw platform::Error(u"Pause gestört"_s, 7); };
    SetJobServices(services);
    ModalScript answerOk({ [] { OpenBox()->ASButtonOK->click(); } });
    QTest::mouseClick(m_main->BtnImport, Qt::LeftButton);
    EXPECT_TRUE(answerOk.Finished());
    EXPECT_TRUE(LogText().contains(u"SCAN - Pause gestört - Pause gestört-7"_s)) << LogText().toStdString();

    SCOPED_TRACE("another error in the scan");
    const QString logBefore = LogText();
    services.ScanToPdf = [](quintptr, const QString&, bool, bool, double, int, int, bool, int) -> int {
        throw std::runtime_error("kaputt");
    };
    SetJobServices(services);
    ModalPresser presser;
    QTest::mouseClick(m_main->BtnImport, Qt::LeftButton);
    EXPECT_TRUE(presser.Seen().isEmpty()) << "no message";
    EXPECT_EQ(LogText(), logBefore) << "nothing logged";
    EXPECT_TRUE(m_main->isVisible());
}

TEST_F(MainWindowTest, AJobFolderThatCannotBeMadePrivateTakesNoScan)
{
    // A file where the job folder should be.
    WriteBytes(m_desktop.File(u"tmp/Paperdart"_s), "kein Ordner\n");
    const auto calls = FakeScan();
    CreateWindows();
    m_main->show();
    QString shown;
    ModalScript script({ [&] {
        shown = OpenBox()->Messagetext->text();
        OpenBox()->ASButtonOK->click();
    } });
    QTest::mouseClick(m_main->BtnImport, Qt::LeftButton);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(calls->empty());
    EXPECT_TRUE(shown.startsWith(kNoPdfText + u"\n"_s)) << shown.toStdString();
    EXPECT_TRUE(m_main->PdfPath.isEmpty());
    EXPECT_EQ(ReadBytes(m_desktop.File(u"tmp/Paperdart"_s)), "kein Ordner\n");
}

TEST_F(MainWindowTest, AbbruchClosesTheWindow)
{
    CreateWindows();
    m_main->show();
    QSignalSpy closed(m_main.get(), &TForm_Paperdart::closed);
    QTest::mouseClick(m_main->ASBCancel, Qt::LeftButton);
    EXPECT_FALSE(m_main->isVisible());
    EXPECT_EQ(closed.size(), 1);
}

} // namespace
} // namespace pd::app

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "logging/log.h"
#include "platform/codepage.h"
#include "platform/folders.h"
#include "platform/profile.h"
#include "settings/mailconfigform.h"
#include "tests/support/testsupport.h"
#include "tests/ui/modalscript.h"
#include "ui/messagebox.h"
#include "ui/translator.h"

namespace pd::settings {
namespace {

using namespace Qt::StringLiterals;
using test::ModalScript;

QByteArray Ansi(const QString& text)
{
    return platform::EncodeCodePage(text, 1252);
}

ui::TForm_Messagebox* OpenMessageBox()
{
    return qobject_cast<ui::TForm_Messagebox*>(QApplication::activeModalWidget());
}

// The user's folders, the program folder and its log in a folder of the test's own.
class MailConfigTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_folder.File(u"program/paperdart"_s));
        logging::LogModuleStart();
    }
    void TearDown() override
    {
        ui::TranslatorEndStep();
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    QString SettingsFile(const QString& name) const { return m_folder.File(u"config/Quor/Paperdart/"_s + name); }
    void WriteSettings(const QString& name, const QByteArray& bytes) { test::WriteBytes(SettingsFile(name), bytes); }
    QByteArray ReadSettings(const QString& name) const { return test::ReadBytes(SettingsFile(name)); }
    QStringList SettingsEntries() const
    {
        return QDir(SettingsFile({})).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }
    QString StoredKey(const QString& key) const
    {
        return platform::GetPrivateProfileString(u"SCAN"_s, key, u"<missing>"_s, SettingsFile(u"Paperdart.INI"_s));
    }
    QString LogText() const
    {
        const QDir logs(m_folder.File(u"program/log"_s));
        QString text;
        for (const QString& name : logs.entryList({ u"*.log"_s }, QDir::Files))
            text += platform::DecodeCodePage(test::ReadBytes(logs.filePath(name)), 1252);
        return text;
    }

    // Runs the dialog modally, clicks OK with the mouse, then runs the further steps (inside any
    // box that the OK brought up). Returns the dialog's result.
    static int PressOk(TForm_MAILConfig& dialog, std::vector<std::function<void()>> after = {})
    {
        // The click comes from the event loop, so the script's next step can run inside a box that
        // the click opens.
        std::vector<std::function<void()>> steps { [&] {
            QTimer::singleShot(0, &dialog, [&] { QTest::mouseClick(dialog.ASButtonOK, Qt::LeftButton); });
        } };
        steps.insert(steps.end(), after.begin(), after.end());
        ModalScript script(std::move(steps));
        const int result = dialog.exec();
        EXPECT_TRUE(script.Finished());
        EXPECT_FALSE(script.TimedOut());
        return result;
    }

    test::TempFolder m_folder;
    test::ScopedEnv m_config { "XDG_CONFIG_HOME", m_folder.File(u"config"_s) };
};

TEST_F(MailConfigTest, FirstRunShowsTheDefaultsAndTheFirstOkWritesTheThreeFiles)
{
    TForm_MAILConfig dialog(nullptr);
    EXPECT_EQ(Form_MAILConfig, &dialog);
    EXPECT_EQ(dialog.SettingsFolder, SettingsFile({}));
    EXPECT_EQ(dialog.DarknessThreshold->value(), 20);
    EXPECT_EQ(dialog.CB_DPI->currentText(), u"0"_s);
    EXPECT_EQ(dialog.DPIValue, 0);
    EXPECT_EQ(dialog.edtSubject->text(), u"Paperdart: PDF-Dokument"_s);
    EXPECT_EQ(dialog.DBQuality->currentIndex(), 0);
    EXPECT_EQ(dialog.DBQuality->currentText(), u"gute"_s);
    EXPECT_EQ(dialog.RecipientLines(), QStringList { u"scan@example.org"_s });
    EXPECT_EQ(dialog.BodyText(),
        u"Hallo,\r\nanbei das gewünschte Dokument.\r\n\r\nMFG\r\nPaperdart by https://www.example.org/"_s);
    // The folder is there, but nothing is written before OK.
    EXPECT_TRUE(QFileInfo(SettingsFile({})).isDir());
    EXPECT_EQ(SettingsEntries(), QStringList());

    EXPECT_EQ(PressOk(dialog), 1);
    EXPECT_EQ(ReadSettings(u"Paperdart.INI"_s),
        "[SCAN]\r\nthreshold=20\r\nDPI=0\r\nSubject=Paperdart: PDF-Dokument\r\nQuality=0\r\n");
    EXPECT_EQ(ReadSettings(u"Recipient.cfg"_s), "scan@example.org");
    EXPECT_EQ(ReadSettings(u"Body.cfg"_s),
        Ansi(u"Hallo,\r\nanbei das gewünschte Dokument.\r\n\r\nMFG\r\nPaperdart by https://www.example.org/"_s));
    EXPECT_EQ(SettingsEntries(), QStringList({ u"Body.cfg"_s, u"Paperdart.INI"_s, u"Recipient.cfg"_s }));
}

TEST_F(MailConfigTest, StoredValuesAreShownAndStoredAgain)
{
    struct Case {
        const char* name;
        QByteArray ini;
        int threshold;
        QString dpiText;
        QString subject;
        int quality;
        QStringList stored; // threshold, DPI, Subject, Quality after OK
    };
    const Case cases[] = {
        { "quality 5", "[SCAN]\r\nQuality=5\r\n", 20, u"0"_s, u"Paperdart: PDF-Dokument"_s, -1,
            { u"20"_s, u"0"_s, u"Paperdart: PDF-Dokument"_s, u"-1"_s } },
        { "threshold 5000", "[SCAN]\r\nthreshold=5000\r\n", 1000, u"0"_s, u"Paperdart: PDF-Dokument"_s, 0,
            { u"1000"_s, u"0"_s, u"Paperdart: PDF-Dokument"_s, u"0"_s } },
        { "threshold below 0", "[SCAN]\r\nthreshold=-5\r\n", 0, u"0"_s, u"Paperdart: PDF-Dokument"_s, 0,
            { u"0"_s, u"0"_s, u"Paperdart: PDF-Dokument"_s, u"0"_s } },
        { "subject with blanks at both ends", "[SCAN]\r\nSubject=\"  \tRechnung Mai \t \"\r\n", 20, u"0"_s,
            u"Rechnung Mai"_s, 0, { u"20"_s, u"0"_s, u"Rechnung Mai"_s, u"0"_s } },
        { "hexadecimal values", "[SCAN]\r\nthreshold=0x1E\r\nDPI=$12C\r\nQuality=0X1\r\n", 30, u"300"_s,
            u"Paperdart: PDF-Dokument"_s, 1, { u"30"_s, u"300"_s, u"Paperdart: PDF-Dokument"_s, u"1"_s } },
        { "no numbers", "[SCAN]\r\nthreshold=viel\r\nDPI=hoch\r\nQuality=gut\r\n", 20, u"0"_s,
            u"Paperdart: PDF-Dokument"_s, 0, { u"20"_s, u"0"_s, u"Paperdart: PDF-Dokument"_s, u"0"_s } },
        { "names in other letter case", "[scan]\r\nTHRESHOLD=40\r\ndpi=600\r\nsubject=Scan\r\n", 40, u"600"_s,
            u"Scan"_s, 0, { u"40"_s, u"600"_s, u"Scan"_s, u"0"_s } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(u"Paperdart.INI"_s, c.ini);
        TForm_MAILConfig dialog(nullptr);
        EXPECT_EQ(dialog.DarknessThreshold->value(), c.threshold);
        EXPECT_EQ(dialog.CB_DPI->currentText(), c.dpiText);
        EXPECT_EQ(dialog.DPIValue, c.dpiText.toInt());
        EXPECT_EQ(dialog.edtSubject->text(), c.subject);
        EXPECT_EQ(dialog.DBQuality->currentIndex(), c.quality);
        dialog.LMDButtonOKClick();
        EXPECT_EQ(QStringList({ StoredKey(u"threshold"_s), StoredKey(u"DPI"_s), StoredKey(u"Subject"_s),
                      StoredKey(u"Quality"_s) }),
            c.stored);
    }
}

TEST_F(MailConfigTest, EditedControlsAreStoredByTheirRules)
{
    struct Case {
        const char* name;
        std::function<void(TForm_MAILConfig&)> edit;
        QString key;
        QString stored;
        std::function<void(TForm_MAILConfig&)> check; // the controls after OK
    };
    const Case cases[] = {
        { "resolution that is no number", [](TForm_MAILConfig& d) { d.CB_DPI->setCurrentText(u"hoch"_s); },
            u"DPI"_s, u"150"_s,
            [](TForm_MAILConfig& d) {
                EXPECT_EQ(d.CB_DPI->currentText(), u"150"_s);
                EXPECT_EQ(d.DPIValue, 150);
            } },
        { "resolution with blanks", [](TForm_MAILConfig& d) { d.CB_DPI->setCurrentText(u" 600 "_s); }, u"DPI"_s,
            u"600"_s,
            [](TForm_MAILConfig& d) {
                EXPECT_EQ(d.CB_DPI->currentText(), u"600"_s);
                EXPECT_EQ(d.DPIValue, 600);
            } },
        { "resolution in hexadecimal", [](TForm_MAILConfig& d) { d.CB_DPI->setCurrentText(u"0x12C"_s); },
            u"DPI"_s, u"300"_s, [](TForm_MAILConfig& d) { EXPECT_EQ(d.CB_DPI->currentText(), u"300"_s); } },
        { "subject with blanks", [](TForm_MAILConfig& d) { d.edtSubject->setText(u"  Scan vom Empfang \t"_s); },
            u"Subject"_s, u"Scan vom Empfang"_s,
            [](TForm_MAILConfig& d) { EXPECT_EQ(d.edtSubject->text(), u"  Scan vom Empfang \t"_s); } },
        { "threshold box emptied",
            [](TForm_MAILConfig& d) { d.DarknessThreshold->findChild<QLineEdit*>()->clear(); }, u"threshold"_s,
            u"0"_s, [](TForm_MAILConfig& d) { EXPECT_EQ(d.DarknessThreshold->value(), 0); } },
        { "nothing selected as quality", [](TForm_MAILConfig& d) { d.DBQuality->setCurrentIndex(-1); },
            u"Quality"_s, u"-1"_s, [](TForm_MAILConfig& d) { EXPECT_EQ(d.DBQuality->currentIndex(), -1); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TForm_MAILConfig dialog(nullptr);
        c.edit(dialog);
        dialog.LMDButtonOKClick();
        EXPECT_EQ(StoredKey(c.key), c.stored);
        c.check(dialog);
    }
}

TEST_F(MailConfigTest, RecipientListIsDecodedByItsMarkAndWrittenBackInTheCodePage)
{
    struct Case {
        const char* name;
        QByteArray file;
        QStringList lines;
        QByteArray written;
    };
    const QString jürgen = u"jürgen@example.org"_s;
    const Case cases[] = {
        { "UTF-8 with mark", "\xEF\xBB\xBFj\xC3\xBCrgen@example.org\r\nb@example.org", { jürgen, u"b@example.org"_s },
            "j\xFCrgen@example.org\r\nb@example.org" },
        { "UTF-16 LE with mark", QByteArray("\xFF\xFEj\0\xFC\0@\0x\0\n\0b\0", 14), { u"jü@x"_s, u"b"_s },
            "j\xFC@x\r\nb" },
        { "UTF-16 BE with mark", QByteArray("\xFE\xFF\0j\0\xFC\0@\0x\0\r\0b", 14), { u"jü@x"_s, u"b"_s },
            "j\xFC@x\r\nb" },
        // Without a mark the file is code-page text: the UTF-8 bytes come back unchanged.
        { "UTF-8 without mark", "j\xC3\xBCrgen@example.org", { u"jÃ¼rgen@example.org"_s },
            "j\xC3\xBCrgen@example.org" },
        { "code page", "j\xFCrgen@example.org", { jürgen }, "j\xFCrgen@example.org" },
        { "empty first line", "\r\na@example.org\r\nb@example.org", { QString(), u"a@example.org"_s, u"b@example.org"_s },
            "\r\na@example.org\r\nb@example.org" },
        { "empty file", QByteArray(), {}, QByteArray() },
        { "LF line ends and a final one", "a@example.org\nb@example.org\n", { u"a@example.org"_s, u"b@example.org"_s },
            "a@example.org\r\nb@example.org\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(u"Recipient.cfg"_s, c.file);
        TForm_MAILConfig dialog(nullptr);
        EXPECT_EQ(dialog.RecipientLines(), c.lines);
        dialog.LMDButtonOKClick();
        EXPECT_EQ(ReadSettings(u"Recipient.cfg"_s), c.written);
        // And the next run reads what was written.
        TForm_MAILConfig nextRun(nullptr);
        EXPECT_EQ(nextRun.RecipientLines(), c.lines);
    }
}

TEST_F(MailConfigTest, IniThatCannotBeWrittenIsReportedAndTheBodyIsNotWritten)
{
    // A folder in the file's place: root may write anywhere, but not there.
    ASSERT_TRUE(QDir().mkpath(SettingsFile(u"Paperdart.INI"_s)));
    WriteSettings(u"Body.cfg"_s, "alter Text");
    TForm_MAILConfig dialog(nullptr);
    EXPECT_EQ(dialog.edtSubject->text(), u"Paperdart: PDF-Dokument"_s);
    dialog.mmoEmpfaenger->setPlainText(u"neu@example.org"_s);
    dialog.mmoBody->setPlainText(u"neuer Text"_s);

    QString caption;
    QString text;
    EXPECT_EQ(PressOk(dialog,
                  { [&] {
                       caption = OpenMessageBox()->windowTitle();
                       text = OpenMessageBox()->Messagetext->text();
                       QTest::keyClick(OpenMessageBox(), Qt::Key_Return);
                   } }),
        1);
    const QString message = u"In "_s + SettingsFile(u"Paperdart.INI"_s) + u" kann nicht geschrieben werden"_s;
    EXPECT_EQ(caption, u"Fehler"_s);
    EXPECT_EQ(text, message);
    EXPECT_TRUE(LogText().contains(u"messagebox: Fehler "_s + message)) << LogText().toStdString();
    EXPECT_EQ(ReadSettings(u"Recipient.cfg"_s), "neu@example.org");
    EXPECT_EQ(ReadSettings(u"Body.cfg"_s), "alter Text");

    // The program goes on: with the folder gone, the next OK writes all three files.
    ASSERT_TRUE(QDir(SettingsFile(u"Paperdart.INI"_s)).removeRecursively());
    EXPECT_EQ(PressOk(dialog), 1);
    EXPECT_EQ(StoredKey(u"Subject"_s), u"Paperdart: PDF-Dokument"_s);
    EXPECT_EQ(ReadSettings(u"Body.cfg"_s), "neuer Text");
}

TEST_F(MailConfigTest, CancelKeepsTheEditsInTheDialogAndWritesNothing)
{
    WriteSettings(u"Paperdart.INI"_s, "[SCAN]\r\nDPI=300\r\nSubject=Alt\r\n");
    auto dialog = std::make_unique<TForm_MAILConfig>(nullptr);
    ModalScript script({
        [&] {
            dialog->edtSubject->setText(u"Neu"_s);
            dialog->CB_DPI->setCurrentText(u"600"_s);
            dialog->mmoEmpfaenger->appendPlainText(u"zwei@example.org"_s);
        },
        [&] { QTest::keyClick(dialog.get(), Qt::Key_Escape); },
    });
    EXPECT_EQ(dialog->exec(), 2);
    EXPECT_EQ(dialog->edtSubject->text(), u"Neu"_s);
    EXPECT_EQ(dialog->CB_DPI->currentText(), u"600"_s);
    EXPECT_EQ(dialog->DPIValue, 300);
    EXPECT_EQ(ReadSettings(u"Paperdart.INI"_s), "[SCAN]\r\nDPI=300\r\nSubject=Alt\r\n");
    EXPECT_EQ(SettingsEntries(), QStringList { u"Paperdart.INI"_s });

    // Opened again, the edits are still there; OK without further changes saves them.
    QString shownSubject;
    EXPECT_EQ(PressOk(*dialog), 1);
    EXPECT_EQ(dialog->DPIValue, 600);
    EXPECT_EQ(StoredKey(u"Subject"_s), u"Neu"_s);
    EXPECT_EQ(ReadSettings(u"Recipient.cfg"_s), "scan@example.org\r\nzwei@example.org");

    // A restart reads what was saved, not what was typed after.
    dialog->edtSubject->setText(u"Nicht gespeichert"_s);
    dialog.reset();
    TForm_MAILConfig restarted(nullptr);
    EXPECT_EQ(restarted.edtSubject->text(), u"Neu"_s);
    EXPECT_EQ(restarted.DPIValue, 600);
}

// Lowers the file size limit of this process for its lifetime; a write beyond it fails instead
// of raising the signal.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &m_old);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_old {};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(MailConfigTest, SaveBeyondTheFileSizeLimitLeavesTheOldFilesWhole)
{
    const QByteArray ini = "[SCAN]\r\nthreshold=25\r\nDPI=300\r\nSubject=Alt\r\nQuality=1\r\n";
    WriteSettings(u"Paperdart.INI"_s, ini);
    WriteSettings(u"Recipient.cfg"_s, "alt@example.org");
    WriteSettings(u"Body.cfg"_s, "alter Text");
    TForm_MAILConfig dialog(nullptr);
    dialog.mmoEmpfaenger->setPlainText(QString(3000, u'r'));
    dialog.edtSubject->setText(QString(2000, u's'));
    dialog.mmoBody->setPlainText(QString(3000, u'b'));

    QString text;
    {
        const FileSizeLimit limit(1000);
        EXPECT_EQ(PressOk(dialog,
                      { [&] {
                          text = OpenMessageBox()->Messagetext->text();
                          QTest::keyClick(OpenMessageBox(), Qt::Key_Return);
                      } }),
            1);
    }
    EXPECT_TRUE(text.startsWith(u"In "_s)) << text.toStdString();
    EXPECT_EQ(ReadSettings(u"Paperdart.INI"_s), ini);
    EXPECT_EQ(ReadSettings(u"Recipient.cfg"_s), "alt@example.org");
    EXPECT_EQ(ReadSettings(u"Body.cfg"_s), "alter Text");
    // No temporary file is left behind.
    EXPECT_EQ(SettingsEntries(), QStringList({ u"Body.cfg"_s, u"Paperdart.INI"_s, u"Recipient.cfg"_s }));
}

} // namespace
} // namespace pd::settings

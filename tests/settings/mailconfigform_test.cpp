#include <csignal>
#include <gtest/gtest.h>
#include <set>
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

#include "platform/codepage.h"
#include "platform/profile.h"
#include "settings/mailconfigform.h"
#include "settings/settingsfiles.h"
#include "tests/support/testsupport.h"
#include "tests/ui/modalscript.h"
#include "tests/ui/programfoldertest.h"
#include "ui/messagebox.h"

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
class MailConfigTest : public test::ProgramFolderTest {
protected:
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
        { "resolution that is no number", [](TForm_MAILConfig& d) { d.CB_DPI->setCurrentText(u"hoch"_s); }, u"DPI"_s,
            u"150"_s,
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
        { "resolution in hexadecimal", [](TForm_MAILConfig& d) { d.CB_DPI->setCurrentText(u"0x12C"_s); }, u"DPI"_s,
            u"300"_s, [](TForm_MAILConfig& d) { EXPECT_EQ(d.CB_DPI->currentText(), u"300"_s); } },
        { "subject with blanks", [](TForm_MAILConfig& d) { d.edtSubject->setText(u"  Scan vom Empfang \t"_s); },
            u"Subject"_s, u"Scan vom Empfang"_s,
            [](TForm_MAILConfig& d) { EXPECT_EQ(d.edtSubject->text(), u"  Scan vom Empfang \t"_s); } },
        { "threshold box emptied", [](TForm_MAILConfig& d) { d.DarknessThreshold->findChild<QLineEdit*>()->clear(); },
            u"threshold"_s, u"0"_s, [](TForm_MAILConfig& d) { EXPECT_EQ(d.DarknessThreshold->value(), 0); } },
        { "nothing selected as quality", [](TForm_MAILConfig& d) { d.DBQuality->setCurrentIndex(-1); }, u"Quality"_s,
            u"-1"_s, [](TForm_MAILConfig& d) { EXPECT_EQ(d.DBQuality->currentIndex(), -1); } },
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
        { "empty first line", "\r\na@example.org\r\nb@example.org",
            { QString(), u"a@example.org"_s, u"b@example.org"_s }, "\r\na@example.org\r\nb@example.org" },
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
    EXPECT_EQ(PressOk(dialog, { [&] {
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
    QString shownDpi;
    ModalScript again({
        [&] {
            shownSubject = dialog->edtSubject->text();
            shownDpi = dialog->CB_DPI->currentText();
        },
        [&] { QTest::mouseClick(dialog->ASButtonOK, Qt::LeftButton); },
    });
    EXPECT_EQ(dialog->exec(), 1);
    EXPECT_EQ(shownSubject, u"Neu"_s);
    EXPECT_EQ(shownDpi, u"600"_s);
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

TEST_F(MailConfigTest, BadFilesLoadWhatCanBeDecodedAndTheNextOkWritesGoodFiles)
{
    QByteArray binary;
    for (int i = 0; i < 4096; ++i)
        binary.append(static_cast<char>((i * 37) % 256));
    const auto huge = [this](const QString& name) {
        QFile file(SettingsFile(name));
        ASSERT_TRUE(QDir().mkpath(SettingsFile({})));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(50 * 1024 * 1024));
    };
    struct Case {
        const char* name;
        std::function<void()> make;
        QStringList recipients; // shown after loading
        QString subject;
        QByteArray recipientWritten; // Recipient.cfg after OK
        QString subjectStored; // "Subject" read back after OK
    };
    const QString defaultSubject = u"Paperdart: PDF-Dokument"_s;
    const Case cases[] = {
        { "binary bytes",
            [&] {
                WriteSettings(u"Paperdart.INI"_s, binary);
                WriteSettings(u"Recipient.cfg"_s, QByteArray("a@example.org\r\n\x81\x00\x9D\x7F", 19));
                WriteSettings(u"Body.cfg"_s, binary);
            },
            { u"a@example.org"_s, u"\u0081\u0000\u009D\u007F"_s }, defaultSubject,
            QByteArray("a@example.org\r\n\x81\x00\x9D\x7F", 19), defaultSubject },
        { "byte-order mark and invalid data",
            [&] {
                WriteSettings(u"Paperdart.INI"_s, "\xEF\xBB\xBF[SCAN]\r\nSubject=Gr\xFC\xDF\r\n");
                WriteSettings(u"Recipient.cfg"_s, "\xEF\xBB\xBF\xC3(@example.org\xFF");
                WriteSettings(u"Body.cfg"_s, QByteArray("\xFF\xFEH\0i\0!", 7));
            },
            // The INI file keeps its own encoding, so the replacement characters stay.
            { u"\uFFFD(@example.org\uFFFD"_s }, u"Gr\uFFFD\uFFFD"_s, "?(@example.org?", u"Gr\uFFFD\uFFFD"_s },
        { "INI value of 5000 characters",
            [&] { WriteSettings(u"Paperdart.INI"_s, "[SCAN]\r\nSubject=" + QByteArray(5000, 'x') + "\r\n"); },
            { u"scan@example.org"_s }, QString(2047, u'x'), "scan@example.org", QString(2047, u'x') },
        { "folders in place of the text files",
            [&] {
                QDir().mkpath(SettingsFile(u"Recipient.cfg"_s));
                QDir().mkpath(SettingsFile(u"Body.cfg"_s));
            },
            { u"scan@example.org"_s }, defaultSubject, QByteArray(), defaultSubject },
        // Shown whole and without a long wait, though no blank offers a place to wrap it.
        { "body of one line as long as a settings file may be",
            [&] { WriteSettings(u"Body.cfg"_s, QByteArray(kMaxSettingsFileSize, 'x')); }, { u"scan@example.org"_s },
            defaultSubject, "scan@example.org", defaultSubject },
        { "files of 50 MB",
            [&] {
                huge(u"Paperdart.INI"_s);
                huge(u"Recipient.cfg"_s);
                huge(u"Body.cfg"_s);
            },
            { u"scan@example.org"_s }, defaultSubject, "scan@example.org", defaultSubject },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QDir(SettingsFile({})).removeRecursively();
        c.make();
        TForm_MAILConfig dialog(nullptr);
        dialog.show();
        QApplication::processEvents();
        EXPECT_EQ(dialog.RecipientLines(), c.recipients);
        EXPECT_EQ(dialog.edtSubject->text(), c.subject);
        dialog.hide();
        dialog.LMDButtonOKClick();
        EXPECT_EQ(ReadSettings(u"Recipient.cfg"_s), c.recipientWritten);
        EXPECT_EQ(StoredKey(u"Subject"_s), c.subjectStored);
        EXPECT_EQ(StoredKey(u"threshold"_s), u"20"_s);
        // The body comes back as it was shown, in so far as the code page holds its characters.
        TForm_MAILConfig nextRun(nullptr);
        EXPECT_EQ(nextRun.BodyText(), platform::DecodeCodePage(Ansi(dialog.BodyText()), 1252));
    }
}

TEST_F(MailConfigTest, LayoutOfTheWindow)
{
    TForm_MAILConfig dialog(nullptr);
    EXPECT_EQ(dialog.windowTitle(), u"Konfiguration Postwing"_s);
    EXPECT_EQ(dialog.GroupBoxEmpfaenger->title(), u"Empfänger &Adressen"_s);
    EXPECT_EQ(dialog.GroupBoxSubject->title(), u"&Subject"_s);
    EXPECT_EQ(dialog.GroupBoxBody->title(), u"Mail&body"_s);
    EXPECT_EQ(dialog.GroupBoxThreshold->title(), u"&Schwellwert für leere Seiten (default 20)"_s);
    EXPECT_EQ(dialog.GroupBoxDPI->title(), u"Auflösung (dpi)"_s);
    EXPECT_EQ(dialog.GroupBoxQuality->title(), u"Qualität"_s);
    EXPECT_EQ(dialog.mmoEmpfaenger->toolTip(),
        u"Der 1. Eintrag wird als vorausgewählter Eintrag verwendet. \nSoll keiner ausgewählt sein, ist die 1. Zeile leer."_s);
    EXPECT_EQ(dialog.DarknessThreshold->minimum(), 0);
    EXPECT_EQ(dialog.DarknessThreshold->maximum(), 1000);
    EXPECT_TRUE(dialog.CB_DPI->isEditable());
    EXPECT_FALSE(dialog.DBQuality->isEditable());
    QStringList dpiItems;
    for (int i = 0; i < dialog.CB_DPI->count(); ++i)
        dpiItems << dialog.CB_DPI->itemText(i);
    EXPECT_EQ(dpiItems, QStringList({ u"75"_s, u"150"_s, u"300"_s, u"600"_s }));
    EXPECT_EQ(dialog.DBQuality->count(), 2);
    EXPECT_EQ(dialog.DBQuality->itemText(1), u"normal"_s);

    dialog.show();
    EXPECT_EQ(dialog.size(), QSize(505, 415));
    // Fixed while shown: the user cannot drag it to another size.
    EXPECT_EQ(dialog.minimumSize(), dialog.size());
    EXPECT_EQ(dialog.maximumSize(), dialog.size());
    const QRect client = dialog.ClientArea->geometry();
    const auto inClient = [&](const QWidget* w) { return QRect(w->mapTo(&dialog, QPoint(0, 0)), w->size()); };
    EXPECT_EQ(inClient(dialog.GroupBoxEmpfaenger), QRect(10, 10, 485, 119));
    EXPECT_EQ(inClient(dialog.GroupBoxSubject), QRect(10, 129, 485, 49));
    EXPECT_EQ(inClient(dialog.GroupBoxBody), QRect(10, 178, 485, 123));
    EXPECT_EQ(inClient(dialog.PanelScan), QRect(10, 301, 485, 48));
    EXPECT_EQ(client.bottom(), inClient(dialog.PanelScan).bottom());
    EXPECT_EQ(dialog.PanelScan->palette().color(QPalette::Window), ui::clSkyBlue());
    EXPECT_TRUE(dialog.PanelScan->autoFillBackground());
    EXPECT_GE(dialog.GroupBoxThreshold->width(), 217);
    EXPECT_GE(dialog.GroupBoxDPI->width(), 98);
    // Nothing cut at the font in use: every group is as large as its caption and control need.
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
        SCOPED_TRACE(group->title().toStdString());
        EXPECT_GE(group->width(), group->minimumSizeHint().width());
        EXPECT_GE(group->height(), group->minimumSizeHint().height());
        for (QWidget* control : group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
            EXPECT_TRUE(group->contentsRect().contains(control->geometry()));
            EXPECT_GE(control->height(), control->minimumSizeHint().height());
        }
    }
    if (const QString folder = qEnvironmentVariable("PD_SCREENSHOT_DIR"); !folder.isEmpty())
        dialog.grab().save(folder + u"/Konfiguration.png"_s);
    dialog.hide();
}

TEST_F(MailConfigTest, TabOrderAndAccessKeys)
{
    TForm_MAILConfig dialog(nullptr);
    dialog.show();
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    const std::vector<QWidget*> order { dialog.mmoEmpfaenger, dialog.edtSubject, dialog.mmoBody,
        dialog.DarknessThreshold, dialog.CB_DPI, dialog.DBQuality, dialog.ASButtonOK, dialog.ASBCancel };
    dialog.mmoEmpfaenger->setFocus();
    for (std::size_t i = 1; i < order.size(); ++i) {
        SCOPED_TRACE(i);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_TRUE(order[i]->hasFocus());
    }
    // An access key that several captions share moves the focus from one to the next and presses
    // nothing: "&Subject" and "&Schwellwert", "Empfänger &Adressen" and "&Abbruch".
    struct Case {
        Qt::Key key;
        std::set<QWidget*> reached;
    };
    const Case cases[] = {
        { Qt::Key_B, { dialog.mmoBody } },
        { Qt::Key_S, { dialog.edtSubject, dialog.DarknessThreshold } },
        { Qt::Key_A, { dialog.mmoEmpfaenger, dialog.ASBCancel } },
    };
    dialog.DBQuality->setFocus();
    for (const Case& c : cases) {
        SCOPED_TRACE(QKeySequence(c.key).toString().toStdString());
        std::set<QWidget*> reached;
        for (std::size_t i = 0; i < c.reached.size(); ++i) {
            QTest::keyClick(QApplication::focusWidget(), c.key, Qt::AltModifier);
            for (QWidget* w : c.reached)
                if (w->hasFocus())
                    reached.insert(w);
        }
        EXPECT_EQ(reached, c.reached);
        EXPECT_TRUE(dialog.isVisible());
    }
    dialog.hide();
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
        EXPECT_EQ(PressOk(dialog, { [&] {
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

#pragma once

#include <functional>

#include <QDateTime>
#include <QString>

#include "ui/quorform.h"

namespace pd::mail {
struct MailProgram;
}

class QAction;
class QComboBox;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QPushButton;

namespace pd::app {

// What the scan-and-send job calls outside this window. An empty member is the real thing: the
// local clock, ScanToPdf of the scan dispatcher, deleting a file, and blocking the thread.
// Tests put their own in place where the real one cannot show a case.
struct JobServices {
    std::function<QDateTime()> Now;
    std::function<int(quintptr window, const QString& pdfPath, bool showScannerDialog, bool colour, double threshold,
        int resolution, int paperSize, bool feeder, int qualityIndex)>
        ScanToPdf;
    // True when the file is gone.
    std::function<bool(const QString& path)> RemoveFile;
    std::function<void(int milliseconds)> Sleep;
};

// Replaces the job's services; returns the ones in place before, so a test can put them back.
JobServices SetJobServices(JobServices services);

// The main window: the program's only working surface. The user picks or types a recipient and
// presses one of the two scan buttons; the job runs from the press to its end on this thread.
// Closing the window ends the run.
class TForm_Paperdart : public ui::TQUORFORM {
    Q_OBJECT
public:
    explicit TForm_Paperdart(QWidget* parent = nullptr);
    ~TForm_Paperdart() override;

    QMenuBar* mm1;
    QMenu* Datei1;
    QAction* Scannerauswhlen1;
    QAction* Konfiguration1;
    QMenu* Hilfe1;
    QAction* Dokumentation1;
    QLabel* lbl1;
    QComboBox* ComboBoxEmpfaenger;
    QLabel* lbl2;
    QFrame* pnl_finishButton;
    QPushButton* BtnImport;
    QPushButton* AdvSmoothButton1;
    QPushButton* ASBCancel;

    // Full path of the current job's PDF; empty before the first job and after DeleteJobFiles.
    // The job's message file is PdfPath + ".eml".
    QString PdfPath;

    // First show: the recipient list of the configuration dialog, item 0 selected.
    void FormShow(QObject* Sender) override;
    // The user edited or picked a recipient: the feeder button only works with one.
    void ComboBoxEmpfaengerChange(QObject* Sender);
    void BtnImportClick(QObject* Sender);
    void AdvSmoothButton1Click(QObject* Sender);
    void ASBCancelClick(QObject* Sender);
    // The configuration dialog, modally; OK puts its recipient list into the box.
    void Konfiguration1Click(QObject* Sender);
    void Scannerauswhlen1Click(QObject* Sender);
    void FormDestroy(QObject* Sender);

    // Scans the document into a fresh PDF in the job folder and hands a mail draft with it
    // attached to the mail program; every failure is told to the user or logged, none escapes.
    void ScanAndSend(bool feeder);
    // Deletes the current job's PDF and message file; failures are ignored.
    void DeleteJobFiles();

signals:
    // The window has been closed (the close was not refused).
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateMenu();
    void CreateButtonPanel();
    void CreateControls();
    QPushButton* PanelButton(const QString& name, const QString& caption, int width);
    void FillRecipients();
    // Step after a successful scan: mail the PDF, if this scan wrote one, to the program the job
    // made its folder for.
    struct FileIdentity;
    void SendScannedPdf(const mail::MailProgram& program, const FileIdentity& before);
};

// The process-wide reference to the main window while it exists.
extern TForm_Paperdart* Form_Paperdart;

} // namespace pd::app

#include "app/paperdartform.h"

#include <algorithm>
#include <sys/stat.h>

#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "logging/log.h"
#include "mail/execfile.h"
#include "mail/mailmessage.h"
#include "mail/mailprogram.h"
#include "platform/error.h"
#include "platform/imaging/twain.h"
#include "platform/text.h"
#include "scan/scandispatcher.h"
#include "settings/mailconfigform.h"
#include "ui/application.h"
#include "ui/messagebox.h"

namespace pd::app {

TForm_Paperdart* Form_Paperdart = nullptr;

namespace {

using namespace Qt::StringLiterals;

const QString kScanFailedText = u"Bitte überprüfen Sie Ihren Scanner und Ihre Einstellungen.\r\r"
                                u"- Dokument richtig eingelegt?\r"
                                u"- Schwellwert für leere Seiten richtig eingestellt? (default 20)"_s;
const QString kNoPdfText = u"Es wurde keine PDF-Datei erzeugt."_s;
const QString kNoJobFolderText = u"Es wurde keine PDF-Datei erzeugt.\r\r"
                                 u"Der private Ordner für die PDF-Datei und die E-Mail lässt sich nicht anlegen."_s;
// The window stays still this long after the PDF has been handed to its program, while that
// program comes up.
constexpr int kPauseAfterOpeningMs = 4000;

JobServices& Installed()
{
    static JobServices services;
    return services;
}

QDateTime Now()
{
    return Installed().Now ? Installed().Now() : QDateTime::currentDateTime();
}

bool RemoveFile(const QString& path)
{
    return Installed().RemoveFile ? Installed().RemoveFile(path) : QFile::remove(path);
}

void Sleep(int milliseconds)
{
    if (Installed().Sleep)
        Installed().Sleep(milliseconds);
    else
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

int ScanToPdf(quintptr window, const QString& pdfPath, bool showScannerDialog, bool colour, double threshold,
    int resolution, int paperSize, bool feeder, int qualityIndex)
{
    const auto& scan = Installed().ScanToPdf ? Installed().ScanToPdf : scan::ScanToPdf;
    return scan(window, pdfPath, showScannerDialog, colour, threshold, resolution, paperSize, feeder, qualityIndex);
}

bool IsFile(const QString& path)
{
    return QFileInfo(path).isFile();
}

} // namespace

JobServices SetJobServices(JobServices services)
{
    std::swap(Installed(), services);
    return services;
}

// What tells one file at a path from another: a file that the scan left in place (because it
// could not be deleted) keeps all of these, a file written anew does not.
struct TForm_Paperdart::FileIdentity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified {};
    timespec changed {};

    static FileIdentity Of(const QString& path)
    {
        FileIdentity identity;
        struct stat status { };
        if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISREG(status.st_mode))
            return identity;
        identity.exists = true;
        identity.device = status.st_dev;
        identity.inode = status.st_ino;
        identity.size = status.st_size;
        identity.modified = status.st_mtim;
        identity.changed = status.st_ctim;
        return identity;
    }

    bool SameFileAs(const FileIdentity& other) const
    {
        const auto same
            = [](const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; };
        return exists == other.exists && device == other.device && inode == other.inode && size == other.size
            && same(modified, other.modified) && same(changed, other.changed);
    }
};

TForm_Paperdart::TForm_Paperdart(QWidget* parent)
    : TQUORFORM(parent)
{
    setObjectName(u"Form_Paperdart"_s);
    setWindowTitle(u"Paperdart"_s);
    QFont font = this->font();
    font.setPixelSize(13);
    setFont(font);
    CreateMenu();
    CreateControls();
    // The client area below the menu is 461 x 179. The minimum of 469 x 175 is that of the whole
    // window; the window system's frame of 4 pixels a side lies outside this widget.
    resize(461, 179 + mm1->sizeHint().height());
    setMinimumSize(469 - 8, 175 - 8);
    Form_Paperdart = this;
    FinishCreation();
}

TForm_Paperdart::~TForm_Paperdart()
{
    FormDestroy(this);
    if (Form_Paperdart == this)
        Form_Paperdart = nullptr;
}

void TForm_Paperdart::CreateMenu()
{
    mm1 = new QMenuBar(this);
    mm1->setObjectName(u"mm1"_s);
    Datei1 = mm1->addMenu(u"Datei"_s);
    Datei1->setObjectName(u"Datei1"_s);
    Scannerauswhlen1 = Datei1->addAction(u"Scanner wählen ..."_s);
    Scannerauswhlen1->setObjectName(u"Scannerauswhlen1"_s);
    Datei1->addSeparator();
    Konfiguration1 = Datei1->addAction(u"Konfiguration"_s);
    Konfiguration1->setObjectName(u"Konfiguration1"_s);
    Hilfe1 = mm1->addMenu(u"Hilfe"_s);
    Hilfe1->setObjectName(u"Hilfe1"_s);
    Hilfe1->menuAction()->setVisible(false);
    Dokumentation1 = Hilfe1->addAction(u"Dokumentation"_s);
    Dokumentation1->setObjectName(u"Dokumentation1"_s);
    Dokumentation1->setShortcut(QKeySequence(Qt::Key_F1));
    // A shortcut works only through a visible widget that holds its action; the help menu is
    // hidden, so the window holds the action as well.
    addAction(Dokumentation1);

    connect(Scannerauswhlen1, &QAction::triggered, this,
        [this] { ui::ShowingErrors([this] { Scannerauswhlen1Click(Scannerauswhlen1); }); });
    connect(Konfiguration1, &QAction::triggered, this,
        [this] { ui::ShowingErrors([this] { Konfiguration1Click(Konfiguration1); }); });
    connect(Dokumentation1, &QAction::triggered, this, [this] { ui::ShowingErrors([this] { Help(Dokumentation1); }); });
}

QPushButton* TForm_Paperdart::PanelButton(const QString& name, const QString& caption, int width)
{
    auto* button = new QPushButton(caption, pnl_finishButton);
    button->setObjectName(name);
    // The design width, unless the caption needs more where Tahoma stands in for a wider font.
    button->setFixedWidth(std::max(width, button->minimumSizeHint().width()));
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, ui::PictureButtonColor());
    button->setPalette(palette);
    // Enter in the recipient box must not start a scan.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

void TForm_Paperdart::CreateButtonPanel()
{
    pnl_finishButton = new QFrame(this);
    pnl_finishButton->setObjectName(u"pnl_finishButton"_s);
    pnl_finishButton->setFrameShape(QFrame::NoFrame);
    pnl_finishButton->setFixedHeight(65);
    pnl_finishButton->setAutoFillBackground(true);
    BtnImport = PanelButton(u"BtnImport"_s, u"&Scan ADF && Sende an..."_s, 179);
    AdvSmoothButton1 = PanelButton(u"AdvSmoothButton1"_s, u"&Scan && Sende an..."_s, 111);
    ASBCancel = PanelButton(u"ASBCancel"_s, u"&Abbruch"_s, 107);
    auto* buttons = new QHBoxLayout(pnl_finishButton);
    buttons->setContentsMargins(5, 5, 5, 5);
    buttons->setSpacing(5);
    buttons->addWidget(BtnImport);
    buttons->addWidget(AdvSmoothButton1);
    buttons->addStretch(1);
    buttons->addWidget(ASBCancel);
    connect(
        BtnImport, &QPushButton::clicked, this, [this] { ui::ShowingErrors([this] { BtnImportClick(BtnImport); }); });
    connect(AdvSmoothButton1, &QPushButton::clicked, this,
        [this] { ui::ShowingErrors([this] { AdvSmoothButton1Click(AdvSmoothButton1); }); });
    connect(
        ASBCancel, &QPushButton::clicked, this, [this] { ui::ShowingErrors([this] { ASBCancelClick(ASBCancel); }); });
}

void TForm_Paperdart::CreateControls()
{
    // The panel comes first, so its first button is first in the focus chain.
    CreateButtonPanel();
    lbl1 = new QLabel(u"&An E-Mail Empfänger"_s, this);
    lbl1->setObjectName(u"lbl1"_s);
    ComboBoxEmpfaenger = new QComboBox(this);
    ComboBoxEmpfaenger->setObjectName(u"ComboBoxEmpfaenger"_s);
    ComboBoxEmpfaenger->setEditable(true);
    // Typed text is a recipient for this job only; it does not join the list.
    ComboBoxEmpfaenger->setInsertPolicy(QComboBox::NoInsert);
    lbl1->setBuddy(ComboBoxEmpfaenger);
    lbl2 = new QLabel(u"Bitte legen Sie zuerst das zuversendende Dokument in den Scanner ein."_s, this);
    lbl2->setObjectName(u"lbl2"_s);
    lbl2->setAlignment(Qt::AlignCenter);
    lbl2->setWordWrap(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(mm1);
    auto* recipient = new QVBoxLayout;
    recipient->setContentsMargins(20, 10, 20, 0);
    recipient->setSpacing(4);
    recipient->addWidget(lbl1);
    recipient->addWidget(ComboBoxEmpfaenger);
    layout->addLayout(recipient);
    auto* hint = new QVBoxLayout;
    hint->setContentsMargins(20, 4, 20, 4);
    hint->addWidget(lbl2);
    layout->addLayout(hint, 1);
    layout->addWidget(pnl_finishButton);

    setTabOrder(BtnImport, AdvSmoothButton1);
    setTabOrder(AdvSmoothButton1, ASBCancel);
    setTabOrder(ASBCancel, ComboBoxEmpfaenger);
    BtnImport->setFocus();

    // Only the user's own edits and picks count, never the program filling the box.
    connect(ComboBoxEmpfaenger->lineEdit(), &QLineEdit::textEdited, this,
        [this] { ui::ShowingErrors([this] { ComboBoxEmpfaengerChange(ComboBoxEmpfaenger); }); });
    connect(ComboBoxEmpfaenger, &QComboBox::activated, this,
        [this] { ui::ShowingErrors([this] { ComboBoxEmpfaengerChange(ComboBoxEmpfaenger); }); });
}

void TForm_Paperdart::FormShow(QObject* Sender)
{
    if (!FirstShow) {
        TQUORFORM::FormShow(Sender);
        return;
    }
    // Cleared before the base handler runs: the colours were applied at creation already.
    FirstShow = false;
    PdfPath.clear();
    TQUORFORM::FormShow(Sender);
    Scannerauswhlen1->setVisible(false);
    FillRecipients();
}

void TForm_Paperdart::FillRecipients()
{
    ComboBoxEmpfaenger->clear();
    if (settings::Form_MAILConfig != nullptr)
        ComboBoxEmpfaenger->addItems(settings::Form_MAILConfig->RecipientLines());
    // An empty list has no item 0; the box then stays empty.
    if (ComboBoxEmpfaenger->count() > 0)
        ComboBoxEmpfaenger->setCurrentIndex(0);
}

void TForm_Paperdart::ComboBoxEmpfaengerChange(QObject* /*Sender*/)
{
    BtnImport->setEnabled(!platform::Trim(ComboBoxEmpfaenger->currentText()).isEmpty());
}

void TForm_Paperdart::BtnImportClick(QObject* /*Sender*/)
{
    ScanAndSend(true);
}

void TForm_Paperdart::AdvSmoothButton1Click(QObject* /*Sender*/)
{
    ScanAndSend(false);
}

void TForm_Paperdart::ASBCancelClick(QObject* /*Sender*/)
{
    close();
}

void TForm_Paperdart::Konfiguration1Click(QObject* /*Sender*/)
{
    if (settings::Form_MAILConfig == nullptr)
        return;
    if (settings::Form_MAILConfig->exec() == 1)
        FillRecipients();
}

void TForm_Paperdart::Scannerauswhlen1Click(QObject* /*Sender*/)
{
    TWAIN_SelectImageSource(static_cast<quintptr>(winId()));
}

void TForm_Paperdart::FormDestroy(QObject* /*Sender*/)
{
    DeleteJobFiles();
}

void TForm_Paperdart::DeleteJobFiles()
{
    if (!PdfPath.isEmpty()) {
        if (IsFile(PdfPath))
            RemoveFile(PdfPath);
        const QString messagePath = mail::MailMessagePath(PdfPath);
        if (IsFile(messagePath))
            RemoveFile(messagePath);
    }
    PdfPath.clear();
}

void TForm_Paperdart::ScanAndSend(bool feeder)
{
    try {
        DeleteJobFiles();
        const QString time = Now().toString(u"yyyyMMdd_HHmm"_s);
        // The folder where the user's mail program can read the files; without it nothing is written.
        const mail::MailProgram program = mail::FindMailProgram();
        const QString folder = mail::CreateJobFolder(program);
        if (folder.isEmpty()) {
            ui::ErrorBox(kNoJobFolderText);
            return;
        }
        PdfPath = folder + u"Scan_"_s + time + u".pdf"_s;
        const settings::TForm_MAILConfig* config = settings::Form_MAILConfig;
        if (config == nullptr)
            throw platform::Error(u"Die Konfiguration fehlt"_s);
        // A file that could not be deleted before the scan must not pass for the scan's own.
        const FileIdentity before = FileIdentity::Of(PdfPath);
        const int result = ScanToPdf(static_cast<quintptr>(winId()), PdfPath, false, true,
            config->ThresholdValue() / 10000.0, config->DPIValue, 0, feeder, config->QualityIndex());
        if (result != 0) {
            ui::ErrorBox(kScanFailedText);
            return;
        }
        try {
            SendScannedPdf(program, before);
        } catch (const platform::Error& error) {
            logging::WriteLogException(error, u"SCAN "_s, 1);
        }
    } catch (...) {
        // Any other failure ends the job without a word; the job files go at the next job.
    }
}

void TForm_Paperdart::SendScannedPdf(const mail::MailProgram& program, const FileIdentity& before)
{
    const FileIdentity after = FileIdentity::Of(PdfPath);
    if (!after.exists || after.SameFileAs(before)) {
        ui::ErrorBox(kNoPdfText);
        return;
    }
    // Read now, after the scan: the user may have changed them while it ran.
    const settings::TForm_MAILConfig* config = settings::Form_MAILConfig;
    if (config == nullptr)
        throw platform::Error(u"Die Konfiguration fehlt"_s);
    const bool handedOver
        = mail::CreateAndOpenMail(program, QString(), platform::Trim(ComboBoxEmpfaenger->currentText()),
            platform::Trim(config->SubjectText()), config->BodyText(), PdfPath);
    if (handedOver)
        return;
    if (ui::QueryBox(u"Error"_s, u"Möchten Sie die PDF-Datei öffnen?"_s) != 1)
        return;
    mail::OpenWithAssociatedProgram(PdfPath, false);
    Sleep(kPauseAfterOpeningMs);
}

void TForm_Paperdart::closeEvent(QCloseEvent* event)
{
    TQUORFORM::closeEvent(event);
    if (event->isAccepted())
        emit closed();
}

} // namespace pd::app

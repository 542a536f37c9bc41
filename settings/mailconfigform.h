#pragma once

#include <QString>
#include <QStringList>

#include "ui/quorform.h"

class QComboBox;
class QFrame;
class QGroupBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace pd::settings {

// The configuration dialog: created hidden at start-up after the main window, alive for the
// whole run, shown modally from the main window's menu. Creating it loads the user's settings into
// its controls; OK saves them, Cancel saves nothing and reverts nothing. Its controls are the
// settings of the run: the main window and each scan read them as they stand.
class TForm_MAILConfig : public ui::TQUORFORMMODAL {
    Q_OBJECT
public:
    explicit TForm_MAILConfig(QWidget* owner);
    ~TForm_MAILConfig() override;

    QGroupBox* GroupBoxEmpfaenger;
    QPlainTextEdit* mmoEmpfaenger;
    QGroupBox* GroupBoxSubject;
    QLineEdit* edtSubject;
    QGroupBox* GroupBoxBody;
    QPlainTextEdit* mmoBody;
    QFrame* PanelScan; // the light-blue strip with the three scan settings
    QGroupBox* GroupBoxThreshold;
    QSpinBox* DarknessThreshold;
    QGroupBox* GroupBoxDPI;
    QComboBox* CB_DPI;
    QGroupBox* GroupBoxQuality;
    QComboBox* DBQuality;

    // The per-user settings folder, with a trailing "/"; set at creation.
    QString SettingsFolder;
    // Scan resolution in dots per inch as last loaded or saved: typing into CB_DPI changes it only
    // at the next OK.
    int DPIValue = 150;

    // The recipient list, one address a line; an empty first line means no preselection. A final
    // line break adds no empty line.
    QStringList RecipientLines() const;
    // The body as the mail carries it: lines separated by CR LF, nothing trimmed.
    QString BodyText() const;
    // The subject box's text as it stands (not trimmed).
    QString SubjectText() const;
    // Blank-page threshold in ten-thousandths of the page area (0..1000).
    int ThresholdValue() const;
    // 0 "gute", 1 "normal", -1 nothing selected.
    int QualityIndex() const;

    // Base creation behaviour, then the settings are loaded from the settings folder.
    void FormCreate(QObject* Sender) override;
    // Base OK behaviour, then, once the dialog is confirmed, the settings are saved. A failed
    // write of the INI file raises "In <file> kann nicht geschrieben werden" and leaves "Body.cfg"
    // unwritten; failed writes of the two text files are ignored.
    void LMDButtonOKClick(QObject* Sender = nullptr) override;

    // Transfers the INI keys between the file and the controls, in the given direction.
    void ExchangeSettings(bool write);

private:
    void CreateControls();
    void CreateMailGroups();
    void CreateScanStrip();
    void LoadSettings();
    void SaveSettings();
};

// The process-wide reference to the dialog while it exists.
extern TForm_MAILConfig* Form_MAILConfig;

} // namespace pd::settings

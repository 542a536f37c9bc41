#include "settings/mailconfigform.h"

#include <algorithm>
#include <array>
#include <variant>

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTextDocument>
#include <QTextOption>
#include <QVBoxLayout>

#include "platform/folders.h"
#include "platform/profile.h"
#include "platform/text.h"
#include "platform/textfile.h"
#include "settings/settingsfiles.h"
#include "settings/storesettings.h"

namespace pd::settings {

TForm_MAILConfig* Form_MAILConfig = nullptr;

namespace {

using namespace Qt::StringLiterals;

constexpr int kThresholdDefault = 20;
constexpr int kThresholdMaximum = 1000;
constexpr int kDpiBeforeLoading = 150;
// A resolution typed into the box that is no integer is saved as this.
constexpr int kDpiWhenNotANumber = 150;

// The memo's text with LF line breaks, as the user sees it: paragraph and line separators are
// line breaks, every other character stays as typed.
QString MemoLines(const QPlainTextEdit* memo)
{
    QString text = memo->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

// Qt breaks a line that offers no break opportunity in time that grows with the square of its
// length: a line of 1 MB without blanks took minutes to show. A memo loaded with a line that long
// wraps it anywhere instead, which costs little.
constexpr qsizetype kLongestWordWrappedLine = 16384;

qsizetype LongestLine(const QString& lfText)
{
    qsizetype longest = 0;
    qsizetype start = 0;
    while (start <= lfText.size()) {
        qsizetype end = lfText.indexOf(QLatin1Char('\n'), start);
        if (end < 0)
            end = lfText.size();
        longest = std::max(longest, end - start);
        start = end + 1;
    }
    return longest;
}

void SetMemoText(QPlainTextEdit* memo, const QString& text)
{
    const QString lfText = platform::WithLf(text);
    memo->setWordWrapMode(LongestLine(lfText) > kLongestWordWrappedLine ? QTextOption::WrapAnywhere
                                                                        : QTextOption::WrapAtWordBoundaryOrAnywhere);
    memo->setPlainText(lfText);
}

// The threshold box's number; text that is no number counts as 0, and the box's range holds.
int ThresholdNumber(const QSpinBox* box)
{
    bool isNumber = false;
    const int number = box->cleanText().toInt(&isNumber);
    return std::clamp(isNumber ? number : 0, box->minimum(), box->maximum());
}

// One INI key of section "SCAN" and the controls it belongs to. take gives the variable from the
// controls, show puts the variable back into them; reading binds the variable in between, so the
// same walk loads and saves.
template <typename T> struct KeyBinding {
    QString key;
    T defaultValue;
    T (*take)(const TForm_MAILConfig&);
    void (*show)(TForm_MAILConfig&, const T&);
};
using SettingBinding = std::variant<KeyBinding<int>, KeyBinding<QString>>;

const QString kSection = u"SCAN"_s;

// The keys in the order in which they are transferred.
const std::array<SettingBinding, 4>& SettingBindings()
{
    static const std::array<SettingBinding, 4> bindings {
        KeyBinding<int> { u"threshold"_s, kThresholdDefault,
            [](const TForm_MAILConfig& f) { return ThresholdNumber(f.DarknessThreshold); },
            [](TForm_MAILConfig& f, const int& v) { f.DarknessThreshold->setValue(v); } },
        KeyBinding<int> { u"DPI"_s, 0,
            [](const TForm_MAILConfig& f) {
                return platform::ProfileStringToInt(platform::Trim(f.CB_DPI->currentText()), kDpiWhenNotANumber);
            },
            [](TForm_MAILConfig& f, const int& v) {
                f.DPIValue = v;
                f.CB_DPI->setCurrentText(QString::number(v));
            } },
        KeyBinding<QString> { u"Subject"_s, u"Paperdart: PDF-Dokument"_s,
            [](const TForm_MAILConfig& f) { return f.edtSubject->text(); },
            [](TForm_MAILConfig& f, const QString& v) {
                // Saving stores the trimmed text but leaves the box as the user typed it.
                if (f.edtSubject->text() != v)
                    f.edtSubject->setText(v);
            } },
        KeyBinding<int> { u"Quality"_s, 0, [](const TForm_MAILConfig& f) { return f.DBQuality->currentIndex(); },
            [](TForm_MAILConfig& f, const int& v) { f.DBQuality->setCurrentIndex(v); } },
    };
    return bindings;
}

void Bind(TStoreSettings& store, int& variable, const QString& key, int defaultValue)
{
    store.BindInteger(variable, kSection, key, defaultValue);
}

void Bind(TStoreSettings& store, QString& variable, const QString& key, const QString& defaultValue)
{
    store.BindString(variable, kSection, key, defaultValue);
}

template <typename T> void Transfer(TStoreSettings& store, TForm_MAILConfig& form, const KeyBinding<T>& binding)
{
    T variable = binding.take(form);
    Bind(store, variable, binding.key, binding.defaultValue);
    binding.show(form, variable);
}

QGroupBox* Group(const QString& caption, QWidget* control, QWidget* parent)
{
    auto* group = new QGroupBox(caption, parent);
    auto* layout = new QVBoxLayout(group);
    layout->setContentsMargins(6, 0, 6, 3);
    layout->addWidget(control);
    return group;
}

QPlainTextEdit* Memo(const QString& name)
{
    auto* memo = new QPlainTextEdit;
    memo->setObjectName(name);
    memo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // Tab moves on to the next control, as in every other field of the dialog.
    memo->setTabChangesFocus(true);
    return memo;
}

// At least the design width, and never so narrow that the caption is cut.
void SetGroupWidth(QGroupBox* group, int designWidth)
{
    group->setFixedWidth(std::max(designWidth, group->minimumSizeHint().width()));
}

} // namespace

TForm_MAILConfig::TForm_MAILConfig(QWidget* owner)
    : TQUORFORMMODAL(owner)
{
    setObjectName(u"Form_MAILConfig"_s);
    setWindowTitle(u"Konfiguration Postwing"_s);
    resize(505, 415);
    CreateControls();
    Form_MAILConfig = this;
    FinishCreation();
}

TForm_MAILConfig::~TForm_MAILConfig()
{
    if (Form_MAILConfig == this)
        Form_MAILConfig = nullptr;
}

void TForm_MAILConfig::CreateControls()
{
    CreateMailGroups();
    CreateScanStrip();
    auto* layout = new QVBoxLayout(ClientArea);
    layout->setContentsMargins(10, 10, 10, 0);
    layout->setSpacing(0);
    layout->addWidget(GroupBoxEmpfaenger);
    layout->addWidget(GroupBoxSubject);
    layout->addWidget(GroupBoxBody, 1);
    layout->addWidget(PanelScan);

    const std::array<QWidget*, 7> tabOrder { mmoEmpfaenger, edtSubject, mmoBody, DarknessThreshold, CB_DPI, DBQuality,
        ASButtonOK };
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void TForm_MAILConfig::CreateMailGroups()
{
    mmoEmpfaenger = Memo(u"mmoEmpfaenger"_s);
    mmoEmpfaenger->setToolTip(u"Der 1. Eintrag wird als vorausgewählter Eintrag verwendet. \n"
                              u"Soll keiner ausgewählt sein, ist die 1. Zeile leer."_s);
    GroupBoxEmpfaenger = Group(u"Empfänger &Adressen"_s, mmoEmpfaenger, ClientArea);
    GroupBoxEmpfaenger->setFixedHeight(119);

    edtSubject = new QLineEdit;
    edtSubject->setObjectName(u"edtSubject"_s);
    GroupBoxSubject = Group(u"&Subject"_s, edtSubject, ClientArea);
    GroupBoxSubject->setFixedHeight(49);

    // Typed text is kept as it is: there is no OEM code page here to pass it through.
    mmoBody = Memo(u"mmoBody"_s);
    GroupBoxBody = Group(u"Mail&body"_s, mmoBody, ClientArea);
}

void TForm_MAILConfig::CreateScanStrip()
{
    PanelScan = new QFrame(ClientArea);
    PanelScan->setObjectName(u"PanelScan"_s);
    PanelScan->setFrameShape(QFrame::NoFrame);
    PanelScan->setFixedHeight(48);
    PanelScan->setAutoFillBackground(true);
    QPalette palette = PanelScan->palette();
    palette.setColor(QPalette::Window, ui::clSkyBlue());
    PanelScan->setPalette(palette);

    DarknessThreshold = new QSpinBox;
    DarknessThreshold->setObjectName(u"DarknessThreshold"_s);
    DarknessThreshold->setRange(0, kThresholdMaximum);
    DarknessThreshold->setValue(kThresholdDefault);
    GroupBoxThreshold = Group(u"&Schwellwert für leere Seiten (default 20)"_s, DarknessThreshold, PanelScan);
    SetGroupWidth(GroupBoxThreshold, 217);

    CB_DPI = new QComboBox;
    CB_DPI->setObjectName(u"CB_DPI"_s);
    CB_DPI->setEditable(true);
    CB_DPI->addItems({ u"75"_s, u"150"_s, u"300"_s, u"600"_s });
    CB_DPI->setCurrentText(u"150"_s);
    GroupBoxDPI = Group(u"Auflösung (dpi)"_s, CB_DPI, PanelScan);
    SetGroupWidth(GroupBoxDPI, 98);

    DBQuality = new QComboBox;
    DBQuality->setObjectName(u"DBQuality"_s);
    DBQuality->addItems({ u"gute"_s, u"normal"_s });
    DBQuality->setCurrentIndex(0);
    GroupBoxQuality = Group(u"Qualität"_s, DBQuality, PanelScan);

    auto* strip = new QHBoxLayout(PanelScan);
    strip->setContentsMargins(0, 0, 0, 0);
    strip->setSpacing(0);
    strip->addWidget(GroupBoxThreshold);
    strip->addWidget(GroupBoxDPI);
    strip->addWidget(GroupBoxQuality, 1);
}

QStringList TForm_MAILConfig::RecipientLines() const
{
    return platform::SplitLines(MemoLines(mmoEmpfaenger));
}

QString TForm_MAILConfig::BodyText() const
{
    return platform::WithCrLf(MemoLines(mmoBody));
}

QString TForm_MAILConfig::SubjectText() const
{
    return edtSubject->text();
}

int TForm_MAILConfig::ThresholdValue() const
{
    return DarknessThreshold->value();
}

int TForm_MAILConfig::QualityIndex() const
{
    return DBQuality->currentIndex();
}

void TForm_MAILConfig::FormCreate(QObject* Sender)
{
    TQUORFORMMODAL::FormCreate(Sender);
    LoadSettings();
}

void TForm_MAILConfig::LMDButtonOKClick(QObject* Sender)
{
    TQUORFORMMODAL::LMDButtonOKClick(Sender);
    // Only a confirmed dialog saves; with the OK button disabled nothing was confirmed.
    if (ASButtonOK->isEnabled())
        SaveSettings();
}

void TForm_MAILConfig::ExchangeSettings(bool write)
{
    TStoreSettings store(SettingsFolder + kIniFileName, write);
    for (const SettingBinding& binding : SettingBindings())
        std::visit([&](const auto& b) { Transfer(store, *this, b); }, binding);
}

void TForm_MAILConfig::LoadSettings()
{
    DarknessThreshold->setValue(kThresholdDefault);
    DPIValue = kDpiBeforeLoading;
    SettingsFolder = SettingsFolderPath();
    platform::ForceDirectories(SettingsFolder);
    SetMemoText(mmoEmpfaenger, ReadSettingsText(SettingsFolder + kRecipientFileName).value_or(DefaultRecipients()));
    ExchangeSettings(false);
    SetMemoText(mmoBody, ReadSettingsText(SettingsFolder + kBodyFileName).value_or(DefaultBody()));
}

void TForm_MAILConfig::SaveSettings()
{
    platform::ForceDirectories(SettingsFolder);
    // The two text files fail silently; the INI file's failure reaches the user and stops the save.
    WriteSettingsText(SettingsFolder + kRecipientFileName, MemoLines(mmoEmpfaenger));
    ExchangeSettings(true);
    WriteSettingsText(SettingsFolder + kBodyFileName, MemoLines(mmoBody));
}

} // namespace pd::settings

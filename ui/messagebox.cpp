#include "ui/messagebox.h"

#include <algorithm>

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QVBoxLayout>

#include "logging/log.h"
#include "ui/translator.h"
#include "util/foreground.h"

namespace pd::ui {

namespace {

constexpr int kTextMargin = 12;
constexpr int kPanelHeight = 66;

} // namespace

TForm_Messagebox::TForm_Messagebox(QWidget* owner)
    : TQUORFORMMODAL(owner)
    , Messagetext(new QLabel(ClientArea))
{
    setObjectName(QStringLiteral("Form_Messagebox"));
    Messagetext->setObjectName(QStringLiteral("Messagetext"));
    Messagetext->setAlignment(Qt::AlignCenter);
    Messagetext->setWordWrap(true);
    // Message texts are shown as they are: no markup, "&" is no accelerator.
    Messagetext->setTextFormat(Qt::PlainText);
    QFont font = Messagetext->font();
    font.setFamilies({ QStringLiteral("Tahoma") });
    font.setPixelSize(16);
    Messagetext->setFont(font);
    auto* layout = new QVBoxLayout(ClientArea);
    layout->setContentsMargins(kTextMargin, kTextMargin, kTextMargin, kTextMargin);
    layout->addWidget(Messagetext);
    FinishCreation();
}

void TForm_Messagebox::FormKeyPress(QObject* Sender, QChar& Key)
{
    if (Key == QChar(13)) {
        LMDButtonOKClick(Sender);
        Key = QChar();
        return;
    }
    TQUORFORMMODAL::FormKeyPress(Sender, Key);
}

void TForm_Messagebox::SetMessageText(const QString& text)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    Messagetext->setText(shown);
}

void TForm_Messagebox::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FitToContent();
    TQUORFORMMODAL::showEvent(event);
}

void TForm_Messagebox::FitToContent()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    // The text wraps at two thirds of the screen; the window never leaves the screen.
    const int widest = std::max(minimumWidth(), area.width() * 2 / 3) - 2 * kTextMargin;
    const QRect text = Messagetext->fontMetrics().boundingRect(
        QRect(0, 0, widest, area.height()), Qt::AlignCenter | Qt::TextWordWrap, Messagetext->text());
    const int width
        = std::clamp(text.width() + 2 * kTextMargin, minimumWidth(), std::max(minimumWidth(), area.width()));
    const int height = std::clamp(
        text.height() + 2 * kTextMargin + kPanelHeight, minimumHeight(), std::max(minimumHeight(), area.height()));
    resize(width, height);
    move(area.center() - QPoint(width / 2, height / 2));
}

int ShowMessageBox(const QString& caption, const QString& text, bool withCancel)
{
    logging::WriteLog(QStringLiteral("messagebox: ") + caption + QLatin1Char(' ') + text, 1);
    TForm_Messagebox box;
    box.setWindowTitle(caption);
    box.SetMessageText(text);
    box.ASBCancel->setVisible(withCancel);
    // Raised once it is on the screen: a window that is not shown cannot come to the front.
    QTimer::singleShot(0, &box, [&box] { util::ForceForegroundWindow(&box); });
    return box.exec();
}

int QueryBox(const QString& caption, const QString& text)
{
    const QString shownText = TranslateText(text);
    const QString shownCaption = TranslateText(caption);
    return ShowMessageBox(shownCaption, shownText, true);
}

void InfoBox(const QString& caption, const QString& text)
{
    const QString shownText = TranslateText(text);
    const QString shownCaption = TranslateText(caption);
    ShowMessageBox(shownCaption, shownText, false);
}

void ErrorBox(const QString& text)
{
    InfoBox(QStringLiteral("Fehler"), text);
}

} // namespace pd::ui

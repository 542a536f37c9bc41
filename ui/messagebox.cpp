#include "ui/messagebox.h"

#include <algorithm>

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QShowEvent>
#include <QStyle>
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
    , Messagetext(new QLabel)
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
    // A text taller than the screen scrolls instead of being cut off.
    auto* scroller = new QScrollArea(ClientArea);
    scroller->setFrameShape(QFrame::NoFrame);
    scroller->setWidgetResizable(true);
    scroller->setWidget(Messagetext);
    auto* layout = new QVBoxLayout(ClientArea);
    layout->setContentsMargins(kTextMargin, kTextMargin, kTextMargin, kTextMargin);
    layout->addWidget(scroller);
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
    const int widest = std::max(minimumWidth(), area.width());
    const int highest = std::max(minimumHeight(), area.height());
    const auto textSize = [this](int wrapWidth) {
        return Messagetext->fontMetrics()
            .boundingRect(QRect(0, 0, wrapWidth, 1 << 20), Qt::AlignCenter | Qt::TextWordWrap, Messagetext->text())
            .size();
    };
    const int frame = 2 * kTextMargin;
    // Wrapped at two thirds of the screen; a text too tall for that takes the whole width and,
    // beyond the screen's height, scrolls.
    QSize text = textSize(std::max(minimumWidth(), area.width() * 2 / 3) - frame);
    if (text.height() + frame + kPanelHeight > highest)
        text = textSize(widest - frame - style()->pixelMetric(QStyle::PM_ScrollBarExtent) - 4);
    const int width = std::clamp(text.width() + frame + 4, minimumWidth(), widest);
    const int height = std::clamp(text.height() + frame + kPanelHeight + 4, minimumHeight(), highest);
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

#include "ui/quorform.h"

#include <QApplication>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QTextEdit>
#include <QVBoxLayout>

#include "platform/folders.h"
#include "platform/shell.h"
#include "ui/application.h"

namespace pd::ui {

namespace {

const char* const kTagProperty = "tag";
const QString kFontName = QStringLiteral("Tahoma");
constexpr QChar kEscape(27);
constexpr QChar kEnter(13);

enum class ComponentKind { Other, Label, Panel, GroupBox, Memo };

// Panels are plain QFrames; labels and memos are frames too, so they are told apart first.
ComponentKind KindOf(const QWidget* widget)
{
    if (qobject_cast<const QLabel*>(widget))
        return ComponentKind::Label;
    if (qobject_cast<const QGroupBox*>(widget))
        return ComponentKind::GroupBox;
    if (qobject_cast<const QPlainTextEdit*>(widget) || qobject_cast<const QTextEdit*>(widget))
        return ComponentKind::Memo;
    if (widget->metaObject() == &QFrame::staticMetaObject)
        return ComponentKind::Panel;
    return ComponentKind::Other;
}

bool IsReadOnlyMemo(const QWidget* widget)
{
    if (const auto* plain = qobject_cast<const QPlainTextEdit*>(widget))
        return plain->isReadOnly();
    if (const auto* rich = qobject_cast<const QTextEdit*>(widget))
        return rich->isReadOnly();
    return false;
}

void SetFontName(QWidget* widget)
{
    QFont font = widget->font();
    font.setFamilies({ kFontName });
    widget->setFont(font);
}

void SetColors(QWidget* widget, QPalette::ColorRole background, const QColor& color, const QColor& fontColor)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, fontColor);
    palette.setColor(QPalette::Text, fontColor);
    palette.setColor(background, color);
    widget->setPalette(palette);
    if (background == QPalette::Window)
        widget->setAutoFillBackground(true);
}

// The key as a character: Escape 27, Enter 13 (without modifiers), else the typed character;
// null for keys that type nothing.
QChar CharacterOf(const QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape)
        return kEscape;
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && modifiers == Qt::NoModifier)
        return kEnter;
    const QString text = event->text();
    return text.size() == 1 ? text[0] : QChar();
}

QPushButton* PictureButton(
    QWidget* parent, const QString& caption, const QString& iconName, QStyle::StandardPixmap fallback)
{
    auto* button = new QPushButton(caption, parent);
    button->setFixedSize(100, 56);
    button->setIcon(QIcon::fromTheme(iconName, parent->style()->standardIcon(fallback)));
    button->setIconSize(QSize(24, 24));
    QPalette palette = button->palette();
    palette.setColor(QPalette::Button, PictureButtonColor());
    button->setPalette(palette);
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

} // namespace

QColor clSkyBlue()
{
    return QColor(166, 202, 240);
}

QColor clWhite()
{
    return QColor(255, 255, 255);
}

QColor PictureButtonColor()
{
    return QColor(141, 178, 227);
}

TAdvFormStyler::TAdvFormStyler(QObject* owner)
    : QObject(owner)
{
    setObjectName(QStringLiteral("AdvFormStyler1"));
}

QColor TAdvFormStyler::StyleColor() const
{
    switch (Style()) {
    case TFormStyle::tsOffice2003Blue:
        break;
    }
    return clSkyBlue();
}

void TAdvFormStyler::Loaded()
{
    emit Change(this);
}

int Tag(const QObject* component)
{
    return component->property(kTagProperty).toInt();
}

void SetTag(QObject* component, int tag)
{
    component->setProperty(kTagProperty, tag);
}

TQUORFORM::TQUORFORM(QWidget* owner)
    : QDialog(owner, Qt::Window)
    , AdvFormStyler1(new TAdvFormStyler(this))
{
    QFont font(kFontName);
    // 8 points at 96 dots per inch, whatever the screen's density.
    font.setPixelSize(11);
    setFont(font);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, clSkyBlue());
    setPalette(palette);
    connect(AdvFormStyler1, &TAdvFormStyler::Change, this,
        [this](TAdvFormStyler* sender) { ShowingErrors([&] { AdvFormStyler1Change(sender); }); });
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::instance()->installEventFilter(this);
}

void TQUORFORM::FinishCreation()
{
    m_created = true;
    AdvFormStyler1->Loaded();
    FormCreate(this);
}

void TQUORFORM::FormCreate(QObject* /*Sender*/)
{
    FirstShow = true;
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    const QSize available = screen->size();
    // The minimum first: a window cannot be made smaller than its minimum.
    if (available.height() < minimumHeight())
        setMinimumHeight(available.height());
    if (available.width() < minimumWidth())
        setMinimumWidth(available.width());
    if (available.height() < height())
        resize(width(), available.height());
    if (available.width() < width())
        resize(available.width(), height());
}

void TQUORFORM::FormShow(QObject* /*Sender*/)
{
    if (!FirstShow)
        return;
    AdvFormStyler1Change(AdvFormStyler1);
    FirstShow = false;
}

void TQUORFORM::AdvFormStyler1Change(QObject* Sender)
{
    const auto* styler = qobject_cast<const TAdvFormStyler*>(Sender);
    ApplyStyleColors(this, styler != nullptr ? styler->StyleColor() : clSkyBlue(), Qt::black);
}

void TQUORFORM::ApplyStyleColors(QWidget* root, const QColor& color, const QColor& fontColor)
{
    if (root->isWindow()) {
        SetFontName(root);
        SetColors(root, QPalette::Window, color, fontColor);
    }
    for (QWidget* component : root->findChildren<QWidget*>()) {
        // A window of its own (a dialog owned by this one) has its own style.
        if (component->window() != root->window())
            continue;
        switch (KindOf(component)) {
        case ComponentKind::Label:
        case ComponentKind::Panel:
        case ComponentKind::GroupBox:
            SetFontName(component);
            SetColors(component, QPalette::Window, color, fontColor);
            break;
        case ComponentKind::Memo:
            SetFontName(component);
            SetColors(component, QPalette::Base, IsReadOnlyMemo(component) && Tag(component) == 1 ? color : clWhite(),
                fontColor);
            break;
        case ComponentKind::Other:
            break;
        }
    }
}

void TQUORFORM::Help(QObject* /*Sender*/)
{
    const QString folder = platform::ProgramFolderOfModule();
    QString path = folder + QStringLiteral("help/Handbuch.html");
    if (!QFileInfo(path).isFile())
        path = folder + QStringLiteral("help/Handbuch.pdf");
    platform::ShellExecute(QStringLiteral("OPEN"), path, {}, {}, platform::SW_SHOWNORMAL);
}

void TQUORFORM::KeyPreview(QObject* /*Sender*/, QChar& /*Key*/) { }

void TQUORFORM::setVisible(bool visible)
{
    if (visible && !m_created)
        FinishCreation();
    QDialog::setVisible(visible);
}

void TQUORFORM::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        FormShow(this);
}

void TQUORFORM::keyPressEvent(QKeyEvent* event)
{
    // Not the dialog's own keys: Escape and Enter mean nothing to a window unless it says so.
    QWidget::keyPressEvent(event);
}

bool TQUORFORM::eventFilter(QObject* watched, QEvent* event)
{
    // Every new key press is announced by its shortcut check, and the one before ended with its
    // release: the next press is a new event even where it reuses the old one's address, as
    // presses built on the stack do.
    if (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyRelease) {
        m_previewedEvent = nullptr;
        return false;
    }
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this)
        return false;
    if (event == m_previewedEvent && m_previewedAt != nullptr && widget == m_previewedAt->parentWidget()) {
        m_previewedAt = widget;
        return false;
    }
    m_previewedEvent = event;
    m_previewedAt = widget;
    QChar key = CharacterOf(static_cast<QKeyEvent*>(event));
    if (key.isNull())
        return false;
    KeyPreview(watched, key);
    if (!key.isNull())
        return false;
    event->accept();
    return true;
}

TQUORFORMMODAL::TQUORFORMMODAL(QWidget* owner)
    : TQUORFORM(owner)
    , ClientArea(new QWidget(this))
    , PanelBottom(new QFrame(this))
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
        | Qt::WindowCloseButtonHint);
    setSizeGripEnabled(false);
    setMinimumSize(400, 300);
    resize(489, 356);

    PanelBottom->setObjectName(QStringLiteral("PanelBottom"));
    PanelBottom->setFrameShape(QFrame::NoFrame);
    PanelBottom->setFixedHeight(66);
    PanelBottom->setAutoFillBackground(true);

    ASButtonOK
        = PictureButton(PanelBottom, QStringLiteral("&OK"), QStringLiteral("dialog-ok"), QStyle::SP_DialogOkButton);
    ASButtonOK->setObjectName(QStringLiteral("ASButtonOK"));
    ASBCancel = PictureButton(
        PanelBottom, QStringLiteral("&Abbruch"), QStringLiteral("dialog-cancel"), QStyle::SP_DialogCancelButton);
    ASBCancel->setObjectName(QStringLiteral("ASBCancel"));
    setTabOrder(ASButtonOK, ASBCancel);
    connect(
        ASButtonOK, &QPushButton::clicked, this, [this] { ShowingErrors([this] { LMDButtonOKClick(ASButtonOK); }); });
    connect(
        ASBCancel, &QPushButton::clicked, this, [this] { ShowingErrors([this] { LMDButtonCancelClick(ASBCancel); }); });

    // Both buttons aligned right: cancel at the edge with margin 10, OK to its left, 5 around each.
    auto* buttons = new QHBoxLayout(PanelBottom);
    buttons->setContentsMargins(5, 5, 10, 5);
    buttons->setSpacing(10);
    buttons->addStretch(1);
    buttons->addWidget(ASButtonOK);
    buttons->addWidget(ASBCancel);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ClientArea, 1);
    layout->addWidget(PanelBottom);
}

void TQUORFORMMODAL::FormKeyPress(QObject* /*Sender*/, QChar& Key)
{
    if (Key == kEscape) {
        LMDButtonCancelClick(this);
        Key = QChar();
    }
}

void TQUORFORMMODAL::LMDButtonOKClick(QObject* /*Sender*/)
{
    if (ASButtonOK->isEnabled())
        done(1);
}

void TQUORFORMMODAL::LMDButtonCancelClick(QObject* /*Sender*/)
{
    done(2);
}

void TQUORFORMMODAL::done(int result)
{
    QDialog::done(result == 1 ? 1 : 2);
}

int TQUORFORMMODAL::exec()
{
    return QDialog::exec() == 1 ? 1 : 2;
}

void TQUORFORMMODAL::reject()
{
    done(2);
}

void TQUORFORMMODAL::KeyPreview(QObject* Sender, QChar& Key)
{
    FormKeyPress(Sender, Key);
}

void TQUORFORMMODAL::showEvent(QShowEvent* event)
{
    // Buttons that derived windows add become auto-default in a dialog; none may be, so Enter in
    // a field never presses one. A window hidden without a result counts as cancelled.
    for (QPushButton* button : findChildren<QPushButton*>()) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }
    if (result() != 1)
        setResult(2);
    // Fixed from here on: the window system offers no resizing for a window whose minimum and
    // maximum size agree.
    if (!event->spontaneous() && !m_unfixedMinimum.isValid()) {
        m_unfixedMinimum = minimumSize();
        setFixedSize(size());
    }
    TQUORFORM::showEvent(event);
}

void TQUORFORMMODAL::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous() && m_unfixedMinimum.isValid()) {
        setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
        setMinimumSize(m_unfixedMinimum);
        m_unfixedMinimum = QSize();
    }
    TQUORFORM::hideEvent(event);
}

} // namespace pd::ui

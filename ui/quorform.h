#pragma once

#include <QColor>
#include <QDialog>
#include <QPointer>

class QFrame;
class QPushButton;

namespace pd::ui {

// Colours of the program's style, as RGB.
QColor clSkyBlue(); // 166, 202, 240
QColor clWhite();
QColor PictureButtonColor(); // 141, 178, 227

// The style values a window can take; the program uses only the one.
enum class TFormStyle { tsOffice2003Blue };

// The style component of a window: it names the style and raises Change when the window's
// contents have been loaded (and would on a change of style, which the program never makes).
class TAdvFormStyler : public QObject {
    Q_OBJECT
public:
    explicit TAdvFormStyler(QObject* owner);

    TFormStyle Style() const { return TFormStyle::tsOffice2003Blue; }
    // The style is fixed; it never follows the desktop theme.
    bool AutoThemeAdapt() const { return false; }
    // The window colour of the style.
    QColor StyleColor() const;

    // The owning window's contents are complete.
    void Loaded();

signals:
    void Change(pd::ui::TAdvFormStyler* sender);
};

// The tag value of a control; 0 unless set. A read-only memo with tag 1 takes the window colour.
int Tag(const QObject* component);
void SetTag(QObject* component, int tag);

// The plain base window: style colours and fonts, fitting into the screen at creation, key
// preview, and the user manual. Shown as a normal top-level window; dialog keys do nothing here.
class TQUORFORM : public QDialog {
    Q_OBJECT
public:
    explicit TQUORFORM(QWidget* owner = nullptr);

    TAdvFormStyler* AdvFormStyler1;
    // True from creation until the window has been shown once.
    bool FirstShow = true;

    // Creation event: fits the window and its minimum size into the primary screen. A derived
    // window's own handler calls this one first.
    virtual void FormCreate(QObject* Sender);
    // Show event: the first show applies the style colours.
    virtual void FormShow(QObject* Sender);
    void AdvFormStyler1Change(QObject* Sender);

    // Colour and font name for root (when it is a window) and for the labels, panels (plain
    // QFrame), group boxes and memos inside it; every other kind of control is left as it is.
    void ApplyStyleColors(QWidget* root, const QColor& color, const QColor& fontColor);

public slots:
    // Opens "help/Handbuch.html" beside the program, else hands "help/Handbuch.pdf" to the shell
    // whether it exists or not. The shell's answer is not examined.
    void Help(QObject* Sender = nullptr);

protected:
    // Concrete windows end their constructor with this: the style component reports the loaded
    // contents, then the creation event runs. Showing a window runs it if it has not run.
    void FinishCreation();

    // Sees every character key pressed in this window before the focused control does; setting
    // key to 0 consumes it. Escape is character 27, Enter 13.
    virtual void KeyPreview(QObject* Sender, QChar& Key);

    void setVisible(bool visible) override;
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool m_created = false;
    // The key event last previewed and where; Qt hands an unconsumed key on to the parents, and
    // the preview must see it once.
    const QEvent* m_previewedEvent = nullptr;
    QPointer<QWidget> m_previewedAt;
};

// The modal base dialog: bottom panel with "&OK" and "&Abbruch", Escape as cancel. Its modal
// result is 1 (OK) or 2 (cancel, Escape, closing the window), never anything else. No button is
// a default button, so Enter in a field does not press OK. While shown it has a fixed size, the
// size it had when it was shown; hidden, it takes its minimum size again and can be resized.
class TQUORFORMMODAL : public TQUORFORM {
    Q_OBJECT
public:
    explicit TQUORFORMMODAL(QWidget* owner = nullptr);

    // The area above the bottom panel; derived windows put their controls here.
    QWidget* ClientArea;
    QFrame* PanelBottom;
    QPushButton* ASButtonOK;
    QPushButton* ASBCancel;

    // Escape cancels; other keys pass on unchanged.
    virtual void FormKeyPress(QObject* Sender, QChar& Key);
    // Result 1, only while the OK button is enabled. A derived dialog's own OK handling calls
    // this first.
    virtual void LMDButtonOKClick(QObject* Sender = nullptr);
    // Result 2.
    void LMDButtonCancelClick(QObject* Sender = nullptr);

    // Any result other than 1 becomes 2.
    void done(int result) override;
    // Runs the dialog modally: 1 or 2, also when it was ended without done (hidden, a result set
    // directly, a window already shown when the modal run began).
    int exec() override;
    void reject() override;

protected:
    void KeyPreview(QObject* Sender, QChar& Key) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    // The minimum size in force before the dialog was fixed at its size; empty while not fixed.
    QSize m_unfixedMinimum;
};

} // namespace pd::ui

#pragma once

#include <QString>

#include "ui/quorform.h"

class QLabel;

namespace pd::ui {

// The program's message window: one centred, word-wrapped text above the OK and cancel buttons.
// Enter acts as OK, Escape and closing the window as cancel.
class TForm_Messagebox : public TQUORFORMMODAL {
    Q_OBJECT
public:
    explicit TForm_Messagebox(QWidget* owner = nullptr);

    QLabel* Messagetext;

    // Enter: OK while the OK button is enabled; other keys as in the modal base dialog.
    void FormKeyPress(QObject* Sender, QChar& Key) override;

    // The text to show; each carriage return (alone or before a line feed) starts a new line.
    void SetMessageText(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Sizes the window to its text within the screen and puts it in the screen's centre.
    void FitToContent();
};

// Logs the box, then shows caption and text unchanged; the cancel button only with withCancel.
// Returns 1 (OK) or 2 (cancel, Escape, closed).
int ShowMessageBox(const QString& caption, const QString& text, bool withCancel);

// A question with "&OK" and "&Abbruch"; caption and text translated. Returns 1 or 2.
int QueryBox(const QString& caption, const QString& text);

// A message with "&OK" only; caption and text translated.
void InfoBox(const QString& caption, const QString& text);

// InfoBox with the caption "Fehler".
void ErrorBox(const QString& text);

} // namespace pd::ui

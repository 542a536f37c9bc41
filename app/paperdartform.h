#pragma once

#include <QMainWindow>

namespace pd::app {

// The main window: the program's only working surface. Closing it ends the run.
class TForm_Paperdart : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm_Paperdart(QWidget* parent = nullptr);
    ~TForm_Paperdart() override;

    // True from creation until the window has been shown once.
    bool FirstShow = true;

signals:
    // The window has been closed (the close was not refused).
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormCreate();
    void FormShow();
};

// The process-wide reference to the main window while it exists.
extern TForm_Paperdart* Form_Paperdart;

} // namespace pd::app

#pragma once

#include <QDialog>

namespace pd::settings {

// The configuration dialog: created hidden at start-up after the main window, alive for the
// whole run, shown modally from the main window's menu.
class TForm_MAILConfig : public QDialog {
    Q_OBJECT
public:
    explicit TForm_MAILConfig(QWidget* owner);
    ~TForm_MAILConfig() override;
};

// The process-wide reference to the dialog while it exists.
extern TForm_MAILConfig* Form_MAILConfig;

} // namespace pd::settings

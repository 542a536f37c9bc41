#pragma once

#include <atomic>
#include <exception>
#include <memory>
#include <thread>

#include <QByteArray>
#include <QDialog>

#include "platform/wia/wia.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace pd::platform::wia {

// The progress window of one page transfer. The page is read on a thread of its own; the window
// closes itself when the page is in or the transfer failed. Cancel, Escape and closing the window
// stop the transfer and wait for the device to let go.
class TransferDialog : public QDialog {
    Q_OBJECT
public:
    explicit TransferDialog(std::shared_ptr<IItem> item, QWidget* owner);
    ~TransferDialog() override;

    // Runs the transfer modally; the page's bytes, or the transfer's error rethrown.
    QByteArray Run();

    void accept() override { }
    void reject() override;

private:
    void ShowProgress();
    void Finished();

    std::shared_ptr<IItem> m_item;
    QLabel* m_text;
    QProgressBar* m_bar;
    QPushButton* m_cancel;
    std::thread m_reader;
    QByteArray m_page;
    std::exception_ptr m_error;
    // Where the reading thread has got to; the window looks at it on a timer of its own.
    std::atomic<qint64> m_bytesRead { 0 };
    std::atomic<qint64> m_bytesExpected { -1 };
    bool m_finished = false;
    int m_shownPercent = -1;
};

} // namespace pd::platform::wia

#pragma once

#include <QObject>

class QSocketNotifier;

namespace pd::platform {

// Turns SIGTERM, SIGINT and SIGHUP (logout, Ctrl+C, a closed terminal) into a Qt signal on the
// event loop, so the program can close its main window and shut down in order instead of dying
// mid-run. One instance at a time; the handlers are restored when it is destroyed.
class QuitSignals : public QObject {
    Q_OBJECT
public:
    explicit QuitSignals(QObject* parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested();

private:
    void Drain();

    QSocketNotifier* m_notifier = nullptr;
};

} // namespace pd::platform

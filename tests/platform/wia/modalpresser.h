#pragma once

#include <deque>
#include <functional>

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

namespace pd::test {

// Answers the modal windows of a test as they come up, the way a user would: for each expected
// window (by object name) in turn it presses the named button once the window is up and ready
// says so. Every modal window that is shown is recorded by object name. A window left open for
// half a minute with nothing to press is closed as cancelled and recorded as "timed out", so a
// test fails instead of hanging.
class ModalPresser : public QObject {
public:
    struct Answer {
        QString window;
        QString button;
        std::function<bool(QWidget*)> ready = {};
    };

    explicit ModalPresser(std::vector<Answer> answers = {})
        : m_answers(answers.begin(), answers.end())
    {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { Poll(); });
        m_timer.start();
        qApp->installEventFilter(this);
    }
    ~ModalPresser() override { qApp->removeEventFilter(this); }

    // Object names of the modal windows that came up, in order.
    const QStringList& Seen() const { return m_seen; }
    int Count(const QString& window) const { return int(m_seen.count(window)); }
    bool AllPressed() const { return m_answers.empty(); }

private:
    void Poll()
    {
        QWidget* window = QApplication::activeModalWidget();
        if (!window)
            return;
        if (window != m_current) {
            m_current = window;
            m_open.start();
        }
        if (!m_answers.empty() && m_answers.front().window == window->objectName()
            && (!m_answers.front().ready || m_answers.front().ready(window))) {
            // A disabled button ignores the click: a window still closing after an earlier
            // press (its cancel greyed out) must not take the answer meant for the next one.
            auto* button = window->findChild<QPushButton*>(m_answers.front().button);
            if (button && button->isEnabled()) {
                m_answers.pop_front();
                button->click();
                return;
            }
        }
        if (m_open.elapsed() > 30000) {
            m_seen.append(QStringLiteral("timed out"));
            if (auto* dialog = qobject_cast<QDialog*>(window))
                dialog->reject();
        }
    }

    // Windows are counted when they are shown: a fast transfer's window may close before a poll.
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show) {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && widget->isWindow() && widget->isModal())
                m_seen.append(widget->objectName());
        }
        return false;
    }

    std::deque<Answer> m_answers;
    QStringList m_seen;
    QPointer<QWidget> m_current;
    QElapsedTimer m_open;
    QTimer m_timer;
};

} // namespace pd::test

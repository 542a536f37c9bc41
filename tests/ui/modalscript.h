#pragma once

#include <functional>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QTimer>

namespace pd::test {

// Steps run one after another, a little apart, inside the modal loop that the test starts next.
// When a modal window is still open after a few seconds it is closed with result 1 and the
// script counts as timed out, so a dialog that ignores its keys fails the test instead of
// hanging it.
class ModalScript {
public:
    explicit ModalScript(std::vector<std::function<void()>> steps)
        : m_steps(std::move(steps))
    {
        m_step.setSingleShot(true);
        m_step.setInterval(10);
        QObject::connect(&m_step, &QTimer::timeout, [this] { Next(); });
        m_step.start();
        m_guard.setSingleShot(true);
        m_guard.setInterval(5000);
        QObject::connect(&m_guard, &QTimer::timeout, [this] {
            if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                m_timedOut = true;
                dialog->done(1);
            }
        });
        m_guard.start();
    }

    bool TimedOut() const { return m_timedOut; }
    bool Finished() const { return m_next == m_steps.size(); }

private:
    void Next()
    {
        if (m_next < m_steps.size())
            m_steps[m_next++]();
        if (m_next < m_steps.size())
            m_step.start();
    }

    std::vector<std::function<void()>> m_steps;
    std::size_t m_next = 0;
    QTimer m_step;
    QTimer m_guard;
    bool m_timedOut = false;
};

} // namespace pd::test

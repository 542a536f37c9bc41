#pragma once

#include <exception>
#include <utility>

#include <QApplication>
#include <QString>

namespace pd::ui {

// The program's application object. It is the top-level error handler: an error that escapes an
// event handler (a slot, a key or mouse handler, a timer) is shown in an error box and the
// program goes on. Qt does not carry errors through its event loop, so they are caught where the
// event is delivered.
class TPaperdartApplication : public QApplication {
    Q_OBJECT
public:
    TPaperdartApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

// The text an escaped error is shown with: the full description of a pd::platform::Error, the
// message of any other standard exception.
QString EscapedErrorText(const std::exception_ptr& error);

// Shows the error in an error box (logged and translated); never raises.
void ShowEscapedError(const std::exception_ptr& error) noexcept;

// Runs a handler connected to a signal and shows an error that escapes it as the application
// object does. The handlers catch here, next to the signal: Qt's widget code between a button and
// the event loop is built without exception support, so an error passing through it would skip
// its clean-up (events, guards and a pressed state left behind).
template <typename Handler> void ShowingErrors(Handler&& handler) noexcept
{
    try {
        std::forward<Handler>(handler)();
    } catch (...) {
        ShowEscapedError(std::current_exception());
    }
}

} // namespace pd::ui

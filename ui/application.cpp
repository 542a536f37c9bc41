#include "ui/application.h"

#include <QLoggingCategory>

#include "platform/error.h"
#include "ui/messagebox.h"

namespace pd::ui {

namespace {

Q_LOGGING_CATEGORY(lcApplication, "pd.ui", QtInfoMsg)

} // namespace

TPaperdartApplication::TPaperdartApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

bool TPaperdartApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowEscapedError(std::current_exception());
        // Reported to the user: nothing further is to be done with this event.
        event->accept();
        return true;
    }
}

QString EscapedErrorText(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const platform::Error& e) {
        return e.FullDescription();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("Unbekannter Fehler");
    }
}

void ShowEscapedError(const std::exception_ptr& error) noexcept
{
    try {
        ErrorBox(EscapedErrorText(error));
    } catch (...) {
        // The box itself failed (out of memory, no window system): keep at least a trace.
        qCCritical(lcApplication) << "an error escaped an event handler and could not be shown";
    }
}

} // namespace pd::ui

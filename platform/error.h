#pragma once

#include <exception>
#include <vector>

#include <QByteArray>
#include <QString>

namespace pd::platform {

// The program's general error class: a message, a help-context number (0 unless set) and the
// errors it wraps. The full description is the message followed, each on a new line (CR LF), by the
// full descriptions of the wrapped errors; for an error that wraps nothing it is the message.
class Error : public std::exception {
public:
    explicit Error(QString message, int helpContext = 0, std::vector<Error> wrapped = {});

    // Wraps another error of any kind under a message of its own.
    static Error Wrapping(QString message, const std::exception& cause, int helpContext = 0);

    const QString& Message() const { return m_message; }
    int HelpContext() const { return m_helpContext; }
    const std::vector<Error>& Wrapped() const { return m_wrapped; }
    QString FullDescription() const;

    const char* what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    int m_helpContext = 0;
    std::vector<Error> m_wrapped;
    QByteArray m_what; // UTF-8 of the message, kept for what()
};

} // namespace pd::platform

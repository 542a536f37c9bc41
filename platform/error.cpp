#include "platform/error.h"

namespace pd::platform {

Error::Error(QString message, int helpContext, std::vector<Error> wrapped)
    : m_message(std::move(message))
    , m_helpContext(helpContext)
    , m_wrapped(std::move(wrapped))
    , m_what(m_message.toUtf8())
{
}

Error Error::Wrapping(QString message, const std::exception& cause, int helpContext)
{
    if (const auto* own = dynamic_cast<const Error*>(&cause))
        return Error(std::move(message), helpContext, { *own });
    return Error(std::move(message), helpContext, { Error(QString::fromUtf8(cause.what())) });
}

QString Error::FullDescription() const
{
    QString text = m_message;
    for (const Error& inner : m_wrapped)
        text += QStringLiteral("\r\n") + inner.FullDescription();
    return text;
}

} // namespace pd::platform

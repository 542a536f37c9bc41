#include "platform/imaging/errorstate.h"

#include "platform/imaging/imaginglog.h"

namespace pd::platform::imaging {

namespace {

struct ErrorState {
    ErrorCode code = kNoError;
    QString description;
    bool reported = false;
};

ErrorState& State()
{
    static ErrorState state;
    return state;
}

} // namespace

void SetLastError(ErrorCode code, const QString& description)
{
    ErrorState& state = State();
    ImagingLog(QStringLiteral("Error %1: %2").arg(int(code)).arg(description));
    if (state.code != kNoError && !state.reported)
        return;
    state = { code, description, false };
}

void ClearLastError()
{
    State() = {};
}

void MarkLastErrorReported()
{
    State().reported = true;
}

ErrorCode LastError()
{
    return State().code;
}

QString LastErrorDescription()
{
    return State().description;
}

} // namespace pd::platform::imaging

#include "platform/wia/sanesession.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <dlfcn.h>
#include <exception>
#include <mutex>
#include <pthread.h>
#include <set>
#include <utility>
#include <vector>

#include "platform/wia/pageassembler.h"
#include "platform/wia/sanestatus.h"
#include "platform/wia/wialog.h"

// Backends that read on a thread of their own switch it to asynchronous cancellation and cancel it
// when a frame ends or is cancelled. Cancelled asynchronously, the thread now and then dies inside
// the allocator with its lock held; the backend's join then waits for ever, and the scan with it.
// In this process cancellation stays deferred: such a thread ends at its next read, write or wait,
// and a reader reaches one with every chunk it passes on. Executables export this definition (see
// the target's link options), so backends loaded at run time find it before the C library's.
extern "C" int pthread_setcanceltype(int type, int* oldType)
{
    using SetCancelType = int (*)(int, int*);
    static const auto next = reinterpret_cast<SetCancelType>(::dlsym(RTLD_NEXT, "pthread_setcanceltype"));
    if (!next)
        return ENOSYS;
    return next(type == PTHREAD_CANCEL_ASYNCHRONOUS ? PTHREAD_CANCEL_DEFERRED : type, oldType);
}

namespace pd::platform::wia {

namespace {

// Large enough that a page of a fast device arrives in few calls, small enough that a Cancel is
// noticed while a slow device trickles.
constexpr SANE_Int kReadChunk = 32 * 1024;

constexpr std::array<int, 3> kProgramSignals { SIGTERM, SIGINT, SIGHUP };

SANE_Word NumberToWord(const SANE_Option_Descriptor& option, double value)
{
    // A word holds 32 bits; converting a larger number would be undefined.
    const double scale = option.type == SANE_TYPE_FIXED ? double(1 << SANE_FIXED_SCALE_SHIFT) : 1.0;
    const double limit = 2147483647.0;
    const double scaled = std::isnan(value) ? 0.0 : std::clamp(std::round(value * scale), -limit, limit);
    return SANE_Word(scaled);
}

// The value nearest to wanted that the option's constraint allows, in the option's own units.
SANE_Word Constrained(const SANE_Option_Descriptor& option, SANE_Word wanted)
{
    if (option.constraint_type == SANE_CONSTRAINT_RANGE) {
        const SANE_Range& range = *option.constraint.range;
        SANE_Word value = std::clamp(wanted, range.min, range.max);
        if (range.quant > 0)
            value = range.min + SANE_Word(std::llround(double(value - range.min) / range.quant)) * range.quant;
        return std::min(value, range.max);
    }
    if (option.constraint_type == SANE_CONSTRAINT_WORD_LIST) {
        const SANE_Word* list = option.constraint.word_list;
        SANE_Word best = wanted;
        long long bestDistance = -1;
        for (SANE_Word i = 1; i <= list[0]; ++i) {
            const long long distance = std::llabs((long long)list[i] - wanted);
            if (bestDistance < 0 || distance < bestDistance) {
                best = list[i];
                bestDistance = distance;
            }
        }
        return best;
    }
    return wanted;
}

FrameParameters ToFrame(const SANE_Parameters& p)
{
    FrameParameters frame;
    switch (p.format) {
    case SANE_FRAME_GRAY:
        frame.format = FrameFormat::Gray;
        break;
    case SANE_FRAME_RGB:
        frame.format = FrameFormat::Rgb;
        break;
    case SANE_FRAME_RED:
        frame.format = FrameFormat::Red;
        break;
    case SANE_FRAME_GREEN:
        frame.format = FrameFormat::Green;
        break;
    case SANE_FRAME_BLUE:
        frame.format = FrameFormat::Blue;
        break;
    }
    if (p.format > SANE_FRAME_BLUE)
        throw Error(
            QStringLiteral("The scanner sends frames of kind %1, which this program cannot read").arg(int(p.format)));
    frame.lastFrame = p.last_frame != SANE_FALSE;
    frame.bytesPerLine = p.bytes_per_line;
    frame.pixelsPerLine = p.pixels_per_line;
    frame.lines = p.lines;
    frame.depth = p.depth;
    return frame;
}

qint64 ExpectedPageBytes(const SANE_Parameters& p)
{
    if (p.lines < 0)
        return -1;
    const bool singleColour = p.format == SANE_FRAME_RED || p.format == SANE_FRAME_GREEN || p.format == SANE_FRAME_BLUE;
    return qint64(p.bytes_per_line) * p.lines * (singleColour ? 3 : 1);
}

struct OpenSessions {
    std::mutex mutex;
    std::set<SaneSession*> sessions;
};

OpenSessions& Open()
{
    static OpenSessions open;
    return open;
}

} // namespace

double WordToNumber(const SANE_Option_Descriptor& option, SANE_Word word)
{
    return option.type == SANE_TYPE_FIXED ? SANE_UNFIX(word) : double(word);
}

SANE_Word ConstrainedWord(const SANE_Option_Descriptor& option, double value)
{
    return Constrained(option, NumberToWord(option, value));
}

SaneSession::SaneSession(const QString& deviceName)
    : m_name(deviceName)
{
    for (std::size_t i = 0; i < kProgramSignals.size(); ++i)
        ::sigaction(kProgramSignals[i], nullptr, &m_programSignals[i]);
    const QByteArray name = deviceName.toUtf8();
    CheckSaneStatus(sane_open(name.constData(), &m_handle), "sane_open", m_name);
    const std::lock_guard lock(Open().mutex);
    Open().sessions.insert(this);
}

SaneSession::~SaneSession()
{
    {
        const std::lock_guard lock(Open().mutex);
        Open().sessions.erase(this);
    }
    Close();
}

void SaneSession::Close()
{
    if (!m_handle)
        return;
    Stop();
    sane_close(std::exchange(m_handle, nullptr));
    qCDebug(lcWia).noquote() << "sane_close" << m_name;
}

void SaneSession::CloseAll()
{
    const std::lock_guard lock(Open().mutex);
    for (SaneSession* session : Open().sessions)
        session->Close();
}

int SaneSession::OptionIndex(const char* name) const
{
    if (!m_handle)
        return -1;
    for (SANE_Int i = 1;; ++i) {
        const SANE_Option_Descriptor* option = sane_get_option_descriptor(m_handle, i);
        if (!option)
            return -1;
        if (option->name && std::strcmp(option->name, name) == 0)
            return SANE_OPTION_IS_ACTIVE(option->cap) ? i : -1;
    }
}

bool SaneSession::HasOption(const char* name) const
{
    return OptionIndex(name) >= 0;
}

std::optional<double> SaneSession::NumberOption(const char* name) const
{
    if (m_scanning && m_numbers.contains(name))
        return m_numbers.value(name);
    const int index = OptionIndex(name);
    if (index < 0)
        return std::nullopt;
    const SANE_Option_Descriptor& option = *sane_get_option_descriptor(m_handle, index);
    if ((option.type != SANE_TYPE_INT && option.type != SANE_TYPE_FIXED) || option.size < SANE_Int(sizeof(SANE_Word)))
        return std::nullopt;
    std::vector<SANE_Word> words(option.size / sizeof(SANE_Word));
    CheckSaneStatus(sane_control_option(m_handle, index, SANE_ACTION_GET_VALUE, words.data(), nullptr),
        "sane_control_option get", m_name + QLatin1Char(' ') + QLatin1String(name));
    return m_numbers[name] = WordToNumber(option, words[0]);
}

QString SaneSession::StringOption(const char* name) const
{
    if (m_scanning && m_strings.contains(name))
        return m_strings.value(name);
    const int index = OptionIndex(name);
    if (index < 0)
        return {};
    const SANE_Option_Descriptor& option = *sane_get_option_descriptor(m_handle, index);
    if (option.type != SANE_TYPE_STRING || option.size <= 0)
        return {};
    QByteArray value(option.size, '\0');
    CheckSaneStatus(sane_control_option(m_handle, index, SANE_ACTION_GET_VALUE, value.data(), nullptr),
        "sane_control_option get", m_name + QLatin1Char(' ') + QLatin1String(name));
    return m_strings[name] = QString::fromUtf8(value.constData());
}

QStringList SaneSession::StringChoices(const char* name) const
{
    const int index = OptionIndex(name);
    if (index < 0)
        return {};
    const SANE_Option_Descriptor& option = *sane_get_option_descriptor(m_handle, index);
    QStringList choices;
    if (option.type == SANE_TYPE_STRING && option.constraint_type == SANE_CONSTRAINT_STRING_LIST) {
        for (const SANE_String_Const* value = option.constraint.string_list; *value; ++value)
            choices.append(QString::fromUtf8(*value));
    }
    return choices;
}

bool SaneSession::CountsPixels(const char* name) const
{
    const int index = OptionIndex(name);
    return index >= 0 && sane_get_option_descriptor(m_handle, index)->unit == SANE_UNIT_PIXEL;
}

void SaneSession::SetNumberOption(const char* name, double value)
{
    const QString what = m_name + QLatin1Char(' ') + QLatin1String(name) + QLatin1Char('=') + QString::number(value);
    const int index = OptionIndex(name);
    if (index < 0)
        throw Error(QStringLiteral("sane_control_option set %1 -> no such option").arg(what));
    const SANE_Option_Descriptor& option = *sane_get_option_descriptor(m_handle, index);
    if (option.type != SANE_TYPE_INT && option.type != SANE_TYPE_FIXED)
        throw Error(QStringLiteral("sane_control_option set %1 -> not a number").arg(what));
    Stop();
    SANE_Word word = ConstrainedWord(option, value);
    CheckSaneStatus(
        sane_control_option(m_handle, index, SANE_ACTION_SET_VALUE, &word, nullptr), "sane_control_option set", what);
    // Setting one option may change others (a mode can change the resolutions offered).
    m_numbers.clear();
    m_strings.clear();
}

void SaneSession::SetStringOption(const char* name, const QString& value)
{
    const QString what = m_name + QLatin1Char(' ') + QLatin1String(name) + QLatin1Char('=') + value;
    const int index = OptionIndex(name);
    if (index < 0)
        throw Error(QStringLiteral("sane_control_option set %1 -> no such option").arg(what));
    const SANE_Option_Descriptor& option = *sane_get_option_descriptor(m_handle, index);
    QByteArray bytes = value.toUtf8();
    if (option.type != SANE_TYPE_STRING || bytes.size() >= option.size)
        throw Error(QStringLiteral("sane_control_option set %1 -> not a string of this length").arg(what));
    Stop();
    bytes.resize(option.size, '\0');
    CheckSaneStatus(sane_control_option(m_handle, index, SANE_ACTION_SET_VALUE, bytes.data(), nullptr),
        "sane_control_option set", what);
    m_numbers.clear();
    m_strings.clear();
}

int SaneSession::OptionCount()
{
    ThrowWhenClosed();
    Stop();
    SANE_Int count = 0;
    CheckSaneStatus(sane_control_option(m_handle, 0, SANE_ACTION_GET_VALUE, &count, nullptr), "sane_control_option get",
        m_name + QStringLiteral(" option count"));
    return count;
}

const SANE_Option_Descriptor* SaneSession::Descriptor(int index) const
{
    return m_handle ? sane_get_option_descriptor(m_handle, index) : nullptr;
}

void SaneSession::ReadOption(int index, void* value)
{
    ThrowWhenClosed();
    Stop();
    CheckSaneStatus(sane_control_option(m_handle, index, SANE_ACTION_GET_VALUE, value, nullptr),
        "sane_control_option get", m_name + QStringLiteral(" option %1").arg(index));
}

SANE_Int SaneSession::WriteOption(int index, void* value, const QString& what)
{
    ThrowWhenClosed();
    Stop();
    // Some backends read the value of a button all the same.
    SANE_Word unused = 0;
    SANE_Int info = 0;
    const SANE_Status status
        = sane_control_option(m_handle, index, SANE_ACTION_SET_VALUE, value ? value : &unused, &info);
    m_numbers.clear();
    m_strings.clear();
    CheckSaneStatus(status, "sane_control_option set", m_name + QLatin1Char(' ') + what);
    return info;
}

void SaneSession::Start()
{
    ThrowWhenClosed();
    m_pageDpi = DotsPerInch();
    const SANE_Status status = sane_start(m_handle);
    if (status == SANE_STATUS_GOOD)
        m_scanning = true;
    else
        Stop();
    CheckSaneStatus(status, "sane_start", m_name);
}

void SaneSession::Stop()
{
    m_framePending = false;
    m_lastPage = QByteArray();
    if (!m_scanning.exchange(false))
        return;
    sane_cancel(m_handle);
    qCDebug(lcWia).noquote() << "sane_cancel" << m_name;
    RestoreProgramSignals();
}

void SaneSession::ThrowWhenClosed() const
{
    if (!m_handle)
        throw Error(m_name + QStringLiteral(": the scanner library has ended"));
}

void SaneSession::RestoreProgramSignals() const
{
    for (std::size_t i = 0; i < kProgramSignals.size(); ++i)
        ::sigaction(kProgramSignals[i], &m_programSignals[i], nullptr);
}

void SaneSession::Cancel()
{
    m_cancelRequested = true;
    // sane_cancel may be called from any thread while sane_read blocks; the reading thread then
    // gets CANCELLED and ends the batch itself.
    if (m_scanning)
        sane_cancel(m_handle);
}

bool SaneSession::ProbeFeeder()
{
    if (m_framePending)
        return true;
    ThrowWhenClosed();
    m_pageDpi = DotsPerInch();
    const SANE_Status status = sane_start(m_handle);
    if (status == SANE_STATUS_GOOD) {
        m_scanning = true;
        m_framePending = true;
        qCDebug(lcWia).noquote() << "sane_start" << m_name << "-> paper ready";
        return true;
    }
    Stop();
    if (status == SANE_STATUS_NO_DOCS) {
        // An empty feeder is the normal end of a feeder run.
        qCDebug(lcWia).noquote() << "sane_start" << m_name << "->" << SaneStatusText(status);
        return false;
    }
    CheckSaneStatus(status, "sane_start", m_name);
    return false;
}

int SaneSession::DotsPerInch() const
{
    std::optional<double> dpi = NumberOption("resolution");
    if (!dpi)
        dpi = NumberOption("x-resolution");
    return dpi ? int(std::lround(*dpi)) : 0;
}

void SaneSession::ReadFrame(
    PageAssembler& page, TransferProgress& done, const std::function<void(const TransferProgress&)>& progress)
{
    SANE_Parameters parameters;
    CheckSaneStatus(sane_get_parameters(m_handle, &parameters), "sane_get_parameters", m_name);
    qCDebug(lcWia).noquote() << "frame" << int(parameters.format) << parameters.pixels_per_line << "x"
                             << parameters.lines << "depth" << parameters.depth << "bpl" << parameters.bytes_per_line
                             << "last" << parameters.last_frame;
    if (done.bytesExpected < 0 && done.bytesRead == 0)
        done.bytesExpected = ExpectedPageBytes(parameters);
    page.BeginFrame(ToFrame(parameters));
    std::vector<char> buffer(kReadChunk);
    for (;;) {
        SANE_Int length = 0;
        const SANE_Status status
            = sane_read(m_handle, reinterpret_cast<SANE_Byte*>(buffer.data()), kReadChunk, &length);
        // After a cancel, backends end the frame in their own way (CANCELLED, EOF, an I/O
        // error); it is the user's cancel all the same.
        if (m_cancelRequested)
            CheckSaneStatus(SANE_STATUS_CANCELLED, "sane_read", m_name);
        if (status == SANE_STATUS_EOF)
            break;
        if (status != SANE_STATUS_GOOD)
            CheckSaneStatus(status, "sane_read", m_name);
        page.AddData(buffer.data(), length);
        done.bytesRead += length;
        if (progress)
            progress(done);
    }
    // The backend's reader has long set up its signals by the end of its frame.
    RestoreProgramSignals();
    page.EndFrame();
}

QByteArray SaneSession::ReadPage(bool feederSource, const std::function<void(const TransferProgress&)>& progress)
{
    // A cancel that comes before the reading begins (pressed as the progress window opens) holds
    // for this page: the request is spent when the page ends, however it ends, never at its start.
    struct SpendCancel {
        std::atomic<bool>& requested;
        ~SpendCancel() { requested = false; }
    } spend { m_cancelRequested };
    try {
        std::optional<PageAssembler> page;
        TransferProgress done;
        do {
            // A page cancelled before it began feeds no sheet; one the feeder probe has fed
            // already is stopped like any other.
            if (m_cancelRequested)
                CheckSaneStatus(SANE_STATUS_CANCELLED, "sane_start", m_name);
            if (!m_framePending)
                Start();
            m_framePending = false;
            if (m_cancelRequested)
                CheckSaneStatus(SANE_STATUS_CANCELLED, "sane_start", m_name);
            if (!page) {
                page.emplace(m_pageDpi);
                page->ReuseMemory(std::exchange(m_lastPage, QByteArray()));
            }
            ReadFrame(*page, done, progress);
        } while (!page->Complete());
        if (!feederSource)
            Stop();
        QByteArray bmp = page->TakeBmp();
        if (feederSource)
            m_lastPage = bmp;
        return bmp;
    } catch (const Error&) {
        Stop();
        throw;
    } catch (const std::exception& error) {
        Stop();
        throw Error(m_name + QStringLiteral(": ") + QString::fromUtf8(error.what()), m_cancelRequested);
    }
}

} // namespace pd::platform::wia

#include "platform/textfile.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include "platform/codepage.h"
#include "platform/folders.h"

namespace pd::platform {

namespace {

const QByteArray kUtf8Bom = QByteArrayLiteral("\xEF\xBB\xBF");
const QByteArray kUtf16LeBom = QByteArrayLiteral("\xFF\xFE");
const QByteArray kUtf16BeBom = QByteArrayLiteral("\xFE\xFF");

// UTF-16 code units to text; a surrogate without its partner becomes U+FFFD.
QString DecodeUtf16(const QByteArray& bytes, qsizetype start, bool bigEndian)
{
    const qsizetype count = (bytes.size() - start) / 2;
    QString text(count, Qt::Uninitialized);
    QChar* out = text.data();
    for (qsizetype i = 0; i < count; ++i) {
        const auto first = static_cast<unsigned char>(bytes[start + 2 * i]);
        const auto second = static_cast<unsigned char>(bytes[start + 2 * i + 1]);
        out[i] = QChar(bigEndian ? char16_t(first << 8 | second) : char16_t(second << 8 | first));
    }
    for (qsizetype i = 0; i < count; ++i) {
        if (out[i].isHighSurrogate() && i + 1 < count && out[i + 1].isLowSurrogate())
            ++i;
        else if (out[i].isSurrogate())
            out[i] = QChar::ReplacementCharacter;
    }
    return text;
}

QByteArray EncodeUtf16(const QString& text, bool bigEndian)
{
    QByteArray bytes = bigEndian ? kUtf16BeBom : kUtf16LeBom;
    bytes.reserve(bytes.size() + 2 * text.size());
    for (const QChar c : text) {
        const auto high = static_cast<char>(c.unicode() >> 8);
        const auto low = static_cast<char>(c.unicode() & 0xFF);
        bytes.append(bigEndian ? high : low);
        bytes.append(bigEndian ? low : high);
    }
    return bytes;
}

std::optional<QByteArray> ReadAll(int fd, off_t expectedSize)
{
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(expectedSize));
    std::array<char, 65536> buffer {};
    for (;;) {
        const ssize_t count = ::read(fd, buffer.data(), buffer.size());
        if (count == 0)
            return bytes;
        if (count > 0)
            bytes.append(buffer.data(), count);
        else if (errno != EINTR)
            return std::nullopt;
    }
}

// Opens without blocking (opening a FIFO would wait for a writer) and accepts only what the open
// descriptor shows to be a regular file, so no earlier check can be outrun.
std::optional<QByteArray> ReadRegularFile(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> bytes;
    struct stat info { };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
        bytes = ReadAll(fd, info.st_size);
    ::close(fd);
    return bytes;
}

int OpenForAppend(const QByteArray& path, int flags)
{
    // Non-blocking, so a FIFO in the log's place cannot hold the program. Read access serves
    // only to look at the last byte; a file the user may only write is still written.
    const int common = O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | flags;
    const int fd = ::open(path.constData(), O_RDWR | common, 0666);
    if (fd >= 0 || errno != EACCES)
        return fd;
    return ::open(path.constData(), O_WRONLY | common, 0666);
}

// Waits a few milliseconds at most for the other writers' locks: a line takes microseconds, and
// a writer that hangs while holding the lock must not hold this one.
bool LockBriefly(int fd)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            return true;
        if (errno != EWOULDBLOCK && errno != EINTR)
            return false;
        ::usleep(100);
    }
    return false;
}

// True when the file ends inside a line: a process killed during its write left part of one.
bool EndsInsideALine(int fd, off_t size)
{
    char last = '\n';
    return size > 0 && ::pread(fd, &last, 1, size - 1) == 1 && last != '\n';
}

} // namespace

DecodedText DecodeText(const QByteArray& bytes)
{
    if (bytes.startsWith(kUtf8Bom))
        return { QString::fromUtf8(bytes.constData() + kUtf8Bom.size(), bytes.size() - kUtf8Bom.size()),
            TextEncoding::Utf8Bom };
    if (bytes.startsWith(kUtf16LeBom))
        return { DecodeUtf16(bytes, kUtf16LeBom.size(), false), TextEncoding::Utf16LeBom };
    if (bytes.startsWith(kUtf16BeBom))
        return { DecodeUtf16(bytes, kUtf16BeBom.size(), true), TextEncoding::Utf16BeBom };
    return { DecodeAnsi(bytes), TextEncoding::Ansi };
}

QByteArray EncodeText(const QString& text, TextEncoding encoding)
{
    switch (encoding) {
    case TextEncoding::Utf8Bom:
        return kUtf8Bom + text.toUtf8();
    case TextEncoding::Utf16LeBom:
        return EncodeUtf16(text, false);
    case TextEncoding::Utf16BeBom:
        return EncodeUtf16(text, true);
    case TextEncoding::Ansi:
        break;
    }
    const QByteArray bytes = EncodeAnsi(text);
    // Code-page bytes that begin like a byte-order mark ("ÿþ" is "ÿþ" in 1252) would read back
    // as UTF-16 or UTF-8 and the text would be lost; such a text gets a real UTF-8 mark instead,
    // with the characters the code page holds.
    if (bytes.startsWith(kUtf8Bom) || bytes.startsWith(kUtf16LeBom) || bytes.startsWith(kUtf16BeBom))
        return kUtf8Bom + DecodeAnsi(bytes).toUtf8();
    return bytes;
}

std::optional<DecodedText> ReadTextFile(const QString& path)
{
    const std::optional<QByteArray> bytes = ReadRegularFile(path);
    if (!bytes)
        return std::nullopt;
    return DecodeText(*bytes);
}

bool WriteTextFile(const QString& path, const QString& text, TextEncoding encoding, QString* error)
{
    return WriteFileWhole(path, EncodeText(text, encoding), error);
}

bool WriteFileWhole(const QString& path, const QByteArray& bytes, QString* error)
{
    // A device, FIFO or socket at the path, or at the end of a link there, is no file to replace:
    // the rename would put a regular file in its place (for root even over /dev/null).
    if (const std::optional<QString> why = PathInTheWay(path)) {
        if (error)
            *error = QStringLiteral("%1 %2").arg(path, *why);
        return false;
    }
    QSaveFile file(path);
    // Unbuffered, so a write the kernel cuts short (file size limit) shows in write()'s count;
    // through the buffer the short flush went unnoticed and the cut file was committed.
    const bool written
        = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size() && file.commit();
    if (!written && error)
        *error = file.errorString();
    return written;
}

std::optional<QString> PathInTheWay(const QString& path)
{
    struct stat info { };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("is a folder");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("is not a regular file");
    return std::nullopt;
}

// One append-mode write of the whole line, so lines of two processes never interleave.
bool AppendLineWhole(const QString& path, const QByteArray& line, const QByteArray& closeCutLine, bool createFolders)
{
    const QByteArray name = QFile::encodeName(path);
    int fd = OpenForAppend(name, O_CREAT);
    if (fd < 0 && errno == ENOENT && createFolders && ForceDirectories(QFileInfo(path).path()))
        fd = OpenForAppend(name, O_CREAT);
    if (fd < 0)
        return false;
    bool whole = false;
    struct stat info { };
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) {
        // After a cut line this one starts on a line of its own instead of being glued to it. The
        // lock keeps a line that another writer is still writing from being taken for a cut one.
        const bool alone = LockBriefly(fd);
        const bool cut = alone && ::fstat(fd, &info) == 0 && EndsInsideALine(fd, info.st_size);
        const QByteArray bytes = cut ? closeCutLine + line : line;
        ssize_t written;
        do
            written = ::write(fd, bytes.constData(), std::size_t(bytes.size()));
        while (written < 0 && errno == EINTR);
        whole = written == bytes.size();
        if (written > 0 && !whole && ::fstat(fd, &info) == 0 && info.st_size >= written) {
            // On a full disk nobody else appends after it: the cut line is the file's end.
            while (::ftruncate(fd, info.st_size - written) != 0 && errno == EINTR) { }
        }
    }
    ::close(fd);
    return whole;
}

QStringList SplitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines.append(text.mid(start, i - start));
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.append(text.mid(start));
    return lines;
}

} // namespace pd::platform

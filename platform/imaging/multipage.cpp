#include "platform/imaging/multipage.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include "platform/imaging/dib.h"
#include "platform/imaging/errorstate.h"
#include "platform/imaging/imaginglog.h"
#include "platform/imaging/jpegencoder.h"
#include "platform/imaging/pdfwriter.h"
#include "platform/imaging/scanner.h"
#include "platform/imaging/twain.h"
#include "platform/pagememory.h"
#include "platform/textfile.h"

namespace pd::platform::imaging {

namespace {

constexpr int kDefaultQuality = 75;
constexpr int kA4 = 1;

// One PDF between its begin and its end: written under a temporary name beside its path.
struct OpenFile {
    QString path;
    QByteArray tempPath; // file name bytes
    int fd = -1;
    std::unique_ptr<PdfWriter> writer;
    std::unique_ptr<JpegEncoder> encoder;

    ~OpenFile()
    {
        if (fd >= 0)
            ::close(fd);
        if (!tempPath.isEmpty())
            ::unlink(tempPath.constData());
    }
};

struct Library {
    int quality = kDefaultQuality;
    int paperSize = kA4;
    std::unique_ptr<OpenFile> file;
};

Library& Lib()
{
    static Library library;
    return library;
}

QString SystemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// "/folder/.name." for the hidden temporary names beside the path; the caller adds the end.
QByteArray TemporaryName(const QString& path)
{
    const QFileInfo info(path);
    return QFile::encodeName(info.absolutePath()) + "/." + QFile::encodeName(info.fileName()) + ".";
}

int Fail(ErrorCode code, const QString& description)
{
    SetLastError(code, description);
    return int(LastError());
}

int WriteFailed(const QString& path, int error)
{
    return Fail(kWriteFailed, QStringLiteral("Cannot write %1: %2").arg(path, SystemError(error)));
}

int WriteFailed(const OpenFile& file)
{
    return WriteFailed(file.path, file.writer->WriteErrno());
}

// The temporary file has no name until it is complete, so a process killed while writing leaves
// nothing behind. A file system without unnamed files gets a hidden name beside the path.
int OpenTemporary(OpenFile& file)
{
    const QFileInfo info(file.path);
    if (info.fileName().isEmpty())
        return Fail(kCannotCreateFile, QStringLiteral("Cannot create \"%1\": no file name").arg(file.path));
    if (const std::optional<QString> why = PathInTheWay(file.path))
        return Fail(kCannotCreateFile, QStringLiteral("Cannot create %1: the path %2").arg(file.path, *why));
    file.fd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (file.fd >= 0)
        return kNoError;
    QByteArray temp = TemporaryName(file.path) + "XXXXXX";
    file.fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (file.fd < 0)
        return Fail(kCannotCreateFile, QStringLiteral("Cannot create %1: %2").arg(file.path, SystemError(errno)));
    file.tempPath = temp;
    return kNoError;
}

// Gives an unnamed temporary file a hidden name beside the path, for the rename over it.
bool NameTemporary(OpenFile& file)
{
    const QByteArray self = "/proc/self/fd/" + QByteArray::number(file.fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        const QByteArray name = TemporaryName(file.path)
            + QByteArray::number(QRandomGenerator::global()->generate(), 36).rightJustified(7, '0');
        if (::linkat(AT_FDCWD, self.constData(), AT_FDCWD, name.constData(), AT_SYMLINK_FOLLOW) == 0) {
            file.tempPath = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    errno = EEXIST;
    return false;
}

// The complete file goes to disk first and then replaces the path in one step: after a crash the
// path holds the old file or the whole new one.
void PutInPlace(OpenFile& file)
{
    const QByteArray target = QFile::encodeName(file.path);
    if (::fdatasync(file.fd) != 0) {
        WriteFailed(file.path, errno);
        return;
    }
    if (file.tempPath.isEmpty() && !NameTemporary(file)) {
        Fail(kCannotCompleteFile, QStringLiteral("Cannot put %1 in place: %2").arg(file.path, SystemError(errno)));
        return;
    }
    const int fd = std::exchange(file.fd, -1);
    if (::close(fd) != 0)
        WriteFailed(file.path, errno);
    else if (::rename(file.tempPath.constData(), target.constData()) != 0)
        Fail(kCannotCompleteFile, QStringLiteral("Cannot put %1 in place: %2").arg(file.path, SystemError(errno)));
    else
        file.tempPath.clear();
}

} // namespace

int WriteOpenFilePage(const DibPixels& pixels)
{
    Library& lib = Lib();
    if (!lib.file)
        return Fail(kNoFileOpen, QStringLiteral("No file begun for the page"));
    OpenFile& file = *lib.file;
    if (file.writer->Failed())
        return WriteFailed(file);
    if (!file.encoder->Encode(pixels, lib.quality))
        return Fail(kEncodingFailed,
            QStringLiteral("Page %1 left out: %2").arg(file.writer->PageCount() + 1).arg(file.encoder->Error()));
    const double widthPt = pixels.width * 72.0 / DotsPerInch(pixels.xPelsPerMeter);
    const double heightPt = pixels.height * 72.0 / DotsPerInch(pixels.yPelsPerMeter);
    if (!file.writer->AddJpegPage(file.encoder->Data(), file.encoder->Size(), pixels.width, pixels.height,
            file.encoder->IsGrey(), widthPt, heightPt))
        return WriteFailed(file);
    return kNoError;
}

int OpenFilePageCount()
{
    return Lib().file ? Lib().file->writer->PageCount() : 0;
}

void AbandonOpenFile()
{
    Library& lib = Lib();
    if (!lib.file)
        return;
    ImagingLog(
        QStringLiteral("Abandon %1: %2 pages not written").arg(lib.file->path).arg(lib.file->writer->PageCount()));
    lib.file.reset();
    pd::platform::ReleaseSparePageMemory();
}

int CurrentPaperSize()
{
    return Lib().paperSize;
}

} // namespace pd::platform::imaging

using namespace pd::platform::imaging;

void TWAIN_SetJpegQuality(int quality)
{
    Lib().quality = std::clamp(quality, 1, 100);
}

void TWAIN_SetPaperSize(int paperSize)
{
    ImagingLog(QStringLiteral("SetPaperSize %1").arg(paperSize));
    Lib().paperSize = paperSize;
    ApplyPaperSizeToSource(paperSize);
}

int TWAIN_BeginMultipageFile(const QString& path)
{
    Library& lib = Lib();
    lib.file.reset();
    ClearLastError();
    ImagingLog(QStringLiteral("BeginMultipageFile %1").arg(path));
    auto file = std::make_unique<OpenFile>();
    file->path = path;
    if (const int error = OpenTemporary(*file))
        return error;
    file->writer = std::make_unique<PdfWriter>(file->fd);
    if (!file->writer->Start())
        return WriteFailed(*file);
    file->encoder = std::make_unique<JpegEncoder>();
    if (!file->encoder->IsReady())
        return Fail(kEncodingFailed, QStringLiteral("JPEG compressor unavailable: %1").arg(file->encoder->Error()));
    lib.file = std::move(file);
    return kNoError;
}

int TWAIN_DibWritePage(pd::platform::HGLOBAL dib)
{
    if (!Lib().file)
        return Fail(kNoFileOpen, QStringLiteral("No file begun for the page"));
    QString reason;
    const auto* bytes = static_cast<const unsigned char*>(pd::platform::GlobalLock(dib));
    const std::optional<DibPixels> pixels = ParseDib(bytes, pd::platform::GlobalSize(dib), &reason);
    const int result = pixels
        ? WriteOpenFilePage(*pixels)
        : Fail(
            kBadPageImage, QStringLiteral("Page %1 left out: %2").arg(Lib().file->writer->PageCount() + 1).arg(reason));
    if (bytes)
        pd::platform::GlobalUnlock(dib);
    return result;
}

void DIB_Free(pd::platform::HGLOBAL dib)
{
    pd::platform::GlobalFree(dib);
}

int TWAIN_EndMultipageFile()
{
    Library& lib = Lib();
    if (!lib.file)
        return Fail(kNoFileOpen, QStringLiteral("No file begun to end"));
    std::unique_ptr<OpenFile> file = std::move(lib.file);
    const int pages = file->writer->PageCount();
    ImagingLog(QStringLiteral("EndMultipageFile %1: %2 pages").arg(file->path).arg(pages));
    if (pages > 0 && file->writer->Finish())
        PutInPlace(*file);
    else if (pages > 0)
        WriteFailed(*file);
    file.reset();
    pd::platform::ReleaseSparePageMemory();
    MarkLastErrorReported();
    return int(LastError());
}

int TWAIN_LastErrorCode()
{
    return int(LastError());
}

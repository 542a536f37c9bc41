// The imaging library's page writer on arbitrary packed bitmaps: a bitmap its parser accepts
// becomes one page of a complete PDF file (sound cross-reference table, an image of the bitmap's
// size holding a JPEG of that size), anything else is refused with an error, leaves no file at
// the path and no temporary file beside it.
#include <cstdint>
#include <cstring>
#include <optional>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include "fuzz/fuzzinput.h"
#include "fuzz/fuzztempdir.h"
#include "platform/heapblock.h"
#include "platform/imaging/dib.h"
#include "platform/imaging/twain.h"

namespace {

// Width and height from the JPEG's start-of-frame segment.
std::optional<std::pair<int, int>> JpegSize(const QByteArray& pdf, qsizetype from)
{
    const qsizetype soi = pdf.indexOf("\xFF\xD8\xFF", from);
    if (soi < 0)
        return std::nullopt;
    qsizetype i = soi + 2;
    while (i + 9 < pdf.size() && std::uint8_t(pdf[i]) == 0xFF) {
        const auto marker = std::uint8_t(pdf[i + 1]);
        const int length = std::uint8_t(pdf[i + 2]) << 8 | std::uint8_t(pdf[i + 3]);
        if (marker >= 0xC0 && marker <= 0xC2) {
            const int height = std::uint8_t(pdf[i + 5]) << 8 | std::uint8_t(pdf[i + 6]);
            const int width = std::uint8_t(pdf[i + 7]) << 8 | std::uint8_t(pdf[i + 8]);
            return std::make_pair(width, height);
        }
        i += 2 + length;
    }
    return std::nullopt;
}

void CheckPdf(const QByteArray& pdf, const pd::platform::imaging::DibPixels& dib)
{
    FUZZ_CHECK(pdf.startsWith("%PDF-1.4\n"));
    FUZZ_CHECK(pdf.endsWith("%%EOF\n"));
    // Every entry of the cross-reference table points at the start of its object.
    const qsizetype startxref = pdf.lastIndexOf("startxref\n");
    FUZZ_CHECK(startxref > 0);
    const qsizetype xref = pdf.mid(startxref + 10).split('\n').front().toLongLong();
    FUZZ_CHECK(xref > 0 && pdf.mid(xref).startsWith("xref\n0 "));
    const QList<QByteArray> lines = pdf.mid(xref).split('\n');
    const int objects = lines[1].mid(2).toInt();
    FUZZ_CHECK(objects >= 4);
    for (int object = 1; object < objects; ++object) {
        const qsizetype offset = lines[2 + object].left(10).toLongLong();
        FUZZ_CHECK(pdf.mid(offset).startsWith(QByteArray::number(object) + " 0 obj\n"));
    }
    FUZZ_CHECK(pdf.contains("/Type /Pages /Count 1 "));
    const QByteArray size = "/Width " + QByteArray::number(dib.width) + " /Height " + QByteArray::number(dib.height);
    const qsizetype image = pdf.indexOf(size);
    FUZZ_CHECK(image > 0);
    const std::optional<std::pair<int, int>> jpeg = JpegSize(pdf, image);
    FUZZ_CHECK(jpeg.has_value());
    FUZZ_CHECK(jpeg->first == dib.width && jpeg->second == dib.height);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1 || size > 256 * 1024)
        return 0;
    const QString path = pd::fuzz::TempPath(QStringLiteral("Scan.pdf"));
    QFile::remove(path);
    TWAIN_SetJpegQuality(data[0]);
    const std::size_t dibSize = size - 1;

    pd::platform::HGLOBAL block = pd::platform::GlobalAlloc(pd::platform::GMEM_MOVEABLE, dibSize);
    FUZZ_CHECK(block != nullptr);
    if (dibSize > 0) {
        std::memcpy(pd::platform::GlobalLock(block), data + 1, dibSize);
        pd::platform::GlobalUnlock(block);
    }
    QString reason;
    const std::optional<pd::platform::imaging::DibPixels> dib
        = pd::platform::imaging::ParseDib(data + 1, dibSize, &reason);
    if (dib) {
        // The pixels the parser describes lie inside the bitmap.
        const std::size_t rowBytes = std::size_t(dib->width) * std::size_t(dib->bitsPerPixel / 8);
        FUZZ_CHECK(dib->rows >= data + 1 && dib->stride >= rowBytes);
        FUZZ_CHECK(
            std::size_t(dib->rows - (data + 1)) + dib->stride * std::size_t(dib->height - 1) + rowBytes <= dibSize);
    } else {
        FUZZ_CHECK(!reason.isEmpty());
    }

    FUZZ_CHECK(TWAIN_BeginMultipageFile(path) == 0);
    const int written = TWAIN_DibWritePage(block);
    // JPEG holds sides up to 65500 pixels; a larger page is left out with an error.
    const bool encodable = dib && dib->width <= 65500 && dib->height <= 65500;
    FUZZ_CHECK((written == 0) == encodable);
    FUZZ_CHECK(TWAIN_LastErrorCode() == written);
    const int ended = TWAIN_EndMultipageFile();
    pd::platform::GlobalFree(block);

    const QStringList left = QDir(QFileInfo(path).absolutePath()).entryList(QDir::Files | QDir::Hidden);
    if (!encodable) {
        FUZZ_CHECK(ended != 0);
        FUZZ_CHECK(left.isEmpty());
        return 0;
    }
    FUZZ_CHECK(ended == 0);
    FUZZ_CHECK(left == QStringList { QStringLiteral("Scan.pdf") });
    CheckPdf(pd::fuzz::FileBytes(path), *dib);
    return 0;
}

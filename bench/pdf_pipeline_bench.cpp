// Runs every *.bmp of a folder, in name order, through the page step of the scanner acquisition
// into one PDF, and encodes the same kept and cropped pixels with plain TurboJPEG beside it, so the
// ratio shows what the pipeline adds around the encoding it cannot avoid.
//
// usage: pdf_pipeline_bench PAGES_DIR OUT.pdf
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <turbojpeg.h>

#include <QDir>
#include <QFile>
#include <QtEndian>

#include "platform/imaging/twain.h"
#include "platform/pagememory.h"
#include "scan/pagebitmap.h"
#include "scan/pageimage.h"
#include "scan/pageops.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kQuality = 90;
constexpr int kDarkLimit = 200;
constexpr long double kThreshold = 0.002L;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// The reference: the packed bitmap's pixels as they lie, same quality and subsampling, into an
// output buffer kept from page to page (grown outside the timed part), so that it counts the
// encoding alone and no fresh memory.
struct Reference {
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long capacity = 0;
    Clock::duration total {};

    ~Reference() { tjFree(jpeg); }

    void Encode(pd::platform::HGLOBAL dib)
    {
        const auto* bytes = static_cast<const unsigned char*>(pd::platform::GlobalLock(dib));
        const int width = qFromLittleEndian<qint32>(bytes + 4);
        const int height = qFromLittleEndian<qint32>(bytes + 8);
        const int pitch = (width * 3 + 3) / 4 * 4;
        const unsigned long needed = tjBufSize(width, height, TJSAMP_420);
        if (capacity < needed) {
            tjFree(jpeg);
            jpeg = tjAlloc(int(needed));
            capacity = needed;
            std::memset(jpeg, 0, needed);
        }
        unsigned long size = capacity;
        const Clock::time_point start = Clock::now();
        const int rc = tjCompress2(tj, bytes + 40, width, pitch, height, TJPF_BGR, &jpeg, &size, TJSAMP_420, kQuality,
            TJFLAG_BOTTOMUP | TJFLAG_NOREALLOC);
        total += Clock::now() - start;
        pd::platform::GlobalUnlock(dib);
        if (rc != 0)
            std::fprintf(stderr, "reference encoding failed: %s\n", tjGetErrorStr2(tj));
    }
};

// Where the bytes of each page land, as a device's transfer buffer is reused from page to page:
// page memory, since the bytes are a page image.
struct TransferBuffer {
    void* data = nullptr;
    std::size_t capacity = 0;

    ~TransferBuffer() { pd::platform::FreePageMemory(data); }
    bool Reserve(std::size_t bytes)
    {
        if (bytes <= capacity)
            return true;
        pd::platform::FreePageMemory(data);
        data = pd::platform::AllocatePageMemory(bytes);
        capacity = data ? bytes : 0;
        return data != nullptr;
    }
};

// The page step of the acquisition for one BMP file. The reference encoding runs inside it but its
// time is moved out of the pipeline's by pushing *start on.
bool PageStep(const QString& path, TransferBuffer& buffer, Reference& reference, int* kept, Clock::time_point* start)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !buffer.Reserve(std::size_t(file.size())))
        return false;
    if (file.read(static_cast<char*>(buffer.data), file.size()) != file.size())
        return false;
    file.close();
    pd::scan::PageBitmap page
        = pd::scan::LoadBitmap(QByteArray::fromRawData(static_cast<const char*>(buffer.data), file.size()));
    pd::scan::ConvertTo24Bit(page);
    long double fraction = 0;
    {
        pd::scan::TQuorBasicImage meter;
        meter.Assign(page);
        fraction = meter.DarkFraction(kDarkLimit);
    }
    if (fraction < kThreshold)
        return true;
    ++*kept;
    pd::scan::CropToContent(page, kDarkLimit);
    if (pd::platform::HGLOBAL dib = pd::scan::BitmapToDib(page)) {
        TWAIN_DibWritePage(dib);
        const Clock::time_point paused = Clock::now();
        reference.Encode(dib);
        *start += Clock::now() - paused;
        DIB_Free(dib);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s PAGES_DIR OUT.pdf\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    const QStringList names = folder.entryList({ QStringLiteral("*.bmp") }, QDir::Files, QDir::Name);
    if (names.isEmpty()) {
        std::fprintf(stderr, "no *.bmp in %s\n", argv[1]);
        return 2;
    }
    Reference reference;
    Clock::duration pipeline {};
    int kept = 0;

    Clock::time_point start = Clock::now();
    TWAIN_SetJpegQuality(kQuality);
    TWAIN_SetPaperSize(1);
    if (TWAIN_BeginMultipageFile(QString::fromLocal8Bit(argv[2])) != 0) {
        std::fprintf(stderr, "cannot begin %s\n", argv[2]);
        return 1;
    }
    pipeline += Clock::now() - start;
    TransferBuffer buffer;
    for (const QString& name : names) {
        start = Clock::now();
        if (!PageStep(folder.filePath(name), buffer, reference, &kept, &start))
            return 1;
        pipeline += Clock::now() - start;
    }
    start = Clock::now();
    const int endResult = TWAIN_EndMultipageFile();
    pipeline += Clock::now() - start;

    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    const double pages = double(names.size());
    std::printf("pages=%d kept=%d\n", int(names.size()), kept);
    std::printf("pipeline_ms_per_page=%.1f\n", Ms(pipeline) / pages);
    std::printf("reference_ms_per_page=%.1f\n", Ms(reference.total) / pages);
    std::printf("peak_memory_mb=%.1f\n", usage.ru_maxrss / 1024.0);
    std::printf("pdf_result=%d\n", endResult);
    std::printf("ratio_vs_jpeg_encode=%.2f\n", Ms(pipeline) / Ms(reference.total));
    return endResult == 0 ? 0 : 1;
}

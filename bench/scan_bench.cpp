// A feeder scan of SANE's test backend (10 A4 pages of a grid, colour, 300 dpi) into one PDF through
// ScanToPdf, beside scanimage writing the same pages as JPEG files, the usual script pipeline. Each
// side runs as a process of its own and is measured for its peak memory; scanimage is timed whole,
// ScanToPdf by its call. The PDF side runs once more stopped after 3 pages, to show whether memory
// grows with the page count.
//
// usage: scan_bench [WORK_DIR]   (the folder gets the SANE set-up, the JPEG files and the PDFs)
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <spawn.h>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include "platform/wia/coinit.h"
#include "platform/wia/wia.h"
#include "scan/desktopscanning.h"
#include "scan/scandispatcher.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kResolution = 300;
constexpr double kThreshold = 0.002;
constexpr int kFeederPages = 10; // the test backend's feeder is empty after 10 pages
constexpr int kShortRun = 3;
constexpr std::chrono::seconds kChildTimeLimit { 120 };

// The test backend draws what its configuration file says; an A4 grid is a page with content,
// where a solid page would flatter every JPEG encoder. The backend's reader thread is cancelled
// the moment its last bytes are read, which can catch it inside free() and hang the reading
// process on the allocator's lock; read in limited pieces, it is long done by then.
const char kTestConf[] = "number_of_devices 1\n"
                         "read-limit true\n"
                         "read-limit-size 32768\n"
                         "test-picture \"Grid\"\n"
                         "geometry_max 300.0\n"
                         "br_x 210.0\n"
                         "br_y 297.0\n";

struct Run {
    double ms = 0;
    double peakMb = 0;
    int exitStatus = -1;
};

// Runs a program to its end; wall time and the child's own peak resident memory.
Run Spawn(const std::vector<std::string>& arguments)
{
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    Run run;
    pid_t pid = 0;
    const Clock::time_point start = Clock::now();
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    rusage usage {};
    // A side that hangs is stopped, so the benchmark always ends.
    while (wait4(pid, &status, WNOHANG, &usage) == 0) {
        if (Clock::now() - start > kChildTimeLimit) {
            kill(pid, SIGKILL);
            wait4(pid, &status, 0, &usage);
            std::fprintf(stderr, "%s did not end within the time limit\n", arguments[0].c_str());
            return run;
        }
        usleep(2000);
    }
    run.ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    run.peakMb = usage.ru_maxrss / 1024.0;
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

bool WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The PDF side as a child: ScanToPdf with the desktop's scanner objects, the progress window drawn
// off screen. A page limit above 0 makes the transfer after that many pages fail, which ends a
// feeder scan and keeps the pages written. The call's own time goes to timeFile: in the program the
// scan starts in a running application, whose start-up is no part of it.
int ScanChild(int pageLimit, const QString& pdfPath, const QString& timeFile)
{
    int argc = 1;
    char name[] = "scan_bench";
    char* argv[] = { name, nullptr };
    QApplication application(argc, argv);
    pd::platform::wia::CoInitialize();
    pd::scan::InstallDesktopScanning();
    pd::scan::ScanPlatform scanning = pd::scan::CurrentScanPlatform();
    // Nobody is there to answer: a page question means the feeder scan failed and the flatbed
    // was tried, which the page count shows.
    scanning.QueryBox = [](const QString&, const QString&) { return 2; };
    if (pageLimit > 0) {
        auto dialog = scanning.CoCommonDialog;
        auto transfers = std::make_shared<int>(0);
        scanning.CoCommonDialog = [dialog, transfers, pageLimit] {
            if (++*transfers > pageLimit)
                throw pd::platform::wia::Error(QStringLiteral("page limit of the benchmark"));
            return dialog();
        };
    }
    pd::scan::SetScanPlatform(scanning);
    const Clock::time_point start = Clock::now();
    const int result = pd::scan::ScanToPdf(0, pdfPath, false, true, kThreshold, kResolution, 0, true, 0);
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    pd::platform::wia::CoUninitialize();
    WriteFile(timeFile, QByteArray::number(ms, 'f', 1));
    return result == 0 ? 0 : 10 + (result & 0x7F);
}

// Pages of a PDF by its page objects.
int PdfPages(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray pdf = file.readAll();
    int pages = 0;
    for (qsizetype at = pdf.indexOf("/Type /Page"); at >= 0; at = pdf.indexOf("/Type /Page", at + 1))
        if (at + 11 >= pdf.size() || pdf[at + 11] != 's')
            ++pages;
    return pages;
}

int JpegFiles(const QString& folder)
{
    return int(QDir(folder).entryList({ QStringLiteral("*.jpg") }, QDir::Files).size());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 5 && std::strcmp(argv[1], "--scan-child") == 0)
        return ScanChild(std::atoi(argv[2]), QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]));

    QTemporaryDir temporary;
    const QString work = argc > 1 ? QString::fromLocal8Bit(argv[1]) : temporary.path();
    const QString conf = work + QStringLiteral("/sane");
    const QString jpegs = work + QStringLiteral("/jpeg");
    if (!QDir().mkpath(conf) || !QDir().mkpath(jpegs)
        || !WriteFile(conf + QStringLiteral("/dll.conf"), QByteArrayLiteral("test\n"))
        || !WriteFile(conf + QStringLiteral("/test.conf"), QByteArray(kTestConf))) {
        std::fprintf(stderr, "cannot set up %s\n", qPrintable(work));
        return 1;
    }
    for (const QString& old : QDir(jpegs).entryList({ QStringLiteral("*.jpg") }, QDir::Files))
        QFile::remove(jpegs + QLatin1Char('/') + old);
    setenv("SANE_CONFIG_DIR", QFile::encodeName(conf).constData(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);

    const std::string resolution = std::to_string(kResolution);
    const Run reference
        = Spawn({ "scanimage", "-d", "test", "--source", "Automatic Document Feeder", "--mode", "Color", "--resolution",
            resolution, "--format=jpeg", "--batch=" + QFile::encodeName(jpegs).toStdString() + "/page%02d.jpg" });
    const std::string self
        = QFile::encodeName(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).toStdString();
    const QString shortPdf = work + QStringLiteral("/scan3.pdf");
    const QString fullPdf = work + QStringLiteral("/scan10.pdf");
    QFile::remove(shortPdf);
    QFile::remove(fullPdf);
    const QString callTime = work + QStringLiteral("/scan10.ms");
    QFile::remove(callTime);
    const Run shortRun
        = Spawn({ self, "--scan-child", std::to_string(kShortRun), QFile::encodeName(shortPdf).toStdString(),
            QFile::encodeName(work + QStringLiteral("/scan3.ms")).toStdString() });
    const Run fullRun = Spawn({ self, "--scan-child", "0", QFile::encodeName(fullPdf).toStdString(),
        QFile::encodeName(callTime).toStdString() });
    QFile timeFile(callTime);
    const double callMs = timeFile.open(QIODevice::ReadOnly) ? timeFile.readAll().toDouble() : 0;

    const int jpegPages = JpegFiles(jpegs);
    const int pdfPages = PdfPages(fullPdf);
    std::printf("scanimage_exit=%d jpeg_pages=%d\n", reference.exitStatus, jpegPages);
    std::printf(
        "scan_to_pdf_exit=%d pdf_pages=%d short_run_pdf_pages=%d\n", fullRun.exitStatus, pdfPages, PdfPages(shortPdf));
    if (jpegPages == 0 || pdfPages == 0 || callMs <= 0) {
        std::fprintf(stderr, "a side produced no pages; nothing to compare\n");
        return 1;
    }
    const double scanimageMs = reference.ms / jpegPages;
    const double pdfMs = callMs / pdfPages;
    std::printf("scanimage_jpeg_ms_per_page=%.1f\n", scanimageMs);
    std::printf("scan_to_pdf_ms_per_page=%.1f\n", pdfMs);
    std::printf("ratio_vs_scanimage_jpeg=%.2f\n", pdfMs / scanimageMs);
    // The same with the benchmark process's start-up (application object, fonts) counted in.
    std::printf("scan_to_pdf_process_ms_per_page=%.1f\n", fullRun.ms / pdfPages);
    std::printf("scanimage_peak_memory_mb=%.1f\n", reference.peakMb);
    std::printf("scan_to_pdf_peak_memory_mb_%d_pages=%.1f\n", kShortRun, shortRun.peakMb);
    std::printf("scan_to_pdf_peak_memory_mb_%d_pages=%.1f\n", kFeederPages, fullRun.peakMb);
    return 0;
}

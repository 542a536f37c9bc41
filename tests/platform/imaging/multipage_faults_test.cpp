#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QFile>

#include "platform/heapblock.h"
#include "platform/imaging/imaginglog.h"
#include "platform/imaging/twain.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/support/faultinjection.h"
#include "tests/support/testsupport.h"

namespace pd::platform::imaging {
namespace {

TEST(MultipageFaults, ThePdfIsTheOldOneOrTheWholeNewOne)
{
    // Noise compresses badly: three pages make a file of some megabytes, long enough in the
    // writing for the kills to land inside it.
    const HGLOBAL page = test::MakeDib({ .width = 900,
        .height = 1200,
        .pixel = [](int x, int y) { return std::uint32_t(x * 2654435761u ^ y * 40503u) & 0xFFFFFF; },
        .xPelsPerMeter = 5906,
        .yPelsPerMeter = 5906 });
    TWAIN_SetJpegQuality(90);
    const pd::test::WriterUnderTest pdf {
        .relativePath = QStringLiteral("Paperdart/Scan_20261210_0905.pdf"),
        .save =
            [page](const QString& path) {
                // As the acquisition does: the end is called after a failed page as well.
                bool pagesWritten = TWAIN_BeginMultipageFile(path) == 0;
                for (int i = 0; pagesWritten && i < 3; ++i)
                    pagesWritten = TWAIN_DibWritePage(page) == 0;
                const bool ended = TWAIN_EndMultipageFile() == 0;
                return pagesWritten && ended;
            },
        .oldContent = QByteArrayLiteral("%PDF-1.4\n% die alte Datei\n%%EOF\n"),
    };
    pd::test::ExpectSoundAfterEveryFault(pdf);
    DIB_Free(page);
}

// The library's trace file takes whole lines or nothing, and nothing in its place holds the
// library up. Its lines carry the real time, so they are checked here rather than as a unit.
TEST(ImagingLogFaults, TheTraceFileTakesWholeLinesAndNeverHoldsTheLibrary)
{
    pd::test::TempFolder folder;
    TWAIN_SetLogFolder(folder.Path());
    TWAIN_LogFile(1);
    const QString path = ImagingLogPath();
    const QByteArray old = QByteArrayLiteral("2026-12-10 09:05:07.042 alte Zeile\n");
    const QString longText = QStringLiteral("Seite ") + QString(10000, QLatin1Char('x'));

    SCOPED_TRACE("the disk fills up at the first byte, half way and at the last byte of the line");
    for (const qsizetype room : { 0, 5000, 10000 }) {
        pd::test::WriteBytes(path, old);
        EXPECT_EQ(pd::test::RunWithFileSizeLimit(std::uint64_t(old.size() + room),
                      [&longText] {
                          ImagingLog(longText);
                          return 0;
                      }),
            0);
        EXPECT_EQ(pd::test::ReadBytes(path), old);
    }

    SCOPED_TRACE("a FIFO without a reader in the file's place");
    ASSERT_TRUE(QFile::remove(path));
    ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    // In a child, so a hang shows as a failed case instead of a stuck test.
    const std::optional<int> status = pd::test::RunInChildFor(
        [] {
            ImagingLog(QStringLiteral("Zeile"));
            return 0;
        },
        std::chrono::seconds(2));
    EXPECT_EQ(status, 0) << "the log line waits for a reader of the FIFO";

    TWAIN_LogFile(0);
    TWAIN_SetLogFolder(QString());
}

} // namespace
} // namespace pd::platform::imaging

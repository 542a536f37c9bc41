#include <gtest/gtest.h>

#include "platform/heapblock.h"
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

} // namespace
} // namespace pd::platform::imaging

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "platform/heapblock.h"
#include "platform/imaging/twain.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/support/testsupport.h"

namespace pd::platform::imaging {
namespace {

using test::DibSpec;
using test::MakeDib;
using test::RunTool;

constexpr int k300Dpi = 11811; // pixels per metre
constexpr int k150Dpi = 5906;

// Writes one page and frees its block, as the scanner acquisition does; the library's result.
int WritePage(const DibSpec& spec)
{
    HGLOBAL dib = MakeDib(spec);
    const int result = TWAIN_DibWritePage(dib);
    DIB_Free(dib);
    return result;
}

int QpdfCheck(const QString& pdf)
{
    return RunTool(QStringLiteral("qpdf"), { QStringLiteral("--check"), pdf }).exitCode;
}

// A colour page whose halves and corners tell red from blue and top from bottom.
std::uint32_t ColourPattern(int x, int y, int width, int height)
{
    const bool top = y < height / 2;
    const bool left = x < width / 2;
    if (top)
        return left ? 0xE02020 : 0x2020E0;
    return left ? 0x20C020 : 0xF0F0F0;
}

// A smooth grey ramp from dark at the top to light at the bottom, with a black bar.
std::uint32_t GreyPattern(int x, int y, int width, int height)
{
    if (y > height / 3 && y < height / 3 + 20 && x > width / 4 && x < width / 2)
        return 0;
    return std::uint32_t(40 + 200 * y / height);
}

class MultipageFileTest : public testing::Test {
protected:
    QString Pdf() const { return m_folder.File(QStringLiteral("Scan_20261210_1200.pdf")); }
    pd::test::TempFolder m_folder;
};

TEST_F(MultipageFileTest, ThreePagesOfColourGreyAndSmallAreWrittenAsJpegPages)
{
    TWAIN_SetJpegQuality(90);
    TWAIN_SetPaperSize(1);
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    EXPECT_EQ(
        WritePage({ 2480, 3508, 24, [](int x, int y) { return ColourPattern(x, y, 2480, 3508); }, k300Dpi, k300Dpi }),
        0);
    EXPECT_EQ(
        WritePage({ 600, 400, 8, [](int x, int y) { return GreyPattern(x, y, 600, 400); }, k150Dpi, k150Dpi }), 0);
    // No resolution in the header: 150 dpi.
    EXPECT_EQ(WritePage({ 64, 48, 24, [](int x, int y) { return ColourPattern(x, y, 64, 48); } }), 0);
    EXPECT_FALSE(QFileInfo::exists(Pdf())) << "the file appears only when it is complete";
    ASSERT_EQ(TWAIN_EndMultipageFile(), 0);
    EXPECT_EQ(TWAIN_LastErrorCode(), 0);

    EXPECT_EQ(QpdfCheck(Pdf()), 0)
        << RunTool(QStringLiteral("qpdf"), { QStringLiteral("--check"), Pdf() }).out.constData();
    EXPECT_TRUE(RunTool(QStringLiteral("pdfinfo"), { Pdf() }).out.contains("Pages:           3"));
    const auto sizes = test::PageSizes(Pdf());
    ASSERT_EQ(sizes.size(), 3u);
    const double expected[3][2] = { { 595.2, 841.92 }, { 288, 192 }, { 30.72, 23.04 } };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_NEAR(sizes[i].first, expected[i][0], 0.01);
        EXPECT_NEAR(sizes[i].second, expected[i][1], 0.01);
    }

    const auto images = test::ImageList(Pdf());
    ASSERT_EQ(images.size(), 3u);
    const char* rows[3][7] = { { "1", "2480", "3508", "rgb", "3", "jpeg", "300" },
        { "2", "600", "400", "gray", "1", "jpeg", "150" }, { "3", "64", "48", "rgb", "3", "jpeg", "150" } };
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(i + 1);
        ASSERT_GE(images[i].size(), 14);
        const int fields[7] = { 0, 3, 4, 5, 6, 8, 12 };
        for (int f = 0; f < 7; ++f)
            EXPECT_EQ(images[i][fields[f]], QString::fromLatin1(rows[i][f]));
    }
}

TEST_F(MultipageFileTest, RenderedPagesMatchTheirImagesWithinJpegError)
{
    const DibSpec grey { 600, 400, 8, [](int x, int y) { return GreyPattern(x, y, 600, 400); }, k150Dpi, k150Dpi };
    const DibSpec colour { 64, 48, 24, [](int x, int y) { return ColourPattern(x, y, 64, 48); } };
    DibSpec greyTopDown = grey;
    greyTopDown.topDown = true;
    TWAIN_SetJpegQuality(90);
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    ASSERT_EQ(WritePage(grey), 0);
    ASSERT_EQ(WritePage(colour), 0);
    ASSERT_EQ(WritePage(greyTopDown), 0);
    ASSERT_EQ(TWAIN_EndMultipageFile(), 0);

    for (int page : { 1, 3 }) {
        SCOPED_TRACE(page);
        const QByteArray rendered = test::Render(Pdf(), page, 600, 400, true);
        ASSERT_EQ(rendered.size(), 600 * 400);
        double total = 0;
        int worst = 0;
        for (int y = 0; y < 400; ++y) {
            for (int x = 0; x < 600; ++x) {
                const int diff = std::abs(int(uchar(rendered[y * 600 + x])) - int(grey.pixel(x, y)));
                total += diff;
                worst = std::max(worst, diff);
            }
        }
        EXPECT_LT(total / (600 * 400), 2.0);
        EXPECT_LT(worst, 64);
    }

    const QByteArray rendered = test::Render(Pdf(), 2, 64, 48, false);
    ASSERT_EQ(rendered.size(), 64 * 48 * 3);
    // Away from the edges where chroma subsampling blurs the colours.
    for (auto [x, y] : { std::pair { 8, 8 }, { 56, 8 }, { 8, 40 }, { 56, 40 }, { 24, 16 }, { 40, 32 } }) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        const std::uint32_t want = colour.pixel(x, y);
        const char* at = rendered.constData() + (y * 64 + x) * 3;
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(int(uchar(at[c])), int((want >> (16 - 8 * c)) & 0xFF), 16) << "channel " << c;
    }
}

TEST_F(MultipageFileTest, JpegQualityGovernsThePagesAndTheirStreamsAreWholeJpegFiles)
{
    const struct {
        int quality;
        int quantiser;
    } cases[] = { { 90, 3 }, { 75, 8 }, { 100, 1 }, { 150, 1 }, { 1, 255 }, { 0, 255 } };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.quality);
        TWAIN_SetJpegQuality(c.quality);
        ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
        ASSERT_EQ(WritePage({ 32, 32, 24, [](int x, int y) { return std::uint32_t(x * 8 * 0x010101 + y); } }), 0);
        ASSERT_EQ(TWAIN_EndMultipageFile(), 0);
        const QString prefix = m_folder.File(QStringLiteral("extracted"));
        ASSERT_EQ(RunTool(QStringLiteral("pdfimages"), { QStringLiteral("-j"), Pdf(), prefix }).exitCode, 0);
        const QByteArray jpeg = pd::test::ReadBytes(prefix + QStringLiteral("-000.jpg"));
        EXPECT_TRUE(jpeg.startsWith("\xFF\xD8"));
        EXPECT_TRUE(jpeg.endsWith("\xFF\xD9"));
        EXPECT_EQ(test::LuminanceDcQuantiser(jpeg), c.quantiser);
        QFile::remove(prefix + QStringLiteral("-000.jpg"));
    }
}

TEST_F(MultipageFileTest, PaperSizeNeverChangesTheWrittenPage)
{
    for (int paper : { 1, 3, 0, -1 }) {
        SCOPED_TRACE(paper);
        TWAIN_SetPaperSize(paper);
        ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
        ASSERT_EQ(WritePage({ 300, 200, 24, {}, 3937, 7874 }), 0); // 100 x 200 dpi
        ASSERT_EQ(TWAIN_EndMultipageFile(), 0);
        const auto sizes = test::PageSizes(Pdf());
        ASSERT_EQ(sizes.size(), 1u);
        EXPECT_NEAR(sizes[0].first, 216, 0.01);
        EXPECT_NEAR(sizes[0].second, 72, 0.01);
    }
}

TEST_F(MultipageFileTest, ColourTablesOtherThanPlainGrey)
{
    std::vector<std::uint32_t> inverted, colours;
    for (std::uint32_t i = 0; i < 256; ++i) {
        inverted.push_back((255 - i) * 0x010101u);
        colours.push_back(i < 128 ? 0xFF0000 : 0x0000FF);
    }
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    ASSERT_EQ(
        WritePage({ 40, 30, 8, [](int, int y) { return std::uint32_t(y < 15 ? 0 : 255); }, 0, 0, false, inverted }), 0);
    ASSERT_EQ(
        WritePage({ 40, 30, 8, [](int x, int) { return std::uint32_t(x < 20 ? 0 : 255); }, 0, 0, false, colours }), 0);
    ASSERT_EQ(TWAIN_EndMultipageFile(), 0);
    const auto images = test::ImageList(Pdf());
    ASSERT_EQ(images.size(), 2u);
    EXPECT_EQ(images[0][5], QStringLiteral("gray"));
    EXPECT_EQ(images[1][5], QStringLiteral("rgb"));
    const QByteArray grey = test::Render(Pdf(), 1, 40, 30, true);
    ASSERT_EQ(grey.size(), 40 * 30);
    EXPECT_GT(uchar(grey[5 * 40 + 20]), 230); // index 0 is white in the inverted table
    EXPECT_LT(uchar(grey[25 * 40 + 20]), 25);
    const QByteArray rgb = test::Render(Pdf(), 2, 40, 30, false);
    ASSERT_EQ(rgb.size(), 40 * 30 * 3);
    const char* left = rgb.constData() + (15 * 40 + 5) * 3;
    const char* right = rgb.constData() + (15 * 40 + 35) * 3;
    EXPECT_GT(uchar(left[0]), 200);
    EXPECT_LT(uchar(left[2]), 60);
    EXPECT_LT(uchar(right[0]), 60);
    EXPECT_GT(uchar(right[2]), 200);
}

TEST_F(MultipageFileTest, AColourTableInFrontOf24BitPixelsIsPassedOver)
{
    // A 24-bit bitmap may carry a colour table (biClrUsed entries) for palette displays; the
    // pixels begin behind it.
    QByteArray dib = test::DibBytes({ 40, 30, 24, [](int, int) { return std::uint32_t(0x2060E0); } });
    dib[32] = 16;
    dib.insert(40, QByteArray(16 * 4, '\0'));
    TWAIN_SetJpegQuality(90);
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    HGLOBAL block = test::ToBlock(dib);
    EXPECT_EQ(TWAIN_DibWritePage(block), 0);
    DIB_Free(block);
    ASSERT_EQ(TWAIN_EndMultipageFile(), 0);
    const QByteArray rgb = test::Render(Pdf(), 1, 40, 30, false);
    ASSERT_EQ(rgb.size(), 40 * 30 * 3);
    for (auto [x, y] : { std::pair { 20, 15 }, { 5, 27 }, { 35, 2 } }) {
        SCOPED_TRACE(testing::Message() << x << "," << y);
        const char* at = rgb.constData() + (y * 40 + x) * 3;
        EXPECT_NEAR(int(uchar(at[0])), 0x20, 12);
        EXPECT_NEAR(int(uchar(at[1])), 0x60, 12);
        EXPECT_NEAR(int(uchar(at[2])), 0xE0, 12);
    }
}

TEST_F(MultipageFileTest, FileWithoutPagesLeavesNothing)
{
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    EXPECT_TRUE(test::FolderEntries(m_folder.Path()).isEmpty()) << "the file has no name before its end";
    EXPECT_EQ(TWAIN_EndMultipageFile(), 0);
    EXPECT_EQ(TWAIN_LastErrorCode(), 0);
    EXPECT_TRUE(test::FolderEntries(m_folder.Path()).isEmpty());
}

TEST_F(MultipageFileTest, BeginWhileAFileIsOpenDiscardsIt)
{
    const QString first = m_folder.File(QStringLiteral("first.pdf"));
    ASSERT_EQ(TWAIN_BeginMultipageFile(first), 0);
    ASSERT_EQ(WritePage({ 8, 8, 24, {} }), 0);
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    ASSERT_EQ(WritePage({ 8, 8, 24, {} }), 0);
    ASSERT_EQ(TWAIN_EndMultipageFile(), 0);
    EXPECT_EQ(test::FolderEntries(m_folder.Path()), QStringList { QFileInfo(Pdf()).fileName() });
}

TEST_F(MultipageFileTest, AnOlderFileAtThePathIsReplacedWhole)
{
    pd::test::WriteBytes(Pdf(), "an older scan");
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    ASSERT_EQ(WritePage({ 8, 8, 24, {} }), 0);
    EXPECT_EQ(pd::test::ReadBytes(Pdf()), "an older scan");
    ASSERT_EQ(TWAIN_EndMultipageFile(), 0);
    EXPECT_EQ(QpdfCheck(Pdf()), 0);
}

} // namespace
} // namespace pd::platform::imaging

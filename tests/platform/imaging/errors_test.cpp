#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>

#include "platform/heapblock.h"
#include "platform/imaging/imaginglog.h"
#include "platform/imaging/pdfwriter.h"
#include "platform/imaging/twain.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/support/testsupport.h"

namespace pd::platform::imaging {
namespace {

using test::DibBytes;
using test::DibSpec;
using test::RunTool;

int WriteBlock(HGLOBAL dib)
{
    const int result = TWAIN_DibWritePage(dib);
    DIB_Free(dib);
    return result;
}

int WritePage(const DibSpec& spec)
{
    return WriteBlock(test::MakeDib(spec));
}

// Noise does not compress, so its pages are large.
std::uint32_t Noise(int x, int y)
{
    std::uint32_t v = std::uint32_t(x) * 2654435761u ^ std::uint32_t(y) * 40503u;
    v ^= v >> 13;
    return v * 0x9E3779B1u >> 8;
}

QByteArray Patched(QByteArray bytes, int at, const QByteArray& with)
{
    return bytes.replace(at, with.size(), with);
}

class ImagingErrorTest : public testing::Test {
protected:
    QString Pdf() const { return m_folder.File(QStringLiteral("scan.pdf")); }
    int PageCount() const
    {
        const QByteArray info = RunTool(QStringLiteral("pdfinfo"), { Pdf() }).out;
        const qsizetype at = info.indexOf("Pages:");
        return at < 0 ? -1 : info.mid(at + 6, 12).trimmed().split('\n').first().toInt();
    }
    pd::test::TempFolder m_folder;
};

TEST_F(ImagingErrorTest, BadPageImagesAreLeftOutAndTheFileStaysValid)
{
    const QByteArray good = DibBytes({ 5, 3, 24, {} });
    const QByteArray grey = DibBytes({ 5, 3, 8, {} });
    const struct {
        const char* name;
        QByteArray dib; // empty: a null block
    } cases[] = {
        { "null block", QByteArray() },
        { "header truncated", good.left(20) },
        { "header size beyond the block", Patched(good, 0, QByteArray("\xC8\0\0\0", 4)) },
        { "unknown header size", Patched(good, 0, QByteArray("\x29\0\0\0", 4)) },
        { "zero width", Patched(good, 4, QByteArray(4, '\0')) },
        { "zero height", Patched(good, 8, QByteArray(4, '\0')) },
        { "negative width", Patched(good, 4, QByteArray("\xFB\xFF\xFF\xFF", 4)) },
        { "width beyond a JPEG frame", Patched(good, 4, QByteArray("\x00\x00\x01\x00", 4)) },
        { "two planes", Patched(good, 12, QByteArray("\2\0", 2)) },
        { "1 bit", Patched(good, 14, QByteArray("\1\0", 2)) },
        { "4 bits", Patched(good, 14, QByteArray("\4\0", 2)) },
        { "16 bits", Patched(good, 14, QByteArray("\x10\0", 2)) },
        { "32 bits", Patched(good, 14, QByteArray("\x20\0", 2)) },
        { "run-length compression", Patched(grey, 16, QByteArray("\1\0\0\0", 4)) },
        { "pixel rows truncated", good.left(good.size() - 1) },
        { "colour table longer than 256", Patched(grey, 32, QByteArray("\x01\x01\0\0", 4)) },
        { "colour table truncated", grey.left(40 + 500) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
        EXPECT_EQ(TWAIN_LastErrorCode(), 0);
        ASSERT_EQ(WritePage({ 20, 10, 24, {} }), 0);
        HGLOBAL bad = c.dib.isEmpty() ? nullptr : test::ToBlock(c.dib);
        const int result = TWAIN_DibWritePage(bad);
        EXPECT_NE(result, 0);
        EXPECT_EQ(TWAIN_LastErrorCode(), result);
        DIB_Free(bad);
        // The next good page is written, but the error stays until the end has reported it.
        EXPECT_EQ(WritePage({ 10, 20, 8, {} }), 0);
        EXPECT_EQ(TWAIN_LastErrorCode(), result);
        EXPECT_EQ(TWAIN_EndMultipageFile(), result);
        EXPECT_EQ(TWAIN_LastErrorCode(), result);
        EXPECT_EQ(RunTool(QStringLiteral("qpdf"), { QStringLiteral("--check"), Pdf() }).exitCode, 0);
        EXPECT_EQ(PageCount(), 2);
    }
}

TEST_F(ImagingErrorTest, TheFirstErrorOfAFileSticksAndBeginClearsIt)
{
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    const int badPage = TWAIN_DibWritePage(nullptr);
    ASSERT_NE(badPage, 0);
    TWAIN_SetJpegQuality(90);
    TWAIN_SetPaperSize(1);
    EXPECT_EQ(TWAIN_LastErrorCode(), badPage) << "settings calls never touch the error state";
    QDir().mkdir(Pdf()); // a folder in the way gives another error at the end
    EXPECT_EQ(WritePage({ 8, 8, 24, {} }), 0);
    EXPECT_EQ(TWAIN_EndMultipageFile(), badPage);
    EXPECT_EQ(TWAIN_LastErrorCode(), badPage);
    QDir().rmdir(Pdf());

    // Reported once, a later error outside a file replaces it.
    const int noFile = TWAIN_DibWritePage(nullptr);
    EXPECT_NE(noFile, 0);
    EXPECT_NE(noFile, badPage);
    EXPECT_EQ(TWAIN_EndMultipageFile(), noFile);

    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    EXPECT_EQ(TWAIN_LastErrorCode(), 0);
    TWAIN_SetJpegQuality(75);
    EXPECT_EQ(TWAIN_LastErrorCode(), 0);
    EXPECT_EQ(TWAIN_EndMultipageFile(), 0);
}

TEST_F(ImagingErrorTest, BeginFailsWhenTheFolderCannotTakeTheFile)
{
    pd::test::WriteBytes(m_folder.File(QStringLiteral("plain")), "a file");
    QDir().mkdir(m_folder.File(QStringLiteral("taken.pdf")));
    const struct {
        const char* name;
        QString path;
    } cases[] = {
        { "missing folder", m_folder.File(QStringLiteral("missing/scan.pdf")) },
        { "path below a regular file", m_folder.File(QStringLiteral("plain/scan.pdf")) },
        { "a folder at the path", m_folder.File(QStringLiteral("taken.pdf")) },
        { "a device at the path", QStringLiteral("/dev/full") },
        { "empty path", QString() },
    };
    const QStringList before = test::FolderEntries(m_folder.Path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NE(TWAIN_BeginMultipageFile(c.path), 0);
        EXPECT_NE(TWAIN_LastErrorCode(), 0);
        EXPECT_NE(TWAIN_DibWritePage(nullptr), 0) << "no file is open";
        EXPECT_NE(TWAIN_EndMultipageFile(), 0);
        EXPECT_EQ(test::FolderEntries(m_folder.Path()), before);
    }
    EXPECT_TRUE(QFileInfo(QStringLiteral("/dev/full")).exists());
}

TEST_F(ImagingErrorTest, AFolderInTheWayAtTheEndLeavesNoFile)
{
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    ASSERT_EQ(WritePage({ 50, 50, 24, Noise }), 0);
    ASSERT_TRUE(QDir().mkdir(Pdf()));
    EXPECT_NE(TWAIN_EndMultipageFile(), 0);
    EXPECT_NE(TWAIN_LastErrorCode(), 0);
    EXPECT_TRUE(QFileInfo(Pdf()).isDir());
    EXPECT_EQ(test::FolderEntries(m_folder.Path()), QStringList { QStringLiteral("scan.pdf") });
}

TEST_F(ImagingErrorTest, AWriteBeyondTheFileSizeLimitFailsTheFileAndLeavesNothing)
{
    const QString pdf = Pdf();
    // In a child: the limit and the ignored signal stay there.
    const int status = pd::test::RunInChild([&pdf] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { 64 * 1024, 64 * 1024 };
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 10;
        if (TWAIN_BeginMultipageFile(pdf) != 0)
            return 11;
        if (WritePage({ 16, 16, 24, Noise }) != 0)
            return 12; // a small page still fits
        const int failed = WritePage({ 400, 400, 24, Noise });
        if (failed == 0 || TWAIN_LastErrorCode() != failed)
            return 13;
        if (WritePage({ 16, 16, 24, Noise }) != failed)
            return 14; // nothing more is written after a failed write
        if (TWAIN_EndMultipageFile() != failed)
            return 15;
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(test::FolderEntries(m_folder.Path()).isEmpty());
}

TEST(PdfWriter, AFullDeviceFailsEveryStepWithItsError)
{
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    PdfWriter writer(fd);
    EXPECT_FALSE(writer.Start());
    EXPECT_TRUE(writer.Failed());
    EXPECT_EQ(writer.WriteErrno(), ENOSPC);
    const unsigned char jpeg[] = { 0xFF, 0xD8, 0xFF, 0xD9 };
    EXPECT_FALSE(writer.AddJpegPage(jpeg, sizeof jpeg, 1, 1, true, 72, 72));
    EXPECT_EQ(writer.PageCount(), 0);
    EXPECT_FALSE(writer.Finish());
    EXPECT_EQ(writer.WriteErrno(), ENOSPC);
    ::close(fd);
}

TEST_F(ImagingErrorTest, ErrorsGoIntoTheLibraryLog)
{
    TWAIN_SetLogFolder(m_folder.File(QStringLiteral("log")));
    QDir().mkdir(m_folder.File(QStringLiteral("log")));
    TWAIN_LogFile(1);
    ASSERT_EQ(TWAIN_BeginMultipageFile(Pdf()), 0);
    TWAIN_DibWritePage(nullptr);
    TWAIN_EndMultipageFile();
    TWAIN_LogFile(0);
    const QByteArray log = pd::test::ReadBytes(m_folder.File(QStringLiteral("log/imaging.log")));
    EXPECT_TRUE(log.contains("Page 1 left out: no page image")) << log.constData();
}

} // namespace
} // namespace pd::platform::imaging

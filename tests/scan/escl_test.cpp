// A scan from a network scanner, end to end: the fake eSCL scanner of tests/support serves pages
// over loopback, SANE's airscan backend talks to it, and ScanToPdf runs with the desktop's scanner
// objects; only the page question is answered by the test.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QProcess>
#include <QStringList>

#include "platform/wia/coinit.h"
#include "scan/desktopscanning.h"
#include "scan/scandispatcher.h"
#include "scan/twainscan.h"
#include "tests/support/testsupport.h"

namespace pd::scan {
namespace {

// libsane reads the folder of its configuration once per process, so every case writes into the
// same one.
test::TempFolder& SaneFolder()
{
    static test::TempFolder folder;
    return folder;
}

QString Python()
{
    // Debian's interpreter is the one with Pillow; another python3 first on PATH may lack it.
    return QFile::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                             : QStringLiteral("python3");
}

// Pages of 3 x 4 inches at 300 dpi, each with a dark block, so none counts as blank.
void WritePages(const QString& folder, int count)
{
    for (int i = 0; i < count; ++i) {
        QImage page(900, 1200, QImage::Format_RGB32);
        page.fill(Qt::white);
        QPainter painter(&page);
        painter.fillRect(100, 100 + 150 * i, 500, 120, Qt::black);
        painter.end();
        ASSERT_TRUE(page.save(folder + QStringLiteral("/page%1.png").arg(i, 2, 10, QLatin1Char('0'))));
    }
}

// The fake scanner on a free loopback port for one case; it stops with the object, and by itself
// after a minute in any case.
class FakeScanner {
public:
    FakeScanner(const QString& pages, const QString& events, const QStringList& extra)
    {
        m_process.setProgram(Python());
        m_process.setArguments(QStringList { QStringLiteral(PD_ESCL_FAKE), pages, QStringLiteral("--port"),
                                   QStringLiteral("0"), QStringLiteral("--max-seconds"), QStringLiteral("60"),
                                   QStringLiteral("--quiet"), QStringLiteral("--events"), events }
            + extra);
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        if (m_process.waitForStarted(10000) && m_process.waitForReadyRead(10000))
            m_port = m_process.readLine().trimmed().toInt();
    }
    ~FakeScanner()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
    int Port() const { return m_port; }

private:
    QProcess m_process;
    int m_port = 0;
};

// SANE set up for airscan with the fake as its only device, without network discovery.
void UseScanner(int port)
{
    platform::wia::CoUninitialize();
    test::WriteBytes(SaneFolder().File(QStringLiteral("dll.conf")), "airscan\n");
    test::WriteBytes(SaneFolder().File(QStringLiteral("airscan.conf")),
        QStringLiteral("[devices]\n\"Fake eSCL\" = http://127.0.0.1:%1/eSCL, escl\n"
                       "[options]\ndiscovery = disable\nws-discovery = off\n")
            .arg(port)
            .toUtf8());
    platform::wia::CoInitialize();
}

int PdfPages(const QString& pdf)
{
    QProcess qpdf;
    qpdf.start(QStringLiteral("qpdf"), { QStringLiteral("--show-npages"), pdf });
    if (!qpdf.waitForFinished(30000) || qpdf.exitCode() != 0)
        return -1;
    return qpdf.readAllStandardOutput().trimmed().toInt();
}

TEST(ScanFromNetworkScanner, FeederPagesEmptyFeederAndJamsEndAsTheUserExpects)
{
    // The fake network scanner is a shared test tool kept beside the repository, not in it.
    if (!QFile::exists(QStringLiteral(PD_ESCL_FAKE)))
        GTEST_SKIP() << "no fake network scanner at " << PD_ESCL_FAKE;
    const QStringList jamAfter0 = { QStringLiteral("--jam-after"), QStringLiteral("0") };
    const QStringList jamAfter1 = { QStringLiteral("--jam-after"), QStringLiteral("1") };
    const struct {
        const char* name;
        QStringList fakeArguments;
        bool colour;
        int result;
        int pages; // in the PDF; 0: no file
        int questions; // page questions asked (each answered "no")
        const char* jobSource; // what the scanner was asked for first
    } cases[] = {
        { "three pages from the feeder", {}, true, 0, 3, 0, "Feeder" },
        { "three grey pages from the feeder", {}, false, 0, 3, 0, "Feeder" },
        { "empty feeder: one page from the flatbed", { QStringLiteral("--empty") }, true, 0, 1, 1, "Platen" },
        { "jam after the first page keeps it", jamAfter1, true, 0, 1, 0, "Feeder" },
        { "jammed from the start", jamAfter0, true, -1, 0, 0, nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder work;
        WritePages(work.Path(), 3);
        const QString events = work.File(QStringLiteral("events.jsonl"));
        FakeScanner scanner(work.Path(), events, c.fakeArguments);
        ASSERT_GT(scanner.Port(), 0) << "the fake scanner did not start";
        UseScanner(scanner.Port());

        InstallDesktopScanning();
        ScanPlatform platform = CurrentScanPlatform();
        int questions = 0;
        platform.QueryBox = [&questions](const QString&, const QString&) {
            ++questions;
            return 2;
        };
        QStringList libraryErrors;
        platform.ReportLastError = [&libraryErrors](const QString& text) { libraryErrors << text; };
        SetScanPlatform(platform);

        const QString pdf = work.File(QStringLiteral("out/Scan.pdf"));
        EXPECT_EQ(ScanToPdf(0, pdf, false, c.colour, 0.002, 150, 0, true, 0), c.result);
        EXPECT_EQ(questions, c.questions);
        EXPECT_TRUE(libraryErrors.isEmpty());
        if (c.pages == 0)
            EXPECT_FALSE(QFile::exists(pdf));
        else
            EXPECT_EQ(PdfPages(pdf), c.pages);
        if (c.jobSource) {
            // The scanner was asked for the request's colour mode and resolution.
            const QByteArray log = test::ReadBytes(events);
            const qsizetype job = log.indexOf("\"event\": \"job\"");
            ASSERT_GE(job, 0) << log.constData();
            const QByteArray line = log.mid(log.lastIndexOf('\n', job) + 1).split('\n').front();
            EXPECT_TRUE(line.contains(QByteArray("\"source\": \"") + c.jobSource + '"')) << line.constData();
            const QByteArray mode = c.colour ? "\"color\": \"RGB24\"" : "\"color\": \"Grayscale8\"";
            EXPECT_TRUE(line.contains(mode)) << line.constData();
            EXPECT_TRUE(line.contains("\"xres\": 150")) << line.constData();
        }
    }
    platform::wia::CoUninitialize();
}

TEST(ScanFromNetworkScanner, ImagingLibraryPathEndsEveryFeederRunAsTheUserExpects)
{
    if (!QFile::exists(QStringLiteral(PD_ESCL_FAKE)))
        GTEST_SKIP() << "no fake network scanner at " << PD_ESCL_FAKE;
    const struct {
        const char* name;
        QStringList fakeArguments;
        int result;
        int pages; // in the PDF; 0: no file
    } cases[] = {
        { "three pages from the feeder", {}, 0, 3 },
        // No falling back to the glass on this path: the user hears why nothing was scanned.
        { "empty feeder", { QStringLiteral("--empty") }, -1, 0 },
        // A jam fails the whole run: no PDF of part of the document goes out.
        { "jam after the first page", { QStringLiteral("--jam-after"), QStringLiteral("1") }, -1, 0 },
        { "jammed from the start", { QStringLiteral("--jam-after"), QStringLiteral("0") }, -1, 0 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempFolder work;
        WritePages(work.Path(), 3);
        FakeScanner scanner(work.Path(), work.File(QStringLiteral("events.jsonl")), c.fakeArguments);
        ASSERT_GT(scanner.Port(), 0) << "the fake scanner did not start";
        UseScanner(scanner.Port());

        InstallDesktopScanning();
        ScanPlatform platform = CurrentScanPlatform();
        QStringList libraryErrors;
        platform.ReportLastError = [&libraryErrors](const QString& text) { libraryErrors << text; };
        SetScanPlatform(platform);

        const QString pdf = work.File(QStringLiteral("out/Scan.pdf"));
        EXPECT_EQ(TwainScanToPdf(0, pdf, false, true, 0.002, 150, 0, true, 0), c.result);
        EXPECT_EQ(libraryErrors, c.result == 0 ? QStringList() : QStringList { QStringLiteral("Unable to scan.") });
        if (c.pages == 0)
            EXPECT_TRUE(QDir(work.File(QStringLiteral("out"))).isEmpty()) << "nothing half written is left";
        else
            EXPECT_EQ(PdfPages(pdf), c.pages);
    }
    platform::wia::CoUninitialize();
}

} // namespace
} // namespace pd::scan

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("SANE_CONFIG_DIR", QFile::encodeName(pd::scan::SaneFolder().Path()));
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

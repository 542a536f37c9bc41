#pragma once

#include <gtest/gtest.h>

#include <QFileInfo>

#include "logging/log.h"
#include "platform/folders.h"
#include "platform/imaging/twain.h"
#include "scan/desktopscanning.h"
#include "scan/scandispatcher.h"
#include "tests/platform/imaging/imagingtestdata.h"
#include "tests/support/testsupport.h"
#include "util/tempdir.h"

namespace pd::scan::test {

// Scans of a device that fails part-way, through the program's own scanner objects and windows
// over SANE's test backend. The imaging library's error box is recorded instead of shown.
class FaultScan : public ::testing::Test {
protected:
    void SetUp() override
    {
        platform::OverrideModuleFileName(m_program.File(QStringLiteral("paperdart")));
        logging::LogModuleStart();
        InstallDesktopScanning();
        ScanPlatform platform = CurrentScanPlatform();
        platform.ReportLastError = [this](const QString& text) { reports.append(text); };
        SetScanPlatform(platform);
        m_pdf = util::GetTempDirectory() + QStringLiteral("Paperdart/Scan_20261210_0930.pdf");
    }
    void TearDown() override
    {
        SetScanPlatform({});
        logging::LogModuleEnd();
        platform::OverrideModuleFileName({});
    }

    // Pages in the PDF; 0 when there is none.
    int PdfPages() const
    {
        return QFileInfo::exists(m_pdf) ? int(platform::imaging::test::PageSizes(m_pdf).size()) : 0;
    }
    // Everything in the PDF's folder, hidden files (a PDF still being written) included.
    QStringList JobFolderEntries() const { return pd::test::FolderEntries(QFileInfo(m_pdf).path()); }
    QStringList ExpectedEntries(int pages) const
    {
        return pages > 0 ? QStringList { QFileInfo(m_pdf).fileName() } : QStringList();
    }
    // Log lines written since the last call, without time, program and computer.
    QStringList NewLogLines()
    {
        const QStringList lines = pd::test::MonthlyLogLines(m_program.File(QStringLiteral("log")));
        const QStringList added = lines.mid(m_logLinesSeen);
        m_logLinesSeen = int(lines.size());
        return added;
    }

    pd::test::TempFolder m_temp;
    pd::test::ScopedEnv m_tmpdir { "TMPDIR", m_temp.Path() + QLatin1Char('/') };
    pd::test::TempFolder m_program;
    QString m_pdf;
    int m_logLinesSeen = 0;
    QStringList reports; // texts the imaging library showed its error under
};

} // namespace pd::scan::test

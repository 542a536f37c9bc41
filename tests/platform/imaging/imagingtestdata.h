#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include <QByteArray>
#include <QString>
#include <QStringList>

#include "platform/heapblock.h"
#include "tests/support/testsupport.h"

namespace pd::platform::imaging::test {

// A packed bitmap to hand to the library. pixel(x, y) gives 0xRRGGBB for 24 bits or the index for
// 8 bits; y counts from the top.
struct DibSpec {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    std::function<std::uint32_t(int x, int y)> pixel {};
    int xPelsPerMeter = 0;
    int yPelsPerMeter = 0;
    bool topDown = false;
    std::vector<std::uint32_t> palette {}; // 8 bits; empty gives the grey ramp
};

QByteArray DibBytes(const DibSpec& spec);
HGLOBAL ToBlock(const QByteArray& bytes);
HGLOBAL MakeDib(const DibSpec& spec);

struct ToolResult {
    int exitCode = -1;
    QByteArray out;
};
// Runs a program with arguments and collects its standard output and error.
ToolResult RunTool(const QString& program, const QStringList& arguments);

// Page sizes in points that pdfinfo reports, page by page.
std::vector<std::pair<double, double>> PageSizes(const QString& pdf);

// The rows of pdfimages -list, each split at blanks.
std::vector<QStringList> ImageList(const QString& pdf);

// A page rendered by pdftoppm to exactly width x height pixels: grey bytes or red-green-blue.
QByteArray Render(const QString& pdf, int page, int width, int height, bool grey);

// The first quantisation value of a JPEG's luminance table, which follows from its quality (3 at
// 90, 8 at 75); -1 without a table.
int LuminanceDcQuantiser(const QByteArray& jpeg);

// The JPEG of each page image of a PDF, extracted by pdfimages -j.
std::vector<QByteArray> PageJpegs(const QString& pdf);

using pd::test::FolderEntries;

} // namespace pd::platform::imaging::test

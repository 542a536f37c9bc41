#include "tests/platform/imaging/imagingtestdata.h"

#include <cstring>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "tests/support/testsupport.h"

namespace pd::platform::imaging::test {

using pd::test::Put16;
using pd::test::Put32;

QByteArray DibBytes(const DibSpec& spec)
{
    const int stride = (spec.width * spec.bitsPerPixel + 31) / 32 * 4;
    const std::size_t colours = spec.bitsPerPixel == 8 ? (spec.palette.empty() ? 256 : spec.palette.size()) : 0;
    QByteArray dib;
    Put32(dib, 40);
    Put32(dib, std::uint32_t(spec.width));
    Put32(dib, std::uint32_t(spec.topDown ? -spec.height : spec.height));
    Put16(dib, 1);
    Put16(dib, std::uint32_t(spec.bitsPerPixel));
    Put32(dib, 0);
    Put32(dib, std::uint32_t(stride * spec.height));
    Put32(dib, std::uint32_t(spec.xPelsPerMeter));
    Put32(dib, std::uint32_t(spec.yPelsPerMeter));
    Put32(dib, std::uint32_t(colours));
    Put32(dib, 0);
    for (std::size_t i = 0; i < colours; ++i)
        Put32(dib, spec.palette.empty() ? std::uint32_t(i * 0x010101u) : spec.palette[i]);
    const qsizetype start = dib.size();
    dib.resize(start + qsizetype(stride) * spec.height, '\0');
    for (int y = 0; y < spec.height; ++y) {
        char* row = dib.data() + start + qsizetype(stride) * (spec.topDown ? y : spec.height - 1 - y);
        for (int x = 0; x < spec.width; ++x) {
            const std::uint32_t value = spec.pixel ? spec.pixel(x, y) : 0xFFFFFF;
            if (spec.bitsPerPixel == 8) {
                row[x] = char(value & 0xFF);
            } else {
                row[3 * x] = char(value & 0xFF);
                row[3 * x + 1] = char((value >> 8) & 0xFF);
                row[3 * x + 2] = char((value >> 16) & 0xFF);
            }
        }
    }
    return dib;
}

HGLOBAL ToBlock(const QByteArray& bytes)
{
    HGLOBAL block = GlobalAlloc(GHND, std::size_t(bytes.size()));
    if (void* at = GlobalLock(block)) {
        std::memcpy(at, bytes.constData(), std::size_t(bytes.size()));
        GlobalUnlock(block);
    }
    return block;
}

HGLOBAL MakeDib(const DibSpec& spec)
{
    return ToBlock(DibBytes(spec));
}

ToolResult RunTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return {};
    return { process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAll() };
}

std::vector<std::pair<double, double>> PageSizes(const QString& pdf)
{
    const ToolResult info = RunTool(QStringLiteral("pdfinfo"),
        { QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"), QStringLiteral("9999"), pdf });
    std::vector<std::pair<double, double>> sizes;
    static const QRegularExpression line(
        QStringLiteral("^Page +\\d+ size: +([0-9.]+) x ([0-9.]+) pts"), QRegularExpression::MultilineOption);
    auto it = line.globalMatch(QString::fromUtf8(info.out));
    while (it.hasNext()) {
        const QRegularExpressionMatch m = it.next();
        sizes.emplace_back(m.captured(1).toDouble(), m.captured(2).toDouble());
    }
    return sizes;
}

std::vector<QStringList> ImageList(const QString& pdf)
{
    const ToolResult list = RunTool(QStringLiteral("pdfimages"), { QStringLiteral("-list"), pdf });
    std::vector<QStringList> rows;
    const QStringList lines = QString::fromUtf8(list.out).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (qsizetype i = 2; i < lines.size(); ++i)
        rows.push_back(lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts));
    return rows;
}

QByteArray Render(const QString& pdf, int page, int width, int height, bool grey)
{
    QTemporaryDir dir;
    const QString prefix = dir.filePath(QStringLiteral("page"));
    QStringList arguments = { QStringLiteral("-f"), QString::number(page), QStringLiteral("-l"), QString::number(page),
        QStringLiteral("-singlefile"), QStringLiteral("-scale-to-x"), QString::number(width),
        QStringLiteral("-scale-to-y"), QString::number(height) };
    if (grey)
        arguments << QStringLiteral("-gray");
    arguments << pdf << prefix;
    if (RunTool(QStringLiteral("pdftoppm"), arguments).exitCode != 0)
        return {};
    QFile file(prefix + (grey ? QStringLiteral(".pgm") : QStringLiteral(".ppm")));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray image = file.readAll();
    // Header: magic, width, height, maximum, each followed by one blank.
    int fields = 0;
    qsizetype at = 0;
    while (fields < 4 && at < image.size()) {
        while (at < image.size() && QChar::isSpace(uchar(image[at])))
            ++at;
        while (at < image.size() && !QChar::isSpace(uchar(image[at])))
            ++at;
        ++fields;
    }
    const QByteArray pixels = image.mid(at + 1);
    return pixels.size() == qsizetype(width) * height * (grey ? 1 : 3) ? pixels : QByteArray();
}

int LuminanceDcQuantiser(const QByteArray& jpeg)
{
    const qsizetype at = jpeg.indexOf(QByteArray("\xFF\xDB", 2));
    return at < 0 || at + 5 >= jpeg.size() ? -1 : int(uchar(jpeg[at + 5]));
}

std::vector<QByteArray> PageJpegs(const QString& pdf)
{
    QTemporaryDir folder;
    const QString prefix = folder.filePath(QStringLiteral("page"));
    std::vector<QByteArray> jpegs;
    if (RunTool(QStringLiteral("pdfimages"), { QStringLiteral("-j"), pdf, prefix }).exitCode != 0)
        return jpegs;
    for (const QString& name : QDir(folder.path()).entryList({ QStringLiteral("page-*.jpg") }, QDir::Files, QDir::Name))
        jpegs.push_back(pd::test::ReadBytes(folder.filePath(name)));
    return jpegs;
}

} // namespace pd::platform::imaging::test

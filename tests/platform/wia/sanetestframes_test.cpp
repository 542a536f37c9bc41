// Real frames from SANE's "test" backend (the test environment's SANE_CONFIG_DIR lists only that
// backend) go through the page assembler; scanimage, reading the same device with the same options,
// is the independent reader of what the backend drew.
#include <cstring>
#include <gtest/gtest.h>
#include <sane/sane.h>
#include <stdexcept>
#include <utility>
#include <vector>

#include <QProcess>
#include <QString>
#include <QStringList>

#include "platform/wia/pageassembler.h"
#include "scan/pagebitmap.h"

namespace pd::platform::wia {
namespace {

using Options = std::vector<std::pair<QString, QString>>;

// A 24-bit picture, top row first, 0xRRGGBB per pixel.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels;
    std::uint32_t At(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

class SaneSession {
public:
    SaneSession()
    {
        SANE_Int version = 0;
        if (sane_init(&version, nullptr) != SANE_STATUS_GOOD)
            throw std::runtime_error("sane_init failed");
    }
    ~SaneSession()
    {
        if (m_handle)
            sane_close(m_handle);
        sane_exit();
    }
    SaneSession(const SaneSession&) = delete;
    SaneSession& operator=(const SaneSession&) = delete;

    void Open(const char* device) { Check(sane_open(device, &m_handle), "sane_open"); }

    void Set(const QString& name, const QString& value)
    {
        for (SANE_Int i = 1;; ++i) {
            const SANE_Option_Descriptor* d = sane_get_option_descriptor(m_handle, i);
            if (!d)
                throw std::runtime_error("no option " + name.toStdString());
            if (!d->name || name != QLatin1String(d->name))
                continue;
            std::vector<char> buffer(std::max<std::size_t>(std::size_t(d->size), 64), 0);
            const QByteArray text = value.toUtf8();
            SANE_Word word = 0;
            if (d->type == SANE_TYPE_STRING)
                std::memcpy(buffer.data(), text.constData(), std::size_t(text.size()));
            else if (d->type == SANE_TYPE_FIXED)
                word = SANE_FIX(value.toDouble());
            else if (d->type == SANE_TYPE_BOOL)
                word = value == QLatin1String("yes") ? SANE_TRUE : SANE_FALSE;
            else
                word = value.toInt();
            if (d->type != SANE_TYPE_STRING)
                std::memcpy(buffer.data(), &word, sizeof word);
            Check(sane_control_option(m_handle, i, SANE_ACTION_SET_VALUE, buffer.data(), nullptr),
                "set " + name.toStdString());
            return;
        }
    }

    // One page, frame after frame, as the scanner layer reads it.
    QByteArray ReadPage(int dpi)
    {
        PageAssembler assembler(dpi);
        std::vector<char> buffer(32768);
        while (!assembler.Complete()) {
            Check(sane_start(m_handle), "sane_start");
            SANE_Parameters p;
            Check(sane_get_parameters(m_handle, &p), "sane_get_parameters");
            const FrameFormat formats[]
                = { FrameFormat::Gray, FrameFormat::Rgb, FrameFormat::Red, FrameFormat::Green, FrameFormat::Blue };
            assembler.BeginFrame({ formats[p.format], p.last_frame == SANE_TRUE, p.bytes_per_line, p.pixels_per_line,
                p.lines, p.depth });
            SANE_Int got = 0;
            SANE_Status status;
            while ((status = sane_read(
                        m_handle, reinterpret_cast<SANE_Byte*>(buffer.data()), SANE_Int(buffer.size()), &got))
                == SANE_STATUS_GOOD)
                assembler.AddData(buffer.data(), got);
            if (status != SANE_STATUS_EOF)
                Check(status, "sane_read");
            assembler.EndFrame();
        }
        sane_cancel(m_handle);
        return assembler.TakeBmp();
    }

private:
    static void Check(SANE_Status status, const std::string& what)
    {
        if (status != SANE_STATUS_GOOD)
            throw std::runtime_error(what + ": " + sane_strstatus(status));
    }
    SANE_Handle m_handle = nullptr;
};

// Skips comments and blanks of a PNM header and reads the next number.
int PnmNumber(const QByteArray& pnm, qsizetype& at)
{
    for (;;) {
        while (at < pnm.size() && QChar::isSpace(uchar(pnm[at])))
            ++at;
        if (at < pnm.size() && pnm[at] == '#') {
            while (at < pnm.size() && pnm[at] != '\n')
                ++at;
            continue;
        }
        break;
    }
    const qsizetype start = at;
    while (at < pnm.size() && pnm[at] >= '0' && pnm[at] <= '9')
        ++at;
    return pnm.mid(start, at - start).toInt();
}

// scanimage's PNM output (P4 line art, P5 grey, P6 colour; 16-bit samples big-endian) as 8-bit
// values, the way the assembler reduces them.
Picture ReadPnm(const QByteArray& pnm)
{
    Picture picture;
    if (pnm.size() < 2 || pnm[0] != 'P')
        return picture;
    const char kind = pnm[1];
    qsizetype at = 2;
    picture.width = PnmNumber(pnm, at);
    picture.height = PnmNumber(pnm, at);
    const int maxValue = kind == '4' ? 1 : PnmNumber(pnm, at);
    ++at; // the one blank before the samples
    const int bytesPerSample = maxValue > 255 ? 2 : 1;
    const int channels = kind == '6' ? 3 : 1;
    const auto* data = reinterpret_cast<const unsigned char*>(pnm.constData()) + at;
    const qsizetype lineBytes
        = kind == '4' ? (picture.width + 7) / 8 : qsizetype(picture.width) * channels * bytesPerSample;
    if (pnm.size() - at < lineBytes * picture.height)
        return {};
    for (int y = 0; y < picture.height; ++y) {
        const unsigned char* line = data + y * lineBytes;
        for (int x = 0; x < picture.width; ++x) {
            std::uint32_t rgb = 0;
            if (kind == '4') {
                rgb = (line[x / 8] >> (7 - x % 8)) & 1 ? 0 : 0xFFFFFF;
            } else {
                for (int c = 0; c < channels; ++c)
                    rgb = rgb << 8 | line[(qsizetype(x) * channels + c) * bytesPerSample]; // high byte first
                if (channels == 1)
                    rgb *= 0x010101;
            }
            picture.pixels.push_back(rgb);
        }
    }
    return picture;
}

Picture ReadBmp(const QByteArray& bmp)
{
    scan::PageBitmap page = scan::LoadBitmap(bmp);
    scan::ConvertTo24Bit(page);
    Picture picture { page.Width(), page.Height(), {} };
    for (int y = 0; y < page.Height(); ++y) {
        const unsigned char* row = page.Row(y);
        for (int x = 0; x < page.Width(); ++x)
            picture.pixels.push_back(std::uint32_t(row[3 * x + 2]) << 16 | row[3 * x + 1] << 8 | row[3 * x]);
    }
    return picture;
}

Picture Scanimage(const Options& options)
{
    QStringList arguments = { QStringLiteral("-d"), QStringLiteral("test"), QStringLiteral("--format=pnm") };
    for (const auto& [name, value] : options)
        arguments << QStringLiteral("--%1=%2").arg(name, value);
    QProcess process;
    process.start(QStringLiteral("scanimage"), arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        ADD_FAILURE() << "scanimage failed: " << process.readAllStandardError().toStdString();
    return ReadPnm(process.readAllStandardOutput());
}

void ExpectSamePicture(const Picture& got, const Picture& want)
{
    ASSERT_GT(want.width, 0);
    ASSERT_EQ(got.width, want.width);
    ASSERT_EQ(got.height, want.height);
    for (int y = 0; y < want.height; ++y)
        for (int x = 0; x < want.width; ++x)
            ASSERT_EQ(got.At(x, y), want.At(x, y)) << "pixel " << x << "," << y;
}

const QString kColourPattern = QStringLiteral("Color pattern");
const QString kGrid = QStringLiteral("Grid");

Options With(const QString& mode, const QString& picture, Options more = {})
{
    // The backend's reader thread is cancelled the moment its last bytes are read; in small pieces
    // it is long done by then, and a process reading large ones can hang in the allocator.
    Options options = { { QStringLiteral("resolution"), QStringLiteral("50") }, { QStringLiteral("mode"), mode },
        { QStringLiteral("test-picture"), picture }, { QStringLiteral("read-limit"), QStringLiteral("yes") },
        { QStringLiteral("read-limit-size"), QStringLiteral("4096") } };
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

TEST(PageAssemblerWithSane, EveryModeOfTheTestBackendGivesThePictureItDraws)
{
    const QString colour = QStringLiteral("Color"), grey = QStringLiteral("Gray");
    const auto opt = [](const char* name, const char* value) {
        return std::pair { QString::fromLatin1(name), QString::fromLatin1(value) };
    };
    const struct {
        const char* name;
        Options options;
    } cases[] = {
        { "colour", With(colour, kColourPattern) },
        { "grey grid", With(grey, kGrid) },
        { "line art grid", With(grey, kGrid, { opt("depth", "1") }) },
        { "16-bit colour", With(colour, kColourPattern, { opt("depth", "16") }) },
        { "16-bit grey", With(grey, kGrid, { opt("depth", "16") }) },
        { "three-pass blue, red, green",
            With(colour, kColourPattern, { opt("three-pass", "yes"), opt("three-pass-order", "BRG") }) },
        { "hand scanner", With(colour, kColourPattern, { opt("hand-scanner", "yes") }) },
        { "small reads", With(colour, kColourPattern, { opt("read-limit", "yes"), opt("read-limit-size", "1001") }) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SaneSession sane;
        sane.Open("test");
        for (const auto& [name, value] : c.options)
            sane.Set(name, value);
        const QByteArray bmp = sane.ReadPage(50);
        ExpectSamePicture(ReadBmp(bmp), Scanimage(c.options));
    }
}

// Lines longer than their pixels: the backend wastes bytes at each line's end, the picture is the
// one it draws without the waste, narrower.
TEST(PageAssemblerWithSane, LinesLongerThanTheirPixelsLoseOnlyTheWaste)
{
    for (const QString& mode : { QStringLiteral("Color"), QStringLiteral("Gray") }) {
        SCOPED_TRACE(mode.toStdString());
        const Options plain = With(mode, kGrid);
        Options wasteful = plain;
        wasteful.emplace_back(QStringLiteral("ppl-loss"), QStringLiteral("5"));
        SaneSession sane;
        sane.Open("test");
        for (const auto& [name, value] : wasteful)
            sane.Set(name, value);
        const Picture got = ReadBmp(sane.ReadPage(50));
        const Picture full = Scanimage(plain);
        ASSERT_EQ(got.width, full.width - 5);
        Picture want { got.width, full.height, {} };
        for (int y = 0; y < full.height; ++y)
            for (int x = 0; x < got.width; ++x)
                want.pixels.push_back(full.At(x, y));
        ExpectSamePicture(got, want);
    }
}

} // namespace
} // namespace pd::platform::wia

#include <cmath>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <vector>

#include <QProcess>

#include "platform/wia/sanedevices.h"
#include "scan/pagebitmap.h"
#include "tests/platform/wia/privatesane.h"

namespace pd::platform::wia {
namespace {

using test::PrivateSane;

// One page from the test backend, set up by test.conf lines, as the acquisition reads it: a BMP
// loaded and turned into 24 bits.
scan::PageBitmap ScanPage(const QStringList& conf, bool colour)
{
    PrivateSane sane(conf);
    const auto device = CreateSaneDeviceManager()->DeviceInfos()->Item(1)->Connect();
    const auto item = device->Items()->Item(1);
    const auto properties = item->Properties();
    for (int i = 1; i <= properties->Count(); ++i) {
        if (properties->Item(i)->PropertyID() == WIA_IPS_CUR_INTENT)
            properties->Item(i)->SetValue(colour ? WIA_INTENT_IMAGE_TYPE_COLOR : WIA_INTENT_IMAGE_TYPE_GRAYSCALE);
    }
    scan::PageBitmap page = scan::LoadBitmap(item->Transfer({}));
    scan::ConvertTo24Bit(page);
    return page;
}

// Blue, green, red of the pixel at (x, y), y counted from the top.
std::uint32_t Pixel(const scan::PageBitmap& page, int x, int y)
{
    const unsigned char* p = page.Row(y) + 3 * x;
    return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

// The same page as scanimage, SANE's own command-line program, writes it: the reference for
// what each frame kind means. 1-bit samples are black when set; 16-bit samples keep their high byte.
struct Reference {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> pixels; // 0xRRGGBB, rows from the top
};

Reference ScanimagePage(bool colour)
{
    QProcess scanimage;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("SANE_CONFIG_DIR"), PrivateSane::Folder());
    // scanimage lets the backend cancel its reading thread anywhere, which now and then catches
    // the thread freeing its picture inside the allocator's lock; pictures mapped by mmap are
    // freed without that lock.
    environment.insert(QStringLiteral("GLIBC_TUNABLES"), QStringLiteral("glibc.malloc.mmap_threshold=4096"));
    scanimage.setProcessEnvironment(environment);
    scanimage.start(QStringLiteral("scanimage"),
        { QStringLiteral("-d"), QStringLiteral("test:0"), QStringLiteral("--format=pnm"), QStringLiteral("--mode"),
            colour ? QStringLiteral("Color") : QStringLiteral("Gray") });
    EXPECT_TRUE(scanimage.waitForFinished(60000));
    const QByteArray pnm = scanimage.readAllStandardOutput();
    // Header: magic, width, height and (except for P4) the largest sample, with comment lines.
    QList<QByteArray> fields;
    qsizetype pos = 0;
    const qsizetype wanted = pnm.startsWith("P4") ? 3 : 4;
    while (fields.size() < wanted && pos < pnm.size()) {
        const qsizetype end = pnm.indexOf('\n', pos);
        const QByteArray line = pnm.mid(pos, end - pos);
        pos = end + 1;
        if (!line.startsWith('#'))
            fields += line.simplified().split(' ');
    }
    Reference page;
    page.width = fields.value(1).toInt();
    page.height = fields.value(2).toInt();
    const int sampleBytes = fields.value(3).toInt() > 255 ? 2 : 1;
    const int channels = fields.value(0) == "P6" ? 3 : 1;
    const auto* data = reinterpret_cast<const unsigned char*>(pnm.constData()) + pos;
    const qsizetype needed = fields.value(0) == "P4" ? qsizetype(page.height) * ((page.width + 7) / 8)
                                                     : qsizetype(page.height) * page.width * channels * sampleBytes;
    EXPECT_GE(pnm.size() - pos, needed);
    if (pnm.size() - pos < needed)
        return {};
    for (int y = 0; y < page.height; ++y) {
        for (int x = 0; x < page.width; ++x) {
            std::uint32_t rgb = 0;
            if (fields.value(0) == "P4") {
                const int bit = data[y * ((page.width + 7) / 8) + x / 8] >> (7 - x % 8) & 1;
                rgb = bit ? 0 : 0xFFFFFF;
            } else {
                const unsigned char* sample = data + (qsizetype(y) * page.width + x) * channels * sampleBytes;
                std::uint32_t levels[3];
                for (int c = 0; c < 3; ++c)
                    levels[c] = sample[(channels == 3 ? c : 0) * sampleBytes];
                rgb = levels[0] << 16 | levels[1] << 8 | levels[2];
            }
            page.pixels.push_back(rgb);
        }
    }
    return page;
}

// Channels that differ from the reference by more than 1 (rounding of 16-bit samples).
int DifferingChannels(const scan::PageBitmap& page, const Reference& reference)
{
    int differing = 0;
    for (int y = 0; y < page.Height(); ++y) {
        for (int x = 0; x < page.Width(); ++x) {
            const std::uint32_t a = Pixel(page, x, y);
            const std::uint32_t b = reference.pixels[std::size_t(y) * reference.width + x];
            for (int shift : { 0, 8, 16 })
                differing += std::abs(int(a >> shift & 0xFF) - int(b >> shift & 0xFF)) > 1 ? 1 : 0;
        }
    }
    return differing;
}

QStringList With(QStringList conf, const QStringList& more)
{
    return conf + more;
}

// Every kind of frame the backend can send gives the page the reference program sees: right
// size, resolution, orientation and colours.
TEST(SaneFrames, EveryFrameKindGivesThePageScanimageSees)
{
    const QStringList grid { QStringLiteral("test-picture \"Grid\"") };
    const QStringList pattern { QStringLiteral("test-picture \"Color pattern\"") };
    const struct {
        const char* name;
        QStringList conf;
        bool colour;
        int width;
        int height;
        int dpi;
        // The test backend's padded lines carry the picture of the unpadded ones, cut short;
        // scanimage writes padded lines as they come, so it reads the unpadded page there.
        std::optional<QStringList> referenceConf = std::nullopt;
    } cases[] = {
        { "8-bit grey", grid, false, 157, 196, 50 },
        { "8-bit grey pattern", pattern, false, 157, 196, 50 },
        { "RGB", pattern, true, 157, 196, 50 },
        { "1-bit line art", With(grid, { QStringLiteral("depth 1") }), false, 157, 196, 50 },
        { "1-bit line art pattern", With(pattern, { QStringLiteral("depth 1") }), false, 157, 196, 50 },
        { "16-bit grey", With(pattern, { QStringLiteral("depth 16") }), false, 157, 196, 50 },
        { "16-bit colour", With(pattern, { QStringLiteral("depth 16") }), true, 157, 196, 50 },
        { "three-pass RGB", With(pattern, { QStringLiteral("three-pass true") }), true, 157, 196, 50 },
        { "three-pass BGR",
            With(pattern, { QStringLiteral("three-pass true"), QStringLiteral("three-pass-order BGR") }), true, 157,
            196, 50 },
        { "three-pass GBR",
            With(pattern, { QStringLiteral("three-pass true"), QStringLiteral("three-pass-order GBR") }), true, 157,
            196, 50 },
        // 110 mm wide; the height comes with the data.
        { "hand scanner", With(pattern, { QStringLiteral("hand-scanner true") }), false, 216, 334, 50 },
        { "colour hand scanner", With(pattern, { QStringLiteral("hand-scanner true") }), true, 216, 334, 50 },
        // Lines longer than their pixels need.
        { "grey line padding", With(pattern, { QStringLiteral("ppl-loss 7") }), false, 150, 196, 50, pattern },
        { "colour line padding", With(pattern, { QStringLiteral("ppl-loss 7") }), true, 150, 196, 50, pattern },
        { "higher resolution", With(pattern, { QStringLiteral("resolution 120") }), true, 377, 472, 120 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const scan::PageBitmap page = ScanPage(c.conf, c.colour);
        std::optional<PrivateSane> referenceSane;
        if (c.referenceConf)
            referenceSane.emplace(*c.referenceConf);
        const Reference reference = ScanimagePage(c.colour);
        ASSERT_EQ(page.Width(), c.width);
        ASSERT_EQ(page.Height(), c.height);
        ASSERT_GE(reference.width, c.width);
        ASSERT_EQ(reference.height, c.height);
        EXPECT_NEAR(page.XPelsPerMeter(), c.dpi / 0.0254, 1);
        EXPECT_NEAR(page.YPelsPerMeter(), c.dpi / 0.0254, 1);
        EXPECT_EQ(DifferingChannels(page, reference), 0);
    }
}

} // namespace
} // namespace pd::platform::wia

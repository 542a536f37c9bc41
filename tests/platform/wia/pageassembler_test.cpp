#include <cstdint>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <stdexcept>
#include <utility>
#include <vector>

#include <QtEndian>

#include "platform/wia/pageassembler.h"
#include "scan/pagebitmap.h"

namespace pd::platform::wia {
namespace {

// A picture in which every pixel differs from its neighbours in every channel, so a page turned
// upside down, a mirrored row, swapped channels or a row shifted by its padding all show. With
// binary set, every channel is 0 or 255 (what 1-bit frames can carry).
struct Picture {
    int width = 0;
    int height = 0;
    bool grey = false;
    bool binary = false;

    std::uint32_t Rgb(int x, int y) const
    {
        auto level = [&](int a, int b, int c) {
            const int v = (x * a + y * b + c) & 0xFF;
            return binary ? ((x * a + y * b + c) % 3 == 0 ? 0 : 255) : v;
        };
        if (grey) {
            const int g = level(37, 11, 5);
            return std::uint32_t(g * 0x010101);
        }
        return std::uint32_t(level(37, 11, 5) << 16 | level(13, 71, 1) << 8 | level(5, 29, 100));
    }
};

// How a frame carries a picture's channels.
enum class Carrier { Grey, Rgb, Red, Green, Blue };

int SamplesPerPixel(Carrier carrier)
{
    return carrier == Carrier::Rgb ? 3 : 1;
}

// The sample of channel c (0 red, 1 green, 2 blue) of a pixel, or its grey value.
int ChannelOf(std::uint32_t rgb, int c)
{
    return int(rgb >> (16 - 8 * c)) & 0xFF;
}

// The bytes of one frame as a SANE backend sends them: lines of bytesPerLine bytes, samples
// packed most significant bit first at depth 1 (a set bit is black in grey frames, full intensity
// in colour ones), 16-bit samples in host byte order with a low byte that must not matter.
QByteArray EncodeFrame(const Picture& picture, Carrier carrier, int depth, int bytesPerLine)
{
    QByteArray frame(qsizetype(bytesPerLine) * picture.height, char(0xEE));
    for (int y = 0; y < picture.height; ++y) {
        auto* line = reinterpret_cast<unsigned char*>(frame.data()) + qsizetype(y) * bytesPerLine;
        const int needed = (picture.width * SamplesPerPixel(carrier) * depth + 7) / 8;
        std::memset(line, 0, std::size_t(needed));
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t rgb = picture.Rgb(x, y);
            for (int s = 0; s < SamplesPerPixel(carrier); ++s) {
                const int channel = carrier == Carrier::Rgb ? s
                    : carrier == Carrier::Green             ? 1
                    : carrier == Carrier::Blue              ? 2
                                                            : 0;
                const int value = ChannelOf(rgb, channel);
                const qsizetype i = qsizetype(x) * SamplesPerPixel(carrier) + s;
                if (depth == 8) {
                    line[i] = static_cast<unsigned char>(value);
                } else if (depth == 16) {
                    const std::uint16_t sample = std::uint16_t(value << 8 | 0x5A);
                    std::memcpy(line + 2 * i, &sample, 2);
                } else {
                    const bool set = carrier == Carrier::Grey ? value == 0 : value == 255;
                    if (set)
                        line[i / 8] |= static_cast<unsigned char>(0x80 >> (i % 8));
                }
            }
        }
    }
    return frame;
}

FrameFormat FormatOf(Carrier carrier)
{
    switch (carrier) {
    case Carrier::Grey:
        return FrameFormat::Gray;
    case Carrier::Rgb:
        return FrameFormat::Rgb;
    case Carrier::Red:
        return FrameFormat::Red;
    case Carrier::Green:
        return FrameFormat::Green;
    case Carrier::Blue:
        return FrameFormat::Blue;
    }
    return FrameFormat::Gray;
}

// Feeds data in chunks whose sizes cycle through the given list, so lines are split at every
// kind of place.
void Feed(PageAssembler& assembler, const QByteArray& data, const std::vector<qsizetype>& chunks)
{
    qsizetype at = 0;
    for (std::size_t i = 0; at < data.size(); ++i) {
        const qsizetype size = std::min(chunks[i % chunks.size()], data.size() - at);
        assembler.AddData(data.constData() + at, size);
        at += size;
    }
}

struct FrameKind {
    const char* name;
    std::vector<Carrier> frames; // several: three-pass colour, in the order sent
    int depth;
    int width;
    int extraBytesPerLine = 0;
    bool handScanner = false;
};

// Sends one page of the picture; a hand scanner announces no height and adds tail, the start of
// a line that never ends.
QByteArray Assemble(const Picture& picture, const FrameKind& kind, const std::vector<qsizetype>& chunks, int dpi = 300,
    const QByteArray& tail = {})
{
    PageAssembler assembler(dpi);
    for (std::size_t f = 0; f < kind.frames.size(); ++f) {
        const Carrier carrier = kind.frames[f];
        FrameParameters p;
        p.format = FormatOf(carrier);
        p.lastFrame = f + 1 == kind.frames.size();
        p.depth = kind.depth;
        p.pixelsPerLine = picture.width;
        p.bytesPerLine = (picture.width * SamplesPerPixel(carrier) * kind.depth + 7) / 8 + kind.extraBytesPerLine;
        p.lines = kind.handScanner ? -1 : picture.height;
        EXPECT_FALSE(assembler.Complete());
        assembler.BeginFrame(p);
        Feed(assembler, EncodeFrame(picture, carrier, kind.depth, p.bytesPerLine) + tail, chunks);
        assembler.EndFrame();
    }
    EXPECT_TRUE(assembler.Complete());
    return assembler.TakeBmp();
}

// The BMP's own promises beyond what a reader forgives: bottom-up rows, a size field that
// matches, zeros in the row padding.
void ExpectPlainBmp(const QByteArray& bmp, int width, int height, int bitsPerPixel)
{
    ASSERT_GE(bmp.size(), 54);
    const auto* h = reinterpret_cast<const unsigned char*>(bmp.constData());
    EXPECT_EQ(qFromLittleEndian<quint32>(h + 2), quint32(bmp.size()));
    EXPECT_EQ(qFromLittleEndian<qint32>(h + 18), width);
    EXPECT_EQ(qFromLittleEndian<qint32>(h + 22), height) << "positive height: rows bottom-up";
    EXPECT_EQ(qFromLittleEndian<quint16>(h + 28), bitsPerPixel);
    const qsizetype offset = qFromLittleEndian<quint32>(h + 10);
    const qsizetype stride = (qsizetype(width) * bitsPerPixel + 31) / 32 * 4;
    ASSERT_EQ(bmp.size(), offset + stride * height);
    const qsizetype used = qsizetype(width) * bitsPerPixel / 8;
    for (int row = 0; row < height; ++row)
        for (qsizetype i = used; i < stride; ++i)
            ASSERT_EQ(h[offset + row * stride + i], 0) << "padding of stored row " << row;
}

void ExpectPicture(const QByteArray& bmp, const Picture& picture, int dpi = 300)
{
    const int bits = picture.grey ? 8 : 24;
    ExpectPlainBmp(bmp, picture.width, picture.height, bits);
    scan::PageBitmap page = scan::LoadBitmap(bmp);
    ASSERT_EQ(page.BitsPerPixel(), bits);
    scan::ConvertTo24Bit(page);
    ASSERT_EQ(page.Width(), picture.width);
    ASSERT_EQ(page.Height(), picture.height);
    const int pelsPerMeter = qRound(dpi / 0.0254);
    EXPECT_EQ(page.XPelsPerMeter(), pelsPerMeter);
    EXPECT_EQ(page.YPelsPerMeter(), pelsPerMeter);
    for (int y = 0; y < picture.height; ++y) {
        const unsigned char* row = page.Row(y);
        for (int x = 0; x < picture.width; ++x) {
            const std::uint32_t got = std::uint32_t(row[3 * x + 2]) << 16 | row[3 * x + 1] << 8 | row[3 * x];
            ASSERT_EQ(got, picture.Rgb(x, y)) << "pixel " << x << "," << y;
        }
    }
}

const std::vector<FrameKind>& Kinds()
{
    using C = Carrier;
    static const std::vector<FrameKind> kinds = {
        { "grey 8 bit", { C::Grey }, 8, 7 },
        { "grey 16 bit", { C::Grey }, 16, 5 },
        { "line art", { C::Grey }, 1, 11 },
        { "line art, whole bytes", { C::Grey }, 1, 16 },
        { "colour 8 bit", { C::Rgb }, 8, 5 },
        { "colour 8 bit, wide", { C::Rgb }, 8, 23 },
        { "colour 16 bit", { C::Rgb }, 16, 3 },
        { "colour 1 bit", { C::Rgb }, 1, 7 },
        { "three-pass red, green, blue", { C::Red, C::Green, C::Blue }, 8, 5 },
        { "three-pass blue, red, green", { C::Blue, C::Red, C::Green }, 8, 6 },
        { "three-pass 16 bit green, blue, red", { C::Green, C::Blue, C::Red }, 16, 3 },
        { "three-pass 1 bit", { C::Red, C::Blue, C::Green }, 1, 9 },
        { "grey, long lines", { C::Grey }, 8, 7, 5 },
        { "colour, long lines", { C::Rgb }, 8, 21, 3 },
        { "line art, long lines", { C::Grey }, 1, 11, 2 },
        { "hand scanner grey", { C::Grey }, 8, 7, 0, true },
        { "hand scanner colour 16 bit", { C::Rgb }, 16, 5, 0, true },
        { "hand scanner three-pass", { C::Green, C::Red, C::Blue }, 8, 5, 1, true },
    };
    return kinds;
}

TEST(PageAssembler, EveryFrameKindGivesThePictureInAnyChunking)
{
    const std::vector<std::vector<qsizetype>> chunkings = { { 1 << 20 }, { 1 }, { 7, 1, 13, 2, 64 } };
    for (const FrameKind& kind : Kinds()) {
        SCOPED_TRACE(kind.name);
        const bool grey = kind.frames.front() == Carrier::Grey;
        const Picture picture { kind.width, 6, grey, kind.depth == 1 };
        for (const auto& chunks : chunkings) {
            SCOPED_TRACE(testing::Message() << "first chunk " << chunks.front());
            ExpectPicture(Assemble(picture, kind, chunks), picture);
        }
    }
}

TEST(PageAssembler, HandScannerDropsAPartialLastLine)
{
    const FrameKind kinds[] = {
        { "grey", { Carrier::Grey }, 8, 7, 0, true },
        { "three-pass", { Carrier::Blue, Carrier::Green, Carrier::Red }, 8, 5, 0, true },
    };
    for (const FrameKind& kind : kinds) {
        SCOPED_TRACE(kind.name);
        const Picture picture { kind.width, 9, kind.frames.front() == Carrier::Grey, false };
        ExpectPicture(Assemble(picture, kind, { 5, 3 }, 300, QByteArray(3, char(0x11))), picture);
    }
}

TEST(PageAssembler, HeaderCarriesTheScanResolution)
{
    const FrameKind grey { "grey", { Carrier::Grey }, 8, 4 };
    const Picture picture { 4, 2, true, false };
    for (int dpi : { 75, 150, 300, 600, 1200 }) {
        SCOPED_TRACE(dpi);
        ExpectPicture(Assemble(picture, grey, { 64 }, dpi), picture, dpi);
    }
}

TEST(PageAssembler, PageWithoutDataGivesAnEmptyArray)
{
    for (int lines : { 4, -1, 0 }) {
        SCOPED_TRACE(lines);
        PageAssembler assembler(300);
        assembler.BeginFrame({ FrameFormat::Rgb, true, 9, 3, lines, 8 });
        assembler.EndFrame();
        ASSERT_TRUE(assembler.Complete());
        EXPECT_TRUE(assembler.TakeBmp().isEmpty());
    }
}

TEST(PageAssembler, TakesOnePageAfterAnother)
{
    PageAssembler assembler(200);
    const Picture first { 5, 3, false, false };
    const Picture second { 6, 4, true, false };
    for (const Picture& picture : { first, second, first }) {
        const Carrier carrier = picture.grey ? Carrier::Grey : Carrier::Rgb;
        const int bytesPerLine = picture.width * SamplesPerPixel(carrier);
        assembler.BeginFrame({ FormatOf(carrier), true, bytesPerLine, picture.width, picture.height, 8 });
        Feed(assembler, EncodeFrame(picture, carrier, 8, bytesPerLine), { 4 });
        assembler.EndFrame();
        ExpectPicture(assembler.TakeBmp(), picture, 200);
        EXPECT_FALSE(assembler.Complete());
    }
}

// A feeder batch lays a page out in the memory of the page before once nobody reads that one any
// more; a page still held keeps its pixels, and memory too small is not taken.
TEST(PageAssembler, ReusesAnEarlierPageOnlyWhenNobodyHoldsIt)
{
    const Picture large { 9, 5, false, false };
    const Picture small { 4, 3, false, false };
    const auto send = [](const Picture& picture, QByteArray earlier, bool handScanner = false) {
        PageAssembler assembler(300);
        assembler.ReuseMemory(std::move(earlier));
        const int bytesPerLine = picture.width * 3;
        assembler.BeginFrame(
            { FrameFormat::Rgb, true, bytesPerLine, picture.width, handScanner ? -1 : picture.height, 8 });
        Feed(assembler, EncodeFrame(picture, Carrier::Rgb, 8, bytesPerLine), { 7 });
        assembler.EndFrame();
        return assembler.TakeBmp();
    };
    for (const bool handScanner : { false, true }) {
        SCOPED_TRACE(handScanner);
        QByteArray released = send(large, {});
        const char* memory = released.constData();
        const QByteArray next = send(small, std::move(released), handScanner);
        EXPECT_EQ(next.constData(), memory);
        ExpectPicture(next, small);

        const QByteArray held = send(large, {});
        const QByteArray beside = send(small, held, handScanner);
        EXPECT_NE(beside.constData(), held.constData());
        ExpectPicture(held, large);
        ExpectPicture(beside, small);

        QByteArray tooSmall = send(small, {});
        ExpectPicture(send(large, std::move(tooSmall), handScanner), large);
    }
}

// Each case sends something a scanner must not; the assembler throws and is then ready for a
// good page again.
TEST(PageAssembler, BadFramesThrowAndLeaveNothingBehind)
{
    using Steps = std::function<void(PageAssembler&)>;
    const auto lines = [](PageAssembler& a, int count, int bytesPerLine) {
        a.AddData(QByteArray(qsizetype(count) * bytesPerLine, '\x40').constData(), qsizetype(count) * bytesPerLine);
    };
    const FrameParameters grey { FrameFormat::Gray, true, 4, 4, 3, 8 };
    const auto pass = [](FrameFormat f, bool last, int width = 4, int lines = 3, int depth = 8) {
        return FrameParameters { f, last, width * depth / 8, width, lines, depth };
    };
    // A whole frame of count lines.
    const auto frame = [&](PageAssembler& a, const FrameParameters& p, int count) {
        a.BeginFrame(p);
        lines(a, count, p.bytesPerLine);
        a.EndFrame();
    };
    const FrameParameters red = pass(FrameFormat::Red, false);
    const struct {
        const char* name;
        Steps steps;
    } cases[] = {
        { "depth 4",
            [&](PageAssembler& a) {
                a.BeginFrame({ FrameFormat::Gray, true, 4, 8, 3, 4 });
            } },
        { "no pixels",
            [&](PageAssembler& a) {
                a.BeginFrame({ FrameFormat::Gray, true, 4, 0, 3, 8 });
            } },
        { "lines below -1",
            [&](PageAssembler& a) {
                a.BeginFrame({ FrameFormat::Gray, true, 4, 4, -2, 8 });
            } },
        { "line shorter than its pixels",
            [&](PageAssembler& a) {
                a.BeginFrame({ FrameFormat::Rgb, true, 11, 4, 3, 8 });
            } },
        { "grey frame followed by more",
            [&](PageAssembler& a) {
                a.BeginFrame({ FrameFormat::Gray, false, 4, 4, 3, 8 });
            } },
        { "data outside a frame", [&](PageAssembler& a) { lines(a, 1, 4); } },
        { "end without a frame", [&](PageAssembler& a) { a.EndFrame(); } },
        { "frame inside a frame",
            [&](PageAssembler& a) {
                a.BeginFrame(grey);
                a.BeginFrame(grey);
            } },
        { "too few lines",
            [&](PageAssembler& a) {
                a.BeginFrame(grey);
                lines(a, 2, 4);
                a.EndFrame();
            } },
        { "half a line short",
            [&](PageAssembler& a) {
                a.BeginFrame(grey);
                lines(a, 2, 4);
                a.AddData("ab", 2);
                a.EndFrame();
            } },
        { "too many lines",
            [&](PageAssembler& a) {
                a.BeginFrame(grey);
                lines(a, 4, 4);
            } },
        { "a byte too many",
            [&](PageAssembler& a) {
                a.BeginFrame(grey);
                lines(a, 3, 4);
                a.AddData("x", 1);
                a.EndFrame();
            } },
        { "taken before complete",
            [&](PageAssembler& a) {
                a.BeginFrame(grey);
                lines(a, 3, 4);
                a.TakeBmp();
            } },
        { "colour missing",
            [&](PageAssembler& a) {
                frame(a, red, 3);
                frame(a, pass(FrameFormat::Blue, true), 3);
            } },
        { "colour twice",
            [&](PageAssembler& a) {
                frame(a, red, 3);
                a.BeginFrame(red);
            } },
        { "colours of different widths",
            [&](PageAssembler& a) {
                frame(a, red, 3);
                a.BeginFrame(pass(FrameFormat::Green, false, 8));
            } },
        { "colours of different depths",
            [&](PageAssembler& a) {
                frame(a, red, 3);
                a.BeginFrame(pass(FrameFormat::Green, false, 4, 3, 16));
            } },
        { "colours of different heights",
            [&](PageAssembler& a) {
                frame(a, red, 3);
                a.BeginFrame(pass(FrameFormat::Green, false, 4, 4));
            } },
        { "hand-scanner colours of different heights",
            [&](PageAssembler& a) {
                frame(a, pass(FrameFormat::Red, false, 4, -1), 3);
                a.BeginFrame(pass(FrameFormat::Green, false, 4, -1));
                lines(a, 4, 4);
            } },
        { "one colour without data",
            [&](PageAssembler& a) {
                frame(a, red, 3);
                frame(a, pass(FrameFormat::Green, false), 0);
                frame(a, pass(FrameFormat::Blue, true), 3);
            } },
        { "grey after a colour",
            [&](PageAssembler& a) {
                frame(a, red, 3);
                a.BeginFrame(grey);
            } },
        { "frame after the last",
            [&](PageAssembler& a) {
                frame(a, grey, 3);
                a.BeginFrame(grey);
            } },
        { "larger than a BMP file",
            [&](PageAssembler& a) {
                a.BeginFrame({ FrameFormat::Rgb, true, 300000, 100000, 20000, 8 });
            } },
    };
    const Picture good { 4, 3, true, false };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PageAssembler assembler(300);
        EXPECT_THROW(c.steps(assembler), std::runtime_error);
        EXPECT_FALSE(assembler.Complete());
        EXPECT_THROW(assembler.TakeBmp(), std::runtime_error);
        assembler.BeginFrame(grey);
        Feed(assembler, EncodeFrame(good, Carrier::Grey, 8, 4), { 3 });
        assembler.EndFrame();
        ExpectPicture(assembler.TakeBmp(), good);
    }
}

} // namespace
} // namespace pd::platform::wia

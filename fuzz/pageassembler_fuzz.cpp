// The scanner backend's frames to BMP: frame parameters, data in any chunking and the order of the
// calls all come from the input, as a broken backend might send them. A model of the page kept
// here predicts every pixel of the BMP from the frames' samples; a page the assembler refuses is
// dropped whole, after which it takes the next page; a file offered for reuse while someone still
// reads it is never written.
#include <cstdint>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include <QByteArray>

#include "fuzz/fuzzinput.h"
#include "platform/error.h"
#include "platform/wia/pageassembler.h"
#include "scan/pagebitmap.h"

namespace {

using pd::platform::wia::FrameFormat;
using pd::platform::wia::FrameParameters;

struct Frame {
    FrameParameters p;
    QByteArray data;
};

FrameParameters DrawParameters(pd::fuzz::Input& input)
{
    FrameParameters p;
    p.format = FrameFormat(input.Byte() % 6); // 5 is none of the formats
    p.lastFrame = input.Byte() % 4 != 0;
    static constexpr int depths[] = { 8, 1, 16, 8, 1, 2 };
    p.depth = depths[input.Byte() % 6];
    p.pixelsPerLine = input.Range(-1, 40);
    const int samples = p.format == FrameFormat::Rgb ? 3 : 1;
    const int needed = (p.pixelsPerLine * samples * p.depth + 7) / 8;
    p.bytesPerLine = std::max(needed, 0) + input.Range(-1, 4);
    p.lines = input.Range(-2, 24);
    return p;
}

// One sample as the assembler takes it: a set line-art bit is full intensity, 16-bit samples keep
// the high byte of host order (this machine's: little-endian).
int Sample(const Frame& f, int row, int index)
{
    const auto* line = reinterpret_cast<const unsigned char*>(f.data.constData()) + qsizetype(row) * f.p.bytesPerLine;
    switch (f.p.depth) {
    case 1:
        return (line[index / 8] >> (7 - index % 8) & 1) ? 255 : 0;
    case 16:
        return line[2 * index + 1];
    default:
        return line[index];
    }
}

void CheckPage(const std::vector<Frame>& frames, const QByteArray& bmp, int dotsPerInch)
{
    const Frame* first = nullptr;
    for (const Frame& f : frames) {
        if (!f.data.isEmpty()) {
            first = &f;
            break;
        }
    }
    const int announced = frames.front().p.lines;
    const int rows = announced >= 0 ? announced : (first ? int(first->data.size() / first->p.bytesPerLine) : 0);
    if (!first || rows == 0) {
        FUZZ_CHECK(bmp.isEmpty());
        return;
    }
    FUZZ_CHECK(!bmp.isEmpty());
    const pd::scan::PageBitmap page = pd::scan::LoadBitmap(bmp);
    const bool grey = frames.front().p.format == FrameFormat::Gray;
    const int width = frames.front().p.pixelsPerLine;
    FUZZ_CHECK(page.Width() == width && page.Height() == rows);
    FUZZ_CHECK(page.BitsPerPixel() == (grey ? 8 : 24));
    if (dotsPerInch > 0)
        FUZZ_CHECK(page.XPelsPerMeter() == qRound(dotsPerInch * 10000.0 / 254.0));
    if (grey) {
        for (int i = 0; i < 256; ++i)
            FUZZ_CHECK(page.Palette().at(std::size_t(i)) == std::uint32_t(i) * 0x010101u);
    }
    for (const Frame& f : frames) {
        if (f.data.isEmpty())
            continue;
        for (int y = 0; y < rows; ++y) {
            const unsigned char* row = page.Row(y);
            for (int x = 0; x < width; ++x) {
                switch (f.p.format) {
                case FrameFormat::Gray:
                    FUZZ_CHECK(row[x] == (f.p.depth == 1 ? 255 - Sample(f, y, x) : Sample(f, y, x)));
                    break;
                case FrameFormat::Rgb:
                    FUZZ_CHECK(row[3 * x + 2] == Sample(f, y, 3 * x));
                    FUZZ_CHECK(row[3 * x + 1] == Sample(f, y, 3 * x + 1));
                    FUZZ_CHECK(row[3 * x] == Sample(f, y, 3 * x + 2));
                    break;
                case FrameFormat::Red:
                    FUZZ_CHECK(row[3 * x + 2] == Sample(f, y, x));
                    break;
                case FrameFormat::Green:
                    FUZZ_CHECK(row[3 * x + 1] == Sample(f, y, x));
                    break;
                case FrameFormat::Blue:
                    FUZZ_CHECK(row[3 * x] == Sample(f, y, x));
                    break;
                }
            }
        }
    }
}

// After a refused page the assembler must take a plain one: 2 x 2 grey, one line per call.
void CheckReady(pd::platform::wia::PageAssembler& assembler)
{
    FrameParameters p;
    p.pixelsPerLine = 2;
    p.bytesPerLine = 2;
    p.lines = 2;
    assembler.BeginFrame(p);
    assembler.AddData("\x10\x20", 2);
    assembler.AddData("\x30\x40", 2);
    assembler.EndFrame();
    FUZZ_CHECK(assembler.Complete());
    const pd::scan::PageBitmap page = pd::scan::LoadBitmap(assembler.TakeBmp());
    FUZZ_CHECK(page.Width() == 2 && page.Height() == 2);
    FUZZ_CHECK(page.Row(0)[0] == 0x10 && page.Row(0)[1] == 0x20 && page.Row(1)[0] == 0x30 && page.Row(1)[1] == 0x40);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > 64 * 1024)
        return 0;
    pd::fuzz::Input input(data, size);
    const int dotsPerInch = input.Range(0, 1200);
    pd::platform::wia::PageAssembler assembler(dotsPerInch);
    std::vector<Frame> frames; // of the page being assembled
    QByteArray held; // an earlier page someone still reads
    QByteArray heldCopy;
    for (int step = 0; step < 24 && !input.Empty(); ++step) {
        try {
            switch (input.Byte() % 8) {
            case 0:
            case 1:
            case 2: {
                const FrameParameters p = DrawParameters(input);
                assembler.BeginFrame(p);
                frames.push_back({ p, {} });
                break;
            }
            case 3:
            case 4: {
                const QByteArray chunk = input.Bytes(std::size_t(input.Range(0, 1500)));
                assembler.AddData(chunk.constData(), chunk.size());
                if (!frames.empty())
                    frames.back().data += chunk;
                break;
            }
            case 5:
                assembler.EndFrame();
                break;
            case 6: {
                const bool complete = assembler.Complete();
                const QByteArray bmp = assembler.TakeBmp();
                FUZZ_CHECK(complete && !frames.empty());
                CheckPage(frames, bmp, dotsPerInch);
                frames.clear();
                if (input.Flag()) {
                    held = bmp;
                    heldCopy = QByteArray(bmp.constData(), bmp.size());
                }
                assembler.ReuseMemory(bmp);
                break;
            }
            default:
                // A file nobody holds any more, free for the next page to be laid out in.
                assembler.ReuseMemory(QByteArray(input.Range(0, 3000), 'x'));
                break;
            }
        } catch (const std::runtime_error&) {
            // The page is dropped whole; the next frame starts a new one.
            frames.clear();
        } catch (const pd::platform::Error&) {
            FUZZ_CHECK(!"a BMP file made by the assembler does not load");
        }
        FUZZ_CHECK(held == heldCopy);
    }
    // Whatever state the steps left, ending the frame and taking the page empties the assembler
    // (each either succeeds or drops the page), and it then takes a plain page.
    try {
        assembler.EndFrame();
    } catch (const std::runtime_error&) {
    }
    try {
        assembler.TakeBmp();
    } catch (const std::runtime_error&) {
    }
    CheckReady(assembler);
    return 0;
}

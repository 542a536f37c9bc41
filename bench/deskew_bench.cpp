// Deskew of a 300 dpi A4 page (text turned by 2 degrees) beside JPEG encoding of the same page at
// quality 90, the one cost the page has to pay anyway; colour and grey, several repetitions each.
//
// usage: deskew_bench [REPETITIONS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "platform/imaging/deskew.h"
#include "platform/imaging/dib.h"
#include "platform/imaging/jpegencoder.h"
#include "tests/platform/imaging/deskewpages.h"

namespace {

using namespace pd::platform::imaging;
using Clock = std::chrono::steady_clock;

constexpr int kWidth = 2480;
constexpr int kHeight = 3508;
constexpr double kSkew = 2.0;
constexpr int kQuality = 90;

// Milliseconds per run: the mean and the fastest.
struct Timing {
    double mean = 0;
    double best = 0;
};

// Times run() `repetitions` times; prepare() before each run is not counted.
Timing Measure(int repetitions, const std::function<void()>& prepare, const std::function<void()>& run)
{
    std::vector<double> times;
    for (int i = 0; i < repetitions; ++i) {
        prepare();
        const Clock::time_point start = Clock::now();
        run();
        times.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    Timing timing;
    for (const double t : times)
        timing.mean += t / repetitions;
    timing.best = *std::min_element(times.begin(), times.end());
    return timing;
}

void Print(const char* what, const Timing& timing)
{
    std::printf("  %-26s %8.1f ms/page mean %8.1f ms best\n", what, timing.mean, timing.best);
}

void Run(int bytesPerPixel, int repetitions)
{
    test::TestPage original = test::WhitePage(kWidth, kHeight, bytesPerPixel);
    test::Draw(original, test::TextLines(kWidth, kHeight, 60, 5), kSkew);
    test::TestPage page = original;
    const auto restore = [&] { page.bytes = original.bytes; };

    double estimate = 0, corrected = 0;
    const Timing estimating = Measure(repetitions, restore, [&] { estimate = EstimateSkew(page.Raster()); });
    const Timing rotating = Measure(repetitions, restore, [&] { RotatePage(page.Raster(), kSkew); });
    const Timing deskewing = Measure(repetitions, restore, [&] { corrected = DeskewPage(page.Raster()); });

    DibPixels dib;
    dib.width = kWidth;
    dib.height = kHeight;
    dib.bitsPerPixel = bytesPerPixel * 8;
    dib.bottomUp = false;
    dib.rows = original.bytes.data();
    dib.stride = original.stride;
    if (bytesPerPixel == 1)
        for (std::uint32_t v = 0; v < 256; ++v)
            dib.palette.push_back(v * 0x010101u);
    JpegEncoder encoder;
    bool encoded = true;
    const Timing encoding = Measure(
        repetitions, [] {}, [&] { encoded = encoder.Encode(dib, kQuality) && encoded; });
    if (!encoded)
        std::fprintf(stderr, "JPEG encoding failed: %s\n", qPrintable(encoder.Error()));

    std::printf("%s page %dx%d, text turned by %.1f degrees, %d runs (estimate %.3f, corrected %.3f, JPEG %zu bytes)\n",
        bytesPerPixel == 1 ? "Grey" : "Colour", kWidth, kHeight, kSkew, repetitions, estimate, corrected,
        encoder.Size());
    Print("EstimateSkew", estimating);
    Print("RotatePage", rotating);
    Print("DeskewPage (both)", deskewing);
    Print("JpegEncoder::Encode q90", encoding);
    std::printf(
        "  deskew / JPEG: %.2f mean, %.2f best\n", deskewing.mean / encoding.mean, deskewing.best / encoding.best);
}

} // namespace

int main(int argc, char** argv)
{
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    Run(3, repetitions);
    Run(1, repetitions);
    return 0;
}

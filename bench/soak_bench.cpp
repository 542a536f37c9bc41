// Resident memory over a long run of scan-and-send jobs in one process: 200 feeder jobs of ten
// pages each from SANE's test scanner through the main window, the mail program faked, as the
// soak test runs them. Prints VmRSS and VmHWM after 10 and after all jobs and their ratios; a
// program that keeps nothing from one job to the next stays within a few percent.
//
// SANE's test backend, left to stop its page threads its own way, loses a 64 KB buffer with a
// thread now and then; the run keeps it from doing so unless --backend-cancels is given, which
// shows that loss beside the program's own figures.
//
// usage: soak_bench [--backend-cancels] [JOBS]   (default 200; at least 10)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <malloc.h>

#include "tests/app/soakdesk.h"
#include "ui/application.h"

namespace {

constexpr int kEarly = 10;

void Print(const char* when, int jobs, const pd::app::test::ResidentSize& size)
{
    std::printf("%-6s after %3d jobs: VmRSS %7lld kB  VmHWM %7lld kB\n", when, jobs, size.rssKb, size.hwmKb);
}

// Whether growth is memory still held or memory the allocator keeps: the heap's bytes in use
// (small blocks and mapped ones) beside the process's resident size.
void PrintCheckpoint(int jobs)
{
    const struct mallinfo2 heap = ::mallinfo2();
    const pd::app::test::ResidentSize size = pd::app::test::CurrentResidentSize();
    std::printf("  %3d jobs: VmRSS %7lld kB, heap in use %7zu kB (mapped %7zu kB), heap free %7zu kB\n", jobs,
        size.rssKb, (heap.uordblks + heap.hblkhd) / 1024, heap.hblkhd / 1024, heap.fordblks / 1024);
}

double Ratio(long long late, long long early)
{
    return early > 0 ? double(late) / double(early) : 0.0;
}

} // namespace

int main(int argc, char** argv)
{
    int jobs = 200;
    bool backendCancels = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--backend-cancels") == 0)
            backendCancels = true;
        else
            jobs = std::max(kEarly, std::atoi(argv[i]));
    }
    pd::app::test::LetBackendCancelItsThreads(backendCancels);
    std::printf("%d jobs, the test backend %s\n", jobs,
        backendCancels ? "cancels its page threads" : "lets its page threads end");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    pd::ui::TPaperdartApplication application(argc, argv);
    pd::app::test::SoakDesk desk;

    const auto started = std::chrono::steady_clock::now();
    pd::app::test::ResidentSize early;
    int failed = 0;
    for (int i = 1; i <= jobs; ++i) {
        const pd::app::test::SoakDesk::Job job = desk.RunJob();
        if (!(job.pdfWritten && job.messageWritten && job.handedOver && job.windows.isEmpty()))
            ++failed;
        if (i == kEarly)
            early = pd::app::test::CurrentResidentSize();
        if (i == 1 || i % 25 == 0 || i == kEarly)
            PrintCheckpoint(i);
    }
    const pd::app::test::ResidentSize late = pd::app::test::CurrentResidentSize();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    Print("early", kEarly, early);
    Print("late", jobs, late);
    std::printf("ratio late/early: VmRSS %.3f  VmHWM %.3f (goal: at most 1.10)\n", Ratio(late.rssKb, early.rssKb),
        Ratio(late.hwmKb, early.hwmKb));
    std::printf("%d jobs in %.1f s, %d failed\n", jobs, seconds, failed);
    return failed == 0 ? 0 : 1;
}

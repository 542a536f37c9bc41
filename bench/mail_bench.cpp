// mail_bench ATTACHMENT OUT.eml: writes the message file for the attachment with the program's
// writer (no hand-off), then, when mpack is installed, lets mpack encode the same file, and
// prints wall times, the peak memory of this process and the ratio of the two times.
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include "mail/mailmessage.h"

namespace {

constexpr int kRounds = 3;

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Best of a few rounds, so a cold cache or a busy neighbour does not decide the figure.
double TimeWriter(const QString& attachment, const QString& out)
{
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const bool written = pd::mail::WriteMailMessage(QString(), QStringLiteral("empfang@example.org"),
            QStringLiteral("Scan vom Kopierer"), QStringLiteral("Guten Tag,\r\nanbei der Scan."), attachment, out,
            QDateTime::currentDateTime());
        const double seconds = Seconds(std::chrono::steady_clock::now() - start);
        if (!written) {
            std::fprintf(stderr, "the message could not be written\n");
            return -1;
        }
        best = std::min(best, seconds);
    }
    return best;
}

double TimeMpack(const QString& mpack, const QString& attachment, const QString& out)
{
    const QByteArray program = QFile::encodeName(mpack);
    const QByteArray file = QFile::encodeName(attachment);
    const QByteArray target = QFile::encodeName(out);
    double best = 1e9;
    for (int round = 0; round < kRounds; ++round) {
        QFile::remove(out); // mpack refuses to overwrite
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execl(program.constData(), "mpack", "-s", "Scan vom Kopierer", "-o", target.constData(), file.constData(),
                static_cast<char*>(nullptr));
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        const double seconds = Seconds(std::chrono::steady_clock::now() - start);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "mpack failed\n");
            return -1;
        }
        best = std::min(best, seconds);
    }
    QFile::remove(out);
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ATTACHMENT OUT.eml\n", argv[0]);
        return 2;
    }
    const QString attachment = QFile::decodeName(argv[1]);
    const QString out = QFile::decodeName(argv[2]);
    const qint64 size = QFileInfo(attachment).size();
    const double writer = TimeWriter(attachment, out);
    if (writer < 0)
        return 1;
    rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    const double peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    const double sizeMiB = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("attachment_bytes=%lld\n", static_cast<long long>(size));
    std::printf("message_bytes=%lld\n", static_cast<long long>(QFileInfo(out).size()));
    std::printf("writer_seconds=%.4f\n", writer);
    std::printf("peak_rss_mib=%.1f\n", peakMiB);
    if (size > 0)
        std::printf("peak_vs_attachment=%.2f\n", peakMiB / sizeMiB);

    const QString mpack = QStandardPaths::findExecutable(QStringLiteral("mpack"));
    if (mpack.isEmpty()) {
        std::printf("mpack not installed: no ratio\n");
        return 0;
    }
    const QString mpackOut = out + QStringLiteral(".mpack");
    const double reference = TimeMpack(mpack, attachment, mpackOut);
    if (reference <= 0)
        return 1;
    std::printf("mpack_seconds=%.4f\n", reference);
    std::printf("ratio_vs_mpack=%.3f\n", writer / reference);
    return 0;
}

// mail_bench ATTACHMENT OUT.eml: writes the message file for the attachment with the program's
// writer (no hand-off), then, when mpack is installed, lets mpack encode the same file, and
// prints wall times, peak memory and the ratio of the two times; coreutils' base64 is timed
// beside them as the cost of the plain encoding.
#include <chrono>
#include <cstdio>
#include <fcntl.h>
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

struct Run {
    double seconds = -1; // best wall time of the rounds; negative when a round failed
    double peakMiB = 0; // largest peak resident memory of a round's process
};

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

// Runs each round in a process of its own, the writer as much as mpack, so that both start
// cold (no heap left over from an earlier round) and each peak memory is that of one message.
// Best of a few rounds, so a busy neighbour does not decide the figure.
template <typename Body> Run TimeInChildren(const Body& body)
{
    Run run { 1e9, 0 };
    for (int round = 0; round < kRounds; ++round) {
        const auto start = std::chrono::steady_clock::now();
        const pid_t pid = ::fork();
        if (pid == 0)
            ::_exit(body());
        int status = 0;
        rusage usage {};
        ::wait4(pid, &status, 0, &usage);
        const double seconds = Seconds(std::chrono::steady_clock::now() - start);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return {};
        run.seconds = std::min(run.seconds, seconds);
        run.peakMiB = std::max(run.peakMiB, static_cast<double>(usage.ru_maxrss) / 1024.0);
    }
    return run;
}

Run TimeWriter(const QString& attachment, const QString& out)
{
    return TimeInChildren([&] {
        const bool written = pd::mail::WriteMailMessage(QString(), QStringLiteral("empfang@example.org"),
            QStringLiteral("Scan vom Kopierer"), QStringLiteral("Guten Tag,\r\nanbei der Scan."), attachment, out,
            QDateTime::currentDateTime());
        return written ? 0 : 1;
    });
}

Run TimeMpack(const QString& mpack, const QString& attachment, const QString& out)
{
    const QByteArray program = QFile::encodeName(mpack);
    const QByteArray file = QFile::encodeName(attachment);
    const QByteArray target = QFile::encodeName(out);
    const Run run = TimeInChildren([&] {
        QFile::remove(out); // mpack refuses to overwrite
        ::execl(program.constData(), "mpack", "-s", "Scan vom Kopierer", "-o", target.constData(), file.constData(),
            static_cast<char*>(nullptr));
        return 127;
    });
    QFile::remove(out);
    return run;
}

// The plain encoding work for comparison: coreutils' base64 with 76-character lines into a file.
Run TimeBase64(const QString& base64, const QString& attachment, const QString& out)
{
    const QByteArray program = QFile::encodeName(base64);
    const QByteArray file = QFile::encodeName(attachment);
    const QByteArray target = QFile::encodeName(out);
    const Run run = TimeInChildren([&] {
        const int fd = ::open(target.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (fd < 0 || ::dup2(fd, STDOUT_FILENO) < 0)
            return 1;
        ::execl(program.constData(), "base64", "-w", "76", file.constData(), static_cast<char*>(nullptr));
        return 127;
    });
    QFile::remove(out);
    return run;
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
    const Run writer = TimeWriter(attachment, out);
    if (writer.seconds < 0) {
        std::fprintf(stderr, "the message could not be written\n");
        return 1;
    }
    const double sizeMiB = static_cast<double>(size) / (1024.0 * 1024.0);
    std::printf("attachment_bytes=%lld\n", static_cast<long long>(size));
    std::printf("message_bytes=%lld\n", static_cast<long long>(QFileInfo(out).size()));
    std::printf("writer_seconds=%.4f\n", writer.seconds);
    std::printf("writer_peak_rss_mib=%.1f\n", writer.peakMiB);
    if (size > 0)
        std::printf("peak_vs_attachment=%.2f\n", writer.peakMiB / sizeMiB);

    const QString mpack = QStandardPaths::findExecutable(QStringLiteral("mpack"));
    if (mpack.isEmpty()) {
        std::printf("mpack not installed: no ratio\n");
        return 0;
    }
    const Run reference = TimeMpack(mpack, attachment, out + QStringLiteral(".mpack"));
    if (reference.seconds <= 0) {
        std::fprintf(stderr, "mpack failed\n");
        return 1;
    }
    std::printf("mpack_seconds=%.4f\n", reference.seconds);
    std::printf("mpack_peak_rss_mib=%.1f\n", reference.peakMiB);
    const QString base64 = QStandardPaths::findExecutable(QStringLiteral("base64"));
    const Run plain = base64.isEmpty() ? Run {} : TimeBase64(base64, attachment, out + QStringLiteral(".b64"));
    if (plain.seconds > 0) {
        std::printf("base64_seconds=%.4f\n", plain.seconds);
        std::printf("base64_ratio_vs_mpack=%.3f\n", plain.seconds / reference.seconds);
    }
    std::printf("ratio_vs_mpack=%.3f\n", writer.seconds / reference.seconds);
    return 0;
}

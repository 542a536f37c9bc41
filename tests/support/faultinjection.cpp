#include "tests/support/faultinjection.h"

#include <csignal>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/support/testsupport.h"

namespace pd::test {

int RunWithFileSizeLimit(std::uint64_t limitBytes, const std::function<int()>& body)
{
    return RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit { rlim_t(limitBytes), rlim_t(limitBytes) };
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return 96;
        return body();
    });
}

bool KillDuringSave(const std::function<void()>& save, std::chrono::microseconds runFor)
{
    const pid_t pid = ForkWithoutPoolThreads();
    if (pid == 0) {
        try {
            for (;;)
                save();
        } catch (...) {
            ::_exit(3);
        }
    }
    if (pid < 0)
        return false;
    std::this_thread::sleep_for(runFor);
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) { }
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::optional<int> RunInChildFor(const std::function<int()>& body, std::chrono::milliseconds limit)
{
    const pid_t pid = ForkWithoutPoolThreads();
    if (pid == 0)
        ::_exit(body());
    if (pid < 0)
        return 97;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    pid_t ended = 0;
    while ((ended = ::waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        while (::waitpid(pid, &status, 0) < 0) { }
        return std::nullopt;
    }
    return ChildStatus(status);
}

namespace {

const char* FaultName(SaveFault fault)
{
    switch (fault) {
    case SaveFault::FileSizeLimit:
        return "the disk fills up (file size limit)";
    case SaveFault::FolderInPlace:
        return "a folder where the file should be";
    case SaveFault::BelowRegularFile:
        return "the file's folder is a regular file";
    case SaveFault::DeviceInPlace:
        return "a link to a device at the file's path";
    case SaveFault::OtherUser:
        return "another user without write access";
    case SaveFault::KilledMidSave:
        return "the process is killed during the save";
    }
    return "?";
}

const QByteArray kPlainFile = QByteArrayLiteral("kein Ordner");
const QByteArray kInnerFile = QByteArrayLiteral("bleibt drin");

// The old file in place, or no file at all.
void LayOldFile(const QString& path, const std::optional<QByteArray>& old)
{
    if (old)
        WriteBytes(path, *old);
    else
        QFile::remove(path);
}

std::optional<QByteArray> FileAt(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    return ReadBytes(path);
}

struct Expected {
    std::optional<QByteArray> old;
    QByteArray complete; // the file after an undisturbed save
    bool appends = false;
    QByteArray closesCutUnit;
};

enum class Allowed {
    OldOnly, // after a failed save
    OldOrNew, // after kills: an appending writer may have left a cut unit, also at the end
    NewWithoutCutAtTheEnd, // after kills and one undisturbed save
};

// The old file, or (where allowed) the complete new one. An appending writer adds whole units; a
// unit cut by a killed process is allowed only where the writer closes it before its next unit.
void ExpectOldOrNew(const QString& path, const Expected& expected, Allowed allowed)
{
    const std::optional<QByteArray> now = FileAt(path);
    if (!expected.appends) {
        const bool sound = allowed == Allowed::NewWithoutCutAtTheEnd ? now == expected.complete
            : allowed == Allowed::OldOrNew                           ? now == expected.old || now == expected.complete
                                                                     : now == expected.old;
        EXPECT_TRUE(sound) << (!now   ? std::string("no file")
                : now == expected.old ? std::string("the old file")
                : now == expected.complete
                ? std::string("the new file")
                : "the file holds " + std::to_string(now->size()) + " bytes of neither the old nor the new file");
        return;
    }
    const QByteArray before = expected.old.value_or(QByteArray());
    const QByteArray unit = expected.complete.mid(before.size());
    if (!now) {
        EXPECT_FALSE(expected.old || allowed == Allowed::NewWithoutCutAtTheEnd) << "no file";
        return;
    }
    ASSERT_TRUE(now->startsWith(before)) << "the old content was changed";
    const QByteArray added = now->mid(before.size());
    if (allowed == Allowed::OldOnly) {
        EXPECT_TRUE(added.isEmpty()) << "a failed append left " << added.size() << " bytes";
        return;
    }
    qsizetype at = 0;
    while (at < added.size()) {
        if (QByteArrayView(added).sliced(at).startsWith(unit)) {
            at += unit.size();
            continue;
        }
        qsizetype cut = 0;
        while (at + cut < added.size() && cut < unit.size() && added[at + cut] == unit[cut])
            ++cut;
        const qsizetype end = at + cut;
        const bool closed
            = !expected.closesCutUnit.isEmpty() && QByteArrayView(added).sliced(end).startsWith(expected.closesCutUnit);
        const bool atTheEnd = end == added.size() && allowed == Allowed::OldOrNew;
        ASSERT_TRUE(closed || atTheEnd) << "bytes " << at << " to " << end << " of the " << added.size()
                                        << " appended are no whole unit";
        at = end + (closed ? expected.closesCutUnit.size() : 0);
    }
}

// The save came back (its process alive) and, where the writer reports anything, said it failed.
void ExpectFailureReported(const WriterUnderTest& writer, int report)
{
    EXPECT_TRUE(report == 0 || report == 1) << "the saving process died or failed to start: status " << report;
    if (writer.reportsFailure) {
        EXPECT_EQ(report, 0) << "the failed save was reported as done";
    }
}

} // namespace

void ExpectSoundAfter(const WriterUnderTest& writer, SaveFault fault, bool oldFilePresent)
{
    SCOPED_TRACE(std::string(FaultName(fault)) + (oldFilePresent ? ", old file present" : ", no file before"));
    if (fault == SaveFault::OtherUser && !RunningAsRoot()) {
        std::cout << "skipped: switching users needs root\n";
        return;
    }
    std::optional<QByteArray> old = oldFilePresent ? std::optional(writer.oldContent) : std::nullopt;
    if (!old && writer.startsFromEmptyFile)
        old = QByteArray();

    // The complete new file: the same save where nothing disturbs it.
    TempFolder scratch;
    const QString referencePath = scratch.File(writer.relativePath);
    ASSERT_TRUE(QDir().mkpath(QFileInfo(referencePath).path()));
    if (writer.prepare)
        writer.prepare(scratch.Path());
    LayOldFile(referencePath, old);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(writer.save(referencePath)) << "the undisturbed save fails";
    const auto saveTime
        = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    const Expected expected { old, ReadBytes(referencePath), writer.appends, writer.closesCutUnit };
    ASSERT_GT(expected.complete.size(), old.value_or(QByteArray()).size()) << "the save writes nothing new";

    TempFolder root;
    // Others may pass through the test's folder, but write nowhere in it.
    ASSERT_EQ(::chmod(QFile::encodeName(root.Path()).constData(), 0755), 0);
    const QString path = root.File(writer.relativePath);
    const QString folder = QFileInfo(path).path();
    // The device stands beside the test's folder, so it is no leftover in the file's folder.
    const QByteArray device = QFile::encodeName(root.File(QStringLiteral("full")));
    if (fault == SaveFault::BelowRegularFile) {
        WriteBytes(folder, kPlainFile);
    } else if (fault == SaveFault::DeviceInPlace) {
        ASSERT_TRUE(QDir().mkpath(folder));
        // Root may make device nodes; where even that is not allowed, a FIFO is no file either.
        if (::mknod(device.constData(), S_IFCHR | 0666, ::makedev(1, 7)) != 0) {
            ASSERT_EQ(::mkfifo(device.constData(), 0666), 0);
        }
        ASSERT_EQ(::symlink(device.constData(), QFile::encodeName(path).constData()), 0);
    } else if (fault == SaveFault::FolderInPlace) {
        WriteBytes(path + QStringLiteral("/inner"), kInnerFile);
    } else {
        ASSERT_TRUE(QDir().mkpath(folder));
    }
    if (writer.prepare)
        writer.prepare(root.Path());
    if (fault != SaveFault::BelowRegularFile && fault != SaveFault::FolderInPlace && fault != SaveFault::DeviceInPlace)
        LayOldFile(path, old);
    struct stat deviceBefore { };
    ::stat(device.constData(), &deviceBefore);
    // What must stand beside the file afterwards: what stood there before, nothing new.
    const QString watched = fault == SaveFault::BelowRegularFile ? QFileInfo(folder).path() : folder;
    const QString target = QFileInfo(fault == SaveFault::BelowRegularFile ? folder : path).fileName();
    QStringList besides = FolderEntries(watched);
    besides.removeAll(target);
    const auto expectNothingBeside = [&] {
        QStringList now = FolderEntries(watched);
        now.removeAll(target);
        EXPECT_EQ(now, besides) << "something was left beside the file";
    };
    // A kill in the moment between naming the finished temporary file and renaming it over the
    // path leaves that temporary (hidden ".NAME.xxxxxx", or Qt's "NAME.xxxxxx"): never the file
    // itself half written, and never anything else.
    const auto expectOnlyTemporariesBeside = [&] {
        QStringList now = FolderEntries(watched);
        now.removeAll(target);
        for (const QString& entry : std::as_const(besides))
            now.removeAll(entry);
        for (const QString& entry : std::as_const(now)) {
            const bool temporary = entry.startsWith(QLatin1Char('.') + target + QLatin1Char('.'))
                || entry.startsWith(target + QLatin1Char('.'));
            EXPECT_TRUE(temporary) << "left beside the file: " << entry.toStdString();
        }
    };
    const auto saveInChild = [&writer, &path] { return writer.save(path) ? 1 : 0; };

    int report = -1;
    switch (fault) {
    case SaveFault::FileSizeLimit:
        // The disk fills at the first write, half way, and one byte short of the complete file.
        for (const qsizetype limit : { qsizetype(1), expected.complete.size() / 2, expected.complete.size() - 1 }) {
            SCOPED_TRACE("file size limit " + std::to_string(limit));
            report = RunWithFileSizeLimit(std::uint64_t(limit), saveInChild);
            ExpectFailureReported(writer, report);
            ExpectOldOrNew(path, expected, Allowed::OldOnly);
            expectNothingBeside();
        }
        return;
    case SaveFault::OtherUser:
        report = RunAsOtherUser(saveInChild);
        break;
    case SaveFault::FolderInPlace:
    case SaveFault::BelowRegularFile:
        report = writer.save(path) ? 1 : 0;
        break;
    case SaveFault::DeviceInPlace:
        // In a child: should the writer write into the device after all, a full one fails the
        // write, and a FIFO would hold it.
        report = RunInChildFor(saveInChild, std::chrono::seconds(10)).value_or(-1);
        break;
    case SaveFault::KilledMidSave:
        // Kills at different moments of the save loop, measured in undisturbed saves: while the
        // content is made, while it is written, while the file is put in place, in a later save.
        for (const double saves : { 0.3, 0.6, 0.8, 0.9, 0.95, 1.0, 1.1, 1.5, 2.7 }) {
            // A couple of milliseconds for the child to come up.
            const auto runFor = std::chrono::microseconds(2000)
                + std::chrono::microseconds(std::int64_t(double(saveTime.count()) * saves));
            EXPECT_TRUE(KillDuringSave([&writer, &path] { writer.save(path); }, runFor))
                << "the save loop ended before the kill";
            ExpectOldOrNew(path, expected, Allowed::OldOrNew);
            expectOnlyTemporariesBeside();
        }
        // And the writer still saves there afterwards, adding nothing beside the file.
        besides = FolderEntries(watched);
        besides.removeAll(target);
        EXPECT_TRUE(writer.save(path));
        ExpectOldOrNew(path, expected, Allowed::NewWithoutCutAtTheEnd);
        expectNothingBeside();
        return;
    }
    ExpectFailureReported(writer, report);
    if (fault == SaveFault::FolderInPlace) {
        EXPECT_EQ(ReadBytes(path + QStringLiteral("/inner")), kInnerFile);
    } else if (fault == SaveFault::BelowRegularFile) {
        EXPECT_EQ(ReadBytes(folder), kPlainFile);
    } else if (fault == SaveFault::DeviceInPlace) {
        EXPECT_TRUE(QFileInfo(path).isSymLink()) << "the link was replaced";
        struct stat deviceAfter { };
        EXPECT_EQ(::stat(device.constData(), &deviceAfter), 0);
        EXPECT_EQ(deviceAfter.st_mode, deviceBefore.st_mode) << "the device was replaced";
        EXPECT_EQ(deviceAfter.st_rdev, deviceBefore.st_rdev) << "the device was replaced";
    } else {
        ExpectOldOrNew(path, expected, Allowed::OldOnly);
    }
    expectNothingBeside();
}

void ExpectSoundAfterEveryFault(const WriterUnderTest& writer)
{
    for (const SaveFault fault : { SaveFault::FileSizeLimit, SaveFault::OtherUser, SaveFault::KilledMidSave }) {
        ExpectSoundAfter(writer, fault, false);
        ExpectSoundAfter(writer, fault, true);
    }
    ExpectSoundAfter(writer, SaveFault::FolderInPlace, false);
    ExpectSoundAfter(writer, SaveFault::BelowRegularFile, false);
    ExpectSoundAfter(writer, SaveFault::DeviceInPlace, false);
}

} // namespace pd::test

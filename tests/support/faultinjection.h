#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>

#include <QByteArray>
#include <QString>
#include <QStringList>

// Faults that stop a file write half way, all of which hold for a root test process: a file size
// limit, something in the file's place, a user without write access, a process killed mid-write.
namespace pd::test {

// Runs body in a forked child whose writes may not reach beyond limitBytes. SIGXFSZ is ignored
// there, so a write past the limit fails with EFBIG as on a full disk instead of killing the
// child. Returns the child's exit status as RunInChild does.
int RunWithFileSizeLimit(std::uint64_t limitBytes, const std::function<int()>& body);

// Forks a child that runs save over and over, lets it run for the given time and kills it with
// SIGKILL. True when the kill ended it (it was still running, as a save loop should be).
bool KillDuringSave(const std::function<void()>& save, std::chrono::microseconds runFor);

// Runs body in a forked child for at most the given time. The child's exit status as RunInChild
// gives it, or std::nullopt when it was still running then and has been killed: a hang, or a
// program that should keep running.
std::optional<int> RunInChildFor(const std::function<int()>& body, std::chrono::milliseconds limit);

enum class SaveFault {
    FileSizeLimit, // the disk fills up: writes past a limit fail with EFBIG
    FolderInPlace, // a folder stands where the file should be
    BelowRegularFile, // the file's folder is a regular file
    DeviceInPlace, // a link to a full device (a private copy of /dev/full, or a FIFO) at the path
    OtherUser, // a child dropped to "nobody" saves into a folder and over a file of root's
    KilledMidSave, // a child saving in a loop is killed with SIGKILL, several times
};

// One writer of the program as the fault cases drive it.
struct WriterUnderTest {
    // Where the writer puts its file, relative to a fresh folder: "log/202612.log".
    QString relativePath {};
    // Runs before the old file is laid down, with the fresh folder (without trailing "/"): the
    // writer's surroundings, such as a mail attachment beside the message file.
    std::function<void(const QString& root)> prepare {};
    // One save of the new content to the absolute path. Its result is the writer's own report:
    // true when the writer says the file was saved.
    std::function<bool(const QString& path)> save {};
    // The old file of the "old file present" runs.
    QByteArray oldContent {};
    // True for a writer that appends (the log): a save adds one unit at the end, and a sound file
    // is the old one followed by whole units. Otherwise a save replaces the file whole.
    bool appends = false;
    // For an appending writer: what it writes before its next unit when the file ends inside a
    // unit that a killed process left cut (the log: CR LF). Empty: a cut unit is never allowed.
    QByteArray closesCutUnit {};
    // True for a writer whose file always exists before it writes (the language file, created
    // empty at start): "no file before" then means that empty file.
    bool startsFromEmptyFile = false;
    // False for a writer that by design tells its caller nothing (the log, the language file).
    bool reportsFailure = true;
};

// Runs the fault against the writer with or without an old file at its path and checks, as
// gtest expectations: the save reports failure (where the writer reports anything), the process
// survives it, the file afterwards is the complete old one or the complete new one, and nothing
// besides it (no temporary file) is left in its folder. The complete new file is what the same
// save writes into an undisturbed copy of the folder.
void ExpectSoundAfter(const WriterUnderTest& writer, SaveFault fault, bool oldFilePresent);

// Every fault, each without and with an old file where that makes sense (a folder or a device in
// the file's place, or a file in its folder's, leaves no room for an old file).
void ExpectSoundAfterEveryFault(const WriterUnderTest& writer);

} // namespace pd::test

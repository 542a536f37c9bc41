#pragma once

#include <cstdlib>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include "fuzz/fuzzinput.h"

namespace pd::fuzz {

// One folder for the files of a target's runs, made at the first run and removed at exit; each
// run writes over the same few names so a long fuzzing session does not fill the disk.
inline QString TempPath(const QString& name)
{
    // In memory where the system has it: the writers sync their files, which on a disk would
    // make each run take the disk's time.
    static QTemporaryDir folder(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
            ? QStringLiteral("/dev/shm/paperdart-fuzz-XXXXXX")
            : QDir::tempPath() + QStringLiteral("/paperdart-fuzz-XXXXXX"));
    FUZZ_CHECK(folder.isValid());
    return folder.filePath(name);
}

inline void PutFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

inline QByteArray FileBytes(const QString& path)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}

} // namespace pd::fuzz

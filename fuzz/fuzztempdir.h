#pragma once

#include <cstdlib>

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include "fuzz/fuzzinput.h"

namespace pd::fuzz {

// One folder for the files of a target's runs, made at the first run and removed at exit; each
// run writes over the same few names so a long fuzzing session does not fill the disk.
inline QString TempPath(const QString& name)
{
    static QTemporaryDir folder;
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

#pragma once

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QString>

namespace pd::test {

// What Python's email package reads from a message file (tests/mail/readmessage.py). The test
// target defines PD_PYTHON3 and PD_MAIL_TEST_DIR, the folder of the script.
inline QJsonObject ReadMessageBack(const QString& path)
{
    QProcess python;
    python.start(QStringLiteral(PD_PYTHON3), { QStringLiteral(PD_MAIL_TEST_DIR "/readmessage.py"), path });
    EXPECT_TRUE(python.waitForFinished(60000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

} // namespace pd::test

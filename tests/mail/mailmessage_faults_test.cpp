#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include "mail/mailmessage.h"
#include "tests/support/faultinjection.h"
#include "tests/support/testsupport.h"

namespace pd::mail {
namespace {

TEST(MailMessageFaults, TheMessageFileIsTheOldOneOrTheWholeNewOne)
{
    // An attachment of some size, so that the kills land while the message is being written.
    QByteArray pdf(3 * 1024 * 1024, Qt::Uninitialized);
    QRandomGenerator(14).fillRange(reinterpret_cast<quint32*>(pdf.data()), pdf.size() / 4);
    const QDateTime now(QDate(2026, 12, 10), QTime(9, 5));

    const test::WriterUnderTest message {
        .relativePath = QStringLiteral("job/Scan_20261210_0905.pdf.eml"),
        .prepare =
            [&pdf](const QString& root) {
                if (QFileInfo(root + QStringLiteral("/job")).isDir())
                    test::WriteBytes(root + QStringLiteral("/job/Scan_20261210_0905.pdf"), pdf);
            },
        .save =
            [&now](const QString& path) {
                return WriteMailMessage(QString(), QStringLiteral("a@example.org"), QStringLiteral("Scan"),
                    QStringLiteral("Hallo,\r\nanbei der Scan."), path.chopped(4), path, now);
            },
        .oldContent = QByteArrayLiteral("X-Unsent: 1\r\nSubject: alt\r\n\r\nalte Nachricht\r\n"),
    };
    test::ExpectSoundAfterEveryFault(message);
}

} // namespace
} // namespace pd::mail

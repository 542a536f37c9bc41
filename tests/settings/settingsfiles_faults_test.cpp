#include <gtest/gtest.h>

#include "platform/error.h"
#include "settings/settingsfiles.h"
#include "settings/storesettings.h"
#include "tests/support/faultinjection.h"
#include "tests/support/testsupport.h"

namespace pd::settings {
namespace {

// Many recipients, so that a save takes long enough to be killed half way.
QString LongRecipientList()
{
    QStringList lines;
    for (int i = 0; i < 40000; ++i)
        lines.append(QStringLiteral("empfaenger%1@example.org").arg(i));
    return lines.join(QStringLiteral("\r\n"));
}

TEST(SettingsFaults, ATextFileIsTheOldOneOrTheWholeNewOne)
{
    const QString recipients = LongRecipientList();
    const test::WriterUnderTest recipientFile {
        .relativePath = QStringLiteral("Quor/Paperdart/Recipient.cfg"),
        .save = [&recipients](const QString& path) { return WriteSettingsText(path, recipients); },
        .oldContent = QByteArrayLiteral("alt@example.org\r\nzweiter@example.org"),
    };
    test::ExpectSoundAfterEveryFault(recipientFile);
}

TEST(SettingsFaults, TheIniFileIsTheOldOneOrTheWholeNewOneAndTheFailureNamesIt)
{
    // One key per save: every key is a write of the whole file of its own. The old file carries a
    // large section of someone else's, which every write keeps.
    QByteArray old = QByteArrayLiteral("[ANDERE]\r\n");
    for (int i = 0; i < 30000; ++i)
        old += "Schluessel" + QByteArray::number(i) + "=Wert\r\n";
    old += "[SCAN]\r\nSubject=alt\r\n";
    const test::WriterUnderTest ini {
        .relativePath = QStringLiteral("Quor/Paperdart/Paperdart.INI"),
        .save =
            [](const QString& path) {
                try {
                    TStoreSettings store(path, true);
                    QString subject = QStringLiteral("Paperdart: ") + QString(200000, QLatin1Char('s'));
                    store.BindString(subject, QStringLiteral("SCAN"), QStringLiteral("Subject"), QString());
                    return true;
                } catch (const platform::Error& error) {
                    // Any other text fails the case: the exception escapes and ends the child.
                    if (error.Message() != QStringLiteral("In %1 kann nicht geschrieben werden").arg(path))
                        throw;
                    return false;
                }
            },
        .oldContent = old,
    };
    test::ExpectSoundAfterEveryFault(ini);
}

} // namespace
} // namespace pd::settings

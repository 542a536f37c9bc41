// The picture helper behind scripts/screenshots.sh, run as the script runs it (here on the
// offscreen platform): both windows drawn into PNG files of their own size, with the demo
// settings, and nothing of the user's own settings read or written.

#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <QProcess>
#include <QSet>

#include "tests/support/testsupport.h"

namespace {

TEST(WindowPictures, DrawsBothWindowsWithoutTouchingTheUsersSettings)
{
    pd::test::TempFolder folder;
    const QString output = folder.File(QStringLiteral("pictures"));
    const QString userConfig = folder.File(QStringLiteral("config"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), userConfig);
    QProcess helper;
    helper.setProcessEnvironment(environment);
    helper.setProcessChannelMode(QProcess::ForwardedChannels);
    helper.start(QStringLiteral(PD_WINDOW_PICTURES), { output });
    ASSERT_TRUE(helper.waitForFinished(60000));
    ASSERT_EQ(helper.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(helper.exitCode(), 0);

    struct Picture {
        const char* file;
        QSize atLeast; // the window's minimum size
    };
    const Picture pictures[] = {
        { "Hauptfenster.png", QSize(469, 175) },
        { "Konfiguration.png", QSize(505, 415) },
    };
    for (const Picture& picture : pictures) {
        SCOPED_TRACE(picture.file);
        const QImage image(output + QLatin1Char('/') + QLatin1String(picture.file));
        ASSERT_FALSE(image.isNull());
        EXPECT_GE(image.width(), picture.atLeast.width());
        EXPECT_GE(image.height(), picture.atLeast.height());
    }
    // The dialog with its controls drawn, not an empty surface of one colour.
    const QImage dialog(output + QStringLiteral("/Konfiguration.png"));
    QSet<QRgb> colours;
    for (int y = 0; y < dialog.height(); y += 3)
        for (int x = 0; x < dialog.width(); x += 3)
            colours.insert(dialog.pixel(x, y));
    EXPECT_GT(colours.size(), 16);
    // The demo recipients are shown from a settings folder of the helper's own.
    EXPECT_FALSE(QDir(userConfig).exists());
}

} // namespace

// Draws the pictures of the main window and the configuration dialog for the manual and the
// README: both windows as the program creates them, over a private settings folder that holds a
// few demo recipients, each grabbed into a PNG file. scripts/screenshots.sh runs it on a virtual
// display.
//
// usage: pd_window_pictures OUTPUT_FOLDER

#include <cstdio>
#include <utility>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QTemporaryDir>

#include "app/paperdartform.h"
#include "logging/log.h"
#include "platform/folders.h"
#include "platform/profile.h"
#include "settings/mailconfigform.h"
#include "settings/settingsfiles.h"
#include "settings/sharedconfig.h"

namespace {

using namespace Qt::StringLiterals;

// Every folder the windows could read or write lies below home, so the user's own settings are
// neither shown nor touched.
void UsePrivateFolders(const QString& home)
{
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + u"/config"_s));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(home + u"/cache"_s));
    qputenv("XDG_STATE_HOME", QFile::encodeName(home + u"/state"_s));
    qputenv("TMPDIR", QFile::encodeName(home + u"/tmp/"_s));
    // German windows whatever the desktop's language.
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qputenv("LANG", "de_DE.UTF-8");
    QDir().mkpath(home + u"/program"_s);
    QDir().mkpath(home + u"/tmp"_s);
    pd::platform::OverrideModuleFileName(home + u"/program/paperdart"_s);
}

// The settings of a workstation where OK has been pressed once: every key written, 150 dpi.
bool WriteDemoSettings()
{
    const QString folder = pd::settings::SettingsFolderPath();
    if (!QDir().mkpath(folder)
        || !pd::settings::WriteSettingsText(folder + pd::settings::kRecipientFileName,
            u"buchhaltung@example.org\nsekretariat@example.org\nanna.mueller@example.org\n"_s))
        return false;
    const std::pair<QString, QString> keys[] = { { u"threshold"_s, u"20"_s }, { u"DPI"_s, u"150"_s },
        { u"Subject"_s, u"Eingescannte Rechnung"_s }, { u"Quality"_s, u"0"_s } };
    for (const auto& [key, value] : keys)
        if (!pd::platform::WritePrivateProfileString(u"SCAN"_s, key, value, folder + pd::settings::kIniFileName))
            return false;
    return true;
}

// Lets the window system map and paint the windows before they are grabbed.
void Settle()
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 500)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

// The window as a desktop shows it: its caption in a title bar above the contents, a thin frame
// and a soft shadow, which the virtual display, having no window manager, does not draw.
QImage Framed(QWidget& window)
{
    constexpr int kTitle = 28;
    constexpr int kFrame = 1;
    constexpr int kShadow = 6;
    const QPixmap content = window.grab();
    const QRect outer(0, 0, content.width() + 2 * kFrame, content.height() + kTitle + 2 * kFrame);
    QImage image(outer.width() + kShadow, outer.height() + kShadow, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    for (int offset = kShadow; offset > 0; --offset)
        painter.fillRect(outer.translated(offset, offset), QColor(0, 0, 0, 14));
    painter.fillRect(outer, QColor(0x4a, 0x62, 0x84));
    const QRect title(kFrame, kFrame, content.width(), kTitle);
    QLinearGradient shade(title.topLeft(), title.bottomLeft());
    shade.setColorAt(0, QColor(0xee, 0xf2, 0xf8));
    shade.setColorAt(1, QColor(0xcf, 0xda, 0xe8));
    painter.fillRect(title, shade);
    QFont font = window.font();
    font.setBold(true);
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(QColor(0x1c, 0x2a, 0x3c));
    painter.drawText(title, Qt::AlignCenter, window.windowTitle());
    painter.drawPixmap(kFrame, kFrame + kTitle, content);
    return image;
}

bool Save(QWidget& window, const QString& path)
{
    Settle();
    const QImage picture = Framed(window);
    if (!picture.save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s (%d x %d)\n", qPrintable(path), picture.width(), picture.height());
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString output = QDir(QFile::decodeName(argv[1])).absolutePath();
    if (!QDir().mkpath(output)) {
        std::fprintf(stderr, "cannot create %s\n", argv[1]);
        return 1;
    }
    QTemporaryDir home;
    if (!home.isValid()) {
        std::fprintf(stderr, "no temporary folder: %s\n", qPrintable(home.errorString()));
        return 1;
    }
    UsePrivateFolders(home.path());
    if (!WriteDemoSettings()) {
        std::fprintf(stderr, "cannot write the demo settings below %s\n", qPrintable(home.path()));
        return 1;
    }

    // The same order as a run of the program: modules, main window, then the dialog.
    pd::logging::LogModuleStart();
    pd::settings::SharedConfigStart();
    bool saved = false;
    {
        QApplication application(argc, argv);
        QApplication::setApplicationDisplayName(u"Paperdart"_s);
        pd::app::TForm_Paperdart mainWindow;
        pd::settings::TForm_MAILConfig dialog(&mainWindow);
        mainWindow.show();
        saved = Save(mainWindow, output + u"/Hauptfenster.png"_s);
        dialog.show();
        saved = Save(dialog, output + u"/Konfiguration.png"_s) && saved;
        dialog.hide();
        mainWindow.close();
    }
    pd::settings::SharedConfigEnd();
    pd::logging::LogModuleEnd();
    return saved ? 0 : 1;
}

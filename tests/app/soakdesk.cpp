#include "tests/app/soakdesk.h"

#include <atomic>
#include <cerrno>
#include <dirent.h>
#include <dlfcn.h>
#include <fstream>
#include <optional>
#include <pthread.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThreadPool>
#include <QTimer>

#include "app/paperdartform.h"
#include "logging/log.h"
#include "mail/mailmessage.h"
#include "platform/folders.h"
#include "platform/wia/coinit.h"
#include "platform/wia/commondialog.h"
#include "scan/desktopscanning.h"
#include "scan/scandispatcher.h"
#include "settings/mailconfigform.h"
#include "ui/messagebox.h"

// SANE's test backend stops the thread that produces a page with pthread_cancel as soon as the
// frontend has read the page's last bytes. The program keeps such threads to deferred cancellation,
// so none dies inside the allocator; but now and then one is cancelled between its last write and
// freeing its 64 KB buffer, which is then lost for good, a few times in two thousand pages. By
// then the thread has nothing left to write, so unless the backend's own way is asked for, it is
// let end by itself: the backend's join that follows the cancel waits for it. Nothing else in
// these runs cancels a thread.
static std::atomic<bool> g_backendCancels { false };

extern "C" int pthread_cancel(pthread_t thread)
{
    if (!g_backendCancels)
        return 0;
    static auto* real = reinterpret_cast<int (*)(pthread_t)>(::dlsym(RTLD_NEXT, "pthread_cancel"));
    return real ? real(thread) : ESRCH;
}

namespace pd::app::test {

namespace {

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QStringList Lines(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// libsane reads the folder of its configuration once per process: every desk of the process
// writes into the same one.
QString SaneFolder()
{
    static QTemporaryDir folder;
    return folder.path();
}

} // namespace

// The variables that point the program at the run's own folders, put back as they were at the end.
struct SoakDesk::Environment {
    struct Saved {
        QByteArray name;
        std::optional<QByteArray> value;
    };
    std::vector<Saved> saved;

    void Set(const char* name, const std::optional<QString>& value)
    {
        saved.push_back({ name, qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt });
        if (value)
            qputenv(name, QFile::encodeName(*value));
        else
            qunsetenv(name);
    }
    ~Environment()
    {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->value)
                qputenv(it->name.constData(), *it->value);
            else
                qunsetenv(it->name.constData());
        }
    }
};

// Closes every modal window but the transfer's progress window (which closes itself), and notes
// what it closed: in a run of good jobs no message comes up.
class SoakDesk::ModalCloser : public QObject {
public:
    ModalCloser()
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, [this] { Poll(); });
        m_timer.start();
    }
    QStringList Take() { return std::exchange(m_closed, {}); }

private:
    void Poll()
    {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog || dialog->objectName() == QLatin1String(platform::wia::kTransferWindow))
            return;
        QString what = dialog->objectName();
        if (auto* box = qobject_cast<ui::TForm_Messagebox*>(dialog))
            what += QLatin1Char(' ') + box->Messagetext->text();
        m_closed.append(what);
        dialog->reject();
    }

    QTimer m_timer;
    QStringList m_closed;
};

SoakDesk::SoakDesk()
    : m_environment(std::make_unique<Environment>())
    , m_clock(QDate(2026, 12, 10), QTime(8, 0))
{
    const QString root = m_root.path() + QLatin1Char('/');
    for (const char* folder : { "bin", "tmp", "home", "config", "data", "program", "runtime", "records" })
        QDir().mkpath(root + QLatin1String(folder));
    ::chmod(QFile::encodeName(root + QStringLiteral("runtime")).constData(), 0700);

    // The desktop knows no default programs, and the mail program notes the message file it was
    // handed and is done. Both are programs of their own, started as the real ones are.
    const QString xdgMime = root + QStringLiteral("bin/xdg-mime");
    Write(xdgMime, "#!/bin/sh\nexit 0\n");
    const QString xdgOpen = root + QStringLiteral("bin/xdg-open");
    Write(xdgOpen, "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + QFile::encodeName(root) + "records/xdg-open'\n");
    for (const QString& program : { xdgMime, xdgOpen })
        ::chmod(QFile::encodeName(program).constData(), 0755);

    // The test scanner: one device whose feeder holds ten black pages, delivered in pieces as a
    // real device delivers them.
    const QString sane = SaneFolder();
    Write(sane + QStringLiteral("/dll.conf"), "test\n");
    Write(sane + QStringLiteral("/test.conf"),
        "number_of_devices 1\nresolution 50\nread-limit true\nread-limit-size 2048\n");

    Environment& env = *m_environment;
    env.Set("SANE_CONFIG_DIR", sane);
    env.Set("TMPDIR", root + QStringLiteral("tmp"));
    env.Set("HOME", root + QStringLiteral("home"));
    env.Set("XDG_CONFIG_HOME", root + QStringLiteral("config"));
    env.Set("XDG_DATA_HOME", root + QStringLiteral("data"));
    env.Set("XDG_DATA_DIRS", root + QStringLiteral("data"));
    env.Set("XDG_CONFIG_DIRS", root + QStringLiteral("config"));
    env.Set("XDG_RUNTIME_DIR", root + QStringLiteral("runtime"));
    // A generic desktop: xdg-mime reads the (empty) defaults instead of asking a desktop's tools.
    env.Set("XDG_CURRENT_DESKTOP", QStringLiteral("X-Generic"));
    for (const char* name : { "KDE_FULL_SESSION", "GNOME_DESKTOP_SESSION_ID", "MATE_DESKTOP_SESSION_ID",
             "DESKTOP_SESSION", "XDG_MENU_PREFIX", "DBUS_SESSION_BUS_ADDRESS" })
        env.Set(name, std::nullopt);
    env.Set("PATH", root + QStringLiteral("bin:") + qEnvironmentVariable("PATH"));

    platform::OverrideModuleFileName(root + QStringLiteral("program/paperdart"));
    logging::LogModuleStart();
    platform::wia::CoInitialize();
    scan::InstallDesktopScanning();
    JobServices services;
    services.Now = [this] { return m_clock; };
    SetJobServices(services);

    m_main = std::make_unique<TForm_Paperdart>();
    m_config = std::make_unique<settings::TForm_MAILConfig>(m_main.get());
    m_config->mmoEmpfaenger->setPlainText(QStringLiteral("empfang@example.org"));
    m_config->edtSubject->setText(QStringLiteral("Scan"));
    m_config->mmoBody->setPlainText(QStringLiteral("Guten Tag,\nanbei das Dokument."));
    m_config->DPIValue = 50;
    m_main->show();
    m_closer = std::make_unique<ModalCloser>();
}

SoakDesk::~SoakDesk()
{
    m_closer.reset();
    m_config.reset();
    m_main.reset();
    SetJobServices({});
    scan::SetScanPlatform({});
    platform::wia::CoUninitialize();
    logging::LogModuleEnd();
    platform::OverrideModuleFileName({});
}

SoakDesk::Job SoakDesk::RunJob(bool feeder)
{
    m_clock = m_clock.addSecs(60);
    const QString records = m_root.filePath(QStringLiteral("records/xdg-open"));
    (feeder ? m_main->BtnImport : m_main->AdvSmoothButton1)->click();
    // Back in the event loop, as after every press in the program: deferred deletions run.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();

    Job job;
    job.pdfPath = m_main->PdfPath;
    const QString message = mail::MailMessagePath(job.pdfPath);
    job.pdfWritten = QFileInfo(job.pdfPath).isFile();
    job.messageWritten = QFileInfo(message).isFile();
    const QStringList handed = Lines(records);
    job.handedOver = handed.size() == m_handOvers + 1 && handed.last() == message;
    m_handOvers = int(handed.size());
    job.windows = m_closer->Take();
    return job;
}

QString SoakDesk::LogText() const
{
    QString text;
    const QDir logs(m_root.filePath(QStringLiteral("program/log")));
    for (const QString& name : logs.entryList({ QStringLiteral("*.log") }, QDir::Files)) {
        QFile file(logs.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromLatin1(file.readAll());
    }
    return text;
}

QString SoakDesk::TempFolder() const
{
    return m_root.filePath(QStringLiteral("tmp/"));
}

QStringList SoakDesk::TempEntries() const
{
    QStringList entries;
    const QDir temp(TempFolder());
    QDirIterator it(TempFolder(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
        QDirIterator::Subdirectories);
    while (it.hasNext())
        entries.append(temp.relativeFilePath(it.next()));
    entries.sort();
    return entries;
}

QStringList SoakDesk::LastJobsFiles() const
{
    const QString pdf = m_main->PdfPath;
    const QDir temp(TempFolder());
    QStringList files { temp.relativeFilePath(QFileInfo(pdf).path()), temp.relativeFilePath(pdf),
        temp.relativeFilePath(mail::MailMessagePath(pdf)) };
    files.sort();
    return files;
}

void LetBackendCancelItsThreads(bool cancel)
{
    g_backendCancels = cancel;
}

QStringList OpenFileDescriptors()
{
    // Qt paints large areas on threads of its global pool, each with an event descriptor of its
    // own, and keeps them for a while; they are not the program's and go first.
    QThreadPool::globalInstance()->waitForDone();
    QStringList open;
    DIR* folder = ::opendir("/proc/self/fd");
    if (!folder)
        return open;
    const int own = ::dirfd(folder);
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] == '.' || std::atoi(entry->d_name) == own)
            continue;
        char target[4096];
        const std::string link = std::string("/proc/self/fd/") + entry->d_name;
        const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
        open.append(QString::fromLatin1(entry->d_name) + QStringLiteral(" -> ")
            + (length > 0 ? QString::fromLocal8Bit(target, int(length)) : QStringLiteral("?")));
    }
    ::closedir(folder);
    open.sort();
    return open;
}

ResidentSize CurrentResidentSize()
{
    ResidentSize size;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            size.rssKb = std::atoll(line.c_str() + 6);
        else if (line.rfind("VmHWM:", 0) == 0)
            size.hwmKb = std::atoll(line.c_str() + 6);
    }
    return size;
}

} // namespace pd::app::test

#include "platform/filetypes.h"

#include <QDir>
#include <QFile>
#include <QStringList>

namespace pd::platform {

namespace {

const QLatin1String kOpenCommandKey("\\shell\\Open\\command");

QStringList MimeTypesFiles()
{
    return { QDir::homePath() + QStringLiteral("/.mime.types"), QStringLiteral("/etc/mime.types") };
}

QStringList MailcapFiles()
{
    return { QDir::homePath() + QStringLiteral("/.mailcap"), QStringLiteral("/etc/mailcap") };
}

QStringList LinesOf(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
}

// Mailcap entries: comments and empty lines dropped, lines ended by a backslash joined.
QStringList MailcapEntries(const QString& path)
{
    QStringList entries;
    QString pending;
    for (QString line : LinesOf(path)) {
        if (line.endsWith(QLatin1Char('\r')))
            line.chop(1);
        if (pending.isEmpty() && line.trimmed().startsWith(QLatin1Char('#')))
            continue;
        if (line.endsWith(QLatin1Char('\\'))) {
            pending += line.left(line.size() - 1);
            continue;
        }
        pending += line;
        if (!pending.trimmed().isEmpty())
            entries.append(pending);
        pending.clear();
    }
    return entries;
}

// The fields of a mailcap entry, split at ";" that no backslash escapes.
QStringList MailcapFields(const QString& entry)
{
    QStringList fields;
    QString field;
    for (qsizetype i = 0; i < entry.size(); ++i) {
        if (entry[i] == QLatin1Char('\\') && i + 1 < entry.size() && entry[i + 1] == QLatin1Char(';')) {
            field += QLatin1Char(';');
            ++i;
        } else if (entry[i] == QLatin1Char(';')) {
            fields.append(field.trimmed());
            field.clear();
        } else {
            field += entry[i];
        }
    }
    fields.append(field.trimmed());
    return fields;
}

bool TypeMatches(const QString& pattern, const QString& mimeType)
{
    if (pattern.compare(mimeType, Qt::CaseInsensitive) == 0)
        return true;
    const QString major = mimeType.section(QLatin1Char('/'), 0, 0);
    return pattern.compare(major + QStringLiteral("/*"), Qt::CaseInsensitive) == 0
        || pattern.compare(major, Qt::CaseInsensitive) == 0;
}

// Entries that want a terminal or produce text for a pager show no window of their own.
bool OpensAWindow(const QStringList& fields)
{
    for (qsizetype i = 2; i < fields.size(); ++i) {
        const QString flag = fields[i].section(QLatin1Char('='), 0, 0).trimmed();
        if (flag.compare(QLatin1String("needsterminal"), Qt::CaseInsensitive) == 0
            || flag.compare(QLatin1String("copiousoutput"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

} // namespace

QString MimeTypeOfExtension(const QString& extension)
{
    if (extension.size() < 2 || !extension.startsWith(QLatin1Char('.')))
        return {};
    const QString wanted = extension.mid(1);
    for (const QString& path : MimeTypesFiles()) {
        for (const QString& line : LinesOf(path)) {
            const QStringList words = line.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (words.size() < 2 || words.first().startsWith(QLatin1Char('#')))
                continue;
            for (qsizetype i = 1; i < words.size(); ++i)
                if (words[i].compare(wanted, Qt::CaseInsensitive) == 0)
                    return words.first();
        }
    }
    return {};
}

QString MailcapCommand(const QString& mimeType)
{
    if (mimeType.isEmpty())
        return {};
    for (const QString& path : MailcapFiles()) {
        for (const QString& entry : MailcapEntries(path)) {
            const QStringList fields = MailcapFields(entry);
            if (fields.size() >= 2 && !fields[1].isEmpty() && TypeMatches(fields[0], mimeType) && OpensAWindow(fields))
                return fields[1];
        }
    }
    return {};
}

long RegQueryValue(HKEY key, const QString& subKey, QString* value, std::int32_t* valueBytes)
{
    value->clear();
    if (key != HKEY_CLASSES_ROOT || !subKey.endsWith(kOpenCommandKey, Qt::CaseInsensitive))
        return ERROR_FILE_NOT_FOUND;
    const QString extension = subKey.left(subKey.size() - kOpenCommandKey.size());
    if (extension.contains(QLatin1Char('\\')))
        return ERROR_FILE_NOT_FOUND;
    const QString command = MailcapCommand(MimeTypeOfExtension(extension));
    if (command.isEmpty())
        return ERROR_FILE_NOT_FOUND;
    const auto needed = static_cast<std::int32_t>((command.size() + 1) * 2);
    if (needed > *valueBytes) {
        *valueBytes = needed;
        return ERROR_MORE_DATA;
    }
    *value = command;
    *valueBytes = needed;
    return ERROR_SUCCESS;
}

} // namespace pd::platform

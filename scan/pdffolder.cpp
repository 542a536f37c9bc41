#include "scan/pdffolder.h"

#include <QDir>
#include <QFileInfo>

#include "platform/error.h"
#include "platform/folders.h"
#include "util/tempdir.h"

namespace pd::scan {

bool CreatePdfFolder(const QString& pdfPath)
{
    const QString folder = pdfPath.left(pdfPath.lastIndexOf(QLatin1Char('/')) + 1);
    if (folder.isEmpty())
        throw platform::Error(QStringLiteral("The PDF path %1 names no folder").arg(pdfPath));
    const QString temp = util::GetTempDirectory();
    const QString clean = QDir::cleanPath(folder) + QLatin1Char('/');
    if (clean.startsWith(temp) && clean.size() > temp.size()) {
        // Each level below the temporary folder is the user's own, so nobody else can put a
        // file or link into the path before the PDF is written.
        const QStringList levels = clean.mid(temp.size()).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        QString relative;
        for (const QString& level : levels) {
            relative += (relative.isEmpty() ? QString() : QStringLiteral("/")) + level;
            if (util::CreatePrivateTempFolder(relative).isEmpty())
                return false;
        }
        return true;
    }
    platform::ForceDirectories(folder);
    return QFileInfo(folder).isDir();
}

} // namespace pd::scan

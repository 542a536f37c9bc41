#include <QApplication>
#include <QMessageBox>

#include "platform/imaging/errorstate.h"
#include "platform/imaging/imaginglog.h"
#include "platform/imaging/twain.h"

void TWAIN_ReportLastError(const QString& text)
{
    using namespace pd::platform::imaging;
    QString description = LastErrorDescription();
    if (description.isEmpty())
        description = QStringLiteral("No error.");
    ImagingLog(QStringLiteral("ReportLastError: %1 - %2").arg(text, description));
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Imaging"), text, QMessageBox::Ok);
    box.setInformativeText(description);
    box.exec();
}

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QTimer>

#include "platform/imaging/twain.h"
#include "tests/support/testsupport.h"

namespace pd::platform::imaging {
namespace {

struct SeenBox {
    QString title, text, informative;
    bool found = false;
};

// Reads the library's box once it is up and closes it with its OK button.
void CloseBoxWhenShown(SeenBox* seen)
{
    QTimer::singleShot(50, [seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            CloseBoxWhenShown(seen);
            return;
        }
        *seen = { box->windowTitle(), box->text(), box->informativeText(), true };
        box->button(QMessageBox::Ok)->click();
    });
}

TEST(ReportLastError, ShowsTheTextWithTheLibrarysDescriptionAndLogsBoth)
{
    pd::test::TempFolder folder;
    TWAIN_SetLogFolder(folder.Path());
    TWAIN_LogFile(1);
    ASSERT_NE(TWAIN_BeginMultipageFile(folder.File(QStringLiteral("missing/scan.pdf"))), 0);

    SeenBox seen;
    CloseBoxWhenShown(&seen);
    TWAIN_ReportLastError(QStringLiteral("Unable to combine files."));
    TWAIN_LogFile(0);

    ASSERT_TRUE(seen.found);
    EXPECT_EQ(seen.text, QStringLiteral("Unable to combine files."));
    EXPECT_TRUE(seen.informative.startsWith(QStringLiteral("Cannot create ")));
    EXPECT_TRUE(seen.informative.contains(QStringLiteral("missing/scan.pdf")));
    EXPECT_TRUE(seen.informative.contains(QStringLiteral("No such file or directory")))
        << seen.informative.toStdString();
    const QByteArray log = pd::test::ReadBytes(folder.File(QStringLiteral("imaging.log")));
    EXPECT_TRUE(
        log.contains((QStringLiteral("ReportLastError: Unable to combine files. - ") + seen.informative).toUtf8()))
        << log.constData();
}

} // namespace
} // namespace pd::platform::imaging

int main(int argc, char** argv)
{
    // Test discovery runs the binary without the tests' environment; it needs no display either.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

#include <gtest/gtest.h>

#include <QApplication>

// The widget tests need an application object for the whole run; the test environment selects
// the offscreen platform, and so does this main when it is run by hand.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

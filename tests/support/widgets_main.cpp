#include <gtest/gtest.h>

#include "ui/application.h"

// The widget tests run under the program's own application object for the whole run, so an error
// that escapes an event handler meets the program's top-level handler. The test environment
// selects the offscreen platform, and so does this main when it is run by hand.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    pd::ui::TPaperdartApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// Test entry point for suites that show widgets: a full Qt application, so windows can be
// created, painted, grabbed and clicked with QTest. The windows go to the offscreen platform
// unless QT_QPA_PLATFORM names another (xcb, to watch a test on a real display).
#include "DataHome.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    fk::test::UseDataHomePerTest();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

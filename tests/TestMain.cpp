// Test entry point: a Qt core application on the main thread, so that window timers,
// queued calls from worker threads and socket notifiers have an event loop to run in.
#include "DataHome.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    fk::test::UseDataHomePerTest();
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

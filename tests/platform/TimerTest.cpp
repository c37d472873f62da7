#include "platform/Timer.h"
#include "EventLoopRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

using namespace fk;
using fk::test::RunEventLoopFor;

TEST(WindowTimer, FiresPeriodicallyWithSenderAndTag)
{
    auto t = Make<TTimer>();
    int fired = 0;
    TObject* sender = nullptr;
    t->Tag = 5;
    t->OnTimer = TNotifyEvent::Bind(&fired, [&](TObject* s) {
        sender = s;
        if (++fired == 3)
            static_cast<TTimer*>(s)->SetEnabled(false);
    });
    t->SetInterval(10);
    RunEventLoopFor(200);
    EXPECT_EQ(fired, 3);
    EXPECT_EQ(sender, t.get());
    EXPECT_EQ(static_cast<TTimer*>(sender)->Tag, 5);
    EXPECT_FALSE(t->Active());
}

TEST(WindowTimer, EnablingAnEnabledTimerKeepsItsCountButReenablingRestartsIt)
{
    auto t = Make<TTimer>();
    t->SetEnabled(false);
    t->SetInterval(150);
    int fired = 0;
    QElapsedTimer clock;
    qint64 firedAt = -1;
    t->OnTimer = TNotifyEvent::Bind(&fired, [&](TObject* s) {
        ++fired;
        firedAt = clock.elapsed();
        static_cast<TTimer*>(s)->SetEnabled(false);
    });
    clock.start();
    t->SetEnabled(true);
    RunEventLoopFor(100);
    t->SetEnabled(true); // no restart: still fires about 150 ms after the first enabling
    RunEventLoopFor(120);
    EXPECT_EQ(fired, 1);
    EXPECT_LT(firedAt, 215);

    fired = 0;
    clock.restart();
    t->SetEnabled(true);
    RunEventLoopFor(100);
    t->SetEnabled(false);
    t->SetEnabled(true); // restart: the count begins again here
    RunEventLoopFor(100);
    EXPECT_EQ(fired, 0);
    RunEventLoopFor(150);
    EXPECT_EQ(fired, 1);
    EXPECT_GE(firedAt, 240);
}

TEST(WindowTimer, ZeroIntervalNeverFires)
{
    auto t = Make<TTimer>();
    int fired = 0;
    t->OnTimer = TNotifyEvent::Bind(&fired, [&](TObject*) { ++fired; });
    t->SetInterval(0);
    RunEventLoopFor(50);
    EXPECT_EQ(fired, 0);
    EXPECT_FALSE(t->Active());
}

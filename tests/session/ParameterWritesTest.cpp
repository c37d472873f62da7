// The parameter writes of the device session: the range check of what the device holds, and a
// knob that moves again while its write is on its way.
#include "SessionHarness.h"

namespace fk::test {
namespace {

// A value at either end of its knob's range is in range; one past the end is told in the
// status (the knob shows the nearest end) and nothing is written.
TEST_F(SessionTest, TheRangeEndsAreInRangeAndOnePastIsTold)
{
    TSimOptions o;
    o.OpenTime = TParameterWrites::OpenTimeMax;
    o.BreakTime = TParameterWrites::BreakTimeMin;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    EXPECT_EQ(view_.LastStatus(), staConnected);
    EXPECT_EQ(session_->Knobs().Knob(skOpenTime).Position, TParameterWrites::OpenTimeMax);
    session_.reset();
    sim_.reset();

    view_.Statuses.clear();
    o.OpenTime = TParameterWrites::OpenTimeMax + 1;
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    EXPECT_EQ(view_.LastStatus(), staOpenTimeOutOfRange);
    EXPECT_EQ(view_.LastSuffix, std::to_string(TParameterWrites::OpenTimeMax + 1) + " ms");
    EXPECT_EQ(session_->Knobs().Knob(skOpenTime).Position, TParameterWrites::OpenTimeMax);
    PollNow();
    ASSERT_TRUE(WaitFor([&] { return session_->Requests().Empty(); }));
    EXPECT_EQ(sim_->Parameters().OpenTime(), TParameterWrites::OpenTimeMax + 1); // nothing written
}

// The knob goes up and back within one round trip: the write on its way is not joined by a
// second one, and its acknowledgement writes what the knob shows by then.
TEST_F(SessionTest, AKnobMovedBackWhileItsWriteIsOnItsWayEndsAtTheLastValue)
{
    StartSim(TSimOptions{});
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    const int held = sim_->Parameters().OpenTime();
    std::vector<std::pair<int, int>> records;
    session_->OnRecord = TSessionRecordEvent::Bind(this, [&](TObject*, const TSessionRecord& r) {
        if (r.Kind == srParameter)
            records.push_back({int(r.Old), int(r.New)});
    });
    session_->Knobs().KnobChangePosition(skOpenTime, held + 5);
    session_->Knobs().KnobEndMove(skOpenTime);
    const std::size_t queued = session_->Requests().Size();
    session_->Knobs().KnobChangePosition(skOpenTime, held);
    session_->Knobs().KnobEndMove(skOpenTime);
    EXPECT_EQ(session_->Requests().Size(), queued); // the second move waits for the first write
    ASSERT_TRUE(WaitFor([&] { return records.size() == 2 && session_->Requests().Empty(); }));
    EXPECT_EQ(sim_->Parameters().OpenTime(), held);
    EXPECT_EQ(session_->Parameters().OpenTime(), held);
    EXPECT_EQ(records, (std::vector<std::pair<int, int>>{{held, held + 5}, {held + 5, held}}));
    session_->OnRecord = nullptr;
}

} // namespace
} // namespace fk::test

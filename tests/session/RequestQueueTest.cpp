// The request queue on a packet connection over a port that does no I/O: what goes on the line
// and when, the one resend, the time-out, and the hold-off while the link is busy.
#include "../connection/ConnectionTestUtil.h"
#include "SessionHarness.h"
#include "session/RequestQueue.h"

namespace fk::test {
namespace {

// A host that records what the queue tells it and answers as the test sets.
class TRecordingHost : public TRequestQueue::THost {
public:
    bool RequestLinkBusy() const override { return Busy; }
    bool MayResend() override { return Resend; }
    void RequestSent() override { ++Sent; }
    void RequestNotSent(DWORD error) override { NotSent.push_back(error); }
    bool RequestTimedOut() override
    {
        ++TimedOut;
        return WatchOn;
    }

    bool Busy = false;
    bool Resend = true;
    bool WatchOn = false;
    int Sent = 0;
    int TimedOut = 0;
    std::vector<DWORD> NotSent; // the errors of the refused sends
};

class RequestQueueTest : public SessionTest {
protected:
    void SetUp() override
    {
        connection_->SetCommPort(port_.get());
        ASSERT_TRUE(connection_->Open("ttyFAKE", 19200, sParityOdd, 8, sStopBits1));
    }

    // A request of code to the controller, with data bytes.
    bool Add(u8 code, const TByteString& data = {})
    {
        return queue_->Add(dtController, code, data.empty() ? nullptr : data.data(), unsigned(data.size()), 0);
    }

    TOwned<TKestConnection> connection_ = Make<TKestConnection>();
    TOwned<FakePort> port_ = Make<FakePort>();
    TRecordingHost host_;
    TOwned<TRequestQueue> queue_ = Make<TRequestQueue>(connection_.get(), &host_);
};

TEST_F(RequestQueueTest, OnlyTheFrontGoesOnTheLineAndTheNextWaitsForItsAnswer)
{
    ASSERT_TRUE(Add(dcStatus));
    ASSERT_TRUE(Add(dcParameters, {0, 0, 33}));
    ASSERT_TRUE(Add(dcVentingToggle));
    // A request too long for a packet is refused and nothing is added.
    EXPECT_FALSE(Add(dcParameters, TByteString(70000, 1)));
    ASSERT_EQ(queue_->Size(), 3u);
    EXPECT_TRUE(port_->written.empty()); // adding sends nothing

    ASSERT_TRUE(queue_->SendFront(true));
    ASSERT_EQ(port_->written.size(), 1u);
    EXPECT_EQ(port_->written[0], queue_->Front().Packet);
    EXPECT_EQ(port_->written[0][1], dcStatus);
    EXPECT_TRUE(queue_->ReplyTimerRunning());
    EXPECT_EQ(host_.Sent, 1);

    queue_->FrontAnswered();
    EXPECT_FALSE(queue_->ReplyTimerRunning());
    ASSERT_EQ(queue_->Size(), 2u);
    EXPECT_EQ(port_->written.size(), 1u); // the next one goes at the owner's word
    ASSERT_TRUE(queue_->SendFront(true));
    ASSERT_EQ(port_->written.size(), 2u);
    EXPECT_EQ(port_->written[1][1], dcParameters);
}

TEST_F(RequestQueueTest, AnUnansweredRequestIsResentOnceThenTheHostIsTold)
{
    ASSERT_TRUE(Add(dcStatus));
    ASSERT_TRUE(queue_->SendFront(true));
    ASSERT_TRUE(WaitFor([&] { return host_.TimedOut > 0; }));
    ASSERT_EQ(port_->written.size(), 2u); // the request and its one resend
    EXPECT_EQ(port_->written[1], port_->written[0]);
    EXPECT_EQ(host_.Sent, 2);
    EXPECT_EQ(host_.TimedOut, 1);
    EXPECT_FALSE(queue_->ReplyTimerRunning()); // the host did not ask to watch on
    EXPECT_EQ(queue_->Size(), 1u);              // what follows is the host's call

    // A request the host will not have resent: told at the first time-out; watching on, told
    // again each ReplyTimeOut, and never resent.
    host_.Resend = false;
    host_.WatchOn = true;
    ASSERT_TRUE(queue_->SendFront(true));
    ASSERT_TRUE(WaitFor([&] { return host_.TimedOut >= 3; }));
    EXPECT_EQ(port_->written.size(), 3u);
    EXPECT_TRUE(queue_->ReplyTimerRunning());
}

TEST_F(RequestQueueTest, ARefusedRequestIsReportedAndThenTimesOutAsAnUnansweredOne)
{
    port_->refuse = true; // the device has gone
    ASSERT_TRUE(Add(dcStatus));
    EXPECT_FALSE(queue_->SendFront(true));
    ASSERT_EQ(host_.NotSent.size(), 1u);
    EXPECT_EQ(host_.NotSent[0], DWORD(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_TRUE(queue_->ReplyTimerRunning());
    // Its resend is refused and reported too; then the host decides as for any silence.
    ASSERT_TRUE(WaitFor([&] { return host_.TimedOut > 0; }));
    EXPECT_EQ(host_.NotSent.size(), 2u);
    EXPECT_TRUE(port_->written.empty());
}

TEST_F(RequestQueueTest, ATimeOutWhileTheLinkIsBusyIsHeldBackWithItsResend)
{
    host_.Busy = true;
    ASSERT_TRUE(Add(dcStatus));
    ASSERT_TRUE(queue_->SendFront(true));
    ASSERT_TRUE(WaitFor([&] { return queue_->HeldBack(hoTimeOut); }));
    EXPECT_EQ(port_->written.size(), 1u); // neither resent
    EXPECT_EQ(host_.TimedOut, 0);         // nor reported
    EXPECT_TRUE(queue_->ReplyTimerRunning());
    EXPECT_FALSE(queue_->HeldBack(hoPoll));

    // The link is free: what was held back is taken once, and the resend is still left.
    host_.Busy = false;
    queue_->HoldBack(hoPoll, true);
    EXPECT_EQ(queue_->TakeHeldBack(), unsigned(hoPoll | hoTimeOut));
    EXPECT_EQ(queue_->HeldBack(), unsigned(hoNone));
    queue_->RestartReplyTimer();
    ASSERT_TRUE(WaitFor([&] { return host_.TimedOut > 0; }));
    EXPECT_EQ(port_->written.size(), 2u); // resent before the time-out was reported
}

TEST_F(RequestQueueTest, ClearDropsTheRequestOnTheLineAndPurgeWhatWasReceived)
{
    ASSERT_TRUE(Add(dcStatus));
    ASSERT_TRUE(Add(dcVentingToggle));
    ASSERT_TRUE(queue_->SendFront(true));
    queue_->Clear();
    EXPECT_TRUE(queue_->Empty());
    EXPECT_FALSE(queue_->SendFront(true));
    queue_->FrontAnswered(); // a late answer finds nothing to drop
    EXPECT_EQ(port_->purged, 0u);

    ASSERT_TRUE(Add(dcStatus));
    queue_->Purge();
    EXPECT_TRUE(queue_->Empty());
    EXPECT_EQ(port_->purged, TCommPurgeFlags(PURGE_RXABORT | PURGE_RXCLEAR));
    EXPECT_EQ(port_->written.size(), 1u);
}

} // namespace
} // namespace fk::test

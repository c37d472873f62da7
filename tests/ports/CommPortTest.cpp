#include "ports/CommPort.h"
#include "ports/PrecTimer.h"
#include "EventLoopRun.h"

#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace fk;
using fk::test::RunEventLoopFor;

namespace {

// A port without a device: the input queue is whatever the test puts in `queue`.
class TFakePort : public TCommPort {
public:
    using TCommPort::TCommPort;
    using TCommPort::Open;
    using TCommPort::ReadExisting;
    using TCommPort::DoOnOpening;
    using TCommPort::DoOnOpen;
    using TCommPort::DoOnOpened;
    using TCommPort::DoOnClosing;
    using TCommPort::DoOnClosed;
    using TCommPort::DoOnEvent;
    using TCommPort::SymbolOnTimer;

    std::string queue;
    int updateState = 0, updateTimeOuts = 0;
    String openedName;

    bool Open(const String& name, u32, TSerialParity, u8, TSerialStopBits) override
    {
        openedName = name;
        return true;
    }
    bool Close() override { return true; }
    bool IsValid() const override { return true; }
    bool Validate() override { return true; }
    u32 ReadExisting(RawByteString& b, bool append, TCommErrorFlags*) override
    {
        if (!append)
            b.clear();
        b += queue;
        const u32 n = u32(queue.size());
        queue.clear();
        UpdateStatus();
        return n;
    }
    u32 ReadExisting(TByteString& b, bool append, TCommErrorFlags*) override
    {
        if (!append)
            b.clear();
        b.insert(b.end(), queue.begin(), queue.end());
        const u32 n = u32(queue.size());
        queue.clear();
        UpdateStatus();
        return n;
    }
    u32 Read(void*, u32, TCommErrorFlags*) override { return 0; }
    u32 Write(const void*, u32, TCommErrorFlags*) override { return 0; }
    bool UpdateState() override
    {
        ++updateState;
        return TCommPort::UpdateState();
    }
    bool UpdateTimeOuts() override
    {
        ++updateTimeOuts;
        return true;
    }
    bool SetBreak(bool) override { return true; }
    bool ClearError(TCommErrorFlags* errors, TCommStatus* status) override
    {
        TCommStatus s;
        s.InQueue = u32(queue.size());
        UpdateStatus(s, 0);
        if (errors)
            *errors = 0;
        if (status)
            *status = s;
        return true;
    }
    bool GetModemStatus(TCommModemStatus* s) override
    {
        *s = 0;
        return true;
    }
    bool Purge(TCommPurgeFlags) override { return true; }
};

TCommState State(u32 baud, TSerialParity parity, u8 bits, TSerialStopBits stop)
{
    TCommState s{};
    s.Length = 28;
    s.BaudRate = baud;
    s.Parity = parity;
    s.DataBits = bits;
    s.StopBits = stop;
    return s;
}

struct Log {
    std::vector<std::string> entries;
    std::vector<u32> speeds;
    TCommOpenEvent Open(const char* what)
    {
        return TCommOpenEvent::Bind(this, [this, what](TObject*, const String& n, u32 r) {
            entries.push_back(std::string(what) + ":" + n + ":" + std::to_string(r));
        }, unsigned(what[2]));
    }
};

} // namespace

TEST(CommPort, CharacterTiming)
{
    EXPECT_EQ(TCommPort::SymbolBitHalves(State(9600, sParityNone, 8, sStopBits1)), 20);
    EXPECT_EQ(TCommPort::SymbolBitHalves(State(9600, sParityOdd, 8, sStopBits1)), 22);
    EXPECT_EQ(TCommPort::SymbolBitHalves(State(9600, sParityNone, 8, sStopBits2)), 22);
    EXPECT_EQ(TCommPort::SymbolBitHalves(State(9600, sParityNone, 8, sStopBits1_5)), 21);
    EXPECT_EQ(TCommPort::SymbolBitHalves(State(9600, sParityNone, 7, sStopBits1)), 18);

    EXPECT_EQ(TCommPort::CalculateTime(1, State(9600, sParityNone, 8, sStopBits1)), 2u);
    EXPECT_EQ(TCommPort::CalculateTime(1, State(19200, sParityOdd, 8, sStopBits1)), 1u);
    EXPECT_EQ(TCommPort::CalculateTime(0, State(9600, sParityNone, 8, sStopBits1)), 0u);
    EXPECT_EQ(TCommPort::CalculateTime(960, State(9600, sParityNone, 8, sStopBits1)), 1000u);
    // Saturates instead of wrapping (and a zero baud rate does not divide by zero).
    EXPECT_EQ(TCommPort::CalculateTime(0xFFFFFFFFu, State(1, sParityOdd, 8, sStopBits2)), 0xFFFFFFFFu);
    EXPECT_EQ(TCommPort::CalculateTime(5, State(0, sParityNone, 8, sStopBits1)), 0xFFFFFFFFu);

    u64 t = 0;
    TCommPort::CalculateTime(t, 1, State(9600, sParityNone, 8, sStopBits1));
    EXPECT_EQ(t, 10417u); // 1.0417 ms, rounded up
    EXPECT_EQ(TCommPort::BytesInTime(1000u, State(9600, sParityNone, 8, sStopBits1)), 960u);
    EXPECT_EQ(TCommPort::BytesInTime(u64(10000000), State(9600, sParityNone, 8, sStopBits1)), 960u);
}

TEST(CommPort, InitialStateAndTimeOuts)
{
    auto port = Make<TFakePort>();
    const TCommState& s = port->GetState();
    EXPECT_EQ(s.Length, 28u);
    EXPECT_EQ(s.BaudRate, 9600u);
    EXPECT_EQ(s.DataBits, 8);
    EXPECT_EQ(s.Parity, sParityNone);
    EXPECT_EQ(s.Flags, fBinary | fParity | fTXContinueOnXoff);
    EXPECT_EQ(s.XoffLim, 1);
    EXPECT_EQ(s.XonChar, 0x11);
    EXPECT_EQ(s.XoffChar, 0x13);
    EXPECT_EQ(s.ErrorChar, 0x12);
    EXPECT_EQ(s.EofChar, 0xFF);
    EXPECT_EQ(s.EvtChar, 0x14);
    EXPECT_EQ(port->TimeOuts().ReadIntervalTimeout, MAXDWORD);
    EXPECT_EQ(port->TimeOuts().WriteTotalTimeoutMultiplier, 2u);
    EXPECT_EQ(port->TimeOuts().WriteTotalTimeoutConstant, 10u);
    EXPECT_EQ(port->CommEvents(), 8191u);
    ASSERT_NE(port->SpeedTimer(), nullptr);
    EXPECT_FALSE(port->SpeedTimer()->Enabled());
}

TEST(CommPort, SettersRaiseTheLengthAndDoNothingForEqualValues)
{
    auto port = Make<TFakePort>();
    TCommState short_ = port->GetState();
    short_.Length = 4;
    port->SetState(short_);
    EXPECT_EQ(port->updateState, 1);

    port->SetBaudRate(9600);
    port->SetDataBits(8);
    port->SetParity(sParityNone);
    port->SetDTRControl(cDTR_Disable);
    EXPECT_EQ(port->updateState, 1);
    EXPECT_EQ(port->GetState().Length, 4u);

    port->SetBaudRate(19200);
    EXPECT_EQ(port->GetState().Length, 8u);
    EXPECT_EQ(port->updateState, 2);
    EXPECT_EQ(port->TimeOuts().WriteTotalTimeoutMultiplier, 1u); // 0.52 ms, rounded up
    port->SetDTRControl(cDTR_Enable);
    EXPECT_EQ(port->GetState().Length, 9u);
    EXPECT_EQ(port->GetDTRControl(), cDTR_Enable);
    port->SetRTSControl(cRTS_Toggle);
    EXPECT_EQ(port->GetState().Length, 10u);
    EXPECT_EQ(port->GetRTSControl(), cRTS_Toggle);
    EXPECT_EQ(port->GetDTRControl(), cDTR_Enable);
    port->SetStopBits(sStopBits2);
    EXPECT_EQ(port->GetState().Length, 21u);
    port->SetDataBits(7);
    EXPECT_EQ(port->GetState().Length, 21u); // never lowered
}

TEST(CommPort, UpdateStateRecomputesTheWriteMultiplierOnlyWhenItChanges)
{
    auto port = Make<TFakePort>();
    port->SetBaudRate(1200); // 8-N-1 at 1200 baud: 8.33 ms per character
    EXPECT_EQ(port->TimeOuts().WriteTotalTimeoutMultiplier, 9u);
    EXPECT_EQ(port->updateTimeOuts, 1);
    port->SetBaudRate(1201); // still 9 ms
    EXPECT_EQ(port->updateTimeOuts, 1);
    EXPECT_FALSE(port->UpdateState());
}

TEST(CommPort, FlowControl)
{
    auto port = Make<TFakePort>();
    EXPECT_TRUE(port->SetFlowControl(cFlowHardware));
    EXPECT_EQ(port->GetDTRControl(), cDTR_HandShake);
    EXPECT_EQ(port->GetRTSControl(), cRTS_Handshake);
    EXPECT_TRUE(port->GetState().Flag(fOutxCtsFlow) && port->GetState().Flag(fOutxDsrFlow));
    EXPECT_FALSE(port->GetState().Flag(fOutX));
    EXPECT_TRUE(port->SetFlowControl(cFlowXonXoff));
    EXPECT_TRUE(port->GetState().Flag(fOutX) && port->GetState().Flag(fInX));
    EXPECT_EQ(port->GetDTRControl(), cDTR_Disable);
    EXPECT_FALSE(port->GetState().Flag(fOutxCtsFlow));

    const TCommState before = port->GetState();
    const int calls = port->updateState;
    EXPECT_FALSE(port->SetFlowControl(0));
    EXPECT_FALSE(port->SetFlowControl(4));
    EXPECT_EQ(std::memcmp(&before, &port->GetState(), sizeof before), 0);
    EXPECT_EQ(port->updateState, calls);
    EXPECT_TRUE(port->SetFlowControl(cFlowNone));
    EXPECT_EQ(port->GetState().Flags, fBinary | fParity | fTXContinueOnXoff);
}

TEST(CommPort, GetCommPortID)
{
    EXPECT_EQ(TCommPort::GetCommPortID("\\\\.\\COM12"), 12);
    EXPECT_EQ(TCommPort::GetCommPortID("COM3"), 3);
    EXPECT_EQ(TCommPort::GetCommPortID("com3"), -1);
    EXPECT_EQ(TCommPort::GetCommPortID("COM"), -1);
    EXPECT_EQ(TCommPort::GetCommPortID("COMx"), -1);
    EXPECT_EQ(TCommPort::GetCommPortID("COM1x"), -1);
    EXPECT_EQ(TCommPort::GetCommPortID("COM99999999999"), -1);
    EXPECT_EQ(TCommPort::GetCommPortID("ttyUSB0"), -1);
}

TEST(CommPort, DispatchersKeepStateAndNameAndGoOnPastAThrowingHandler)
{
    auto port = Make<TFakePort>();
    Log log;
    port->OnOpen = TCommOpenEvent::Bind(&log, [](TObject*, const String&, u32) { throw 1; });
    port->EventList.OnOpen.Add(log.Open("open"));
    port->EventList.OnOpening.Add(log.Open("opening"));
    TCommPortState seenInOpen = cStateClosed;
    port->EventList.OnOpen.Add(TCommOpenEvent::Bind(&seenInOpen, [&](TObject*, const String&, u32) {
        seenInOpen = port->State();
    }));

    port->DoOnOpening("COM5", 0);
    EXPECT_EQ(port->State(), cStateOpening);
    EXPECT_EQ(port->CurrentPortName(), "COM5");
    port->DoOnOpen("COM5", 2);
    EXPECT_EQ(seenInOpen, cStateOpening); // a failed open stays Opening while handlers run
    EXPECT_EQ(port->State(), cStateClosed);
    EXPECT_EQ(port->CurrentPortName(), "");
    EXPECT_EQ(log.entries, (std::vector<std::string>{"opening:COM5:0", "open:COM5:2"}));

    port->DoOnOpening("COM5", 0);
    port->DoOnOpen("COM5", 0);
    EXPECT_EQ(seenInOpen, cStateOpen);
    port->DoOnClosing("COM5", 0, ccReasonClose);
    EXPECT_EQ(port->State(), cStateClosing);
    EXPECT_EQ(port->CurrentPortName(), "COM5");
    port->ReOpen();
    EXPECT_EQ(port->openedName, "COM5");
    port->DoOnClosed("COM5", 0, ccReasonClose);
    EXPECT_EQ(port->State(), cStateClosed);
    EXPECT_EQ(port->CurrentPortName(), "");
}

TEST(CommPort, EventListRules)
{
    auto port = Make<TFakePort>();
    int slot = 0, listed = 0;
    port->OnError = TCommErrorEvent::Bind(&slot, [&](TObject*, TCommErrorFlags) { ++slot; });
    const auto h = TCommErrorEvent::Bind(&listed, [&](TObject*, TCommErrorFlags) { ++listed; });
    EXPECT_TRUE(port->EventList.OnError.Add(h));
    EXPECT_TRUE(port->EventList.OnError.Add(h));
    EXPECT_FALSE(port->EventList.OnError.Add(TCommErrorEvent()));
    EXPECT_EQ(port->EventList.OnError.Count(), 1u);
    port->UpdateStatus(TCommStatus{}, CE_FRAME);
    EXPECT_EQ(slot, 1);
    EXPECT_EQ(listed, 1);
    EXPECT_TRUE(port->EventList.OnError.Remove(h));
    EXPECT_FALSE(port->EventList.OnError.Remove(h));
    EXPECT_TRUE(port->OnError.Assigned());
    port->UpdateStatus(TCommStatus{}, CE_FRAME);
    EXPECT_EQ(slot, 2);
    EXPECT_EQ(listed, 1);
}

TEST(CommPort, StatusUpdateOrderAndStickyBreak)
{
    auto port = Make<TFakePort>();
    TCommStatus seenDuring{};
    TCommStatus fresh;
    fresh.InQueue = 7;
    port->OnStatusUpdate = TCommStatusEvent::Bind(&seenDuring, [&](TObject*, const TCommStatus&, TCommErrorFlags) {
        seenDuring = port->Status();
    });
    int errorEvents = 0;
    port->OnError = TCommErrorEvent::Bind(&errorEvents, [&](TObject*, TCommErrorFlags) { ++errorEvents; });
    port->UpdateStatus(fresh, 0);
    EXPECT_EQ(seenDuring.InQueue, 0u); // handlers see the new status before it is stored
    EXPECT_EQ(port->Status().InQueue, 7u);
    EXPECT_EQ(errorEvents, 0);

    port->UpdateStatus(fresh, CE_BREAK);
    EXPECT_EQ(port->LastErrors(), u32(CE_BREAK));
    port->UpdateStatus(fresh, CE_TXFULL); // not a line error: the break stays
    EXPECT_EQ(port->LastErrors(), u32(CE_BREAK | CE_TXFULL));
    port->UpdateStatus(fresh, CE_FRAME);
    EXPECT_EQ(port->LastErrors(), u32(CE_FRAME));
    EXPECT_EQ(errorEvents, 3);
}

TEST(CommPort, SpeedArithmetic)
{
    auto port = Make<TFakePort>();
    std::int64_t next = 0;
    // Nominal first sample of 0 characters: interval 0 gives the minimum re-arm delay.
    EXPECT_EQ(port->CalculateRxSpeed(0, 0, next, true), 9600u);
    EXPECT_EQ(next, TCommPort::SpeedTimerMin);
    EXPECT_EQ(port->CalcSpeed(0, 1000), 9600u);
    EXPECT_EQ(port->CalcSpeed(10, 0), 9600u);
    EXPECT_EQ(port->CalcSpeed(10, u64(-5)), 9600u); // negative time
    // 960 characters of 10 bits in one second: 9600 bit/s.
    EXPECT_EQ(port->CalcSpeed(960, 10000000), 9600u);
    // A measured 100 ms interval re-arms after 10 ms + 120 ms.
    EXPECT_EQ(port->CalculateRxSpeed(96, 1000000, next, false), 9600u);
    EXPECT_EQ(next, -1300000);
    // Rounding of 1.2 x towards plus infinity: 1 unit -> 2 units.
    port->CalculateRxSpeed(1, 1, next, false);
    EXPECT_EQ(next, TCommPort::SpeedTimerMin);
    port->CalculateRxSpeed(1, 200001, next, false);
    EXPECT_EQ(next, -100000 - 240002);
}

TEST(CommPort, RxSpeedZeroIsReportedOnce)
{
    auto port = Make<TFakePort>();
    std::vector<u32> speeds;
    port->OnRxSpeed = TCommSpeedEvent::Bind(&speeds, [&](TObject*, u32 v) { speeds.push_back(v); });
    port->DoOnRxSpeed(0);
    port->DoOnRxSpeed(0);
    EXPECT_TRUE(speeds.empty());
    port->DoOnRxSpeed(1200);
    port->DoOnRxSpeed(0);
    port->DoOnRxSpeed(0);
    EXPECT_EQ(speeds, (std::vector<u32>{1200, 0}));
    EXPECT_EQ(port->RxSpeed(), 0u);
}

TEST(CommPort, SpeedMeterMeasuresABurstAndReportsZeroOnceWhenItStops)
{
    auto port = Make<TFakePort>();
    std::vector<u32> speeds;
    port->OnRxSpeed = TCommSpeedEvent::Bind(&speeds, [&](TObject*, u32 v) { speeds.push_back(v); });
    port->DoOnOpening("COM1", 0);
    port->DoOnOpen("COM1", 0);

    // First event of a burst: the nominal rate; the re-arm delay follows the nominal time
    // of the 10 characters (10.4167 ms): 10 ms + 1.2 x 104167 units, rounded up.
    port->queue = std::string(10, 'x');
    TCommStatus s;
    s.InQueue = 10;
    port->DoOnEvent(CommEventBit(cEvRxReceive), 0, s, 0);
    ASSERT_EQ(speeds.size(), 1u);
    EXPECT_EQ(speeds[0], 9600u);
    EXPECT_TRUE(port->SpeedTimer()->Enabled());
    EXPECT_EQ(port->SpeedTimer()->Time, -225001);

    // The timer sees 10 more characters: a measured, non-zero speed and a re-arm.
    port->queue = std::string(20, 'x');
    port->UpdateStatus();
    u64 now = 0;
    TCommPort::CurrentTime(now);
    port->SymbolOnTimer(port->SpeedTimer(), now + 100000); // at least 10 ms later
    ASSERT_EQ(speeds.size(), 2u);
    EXPECT_GT(speeds[1], 0u);
    EXPECT_TRUE(port->SpeedTimer()->Enabled());

    // Nothing new: 0 once, the timer stops, and a second quiet tick stays silent.
    port->SymbolOnTimer(port->SpeedTimer(), now + 300000);
    ASSERT_EQ(speeds.size(), 3u);
    EXPECT_EQ(speeds[2], 0u);
    EXPECT_FALSE(port->SpeedTimer()->Enabled());
    port->queue.clear();
    port->SymbolOnTimer(port->SpeedTimer(), now + 400000);
    EXPECT_EQ(speeds.size(), 3u);
}

TEST(CommPort, AutoReadDrainsAndTheRealTimerStopsTheMeter)
{
    auto port = Make<TFakePort>();
    port->SetAutoRead(true);
    std::vector<u32> speeds;
    port->OnRxSpeed = TCommSpeedEvent::Bind(&speeds, [&](TObject*, u32 v) { speeds.push_back(v); });
    port->DoOnOpening("COM1", 0);
    port->DoOnOpen("COM1", 0);
    port->queue = "hello";
    TCommStatus s;
    s.InQueue = 5;
    port->DoOnEvent(CommEventBit(cEvRxReceive), 0, s, 0);
    EXPECT_EQ(std::string(port->ReadBuffer().begin(), port->ReadBuffer().end()), "hello");
    EXPECT_EQ(port->Status().InQueue, 0u);
    RunEventLoopFor(120); // the 20 ms timer fires on the main thread, finds the queue empty
    EXPECT_EQ(speeds, (std::vector<u32>{9600, 0}));
    EXPECT_FALSE(port->SpeedTimer()->Enabled());

    // Closing disables the timer even while it is armed.
    port->queue = "x";
    s.InQueue = 1;
    port->DoOnEvent(CommEventBit(cEvRxReceive), 0, s, 0);
    EXPECT_TRUE(port->SpeedTimer()->Enabled());
    port->DoOnClosed("COM1", 0, ccReasonClose);
    EXPECT_FALSE(port->SpeedTimer()->Enabled());
}

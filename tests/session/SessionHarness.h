#pragma once
// A device session against the simulated controller on a pseudo-terminal, with a view that
// records what the session shows and an event-loop wait with a guard time.
#include "connection/KestConnection.h"
#include "platform/Timer.h"
#include "ports/SerialPort.h"
#include "session/DeviceSession.h"
#include "sim/SimController.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace fk::test {

class TRecordingView : public TSessionView {
public:
    void ShowStatus(int index, TIconClass, const String& suffix) override
    {
        Statuses.push_back(index);
        LastSuffix = suffix;
    }
    void ClearStatus() override { Statuses.push_back(-1); }
    void UploadFailed(int cause, bool erased) override { Failures.push_back({cause, erased}); }
    void EnableDeviceControls(bool enabled) override { Controls = enabled; }
    void EnableReboot(bool enabled) override { Reboot = enabled; }
    void EnableDisconnect(bool enabled) override { Disconnect = enabled; }
    void ShowKnob(TSessionKnob knob, int position, int min, int max) override
    {
        Knobs[knob] = {position, min, max};
    }
    void ShowProgress(bool visible, int position, bool paused) override
    {
        ProgressVisible = visible;
        ProgressPosition = position;
        ProgressPaused = paused;
    }
    void ShowMessage(int index) override { Messages.push_back(index); }
    bool ChooseFirmwareFile(const String&, String& fileName) override
    {
        fileName = FirmwareFile;
        return !fileName.empty();
    }
    TQuestionAnswer AskQuestion(int) override
    {
        ++Questions;
        if (DuringQuestion)
            DuringQuestion();
        return Answer;
    }
    bool Shown(int index) const { return std::find(Statuses.begin(), Statuses.end(), index) != Statuses.end(); }

    std::vector<int> Statuses;
    String LastSuffix;
    bool Controls = false;
    bool Reboot = false;
    bool Disconnect = false;
    TParameterWrites::TKnobState Knobs[2];
    bool ProgressVisible = false;
    int ProgressPosition = 0;
    bool ProgressPaused = false;
    std::vector<int> Messages;
    String FirmwareFile;
    TQuestionAnswer Answer = qaCancel;
    int Questions = 0;
    std::function<void()> DuringQuestion; // runs while a question is open
    std::vector<std::pair<int, bool>> Failures; // UploadFailed: cause, erased
    int LastStatus() const { return Statuses.empty() ? -1 : Statuses.back(); }
};

struct TReceived {
    u8 Code;
    unsigned Length;
    bool WasReply;
};

class SessionTest : public ::testing::Test {
protected:
    // The longest wait for something that should happen; never a timing assertion.
    static constexpr int GuardMs = 8000;

    void StartSim(const TSimOptions& options)
    {
        sim_ = std::make_unique<TSimController>(options, log_);
        ASSERT_TRUE(sim_->OpenPseudoTerminal());
        ASSERT_TRUE(sim_->Start());
    }

    void Connect()
    {
        session_ = Make<TDeviceSession>(&view_);
        session_->Ports().Add(sim_->PortPath());
        session_->Ports().SetItemIndex(0);
        session_->OnDeviceMessage = TDeviceMessageEvent::Bind(this, [this](TObject*, u8 code, unsigned n, bool reply) {
            received_.push_back({code, n, reply});
            if (onMessage_)
                onMessage_(code, n, reply);
        });
        session_->SerialPort1()->EventList.OnWrite.Add(TCommTransferEvent::Bind(
            this, [this](TObject*, const void*, u32, u32, TCommErrorFlags, u32) { ++writes_; }));
        ASSERT_TRUE(session_->ConnectToEntry(std::nullopt, true));
    }

    static bool WaitFor(const std::function<bool()>& done, int guardMs = GuardMs)
    {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < guardMs)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        return done();
    }

    // The poll timer runs out now (a poll, or the front sent again).
    void PollNow() { session_->PollTimer()->OnTimer(session_->PollTimer()); }
    TTimer* PollTimer() const { return session_->PollTimer(); }
    TRestartPending RestartPending() const { return session_->RestartPending(); }
    u32 RestartAttempts() const { return session_->RestartAttempts(); }
    bool ErrorLatch() const { return session_->ErrorLatch(); }
    // The connection hands the session a packet, as when it arrives on the line.
    void Deliver(const TByteString& wire, TKestPacketType type = ptKestPacket2)
    {
        session_->Serial()->OnPacketReceived(session_->Serial(), wire.data(), u32(wire.size()), type);
    }

    bool WaitState(TDeviceState state) { return WaitFor([&] { return session_->DeviceState() == state; }); }
    bool WaitStatus(int index) { return WaitFor([&] { return view_.Shown(index); }); }

    void TearDown() override
    {
        session_.reset();
        sim_.reset();
    }

    TSimLog log_;
    std::unique_ptr<TSimController> sim_;
    TRecordingView view_;
    TOwned<TDeviceSession> session_;
    std::vector<TReceived> received_;
    std::function<void(u8, unsigned, bool)> onMessage_;
    unsigned writes_ = 0;
};

} // namespace fk::test

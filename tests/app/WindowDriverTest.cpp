// A seeded random driver of the real window against `ferrovan-sim controller`, the simulator
// program, on a pseudo-terminal the test keeps: sequences of user actions (knob and scroll bar
// moves of every kind, venting, Disconnect, Connect, an upload started and aborted) mixed with
// device faults (a device silenced through the program's control input, the program killed and
// another started on the same line, and per sequence a reply delay, dropped and damaged replies
// from its options). After each step it checks what the window shows against what the program
// says the device holds:
//  - at rest, the open and break times the window shows are what the device holds;
//  - the status is never empty once connected, and never says "Connected" or "Firmware
//    uploaded" while an upload's failure has not been seen (no click or key since);
//  - nothing is written while no device is connected, no value outside its range is held;
//  - a device left in its bootloader is never shown as connected.
// A failing sequence is cut down to the fewest actions that still fail and printed with its
// seed. FK_DRIVER_SEED (first seed), FK_DRIVER_SEQUENCES, FK_DRIVER_ACTIONS and
// FK_DRIVER_SECONDS (time for the whole run) set the run; the default takes about a minute.
#include "AppTestHarness.h"
#include "SimProcess.h"

#include "controls/Knob.h"
#include "controls/KnobSpinButtons.h"
#include "ports/UniqueFd.h"
#include "session/FirmwareImage.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>

#include <csignal>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <termios.h>
#include <unistd.h>

namespace fk::test {
namespace {

enum TActionKind {
    akSpin,      // a click on a knob's spin button (arg: +1 up, -1 down)
    akWheelKnob, // wheel notches over a knob (arg: notches)
    akWheelBar,  // wheel notches over a scroll bar (arg: notches)
    akArrowTap,  // an arrow key tapped in a knob's edit (arg: +1 up, -1 down)
    akArrowHeld, // an arrow key held, repeats as unflagged pairs (arg: pairs, sign = direction)
    akPage,      // PageUp or PageDown on a scroll bar (arg: +1 up, -1 down)
    akTrough,    // a click in a scroll bar's trough (arg: +1 right, -1 left)
    akVenting,
    akDisconnect,
    akConnect,
    akUpload,    // an upload started and aborted after arg ms, the question answered by `yes`
    akSilence,   // the device falls silent for arg ms, then answers again
    akKill,      // the device is killed and another one starts on the line after arg ms
    akCount
};

struct TAction {
    TActionKind Kind = akSpin;
    int Knob = 0; // 0 open time, 1 break time
    int Arg = 0;
    bool Yes = true;

    std::string Text() const
    {
        static const char* names[] = {"spin", "wheel-knob", "wheel-bar", "arrow-tap", "arrow-held", "page", "trough",
                                      "venting", "disconnect", "connect", "upload", "silence", "kill"};
        std::ostringstream s;
        s << names[Kind] << "(knob " << Knob << ", " << Arg << (Yes ? ", yes" : ", no") << ")";
        return s.str();
    }
};

struct TSequence {
    unsigned Seed = 0;
    TSimOptions Options;
    std::vector<TAction> Actions;
};

TSequence MakeSequence(unsigned seed, int count)
{
    std::mt19937 rng(seed);
    const auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    TSequence s;
    s.Seed = seed;
    const int delays[] = {0, 0, 30, 120, 260};
    s.Options.ReplyDelayMs = static_cast<unsigned>(delays[pick(0, 4)]);
    s.Options.DropEvery = pick(0, 3) == 0 ? static_cast<unsigned>(pick(6, 20)) : 0;
    s.Options.GarbleEvery = pick(0, 3) == 0 ? static_cast<unsigned>(pick(6, 20)) : 0;
    s.Options.OpenTime = static_cast<u8>(pick(10, 50));
    s.Options.BreakTime = static_cast<u8>(pick(1, 30));
    s.Options.BootTimeMs = 50;
    // Weights: mostly moves, some link actions, few faults.
    const int weights[akCount] = {10, 6, 6, 6, 4, 5, 4, 2, 2, 3, 2, 2, 1};
    std::discrete_distribution<int> kind(std::begin(weights), std::end(weights));
    for (int i = 0; i < count; ++i) {
        TAction a;
        a.Kind = static_cast<TActionKind>(kind(rng));
        a.Knob = pick(0, 1);
        a.Yes = pick(0, 1) == 1;
        const int sign = pick(0, 1) ? 1 : -1;
        switch (a.Kind) {
        case akWheelKnob:
        case akWheelBar:
            a.Arg = sign * pick(1, 4);
            break;
        case akArrowHeld:
            a.Arg = sign * pick(2, 12);
            break;
        case akUpload:
            a.Arg = pick(0, 400);
            break;
        case akSilence:
            a.Arg = pick(200, 1500);
            break;
        case akKill:
            a.Arg = pick(100, 1000);
            break;
        default:
            a.Arg = sign;
            break;
        }
        s.Actions.push_back(a);
    }
    return s;
}

int EnvInt(const char* name, int fallback)
{
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

// What the program says its device holds.
struct TDeviceState {
    bool Known = false;
    bool Bootloader = false;
    int OpenTime = -1;
    int BreakTime = -1;
};

class WindowDriverTest : public MainFormTest {
protected:
    void SetUp() override
    {
        MainFormTest::SetUp();
        std::signal(SIGPIPE, SIG_IGN); // a program that died is told by a failed write
    }

    // What a run found: empty when every check held.
    struct TOutcome {
        std::string Failure;
        int Step = -1;
        bool Failed() const { return !Failure.empty(); }
    };

    void TearDown() override
    {
        EndRun();
        MainFormTest::TearDown();
    }

    // The line: a pseudo-terminal whose master side this test keeps, so that a device can be
    // killed and another one started on the same port.
    bool OpenLine()
    {
        master_.Reset(posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        if (!master_.Valid() || grantpt(master_.Get()) != 0 || unlockpt(master_.Get()) != 0)
            return false;
        char name[256];
        if (ptsname_r(master_.Get(), name, sizeof name) != 0)
            return false;
        slave_.Reset(::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
        termios t {};
        if (!slave_.Valid() || tcgetattr(master_.Get(), &t) != 0)
            return false;
        cfmakeraw(&t);
        tcsetattr(master_.Get(), TCSANOW, &t);
        linePath_ = name;
        return true;
    }

    bool StartDevice()
    {
        // What the window sent while no device listened is gone with the old device.
        char junk[4096];
        while (::read(master_.Get(), junk, sizeof junk) > 0) {
        }
        // Each device logs to a file of its own (a log is made afresh when the program starts).
        logs_.push_back(dir_.filePath(QStringLiteral("sim-%1.log").arg(logs_.size())).toStdString());
        std::vector<std::string> args = {"--log", logs_.back(), "--boot-time", std::to_string(options_.BootTimeMs),
                                         "--open-time", std::to_string(options_.OpenTime), "--break-time",
                                         std::to_string(options_.BreakTime)};
        if (options_.ReplyDelayMs)
            args.insert(args.end(), {"--reply-delay", std::to_string(options_.ReplyDelayMs)});
        if (options_.DropEvery)
            args.insert(args.end(), {"--drop-every", std::to_string(options_.DropEvery)});
        if (options_.GarbleEvery)
            args.insert(args.end(), {"--garble-every", std::to_string(options_.GarbleEvery)});
        device_ = std::make_unique<TSimProcess>();
        if (!device_->Start(master_.Get(), args) || device_->PortLine() != linePath_) {
            device_.reset();
            return false;
        }
        return true;
    }

    // What the device holds, asked of the program.
    TDeviceState Held() const
    {
        TDeviceState state;
        if (!device_)
            return state;
        std::istringstream answer(device_->Ask("state"));
        std::string word, mode, open, brk;
        answer >> word >> mode >> open >> state.OpenTime >> brk >> state.BreakTime;
        state.Known = word == "state" && !answer.fail();
        state.Bootloader = mode == "bootloader";
        return state;
    }

    // Parameter writes the devices of this run have logged.
    int WritesLogged() const
    {
        int n = 0;
        for (const std::string& path : logs_) {
            QFile file(QString::fromStdString(path));
            if (file.open(QIODevice::ReadOnly))
                n += static_cast<int>(file.readAll().count("parameters written"));
        }
        return n;
    }

    void EndRun()
    {
        for (QMessageBox* box : form_ ? form_->findChildren<QMessageBox*>() : QList<QMessageBox*>())
            box->close();
        if (form_) {
            form_->StopOnSignal();
            form_.reset();
        }
        device_.reset();
        answerer_.reset();
        slave_.Reset(-1);
        master_.Reset(-1);
    }

    TKnob* Knob(int k) const { return Find<TKnob>(k == 0 ? names::OpenTimeKnob : names::BreakTimeKnob); }
    QScrollBar* Bar(int k) const
    {
        return Find<QScrollBar>(k == 0 ? names::OpenTimeScrollBar : names::BreakTimeScrollBar);
    }
    static void Wheel(QWidget* target, int notches)
    {
        for (int i = 0; i < std::abs(notches); ++i) {
            const QPointF at(target->width() / 2.0, target->height() / 2.0);
            QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, notches > 0 ? 120 : -120),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QApplication::sendEvent(target, &event);
            Settle(15);
        }
    }
    static void Key(QWidget* target, QEvent::Type type, int key)
    {
        QKeyEvent event(type, key, Qt::NoModifier, QString(), false);
        QApplication::sendEvent(target, &event);
    }
    // The user's own input: from here on a failure in the status has been seen.
    void UserActs() { failureUnseen_ = false; }

    QString ImagePath()
    {
        const QString path = dir_.filePath(QStringLiteral("driver.img"));
        if (!QFile::exists(path)) {
            TByteString payload(256 * 6 + 17), image;
            for (std::size_t i = 0; i < payload.size(); ++i)
                payload[i] = static_cast<u8>(i * 3 + 1);
            EXPECT_TRUE(TFirmwareImage::Build(TSimOptions().Identifier, payload.data(), payload.size(), image));
            QFile file(path);
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
        }
        return path;
    }

    void Do(const TAction& a)
    {
        yes_ = a.Yes;
        TKnob* knob = Knob(a.Knob);
        QScrollBar* bar = Bar(a.Knob);
        switch (a.Kind) {
        case akSpin: {
            UserActs();
            QWidget* spin = knob->SpinButtons();
            const QPoint at(spin->width() / 2, a.Arg > 0 ? 2 : spin->height() - 3);
            QTest::mouseClick(spin, Qt::LeftButton, {}, at);
            break;
        }
        case akWheelKnob:
            Wheel(knob, a.Arg);
            break;
        case akWheelBar:
            Wheel(bar, a.Arg);
            break;
        case akArrowTap:
            UserActs();
            knob->Edit()->setFocus();
            Key(knob->Edit(), QEvent::KeyPress, a.Arg > 0 ? Qt::Key_Up : Qt::Key_Down);
            Key(knob->Edit(), QEvent::KeyRelease, a.Arg > 0 ? Qt::Key_Up : Qt::Key_Down);
            break;
        case akArrowHeld:
            UserActs();
            knob->Edit()->setFocus();
            for (int i = 0; i < std::abs(a.Arg); ++i) {
                Key(knob->Edit(), QEvent::KeyPress, a.Arg > 0 ? Qt::Key_Up : Qt::Key_Down);
                Settle(i == 0 ? 400 : 30); // the repeat delay, then the repeat interval
                Key(knob->Edit(), QEvent::KeyRelease, a.Arg > 0 ? Qt::Key_Up : Qt::Key_Down);
            }
            break;
        case akPage:
            UserActs();
            QTest::keyClick(bar, a.Arg > 0 ? Qt::Key_PageUp : Qt::Key_PageDown);
            break;
        case akTrough:
            UserActs();
            QTest::mouseClick(bar, Qt::LeftButton, {},
                              QPoint(a.Arg > 0 ? bar->width() - bar->height() * 2 : bar->height() * 2, bar->height() / 2));
            break;
        case akVenting:
            UserActs();
            QTest::mouseClick(Button(names::VentingButton), Qt::LeftButton);
            break;
        case akDisconnect:
            UserActs();
            QTest::mouseClick(Button(names::DisconnectButton), Qt::LeftButton);
            break;
        case akConnect:
            UserActs();
            ClickRow(0);
            QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
            break;
        case akUpload:
            UserActs();
            form_->FirmwareFile = ImagePath().toStdString();
            QTest::mouseClick(Button(names::UploadButton), Qt::LeftButton);
            Settle(a.Arg);
            if (form_->StatusLine().AbortButton()->isVisible())
                QTest::mouseClick(form_->StatusLine().AbortButton(), Qt::LeftButton);
            break;
        case akSilence:
            if (device_) {
                device_->Ask("silent");
                Settle(a.Arg);
                device_->Ask("answer");
            }
            break;
        case akKill:
            if (const TDeviceState held = Held(); held.Known) { // the controller keeps its parameters over a power cycle
                options_.OpenTime = static_cast<u8>(held.OpenTime);
                options_.BreakTime = static_cast<u8>(held.BreakTime);
            }
            if (device_)
                device_->Kill();
            device_.reset();
            Settle(a.Arg);
            if (!StartDevice() && violation_.empty())
                violation_ = "the simulator program could not be started again";
            break;
        case akCount:
            break;
        }
    }

    // Lets the step settle (at most a few seconds) and checks what the window shows.
    std::string SettleAndCheck(int writesBefore, bool noDeviceBefore)
    {
        TDeviceSession& s = form_->Session();
        bool noDeviceThroughout = noDeviceBefore;
        std::string violation;
        QElapsedTimer clock;
        clock.start();
        const auto rest = [&] { return s.Requests().Empty() && s.UploadState() == usNone; };
        TDeviceState held;
        const auto agree = [&] {
            held = Held();
            return held.Known && Knob(0)->Position() == held.OpenTime && Knob(1)->Position() == held.BreakTime
                && Bar(0)->value() == held.OpenTime && Bar(1)->value() == held.BreakTime;
        };
        int restSince = -1;
        while (clock.elapsed() < 6000) {
            RunEventsFor(10);
            if (!violation.empty())
                break;
            if (s.DeviceState() != dsNone)
                noDeviceThroughout = false;
            if (!violation_.empty())
                return violation_;
            const bool atRest = rest() && s.DeviceState() == dsConnected;
            if (atRest && restSince < 0)
                restSince = static_cast<int>(clock.elapsed());
            else if (!atRest)
                restSince = -1;
            // At rest for long enough that a wheel burst or a held key has ended.
            if (restSince >= 0 && clock.elapsed() - restSince > 450 && clock.elapsed() > 600) {
                if (!agree() && clock.elapsed() > 3000) {
                    std::ostringstream m;
                    m << "at rest the window shows " << Knob(0)->Position() << "/" << Bar(0)->value() << " ms and "
                      << Knob(1)->Position() << "/" << Bar(1)->value() << ", the device holds " << held.OpenTime
                      << " and " << held.BreakTime;
                    return m.str();
                }
                if (agree())
                    break;
            }
            if (s.DeviceState() == dsNone && restSince < 0 && clock.elapsed() > 2500)
                break; // no device to compare with
        }
        if (!violation_.empty())
            return violation_;
        held = Held();
        if (held.Known
            && (held.OpenTime < 10 || held.OpenTime > 50 || held.BreakTime < 1 || held.BreakTime > 30))
            return "the device holds a value outside its range: " + std::to_string(held.OpenTime) + ", "
                + std::to_string(held.BreakTime);
        if (noDeviceThroughout && s.DeviceState() == dsNone && WritesLogged() > writesBefore)
            return "a parameter was written while no device was connected";
        if (connectedOnce_ && Status().isEmpty())
            return "the status is empty";
        if (held.Bootloader && s.UploadState() == usNone && s.Requests().Empty()) {
            Settle(300);
            if (Held().Bootloader && s.UploadState() == usNone
                && (Status() == QStringLiteral("Connected") || Status() == QStringLiteral("Firmware uploaded")))
                return "the device sits in its bootloader, the status says " + Status().toStdString();
        }
        return {};
    }

    TOutcome Run(const TSequence& seq, std::size_t* actionsDone = nullptr)
    {
        EndRun();
        violation_.clear();
        failureUnseen_ = false;
        connectedOnce_ = false;
        options_ = seq.Options;
        TOutcome out;
        logs_.clear();
        if (!OpenLine() || !StartDevice()) {
            out.Failure = "the simulated line could not be set up";
            return out;
        }
        TMainFormSetup setup;
        setup.ExtraPorts.push_back({linePath_, "Simulated controller"});
        MakeForm(setup);
        // Questions are answered as the current action says; messages with OK. (Every box
        // that shows, even one at the address of the last.)
        answerer_ = std::make_unique<QTimer>();
        QObject::connect(answerer_.get(), &QTimer::timeout, answerer_.get(), [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else if (QAbstractButton* answer = box->button(yes_ ? QMessageBox::Yes : QMessageBox::No))
                answer->click();
        });
        answerer_->start(20);
        QObject::connect(form_.get(), &TMainForm::StatusChanged, form_.get(), [this](int) {
            const QString text = Status();
            if (text.startsWith(QStringLiteral("Upload failed")) || text.startsWith(QStringLiteral("Upload interrupted")))
                failureUnseen_ = true;
            else if (failureUnseen_ && (text == QStringLiteral("Connected") || text == QStringLiteral("Firmware uploaded"))
                     && violation_.empty())
                violation_ = "the status says \"" + text.toStdString() + "\" over an upload failure not seen yet";
            if (text == QStringLiteral("Connected"))
                connectedOnce_ = true;
        });
        Do(TAction{akConnect});
        for (std::size_t i = 0; i < seq.Actions.size(); ++i) {
            const int writes = WritesLogged();
            const bool noDevice = form_->Session().DeviceState() == dsNone;
            Do(seq.Actions[i]);
            if (actionsDone)
                ++*actionsDone;
            const std::string failure = SettleAndCheck(writes, noDevice);
            if (!failure.empty()) {
                out.Failure = failure;
                out.Step = static_cast<int>(i);
                break;
            }
        }
        EndRun();
        return out;
    }

    // Cuts a failing sequence down: chunks of actions are left out as long as it still fails.
    TSequence Shrink(TSequence seq, int budgetSeconds)
    {
        QElapsedTimer clock;
        clock.start();
        if (TOutcome first = Run(seq); first.Step >= 0)
            seq.Actions.resize(static_cast<std::size_t>(first.Step) + 1);
        for (std::size_t chunk = std::max<std::size_t>(1, seq.Actions.size() / 2); chunk >= 1; chunk /= 2) {
            for (std::size_t at = 0; at < seq.Actions.size() && clock.elapsed() < budgetSeconds * 1000;) {
                TSequence shorter = seq;
                shorter.Actions.erase(shorter.Actions.begin() + static_cast<std::ptrdiff_t>(at),
                                      shorter.Actions.begin()
                                          + static_cast<std::ptrdiff_t>(std::min(at + chunk, seq.Actions.size())));
                if (Run(shorter).Failed())
                    seq = shorter;
                else
                    at += chunk;
            }
            if (chunk == 1)
                break;
        }
        return seq;
    }

    TSimOptions options_;
    std::unique_ptr<TSimProcess> device_;
    std::vector<std::string> logs_;
    TUniqueFd master_, slave_;
    std::string linePath_;
    std::unique_ptr<QTimer> answerer_;
    bool yes_ = true;
    bool failureUnseen_ = false;
    bool connectedOnce_ = false;
    std::string violation_;
};

TEST_F(WindowDriverTest, RandomSequencesKeepTheWindowTrue)
{
    const unsigned first = static_cast<unsigned>(EnvInt("FK_DRIVER_SEED", 1));
    const int sequences = EnvInt("FK_DRIVER_SEQUENCES", 1000);
    const int actions = EnvInt("FK_DRIVER_ACTIONS", 10);
    const int seconds = EnvInt("FK_DRIVER_SECONDS", 60);
    QElapsedTimer clock;
    clock.start();
    std::size_t done = 0, actionsDone = 0, faults = 0;
    int failures = 0;
    for (int i = 0; i < sequences && clock.elapsed() < seconds * 1000; ++i) {
        const TSequence seq = MakeSequence(first + static_cast<unsigned>(i), actions);
        for (const TAction& a : seq.Actions)
            faults += a.Kind == akSilence || a.Kind == akKill;
        faults += (seq.Options.DropEvery != 0) + (seq.Options.GarbleEvery != 0) + (seq.Options.ReplyDelayMs != 0);
        const TOutcome out = Run(seq, &actionsDone);
        ++done;
        if (!out.Failed())
            continue;
        ++failures;
        const TSequence shrunk = Shrink(seq, EnvInt("FK_DRIVER_SHRINK_SECONDS", 120));
        std::ostringstream text;
        text << "seed " << seq.Seed << " (FK_DRIVER_SEED=" << seq.Seed << " FK_DRIVER_SEQUENCES=1): " << out.Failure
             << "\nat step " << out.Step << "; shortest sequence found (reply delay " << seq.Options.ReplyDelayMs
             << " ms, drop every " << seq.Options.DropEvery << ", damage every " << seq.Options.GarbleEvery << "):\n";
        for (const TAction& a : shrunk.Actions)
            text << "  " << a.Text() << "\n";
        ADD_FAILURE() << text.str();
        if (failures >= EnvInt("FK_DRIVER_MAX_FAILURES", 1))
            break;
    }
    std::printf("window driver: %zu sequences, %zu actions, %zu faults, %d failing, %.0f s\n", done, actionsDone,
                faults, failures, clock.elapsed() / 1000.0);
}

} // namespace
} // namespace fk::test

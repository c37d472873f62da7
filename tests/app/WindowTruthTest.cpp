// What the window shows is what is: every way of moving a value writes it once, a failed
// upload stays in the status until the user acts, and long statuses keep their meaning.
#include "AppTestHarness.h"

#include "app/ElidedLabel.h"
#include "controls/Knob.h"
#include "session/FirmwareImage.h"

#include <QLineEdit>
#include <QScrollBar>
#include <QWheelEvent>

namespace fk::test {
namespace {

class WindowTruthTest : public MainFormTest {
protected:
    bool AtRest() const { return form_->Session().Requests().Empty(); }
    // The device holds what the scroll bar shows, the writes counted.
    void ExpectWritten(QScrollBar* bar, int writes)
    {
        ASSERT_TRUE(WaitFor([&] { return AtRest() && sim_->Parameters().BreakTime() == bar->value(); }))
            << bar->value() << "\n" << LogText();
        EXPECT_EQ(LogCount("parameters written"), writes) << LogText();
    }
    static void Wheel(QWidget* target, int delta)
    {
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(target, &event);
    }
    QString WriteImage(std::size_t n, TByteString& payload)
    {
        payload.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            payload[i] = static_cast<u8>(i * 5 + 1);
        TByteString image;
        EXPECT_TRUE(TFirmwareImage::Build(TSimOptions().Identifier, payload.data(), payload.size(), image));
        const QString path = dir_.filePath(QStringLiteral("app.img"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(image.data()), static_cast<qint64>(image.size()));
        return path;
    }
    void StartUpload(const QString& path)
    {
        form_->FirmwareFile = path.toStdString();
        QTest::mouseClick(Button(names::UploadButton), Qt::LeftButton);
    }
    QMessageBox* FailureBox() const { return form_->findChild<QMessageBox*>(QLatin1String(names::UploadFailedBox)); }
};

// The wheel over a scroll bar, PageUp on it and a click in its trough are whole moves: each
// is written, a burst of wheel notches once.
TEST_F(WindowTruthTest, EveryScrollBarMoveThatIsNotADragIsWritten)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    auto* bar = Find<QScrollBar>(names::BreakTimeScrollBar);
    for (int i = 0; i < 3; ++i)
        Wheel(bar, -120);
    ASSERT_NE(bar->value(), 5);
    ExpectWritten(bar, 1);

    QTest::keyClick(bar, Qt::Key_PageUp);
    ExpectWritten(bar, 2);

    const int before = bar->value();
    QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - bar->height() * 2, bar->height() / 2));
    ASSERT_NE(bar->value(), before);
    ExpectWritten(bar, 3);
}

// A held arrow key whose repeats come as unflagged release and press pairs is one move.
TEST_F(WindowTruthTest, AHeldArrowKeyWithUnflaggedRepeatsWritesOnce)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    auto* knob = Find<TKnob>(names::OpenTimeKnob);
    knob->Edit()->setFocus();
    const auto send = [&](QEvent::Type type) {
        QKeyEvent key(type, Qt::Key_Up, Qt::NoModifier, QString(), false);
        QApplication::sendEvent(knob->Edit(), &key);
    };
    for (int i = 0; i < 8; ++i) {
        send(QEvent::KeyPress);
        Settle(i == 0 ? 400 : 30); // the repeat delay, then the repeat interval: the device
        send(QEvent::KeyRelease);  // answers each write meanwhile
    }
    ASSERT_TRUE(WaitFor([&] { return AtRest() && sim_->Parameters().OpenTime() == 28; })) << LogText();
    Settle(300);
    EXPECT_EQ(LogCount("parameters written"), 1) << LogText();
}

// A device that will not enter its bootloader: the failure stays in the status while the
// device is found again in its application, until the user clicks.
TEST_F(WindowTruthTest, AnUploadFailureStaysUntilTheUserActs)
{
    TSimOptions o;
    o.RefuseBootloader = true;
    o.BootTimeMs = 20;
    StartSim(o);
    MakeForm();
    ConnectThroughWindow();
    TByteString payload;
    StartUpload(WriteImage(300, payload));
    const QString failure = QStringLiteral("Upload failed: Can't return to bootloader");
    ASSERT_TRUE(WaitStatus(failure)) << Status().toStdString() << "\n" << LogText();
    ASSERT_TRUE(WaitFor([&] { return form_->Session().DeviceState() == dsConnected; }));
    Settle(2500);
    EXPECT_EQ(Status(), failure);
    FailureBox()->button(QMessageBox::Ok)->click();
    QTest::mouseClick(Find<QWidget>(names::PortList), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(Status(), QStringLiteral("Connected"));
}

// The transfer completes but the device comes back in its bootloader: a failed upload, told
// in the status and in a box with what to do.
TEST_F(WindowTruthTest, NewFirmwareThatDoesNotStartIsAFailedUpload)
{
    TSimOptions o;
    o.BlockSize = 64;
    o.BootTimeMs = 20;
    o.ExpectedFirmware = TByteString(200, 0x55); // what it receives is not what it checks for
    StartSim(o);
    MakeForm();
    ConnectThroughWindow();
    TByteString payload;
    StartUpload(WriteImage(200, payload));
    const QString failure = QStringLiteral("Upload failed: The new firmware did not start");
    ASSERT_TRUE(WaitStatus(failure)) << Status().toStdString() << "\n" << LogText();
    ASSERT_NE(FailureBox(), nullptr);
    EXPECT_EQ(FailureBox()->text(), failure + QStringLiteral("\nThe device stays in its bootloader. Upload the "
                                                             "firmware again, or choose another image."));
    Settle(1000);
    EXPECT_EQ(Status(), failure);
}

// A block size the configurator cannot send: the upload stops with a failure, not "Connected".
TEST_F(WindowTruthTest, AnUploadThatCannotBuildItsNextBlockFails)
{
    TSimOptions o;
    o.BlockSize = 65530; // a block this long does not fit in a packet
    o.BlockCount = 1;
    o.BootTimeMs = 20;
    StartSim(o);
    MakeForm();
    ConnectThroughWindow();
    TByteString payload;
    StartUpload(WriteImage(65530, payload));
    const QString failure = QStringLiteral("Upload interrupted: The next firmware block could not be prepared");
    ASSERT_TRUE(WaitStatus(failure)) << Status().toStdString() << "\n" << LogText();
    ASSERT_NE(FailureBox(), nullptr);
    EXPECT_TRUE(FailureBox()->isVisible());
}

// The upload ends while "Stop uploading?" is open: the question is closed as No and the
// failure box can be read and answered.
TEST_F(WindowTruthTest, AFailureClosesAnOpenStopQuestion)
{
    TSimOptions o;
    o.BlockSize = 64;
    o.Baud = 19200;
    StartSim(o);
    MakeForm();
    ConnectThroughWindow();
    TByteString payload;
    StartUpload(WriteImage(64 * 60, payload));
    ASSERT_TRUE(WaitFor([&] { return form_->Session().UploadState() == usTransfer; })) << LogText();
    bool lost = false;
    TModalAnswer loseTheDevice([&](QWidget* modal) {
        if (!lost && qobject_cast<QMessageBox*>(modal)) {
            lost = true;
            sim_.reset(); // the line goes while the question is open
        }
        return false;
    });
    QTest::mouseClick(form_->StatusLine().AbortButton(), Qt::LeftButton);
    EXPECT_TRUE(lost);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    ASSERT_NE(FailureBox(), nullptr);
    EXPECT_TRUE(FailureBox()->isVisible());
    EXPECT_EQ(Status(), QStringLiteral("Upload interrupted: Connection lost"));
}

// A status longer than the window is cut with "…" and whole in the tool tip.
TEST_F(WindowTruthTest, ALongStatusIsElidedAndWholeInItsToolTip)
{
    MakeForm();
    form_->SetLanguage(2);
    form_->resize(form_->minimumSize());
    RunEventsFor(50);
    form_->ShowStatus(staBreakTimeOutOfRange, icWarning, "50 s");
    RunEventsFor(50);
    auto* label = Find<TElidedLabel>(names::StatusLabel);
    const QString whole = label->text();
    EXPECT_TRUE(whole.endsWith(QStringLiteral(": 50 \u0441"))) << whole.toStdString(); // the Russian unit
    EXPECT_TRUE(label->ShownText().endsWith(QChar(0x2026))) << label->ShownText().toStdString();
    EXPECT_TRUE(label->toolTip().startsWith(whole)) << label->toolTip().toStdString();
}

// The window destroyed without being closed during a transfer: the device's restart reaches
// the line before the port closes.
TEST_F(WindowTruthTest, AWindowDestroyedDuringATransferRestartsTheDevice)
{
    TSimOptions o;
    o.BlockSize = 64;
    o.Baud = 19200;
    StartSim(o);
    MakeForm();
    ConnectThroughWindow();
    TByteString payload;
    StartUpload(WriteImage(64 * 60, payload));
    ASSERT_TRUE(WaitFor([&] { return form_->Session().UploadState() == usTransfer; })) << LogText();
    const int restarts = LogCount("restarting into the");
    form_.reset();
    EXPECT_TRUE(WaitFor([&] { return LogCount("restarting into the") > restarts; })) << LogText();
}

} // namespace
} // namespace fk::test

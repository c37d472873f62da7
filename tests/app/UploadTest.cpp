// Firmware upload through the window: the file chooser, progress, Abort, closing during a
// transfer, and a bad image file.
#include "AppTestHarness.h"
#include "ScreenshotUtil.h"

#include "app/SignalWatch.h"
#include "session/FirmwareImage.h"

#include <csignal>

#include <QFileDialog>

namespace fk::test {
namespace {

class UploadTest : public MainFormTest {
protected:
    // An image for the simulated controller with a payload of n bytes; returns its path.
    QString WriteImage(std::size_t n, const char* name = "app.img")
    {
        payload_.resize(n);
        for (std::size_t i = 0; i < n; ++i)
            payload_[i] = static_cast<u8>(i * 7 + 3);
        TByteString image;
        EXPECT_TRUE(TFirmwareImage::Build(TSimOptions().Identifier, payload_.data(), payload_.size(), image));
        return WriteFile(name, image);
    }
    QString WriteFile(const char* name, const TByteString& bytes)
    {
        const QString path = dir_.filePath(QLatin1String(name));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path;
    }

    // Clicks Upload firmware; the chooser answers path.
    void StartUpload(const QString& path)
    {
        form_->FirmwareFile = path.toStdString();
        QTest::mouseClick(Button(names::UploadButton), Qt::LeftButton);
    }
    // The same through the real file dialog.
    void StartUploadThroughDialog(const QString& path)
    {
        TModalAnswer chooser(TModalAnswer::ChooseFile(path));
        QTest::mouseClick(Button(names::UploadButton), Qt::LeftButton);
        EXPECT_EQ(chooser.Answered, 1);
    }

    // Connected to a controller paced at 19200 baud with 64-byte blocks (about 45 ms a
    // block: time to act in the middle of a transfer).
    void ConnectToPacedController()
    {
        TSimOptions o;
        o.BlockSize = 64;
        o.Baud = 19200;
        StartSim(o);
        MakeForm();
        ConnectThroughWindow();
    }

    TByteString payload_;
};

TEST_F(UploadTest, ACompleteUploadInstallsThePayloadAndConnectsAgain)
{
    TSimOptions o;
    o.BlockSize = 64;
    StartSim(o);
    MakeForm();
    ConnectThroughWindow();
    StartUploadThroughDialog(WriteImage(64 * 5 + 17));
    ASSERT_TRUE(WaitFor([&] { return sim_->InstalledFirmware() == payload_; }));
    // The device back in its new application: the status says the upload succeeded.
    ASSERT_TRUE(WaitFor([&] {
        return Status() == QStringLiteral("Firmware uploaded") && !form_->StatusLine().ProgressVisible();
    })) << Status().toStdString();
    EXPECT_TRUE(Find<QWidget>(names::DeviceControls)->isEnabled());
}

TEST_F(UploadTest, ProgressAdvancesAbortAsksAndRestartsTheDevice)
{
    ConnectToPacedController();
    StartUpload(WriteImage(64 * 60));
    TStatusLine& line = form_->StatusLine();
    ASSERT_TRUE(WaitFor([&] { return line.ProgressVisible() && line.ProgressPosition() > 10; }))
        << Status().toStdString() << " " << line.ProgressPosition() << " " << form_->Session().UploadState();
    EXPECT_EQ(Status(), QStringLiteral("Uploading ..."));
    EXPECT_EQ(line.ProgressText(), QString::number(line.ProgressPosition()) + QLatin1Char('%'));
    EXPECT_FALSE(Find<QWidget>(names::DeviceControls)->isEnabled());
    const int seen = line.ProgressPosition();
    ASSERT_TRUE(WaitFor([&] { return line.ProgressPosition() > seen; }));

    // Abort asks (blocks are being sent); No keeps the transfer, Yes restarts the device.
    {
        TModalAnswer no(TModalAnswer::Click(QMessageBox::No));
        QTest::mouseClick(line.AbortButton(), Qt::LeftButton);
        EXPECT_EQ(no.Answered, 1);
    }
    EXPECT_EQ(form_->Session().UploadState(), usTransfer);
    QString question;
    TModalAnswer yes(TModalAnswer::Click(QMessageBox::Yes, &question));
    const int restarts = LogCount("restarting into the");
    QTest::mouseClick(line.AbortButton(), Qt::LeftButton);
    EXPECT_EQ(question, QStringLiteral("Uploading already in progress. Stop uploading?"));
    EXPECT_FALSE(line.ProgressVisible());
    EXPECT_EQ(form_->Session().UploadState(), usNone);
    // The device is restarted; its bootloader keeps the partial firmware from running.
    ASSERT_TRUE(WaitFor([&] { return LogCount("restarting into the") > restarts; })) << LogText();
    ASSERT_TRUE(WaitFor([&] { return LogCount("the partial firmware is not run") >= 1; })) << LogText();
    EXPECT_TRUE(sim_->InstalledFirmware() != payload_);
}

TEST_F(UploadTest, ClosingDuringTheTransferAsksAndNoKeepsItRunning)
{
    ConnectToPacedController();
    StartUpload(WriteImage(64 * 60));
    ASSERT_TRUE(WaitFor([&] { return form_->Session().UploadState() == usTransfer; }))
        << Status().toStdString() << "\n" << LogText();
    {
        TModalAnswer no(TModalAnswer::Click(QMessageBox::No));
        EXPECT_FALSE(form_->close());
        EXPECT_EQ(no.Answered, 1);
    }
    EXPECT_TRUE(form_->isVisible());
    const int at = form_->StatusLine().ProgressPosition();
    ASSERT_TRUE(WaitFor([&] { return form_->StatusLine().ProgressPosition() > at; }));

    TModalAnswer yes(TModalAnswer::Click(QMessageBox::Yes));
    const int restarts = LogCount("restarting into the");
    EXPECT_TRUE(form_->close());
    EXPECT_EQ(yes.Answered, 1);
    EXPECT_FALSE(form_->isVisible());
    EXPECT_FALSE(form_->Session().Serial()->IsValid());
    // Yes stops the upload as Abort does: the device's restart went out before the port closed.
    EXPECT_TRUE(WaitFor([&] { return LogCount("restarting into the") > restarts; })) << LogText();
}

// A device lost in the middle of the transfer: the status and a box say that the upload was
// interrupted and that the device is left without firmware; both stay.
TEST_F(UploadTest, ALossDuringTheTransferIsToldAndStays)
{
    ConnectToPacedController();
    StartUpload(WriteImage(64 * 60));
    ASSERT_TRUE(WaitFor([&] { return form_->Session().UploadState() == usTransfer; }))
        << Status().toStdString() << "\n" << LogText();
    sim_.reset();
    ASSERT_TRUE(WaitFor([&] { return !Button(names::DisconnectButton)->isEnabled(); }));
    Settle(100);
    EXPECT_EQ(Status(), QStringLiteral("Upload interrupted: Connection lost"));
    auto* box = form_->findChild<QMessageBox*>(QLatin1String(names::UploadFailedBox));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), QStringLiteral("Upload interrupted: Connection lost\nThe device is left in its bootloader "
                                          "without firmware. Upload the firmware again."));
    // The status follows the language, what happened included; pictures for every language.
    const char* codes[] = {"en", "pl", "ru"};
    for (int language = 0; language < 3; ++language) {
        form_->SetLanguage(language);
        const TMessageTable& m = form_->Session().Messages();
        EXPECT_EQ(Status().toStdString(),
                  m.MessageText(staUploadInterrupted) + ": " + m.MessageText(staConnectionLost));
        SaveScreenshot(*form_, QStringLiteral("failures"), QStringLiteral("upload-interrupted-") + codes[language]);
    }
    SaveScreenshot(*box, QStringLiteral("failures"), QStringLiteral("upload-interrupted-box-en"));
    box->button(QMessageBox::Ok)->click();
}

// A device sitting in its bootloader (its application would not start) is restarted before
// the port closes, by Disconnect and by closing the window.
TEST_F(UploadTest, DisconnectAndCloseRestartADeviceLeftInItsBootloader)
{
    TSimOptions o;
    o.StartInBootloader = true;
    o.StayInBootloader = true;
    StartSim(o);
    MakeForm();
    ClickRow(0);
    QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
    ASSERT_TRUE(WaitStatus(QStringLiteral("Device boot up failed"))) << Status().toStdString();
    int restarts = LogCount("restarting into the");
    QTest::mouseClick(Button(names::DisconnectButton), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return !Button(names::DisconnectButton)->isEnabled(); }));
    EXPECT_TRUE(WaitFor([&] { return LogCount("restarting into the") > restarts; })) << LogText();
    EXPECT_EQ(Status(), QStringLiteral("Disconnected"));

    QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
    ASSERT_TRUE(WaitStatus(QStringLiteral("Device boot up failed"))) << Status().toStdString();
    restarts = LogCount("restarting into the");
    EXPECT_TRUE(form_->close());
    EXPECT_TRUE(WaitFor([&] { return LogCount("restarting into the") > restarts; })) << LogText();

    // The port leaves the system's list while its line still works: the restart goes first.
    form_->show();
    QTest::mouseClick(Button(names::ConnectButton), Qt::LeftButton);
    ASSERT_TRUE(WaitStatus(QStringLiteral("Device boot up failed"))) << Status().toStdString();
    restarts = LogCount("restarting into the");
    form_->Session().PortLost(staPortInactive);
    EXPECT_TRUE(WaitFor([&] { return LogCount("restarting into the") > restarts; })) << LogText();
    EXPECT_TRUE(WaitFor([&] { return !form_->Session().Serial()->IsValid(); }));
}

// The port leaves the system's list in the middle of the transfer while its line still works:
// the device is restarted before the port closes, and the upload is told as interrupted by the
// lost port (not as stopped by the user).
TEST_F(UploadTest, APortRemovedDuringTheTransferRestartsTheDeviceAndTellsTheInterruption)
{
    ConnectToPacedController();
    StartUpload(WriteImage(64 * 60));
    ASSERT_TRUE(WaitFor([&] { return form_->Session().UploadState() == usTransfer; }))
        << Status().toStdString() << "\n" << LogText();
    const int restarts = LogCount("restarting into the");
    form_->Session().PortLost(staPortInactive);
    EXPECT_TRUE(WaitFor([&] { return LogCount("restarting into the") > restarts; })) << LogText();
    ASSERT_TRUE(WaitFor([&] { return !Button(names::DisconnectButton)->isEnabled(); }));
    Settle(100);
    const TMessageTable& m = form_->Session().Messages();
    const std::string told = m.MessageText(staUploadInterrupted) + ": " + m.MessageText(staPortInactive);
    EXPECT_EQ(Status().toStdString(), told);
    auto* box = form_->findChild<QMessageBox*>(QLatin1String(names::UploadFailedBox));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_TRUE(box->text().toStdString().starts_with(told)) << box->text().toStdString();
    EXPECT_EQ(form_->Session().Upload().Report().FailCause, staPortInactive);
    EXPECT_TRUE(form_->Session().Upload().Report().FirmwareErased);
    box->button(QMessageBox::Ok)->click();
}

TEST_F(UploadTest, ABadImageIsRefusedWithAMessage)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    // The device's identifier, but a digest that does not match.
    const u8 payload[100] = {1, 2, 3};
    TByteString image;
    ASSERT_TRUE(TFirmwareImage::Build(TSimOptions().Identifier, payload, sizeof payload, image));
    image.back() ^= 0xFF;
    const QString path = WriteFile("bad.img", image);
    QString text;
    TModalAnswer ok(TModalAnswer::Click(QMessageBox::Ok, &text));
    StartUpload(path);
    EXPECT_EQ(ok.Answered, 1);
    EXPECT_EQ(text.toStdString(), "Invalid firmware file.");
    EXPECT_EQ(form_->Session().UploadState(), usNone);
    EXPECT_FALSE(form_->StatusLine().ProgressVisible());
    EXPECT_EQ(Status(), QStringLiteral("Connected"));
}

} // namespace
} // namespace fk::test

namespace fk::test {
namespace {

// SIGTERM during a transfer: the upload is aborted as Abort does, without a question, the
// device is restarted, and the window closes with its settings saved.
TEST_F(UploadTest, SigtermAbortsTheUploadWithoutAskingAndCloses)
{
    ConnectToPacedController();
    TSignalWatch watch([this](int) { form_->StopOnSignal(); });
    ASSERT_TRUE(watch.Active());
    StartUpload(WriteImage(64 * 60));
    ASSERT_TRUE(WaitFor([&] { return form_->Session().UploadState() == usTransfer; }))
        << Status().toStdString() << "\n" << LogText();
    TModalAnswer none(TModalAnswer::Click(QMessageBox::Cancel));
    const int restarts = LogCount("restarting into the");
    ::raise(SIGTERM);
    ASSERT_TRUE(WaitFor([&] { return !form_->isVisible(); }));
    EXPECT_EQ(none.Answered, 0);
    EXPECT_EQ(form_->Session().UploadState(), usNone);
    EXPECT_FALSE(form_->Session().Serial()->IsValid());
    ASSERT_TRUE(WaitFor([&] { return LogCount("restarting into the") > restarts; })) << LogText();
    TAppSettings loaded;
    TStoredPlaces places;
    ASSERT_TRUE(LoadSettings(loaded, places));
    EXPECT_TRUE(loaded.Has(optWasConnected));
}

} // namespace
} // namespace fk::test

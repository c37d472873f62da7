// The session's status line: an upload's failure stays until the user acts, and the status of
// the device found again meanwhile follows it then.
#include "SessionHarness.h"

#include "session/FirmwareImage.h"

#include <QTemporaryDir>

#include <fstream>

namespace fk::test {
namespace {

TEST_F(SessionTest, AnUploadFailureStaysUntilTheUserActsAndTheHeldStatusFollows)
{
    TSimOptions o;
    o.BlockSize = 16;
    o.BootTimeMs = 20;
    o.RefuseBootloader = true; // the upload fails: the device stays in its application
    StartSim(o);
    Connect();
    ASSERT_TRUE(WaitState(dsConnected));
    QTemporaryDir dir;
    const TByteString payload(40, 0x5A);
    TByteString image;
    ASSERT_TRUE(TFirmwareImage::Build(o.Identifier, payload.data(), payload.size(), image));
    const String path = dir.filePath(QStringLiteral("a.img")).toStdString();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

    ASSERT_TRUE(session_->StartUpload(path));
    ASSERT_TRUE(WaitStatus(staUploadFailed));
    EXPECT_TRUE(session_->FailureUnseen());
    // The device is identified again; "Connected" waits behind the failure.
    ASSERT_TRUE(WaitFor([&] { return session_->DeviceState() == dsConnected; }));
    EXPECT_EQ(view_.LastStatus(), staUploadFailed);
    EXPECT_EQ(session_->StatusIndex(), staUploadFailed);
    session_->FailureSeen();
    EXPECT_FALSE(session_->FailureUnseen());
    EXPECT_EQ(view_.LastStatus(), staConnected);
    session_->FailureSeen(); // seen once: nothing more happens
    EXPECT_EQ(view_.LastStatus(), staConnected);
}

} // namespace
} // namespace fk::test

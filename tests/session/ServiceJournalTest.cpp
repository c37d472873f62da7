// The session's records as the service journal writes them: a firmware upload with its image
// and the firmware before and after, and an upload the user stopped.
#include "SessionHarness.h"
#include "session/FirmwareImage.h"
#include "session/ServiceJournal.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fstream>

namespace fk::test {
namespace {

class ServiceJournalTest : public SessionTest {
protected:
    String Path(const char* name) const { return dir_.filePath(name).toStdString(); }

    std::vector<QJsonObject> Records(const char* event) const
    {
        std::vector<QJsonObject> records;
        for (const TJournalEntry& e : TServiceJournal::Read(Path("journal.jsonl")))
            if (e.Event == event)
                records.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(e.Line)).object());
        return records;
    }

    QTemporaryDir dir_;
    TServiceJournal journal_{"test", Path("journal.jsonl")};
};

TEST_F(ServiceJournalTest, UploadsAreRecordedWithTheirImageAndTheFirmwareBeforeAndAfter)
{
    TSimOptions o;
    o.BlockSize = 16;
    o.BlockCount = 64;
    o.BootTimeMs = 20;
    StartSim(o);
    Connect();
    journal_.Attach(*session_);
    ASSERT_TRUE(WaitState(dsConnected));
    TByteString image;
    const u8 payload[40] = {1, 2, 3};
    ASSERT_TRUE(TFirmwareImage::Build(0x00060001, payload, sizeof payload, image));
    std::ofstream(Path("a.img"), std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());

    ASSERT_TRUE(session_->StartUpload(Path("a.img")));
    ASSERT_TRUE(WaitFor([&] { return Records("upload").size() == 1 && session_->DeviceState() == dsConnected; }));
    const QJsonObject done = Records("upload")[0];
    EXPECT_EQ(done["result"].toString(), "ok");
    EXPECT_EQ(done["image_identifier"].toString(), "0x00060001");
    EXPECT_EQ(done["image_digest"].toString().size(), 32);
    EXPECT_EQ(done["firmware_before"].toString(), "1.2.0");
    EXPECT_EQ(done["firmware_after"].toString(), "1.2.0");
    EXPECT_EQ(done["device"].toString(), "FK-SIM-0001");
    EXPECT_EQ(Records("identified").size(), 2u); // before the upload, and the new firmware's

    ASSERT_TRUE(session_->StartUpload(Path("a.img")));
    session_->AbortUpload();
    ASSERT_EQ(Records("upload").size(), 2u);
    EXPECT_EQ(Records("upload")[1]["result"].toString(), "aborted");
    EXPECT_TRUE(Records("upload")[1]["firmware_after"].isNull());
}

} // namespace
} // namespace fk::test

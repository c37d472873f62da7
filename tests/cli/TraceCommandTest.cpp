// `ferrovan ... --trace FILE`: what the command did and showed, read back from the trace; a
// trace file that cannot be opened stops the command before it touches the device.
#include "TraceReader.h"
#include "cli/Tool.h"
#include "session/FirmwareImage.h"
#include "sim/SimController.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>

namespace fk {
namespace {

class TraceCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        sim_ = std::make_unique<TSimController>(TSimOptions{}, log_);
        ASSERT_TRUE(sim_->OpenPseudoTerminal());
        ASSERT_TRUE(sim_->Start());
    }
    int Run(const std::vector<std::string>& args)
    {
        err_.str({});
        std::ostringstream out;
        return TTool(out, err_).Run(args);
    }
    std::string Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)).toStdString(); }

    QTemporaryDir dir_;
    TSimLog log_;
    std::unique_ptr<TSimController> sim_;
    std::ostringstream err_;
};

TEST_F(TraceCommandTest, InfoTracesPacketsStatesAndStatuses)
{
    ASSERT_EQ(Run({"info", sim_->PortPath(), "--trace", Path("info.jsonl")}), exitOk) << err_.str();
    const test::TTraceReader trace(Path("info.jsonl"));
    ASSERT_TRUE(trace.Valid()) << trace.Error();
    EXPECT_EQ(trace.Lines().front().value("event").toString(), "start");
    EXPECT_EQ(trace.Lines().back().value("event").toString(), "exit");
    EXPECT_EQ(trace.Lines().back().value("status").toInt(), exitOk);
    const QStringList states = trace.States();
    ASSERT_GE(states.size(), 2);
    EXPECT_EQ(states.mid(0, 2), (QStringList{"identifying/none", "connected/none"}));
    const QStringList statuses = trace.Statuses();
    EXPECT_EQ(statuses.value(0), QString::fromStdString("Opening: " + sim_->PortPath()));
    EXPECT_TRUE(statuses.contains("Connected")) << trace.Raw().toStdString();
    const QStringList sent = trace.Field("tx", "name"), received = trace.Field("rx", "name");
    for (const char* name : {"dcDeviceInfo", "dcFirmwareInfo", "dcParameters"}) {
        EXPECT_TRUE(sent.contains(name)) << name;
        EXPECT_TRUE(received.contains(name)) << name;
    }
    EXPECT_EQ(trace.Field("port", "action").mid(0, 1), QStringList{"opened"});
}

TEST_F(TraceCommandTest, FlashTracesTheUploadStates)
{
    const TByteString payload(600, 0x5A);
    TByteString image;
    ASSERT_TRUE(TFirmwareImage::Build(TSimOptions().Identifier, payload.data(), payload.size(), image));
    const std::string imagePath = Path("fw.img");
    std::ofstream(imagePath, std::ios::binary).write(reinterpret_cast<const char*>(image.data()),
                                                     std::streamsize(image.size()));
    ASSERT_EQ(Run({"flash", sim_->PortPath(), imagePath, "--trace", Path("flash.jsonl")}), exitOk) << err_.str();
    const test::TTraceReader trace(Path("flash.jsonl"));
    ASSERT_TRUE(trace.Valid()) << trace.Error();
    const QStringList states = trace.States();
    const auto uploadIndex = [&](const QString& upload) {
        for (int i = 0; i < states.size(); ++i)
            if (states[i].endsWith("/" + upload))
                return i;
        return -1;
    };
    const int wait = uploadIndex("wait-bootloader"), transfer = uploadIndex("transfer");
    ASSERT_GE(wait, 0) << states.join(' ').toStdString();
    EXPECT_GT(transfer, wait) << states.join(' ').toStdString();
    // The upload ends (the device answers in its new application) before the tool closes the port.
    EXPECT_EQ(states.value(transfer + 1), "identifying/none") << states.join(' ').toStdString();
    EXPECT_EQ(states.back(), "none/none");
    EXPECT_TRUE(trace.Field("tx", "name").contains("dcFirmwareBlock"));
}

TEST_F(TraceCommandTest, ATraceFileThatCannotBeOpenedIsAUsageErrorAndLeavesTheDeviceAlone)
{
    const std::string bad = Path("missing/t.jsonl");
    EXPECT_EQ(Run({"set", sim_->PortPath(), "--open-time", "33", "--trace", bad}), exitUsage);
    EXPECT_EQ(err_.str(), "ferrovan set: cannot open the trace file " + bad + ": The device or file was not found.\n");
    EXPECT_EQ(sim_->RepliesSent(), 0u);
    EXPECT_NE(sim_->Parameters().OpenTime(), 33);
}

} // namespace
} // namespace fk

// save, apply and journal against the simulated controller: settings files round trip, the
// refusals that write nothing, and the service journal's record of every kind of change.
#include "cli/JournalCommand.h"
#include "cli/Tool.h"
#include "session/FirmwareImage.h"
#include "session/ServiceJournal.h"
#include "sim/SimController.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

namespace fk {
namespace {

class SettingsJournalTest : public ::testing::Test {
protected:
    void StartSim(const TSimOptions& options = {})
    {
        sim_ = std::make_unique<TSimController>(options, log_);
        ASSERT_TRUE(sim_->OpenPseudoTerminal());
        ASSERT_TRUE(sim_->Start());
    }

    int Run(std::vector<std::string> args)
    {
        out_.str({});
        err_.str({});
        TTool tool(out_, err_);
        return tool.Run(args);
    }

    std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }
    std::string Port() const { return sim_->PortPath(); }

    // The settings file saved from the simulator, with one member of it replaced.
    std::string Edited(const std::string& saved, const char* from, const char* to)
    {
        std::ifstream in(saved);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        const std::size_t at = text.find(from);
        EXPECT_NE(at, std::string::npos) << from;
        if (at != std::string::npos)
            text.replace(at, std::string(from).size(), to);
        std::ofstream(Path("edited.json")) << text;
        return Path("edited.json");
    }

    QTemporaryDir dir_;
    TSimLog log_;
    std::unique_ptr<TSimController> sim_;
    std::ostringstream out_, err_;
};

TEST_F(SettingsJournalTest, SaveChangeApplyReadsBackTheFilesValues)
{
    StartSim();
    const std::string file = Path("plant.json");
    ASSERT_EQ(Run({"save", Port(), file, "--json"}), exitOk) << err_.str();
    const QJsonObject saved = QJsonDocument::fromJson(out_.str().c_str()).object();
    EXPECT_EQ(saved["format"].toString(), "ferrovan-kest-settings");
    EXPECT_EQ(saved["device"].toObject()["serial_number"].toString(), "FK-SIM-0001");
    EXPECT_EQ(saved["parameters"].toObject()["break_time"].toObject()["value"].toInt(), 50);

    ASSERT_EQ(Run({"set", Port(), "--open-time", "30", "--break-time", "8"}), exitOk) << err_.str();
    ASSERT_EQ(Run({"apply", Port(), file}), exitOk) << err_.str();
    EXPECT_EQ(out_.str(), "open time 30 ms -> 20 ms\nbreak time 80 s -> 50 s\nApplied " + file
                              + ": the controller holds the file's settings.\n");
    EXPECT_EQ(sim_->Parameters().OpenTime(), 20);
    EXPECT_EQ(sim_->Parameters().BreakTime(), 5);
    ASSERT_EQ(Run({"apply", Port(), file}), exitOk) << err_.str();
    EXPECT_EQ(out_.str(), "The controller holds the file's settings already.\n");
}

TEST_F(SettingsJournalTest, DryRunAndRefusedFilesWriteNothing)
{
    StartSim();
    const std::string file = Path("plant.json");
    ASSERT_EQ(Run({"save", Port(), file}), exitOk) << err_.str();
    ASSERT_EQ(Run({"set", Port(), "--open-time", "30"}), exitOk) << err_.str();

    EXPECT_EQ(Run({"apply", Port(), file, "--dry-run"}), exitOk) << err_.str();
    EXPECT_EQ(out_.str(), "open time 30 ms -> 20 ms\nDry run: nothing was written.\n");
    EXPECT_EQ(Run({"apply", Port(), Edited(file, "\"identifier\": \"0x00060001\"", "\"identifier\": \"0x00070001\"")}),
              exitFailed);
    EXPECT_NE(err_.str().find("saved from a model 6 controller (0x00070001)"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"apply", Port(), Edited(file, "\"value\": 50", "\"value\": 600")}), exitUsage); // disagree
    EXPECT_NE(err_.str().find("is damaged"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"apply", Port(), Edited(Edited(file, "\"steps\": 5", "\"steps\": 60"), "\"value\": 50",
                                          "\"value\": 600")}),
              exitFailed);
    EXPECT_NE(err_.str().find("break time 600 s is outside this controller's range 10..300 s (firmware 1.2.0); "
                              "nothing was written"),
              std::string::npos)
        << err_.str();

    std::ofstream(Path("damaged.json")) << "{\"format\": \"ferrovan-kest-settings\", \"vers";
    EXPECT_EQ(Run({"apply", Port(), Path("damaged.json")}), exitUsage);
    EXPECT_NE(err_.str().find("is damaged: not JSON"), std::string::npos) << err_.str();
    std::ofstream(Path("foreign.json")) << "{\"format\": \"other-tool\", \"open\": 20}";
    EXPECT_EQ(Run({"apply", Port(), Path("foreign.json")}), exitUsage);
    EXPECT_NE(err_.str().find("is not a settings file of this program"), std::string::npos) << err_.str();
    EXPECT_EQ(Run({"apply", Port(), Path("missing.json")}), exitFailed);
    EXPECT_EQ(sim_->Parameters().OpenTime(), 30); // none of these wrote anything
    EXPECT_EQ(sim_->Parameters().BreakTime(), 5);
}

TEST_F(SettingsJournalTest, JournalRecordsEveryKindOfChangeAndPrintsItEscaped)
{
    TSimOptions o;
    o.SerialNumber = "=SN\x1b[31m,7";
    StartSim(o);
    const std::string file = Path("plant.json");
    ASSERT_EQ(Run({"save", Port(), file}), exitOk) << err_.str();
    ASSERT_EQ(Run({"set", Port(), "--open-time", "25"}), exitOk) << err_.str();
    ASSERT_EQ(Run({"vent", Port()}), exitOk) << err_.str();
    ASSERT_EQ(Run({"reboot", Port()}), exitOk) << err_.str();
    ASSERT_EQ(Run({"apply", Port(), file}), exitOk) << err_.str();
    TByteString image;
    ASSERT_TRUE(TFirmwareImage::Build(0x00060001, reinterpret_cast<const u8*>("payload"), 7, image));
    std::ofstream(Path("fw.img"), std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
    ASSERT_EQ(Run({"flash", Port(), Path("fw.img")}), exitOk) << err_.str();

    const std::string journal = std::string(std::getenv("XDG_DATA_HOME")) + "/ferrovan-kest/journal.jsonl";
    EXPECT_EQ(TServiceJournal::DefaultPath(), journal);
    ASSERT_EQ(Run({"journal", "--json"}), exitOk) << err_.str();
    std::vector<QJsonObject> records;
    std::istringstream lines(out_.str());
    for (std::string line; std::getline(lines, line);)
        records.push_back(QJsonDocument::fromJson(line.c_str()).object());
    std::string events;
    for (const QJsonObject& r : records)
        events += r["event"].toString().toStdString() + " ";
    // (flash may see the new firmware connected before it closes: one more identification)
    EXPECT_EQ(events.rfind("identified identified parameter identified venting identified restart identified parameter "
                           "settings-applied upload ",
                           0),
              0u)
        << events;
    ASSERT_GE(records.size(), 11u);
    EXPECT_EQ(records[2]["program"].toString(), "ferrovan set");
    EXPECT_EQ(records[2]["change"].toString(), "open time 20 ms -> 25 ms");
    EXPECT_EQ(records[2]["port"].toString().toStdString(), Port());
    EXPECT_EQ(records[9]["changes"].toString(), "open time 25 ms -> 20 ms");
    EXPECT_EQ(records[10]["result"].toString(), "ok");
    EXPECT_EQ(records[10]["firmware_after"].toString(), "1.2.0");
    EXPECT_EQ(records[10]["image_digest"].toString().size(), 32);
    EXPECT_EQ(records[0]["device"].toString(), QString::fromLatin1("=SN\x1b[31m,7"));

    ASSERT_EQ(Run({"journal", "--device", o.SerialNumber}), exitOk) << err_.str();
    EXPECT_EQ(out_.str().find('\x1b'), std::string::npos); // device text never reaches the terminal raw
    EXPECT_NE(out_.str().find("=SN\\e[31m,7  open time 20 ms -> 25 ms\n"), std::string::npos) << out_.str();
    ASSERT_EQ(Run({"journal", "--csv", "--since", "2000-01-01"}), exitOk) << err_.str();
    EXPECT_NE(out_.str().find(",\"'=SN\\e[31m,7\",parameter,open time 20 ms -> 25 ms\r\n"), std::string::npos)
        << out_.str();
    ASSERT_EQ(Run({"journal", "--since", "2999-01-01"}), exitOk);
    EXPECT_EQ(out_.str(), "No records match.\n");
    EXPECT_EQ(Run({"journal", "--since", "yesterday"}), exitUsage);
    EXPECT_EQ(Run({"journal", "--json", "--csv"}), exitUsage);
}

TEST_F(SettingsJournalTest, AnUnwritableJournalIsReportedOnceAndTheCommandGoesOn)
{
    StartSim();
    std::ofstream(Path("not-a-folder")) << "x";
    const std::string home = std::getenv("XDG_DATA_HOME");
    setenv("XDG_DATA_HOME", Path("not-a-folder").c_str(), 1);
    const int status = Run({"set", Port(), "--open-time", "25"});
    setenv("XDG_DATA_HOME", home.c_str(), 1);
    EXPECT_EQ(status, exitOk) << err_.str();
    EXPECT_EQ(sim_->Parameters().OpenTime(), 25);
    EXPECT_EQ(err_.str(), "ferrovan set: warning: the service journal " + Path("not-a-folder")
                              + "/ferrovan-kest/journal.jsonl cannot be written: open (Not a directory)\n");
}

} // namespace
} // namespace fk

// A trace of `ferrovan` replayed by the simulated controller: the replay answers as the traced
// controller did, down to its silence; a damaged trace is refused with the line at fault.
#include "cli/Tool.h"
#include "sim/SimController.h"
#include "sim/SimProgram.h"
#include "sim/SimReplay.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace fk {
namespace {

class ReplayTest : public ::testing::Test {
protected:
    std::string Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)).toStdString(); }
    // `ferrovan info --json` on a controller with options; its output without the port.
    std::string Info(const TSimOptions& options, const std::vector<std::string>& more = {}, int expect = exitOk)
    {
        TSimController sim(options, log_);
        EXPECT_TRUE(sim.OpenPseudoTerminal() && sim.Start());
        std::vector<std::string> args{"info", sim.PortPath(), "--json"};
        args.insert(args.end(), more.begin(), more.end());
        std::ostringstream out, err;
        EXPECT_EQ(TTool(out, err).Run(args), expect) << err.str();
        error_ = err.str();
        std::string text = out.str();
        const std::size_t port = text.find(sim.PortPath());
        return port == std::string::npos ? text : text.erase(port, sim.PortPath().size());
    }
    std::vector<std::string> Lines(const std::string& path)
    {
        std::ifstream in(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }
    void Write(const std::string& path, const std::vector<std::string>& lines, bool lastComplete = true)
    {
        std::ofstream out(path, std::ios::trunc);
        for (std::size_t i = 0; i < lines.size(); ++i)
            out << lines[i] << (i + 1 < lines.size() || lastComplete ? "\n" : "");
    }

    QTemporaryDir dir_;
    TSimLog log_;
    std::string error_;
};

TEST_F(ReplayTest, UnusualIdentityAndParametersReplayExactly)
{
    TSimOptions odd;
    odd.Identifier = 0x00061234;
    odd.SerialNumber = std::string("S/N,\"7\"\x01", 8);
    odd.InfoText = "Boiler house";
    odd.Version[0] = 9;
    odd.Version[1] = 1;
    odd.Version[2] = 77;
    odd.BuildYear = 2099;
    odd.BuildMonth = 12;
    odd.BuildDay = 31;
    odd.BlockSize = 100;
    odd.BlockCount = 3;
    odd.OpenTime = 49;
    odd.BreakTime = 88;
    const std::string traced = Info(odd, {"--trace", Path("odd.jsonl")});
    ASSERT_NE(traced.find("\"open_time\":49"), std::string::npos) << traced;

    TSimReplay replay;
    ASSERT_TRUE(replay.Load(Path("odd.jsonl"))) << replay.Error();
    TSimOptions replayed;
    replay.Apply(replayed);
    EXPECT_EQ(Info(replayed), traced);
    EXPECT_EQ(replayed.SilentFrom, 0u);
    EXPECT_EQ(replayed.LateFrom, 0u);
    EXPECT_EQ(replay.Notes().size(), 3u); // device information, firmware description, parameters
}

TEST_F(ReplayTest, ASilenceIsReplayedAtTheSameRequest)
{
    ASSERT_NE(Info(TSimOptions{}, {"--trace", Path("ok.jsonl")}).find("\"state\":\"connected\""), std::string::npos);
    // The controller that fell silent at the parameter request: its reply is gone, the
    // request was sent again and not answered either.
    std::vector<std::string> lines, kept;
    for (const std::string& line : Lines(Path("ok.jsonl")))
        if (line.find("\"event\":\"exit\"") == std::string::npos)
            lines.push_back(line);
    std::string parameterRequest;
    for (const std::string& line : lines) {
        const bool parameters = line.find("\"name\":\"dcParameters\"") != std::string::npos;
        if (parameters && line.find("\"event\":\"rx\"") != std::string::npos)
            break;
        if (parameters)
            parameterRequest = line;
        kept.push_back(line);
    }
    ASSERT_FALSE(parameterRequest.empty());
    kept.push_back(parameterRequest.replace(parameterRequest.find("\"time\":") + 7, 1, "9"));
    Write(Path("silent.jsonl"), kept);

    TSimReplay replay;
    ASSERT_TRUE(replay.Load(Path("silent.jsonl"))) << replay.Error();
    TSimOptions replayed;
    replay.Apply(replayed);
    EXPECT_EQ(replayed.SilentFrom, 3u); // device information, firmware description, then parameters
    Info(replayed, {"--timeout", "2"}, exitFailed);
    EXPECT_NE(error_.find("Connection lost: the device stopped answering"), std::string::npos) << error_;
}

TEST_F(ReplayTest, LateRepliesAreReplayedLate)
{
    TSimOptions slow;
    slow.ReplyDelayMs = 150;
    Info(slow, {"--trace", Path("slow.jsonl")});
    TSimReplay replay;
    ASSERT_TRUE(replay.Load(Path("slow.jsonl"))) << replay.Error();
    TSimOptions replayed;
    replay.Apply(replayed);
    EXPECT_EQ(replayed.LateFrom, 1u);
    EXPECT_GE(replayed.LateMs, 150u);
    EXPECT_EQ(replayed.SilentFrom, 0u);
}

TEST_F(ReplayTest, ADamagedTraceIsRefusedWithItsLine)
{
    Info(TSimOptions{}, {"--trace", Path("ok.jsonl")});
    std::vector<std::string> lines = Lines(Path("ok.jsonl"));
    ASSERT_GT(lines.size(), 6u);
    auto refusal = [&](const char* name) {
        std::ostringstream out, err;
        EXPECT_EQ(TSimProgram(out, err).Run({"controller", "--replay", Path(name), "--quiet"}), 1);
        return err.str();
    };

    std::vector<std::string> cut(lines.begin(), lines.begin() + 5);
    cut.back().resize(cut.back().size() / 2);
    Write(Path("cut.jsonl"), cut, false);
    EXPECT_NE(refusal("cut.jsonl").find(": line 5: cut short"), std::string::npos) << refusal("cut.jsonl");

    std::vector<std::string> invalid = lines;
    invalid[3] = invalid[3].substr(0, invalid[3].size() - 1) + ",}";
    Write(Path("invalid.jsonl"), invalid);
    EXPECT_NE(refusal("invalid.jsonl").find(": line 4: not valid JSON"), std::string::npos);

    Write(Path("foreign.jsonl"), {"[Desktop Entry]", "Name=Ferrovan"});
    EXPECT_NE(refusal("foreign.jsonl").find(": line 1: not valid JSON"), std::string::npos);
    Write(Path("other.jsonl"), {"{\"time\":0.500,\"event\":\"start\"}", "{\"level\":\"info\",\"msg\":\"hello\"}"});
    EXPECT_NE(refusal("other.jsonl").find(": line 2: not a trace line"), std::string::npos);
    Write(Path("quiet.jsonl"), {lines.front()});
    EXPECT_NE(refusal("quiet.jsonl").find("no packet sent to or received from a controller"), std::string::npos);
}

} // namespace
} // namespace fk

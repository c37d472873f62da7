// ferrovan-sim's command line: commands, options and wrong usage.
#include "sim/SimProgram.h"
#include "session/FirmwareImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace fk {
namespace {

int RunSim(const std::vector<std::string>& args, std::string& out, std::string& err)
{
    std::ostringstream o, e;
    const int status = TSimProgram(o, e).Run(args);
    out = o.str();
    err = e.str();
    return status;
}

TEST(SimProgramTest, WrongUsageExitsWithTwoAndSaysWhy)
{
    std::string out, err;
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "a command is needed"},
        {{"bogus"}, "unknown command 'bogus'"},
        {{"controller", "--nope"}, "unknown option '--nope'"},
        {{"controller", "--block-size"}, "needs a value"},
        {{"controller", "--block-size", "0"}, "'0' is not a number 1..65525"},
        {{"controller", "--baud=fast"}, "'fast' is not"},
        {{"controller", "--dedupe=1"}, "takes no value"},
        {{"controller", "--firmware-version", "1.2"}, "three numbers"},
        {{"controller", "--build-date", "2024-13-01"}, "date"},
        {{"controller", "--serial", std::string(33, 'x')}, "at most 32"},
        {{"controller", "stray"}, "unexpected argument 'stray'"},
        {{"controller", "--line-fd", "2"}, "an open descriptor from 3 on"},
        {{"controller", "--line-fd", "999"}, "an open descriptor from 3 on"},
    };
    for (const auto& [args, message] : cases) {
        EXPECT_EQ(RunSim(args, out, err), 2) << err;
        EXPECT_NE(err.find(message), std::string::npos) << err;
        EXPECT_TRUE(out.empty());
    }
    const std::vector<std::pair<std::vector<std::string>, std::string>> moduleCases = {
        {{"module", "--count", "0"}, "1..250"},
        {{"module", "--address", "10.0.0.1"}, "a loopback address"},
        {{"module", "--name", "a,b"}, "without a comma"},
        {{"module", "--network", "Yard"}, "signal in dBm"},
    };
    for (const auto& [args, message] : moduleCases) {
        EXPECT_EQ(RunSim(args, out, err), 2) << err;
        EXPECT_NE(err.find(message), std::string::npos) << err;
    }
}

TEST(SimProgramTest, OptionsFillTheDeviceRecord)
{
    TSimProgram::TControllerSettings s;
    std::string error;
    ASSERT_TRUE(TSimProgram::ParseController({"--identifier", "0x01020304", "--model", "9", "--firmware-version",
                                              "4.0.1", "--build-date=2030-02-03", "--bootloader", "--baud",
                                              "19200", "--drop-every", "4", "--tty", "/dev/ttyS9"},
                                             s, error))
        << error;
    EXPECT_EQ(s.Options.Identifier, 0x01090304u);
    EXPECT_EQ(s.Options.Version[1], 0);
    EXPECT_EQ(s.Options.BuildYear, 2030u);
    EXPECT_EQ(s.Options.BuildDay, 3);
    EXPECT_TRUE(s.Options.StartInBootloader);
    EXPECT_EQ(s.Options.Baud, 19200u);
    EXPECT_EQ(s.Options.DropEvery, 4u);
    EXPECT_EQ(s.Tty, "/dev/ttyS9");

    std::string out, err;
    EXPECT_EQ(RunSim({"controller", "--help"}, out, err), 0);
    for (const char* name : {"--tty", "--dedupe", "--hangup-after", "--garble-every", "--expect-image",
                             "--dump-firmware", "--log"})
        EXPECT_NE(out.find(name), std::string::npos) << name;
}

TEST(SimProgramTest, ExpectImageTakesThePayloadOfAnImageThatLoads)
{
    const std::string path = ::testing::TempDir() + "sim-expect.img";
    const TByteString payload = {1, 2, 3, 4, 5};
    TByteString image;
    ASSERT_TRUE(TFirmwareImage::Build(0x00060001, payload.data(), payload.size(), image));
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    TSimProgram::TControllerSettings s;
    std::string error;
    ASSERT_TRUE(TSimProgram::ParseController({"--expect-image", path}, s, error)) << error;
    EXPECT_EQ(s.Options.ExpectedFirmware, payload);

    image.back() ^= 1; // the digest no longer matches
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));
    std::string out, err;
    EXPECT_EQ(RunSim({"controller", "--expect-image", path}, out, err), 2);
    EXPECT_NE(err.find("a firmware image file that loads"), std::string::npos) << err;
    std::remove(path.c_str());
}

} // namespace
} // namespace fk

// The tool's help, and how it prints texts that come from modules.
#include "cli/ModuleCommand.h"
#include "cli/Tool.h"

#include <gtest/gtest.h>

#include <sstream>

namespace fk {
namespace {

const char* const Commands[] = {"ports",   "info",      "set",   "vent",       "reboot",     "modules",
                                "module-ap", "flash", "image-info", "make-image", "help"};

TEST(Tool, HelpAfterEveryCommandShowsItsUsage)
{
    for (const char* command : Commands) {
        for (const char* help : {"--help", "-h"}) {
            std::ostringstream out, err;
            // Arguments that would otherwise be used: a port, an address, a file.
            EXPECT_EQ(TTool(out, err).Run({command, "/dev/ttyFERROVAN-none", help, "--json"}), exitOk)
                << command << " " << help << ": " << err.str();
            EXPECT_EQ(out.str().rfind(std::string("usage: ferrovan ") + command, 0), 0u) << command << "\n" << out.str();
            EXPECT_EQ(out.str(), TTool::CommandUsage(command));
            EXPECT_TRUE(err.str().empty()) << command << ": " << err.str();
        }
        std::ostringstream out, err;
        EXPECT_EQ(TTool(out, err).Run({"help", command}), exitOk);
        EXPECT_EQ(out.str(), TTool::CommandUsage(command));
    }
    std::ostringstream out, err;
    EXPECT_EQ(TTool(out, err).Run({"help", "bogus"}), exitUsage);
    EXPECT_EQ(TTool(out, err).Run({"--help"}), exitOk);
    EXPECT_EQ(out.str(), TTool::Usage());
    // Every option a command takes is in its usage, and --stay is in the overview too.
    for (const char* command : Commands)
        for (const TOptionSpec& o : TTool::Options(command))
            EXPECT_NE(TTool::CommandUsage(command).find("--" + o.name), std::string::npos) << command << " --" << o.name;
    EXPECT_NE(TTool::Usage().find("--stay SECONDS"), std::string::npos);
    EXPECT_NE(TTool::CommandUsage("set").find("tens of seconds"), std::string::npos);
}

TEST(Tool, ModuleTextsAreDecodedAndEscaped)
{
    TKestConnectStatus m("127.0.0.2", "", Id_IPv4);
    m.Config.Name = "\x1B[2JMod\xEA\x7F";
    m.Config.Version = "1.0";
    m.Config.AccessPoint.SSID = "Caf\xE9\n";
    m.Networks.push_back({});
    m.Networks.back().SSID = "\x9B" "31m\xC6";
    m.Networks.back().Signal = -40;
    const TKestConnectStatusList modules{m};

    const TAnsiCodePage western(1252), cyrillic(1251);
    const std::string json = TModuleCommand::ModulesJson(modules, TDeviceText(western));
    EXPECT_NE(json.find("\"name\":\"\\u001b[2JModê\\u007f\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"ssid\":\"Café\\n\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"ssid\":\"›31mÆ\""), std::string::npos) << json; // 0x9B is "›" in 1252, not CSI
    EXPECT_NE(TModuleCommand::ModulesJson(modules, TDeviceText(cyrillic)).find("\"ssid\":\"›31mЖ\""),
              std::string::npos);

    const std::string text = TModuleCommand::ModulesText(modules, TDeviceText(western));
    EXPECT_EQ(text.find('\x1B'), std::string::npos) << text;
    EXPECT_NE(text.find("\\e[2JModê\\x7F"), std::string::npos) << text;
    EXPECT_NE(text.find("\"Café\\n\""), std::string::npos) << text;
}

TEST(Tool, ModuleAccessPointMustFitTheCodePage)
{
    std::ostringstream out, err;
    TTool tool(out, err);
    tool.SetCodePage(1252);
    EXPECT_EQ(tool.Run({"module-ap", "127.0.0.254", "--ssid", "Жук", "--timeout", "0.1"}), exitUsage);
    EXPECT_NE(err.str().find("U+0416"), std::string::npos) << err.str();
    EXPECT_NE(err.str().find("1252"), std::string::npos);
}

} // namespace
} // namespace fk

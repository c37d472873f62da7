// Module commands and replies in the diagnostic trace, never with a pass phrase: neither the
// one the user gives to a module nor the one a module reports in its configuration.
#include "ModuleTestUtil.h"
#include "TraceReader.h"
#include "cli/Tool.h"
#include "module/ModuleReply.h"
#include "sim/SimModule.h"

#include <QTemporaryDir>

#include <sstream>

namespace fk::test {
namespace {

AnsiString Hidden(std::string_view text)
{
    return TModuleReply::WithoutPassPhrase(reinterpret_cast<const u8*>(text.data()), text.size());
}

TEST(ModuleTrace, PassPhrasesAreHiddenFromCommandsAndConfigurationReplies)
{
    EXPECT_EQ(Hidden("NEWAPN,Barn,open sesame\r"), "NEWAPN,Barn,***\r");
    EXPECT_EQ(Hidden("NEWAPN,Barn,\r"), "NEWAPN,Barn,***\r"); // not even whether there is one
    EXPECT_EQ(Hidden("NEWAPN,oops"), "NEWAPN,***");
    EXPECT_EQ(Hidden(std::string_view("KCCONF,1.0,Boiler,Barn,secret\0", 30)),
              std::string("KCCONF,1.0,Boiler,Barn,***\0", 27));
    EXPECT_EQ(Hidden("KCCONF,1.0,Boiler,Barn,secret,0.0.0.0,1"), "KCCONF,1.0,Boiler,Barn,***,0.0.0.0,1");
    EXPECT_EQ(Hidden("APLIST,Barn,-40"), "APLIST,Barn,-40");
    EXPECT_EQ(Hidden("NEWAPN"), "NEWAPN");
}

TEST(ModuleTrace, TheToolTracesModuleCommandsWithoutThePassPhrase)
{
    QTemporaryDir dir;
    const u16 udpPort = FreePort(), tcpPort = FreePort();
    TSimModuleOptions o;
    o.UDPPort = udpPort;
    o.TCPPort = tcpPort;
    o.AnnounceIntervalMs = 100;
    TSimLog log;
    TSimModule module(o, log);
    ASSERT_TRUE(module.Open());
    ASSERT_TRUE(module.Start());
    const std::string secret = "Sesame-42";
    const auto run = [&](std::vector<std::string> args, const std::string& trace) {
        args.insert(args.end(), {"--udp-port", std::to_string(udpPort), "--module-tcp-port", std::to_string(tcpPort),
                                 "--trace", trace});
        std::ostringstream out, err;
        const int status = TTool(out, err).Run(args);
        EXPECT_EQ(status, exitOk) << err.str();
    };
    const std::string setTrace = dir.filePath("ap.jsonl").toStdString();
    const std::string listTrace = dir.filePath("modules.jsonl").toStdString();
    run({"module-ap", "127.0.0.2", "--ssid", "Barn", "--password", secret}, setTrace);
    ASSERT_EQ(module.AccessPointPassword(), secret);
    run({"modules", "--listen", "1"}, listTrace); // the configuration reply carries the pass phrase

    const TTraceReader set(setTrace), list(listTrace);
    ASSERT_TRUE(set.Valid()) << set.Error();
    ASSERT_TRUE(list.Valid()) << list.Error();
    EXPECT_TRUE(set.Field("module-tx", "text").contains("NEWAPN,Barn,***\r")) << set.Raw().toStdString();
    EXPECT_EQ(set.Field("module-rx", "text"), QStringList{"NEWAPN"});
    bool configuration = false;
    for (const QString& text : list.Field("module-rx", "text"))
        configuration = configuration || (text.startsWith("KCCONF,") && text.contains(",Barn,***,"));
    EXPECT_TRUE(configuration) << list.Raw().toStdString();
    EXPECT_FALSE(set.Contains(QByteArray::fromStdString(secret)));
    EXPECT_FALSE(list.Contains(QByteArray::fromStdString(secret)));
}

} // namespace
} // namespace fk::test

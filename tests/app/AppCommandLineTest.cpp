// The configurator's command line and its keyboard shortcuts, without a window.
#include "app/AppCommandLine.h"
#include "app/KeyTracker.h"

#include <QtCore/qnamespace.h>
#include <gtest/gtest.h>

namespace fk {
namespace {

TEST(AppCommandLine, PortsConnectAndScreenshots)
{
    TAppCommandLine c;
    String error;
    ASSERT_TRUE(TAppCommandLine::Parse({"--port", "/dev/pts/3=Simulated controller", "--port=/tmp/ttyV0",
                                        "--connect", "/dev/pts/3", "--screenshot-to=out", "--quit-after-connect"},
                                       c, error))
        << error;
    ASSERT_EQ(c.Ports.size(), 2u);
    EXPECT_EQ(c.Ports[0].Path, "/dev/pts/3");
    EXPECT_EQ(c.Ports[0].Description, "Simulated controller");
    EXPECT_EQ(c.Ports[1].Path, "/tmp/ttyV0");
    EXPECT_EQ(c.Ports[1].Description, "");
    EXPECT_EQ(c.Connect, String("/dev/pts/3"));
    EXPECT_EQ(c.ScreenshotDir, "out");
    EXPECT_TRUE(c.QuitAfterConnect);
}

TEST(AppCommandLine, ModulePortsAsTheToolHasThem)
{
    TAppCommandLine c;
    String error;
    ASSERT_TRUE(TAppCommandLine::Parse({"--module-tcp-port", "9090", "--udp-port=65535"}, c, error)) << error;
    EXPECT_EQ(c.ModuleTCPPort, 9090);
    EXPECT_EQ(c.UDPPort, 65535);
    for (const char* bad : {"0", "65536", "-1", "9a", "", "123456"}) {
        TAppCommandLine d;
        EXPECT_FALSE(TAppCommandLine::Parse({"--udp-port", bad}, d, error)) << bad;
        EXPECT_FALSE(TAppCommandLine::Parse({"--module-tcp-port", bad}, d, error)) << bad;
        EXPECT_EQ(d.UDPPort, 0);
    }
    EXPECT_FALSE(TAppCommandLine::Parse({"--module-tcp-port"}, c, error));
}

TEST(AppCommandLine, BadArgumentsAreRefusedAndChangeNothing)
{
    const std::vector<std::vector<String>> bad = {
        {"--port"}, {"--port", "=desc"}, {"--connect"}, {"--connect", ""}, {"--connect", "a", "--connect", "b"},
        {"--screenshot-to"}, {"--bogus"}, {"ttyS0"},
    };
    for (const auto& args : bad) {
        TAppCommandLine c;
        c.ScreenshotDir = "kept";
        String error;
        EXPECT_FALSE(TAppCommandLine::Parse(args, c, error)) << args[0];
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(c.ScreenshotDir, "kept");
    }
}

TEST(KeyTracker, EscPairsWithinTheIntervalAndLettersOnRelease)
{
    TKeyTracker keys;
    const auto click = [&](int key, std::int64_t t, bool mods = false) {
        keys.KeyDown(key);
        return keys.KeyUp(key, mods, t, 400);
    };
    EXPECT_EQ(click(Qt::Key_Escape, 1000), kaNone);
    EXPECT_EQ(click(Qt::Key_Escape, 1300), kaDisconnect);
    EXPECT_EQ(click(Qt::Key_Escape, 1400), kaNone); // a pair is not the start of the next
    EXPECT_EQ(click(Qt::Key_Escape, 2000), kaNone); // too late
    EXPECT_EQ(click(Qt::Key_X, 2100), kaNone);
    EXPECT_EQ(click(Qt::Key_Escape, 2200), kaNone); // Esc, X, Esc
    EXPECT_EQ(click(Qt::Key_Escape, 2300, true), kaNone); // with a modifier
    EXPECT_EQ(click(Qt::Key_Escape, 2400), kaNone);
    // A release of a key that was not the last pressed does nothing.
    keys.KeyDown(Qt::Key_A);
    keys.KeyDown(Qt::Key_P);
    EXPECT_EQ(keys.KeyUp(Qt::Key_A, false, 3000, 400), kaNone);
    EXPECT_EQ(click(Qt::Key_A, 3100), kaAbout);
    EXPECT_EQ(click(Qt::Key_P, 3200), kaPreferences);
    EXPECT_EQ(click(Qt::Key_S, 3300), kaWiring);
    EXPECT_EQ(click(Qt::Key_S, 3400, true), kaNone);
    EXPECT_EQ(click(Qt::Key_F1, 3500), kaManual);
}

} // namespace
} // namespace fk

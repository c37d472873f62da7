// The configurator's window on a Wayland compositor (run by run-under-weston.sh with
// QT_QPA_PLATFORM=wayland): it connects to the simulated controller, switches a skin and a
// language, takes an opacity and screen snapping (which Wayland leaves to the compositor, so the
// window skips them) and closes cleanly.
#include "AppTestHarness.h"
#include "app/ScreenSnap.h"

#include <QGuiApplication>
#include <QMenu>

namespace fk::test {
namespace {

TEST_F(MainFormTest, WindowOnWaylandConnectsSwitchesSkinAndLanguageAndCloses)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
    EXPECT_FALSE(TScreenSnap::PlatformPlacesWindows());
    StartSim();
    MakeForm();
    ConnectThroughWindow();

    // A skin of our own (the first entry is the platform's style), then Polish and back.
    auto* skins = form_->findChild<QMenu*>(QLatin1String(names::SkinMenu));
    ASSERT_NE(skins, nullptr);
    ASSERT_GE(skins->actions().size(), 2);
    skins->actions().at(1)->trigger();
    EXPECT_EQ(form_->Settings().Skin, 1);
    form_->findChild<QAction*>(QLatin1String(names::LanguageItems[1]))->trigger();
    EXPECT_EQ(Status(), QStringLiteral("Połączono"));
    form_->findChild<QAction*>(QLatin1String(names::LanguageItems[0]))->trigger();
    EXPECT_EQ(Status(), QStringLiteral("Connected"));

    // Opacity and snapping are preferences like any other; on Wayland they change nothing.
    TAppSettings settings = form_->Settings();
    settings.Opacity = 160;
    settings.Options |= optScreenSnap;
    form_->ApplySettings(settings);
    form_->move(form_->pos() + QPoint(5, 5));
    QTest::qWait(100);
    EXPECT_EQ(form_->Settings().Opacity, 160); // kept for a desktop that can fade windows

    ASSERT_TRUE(form_->close());
    ASSERT_TRUE(WaitFor([this] { return !form_->isVisible(); }));
}

} // namespace
} // namespace fk::test

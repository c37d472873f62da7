#include "controls/Spinner.h"
#include "controls/SpinnerButtons.h"
#include "ScreenshotUtil.h"

#include <QApplication>
#include <QCursor>
#include <QLineEdit>
#include <QLocale>
#include <QStyle>
#include <QStyleHints>
#include <QTest>
#include <QVBoxLayout>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace fk {
namespace {

using Events = std::vector<std::string>;

// A shown spinner whose events are written down in order.
class SpinnerWidget : public ::testing::Test {
protected:
    void SetUp() override { Make(); }
    void TearDown() override { QLocale::setDefault(savedLocale); }

    void Make()
    {
        spinner = std::make_unique<TSpinner>();
        spinner->OnScroll = TScrollEvent::Bind(this, [this](TObject* sender, TScrollCode code, int& p) {
            EXPECT_EQ(sender, static_cast<TObject*>(spinner.get()));
            events.push_back("scroll " + std::to_string(code) + " " + std::to_string(p));
        });
        spinner->OnChange = TNotifyEvent::Bind(this, [this](TObject*) {
            events.push_back("change " + std::to_string(spinner->Position()));
        });
        spinner->move(100, 100);
        spinner->show();
        spinner->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(spinner.get()));
    }

    Events Take()
    {
        Events out;
        out.swap(events);
        return out;
    }

    QWidget* Buttons() const { return spinner->Buttons(); }
    QPoint UpHalf() const { return QPoint(Buttons()->width() / 2, Buttons()->height() / 4); }
    QPoint Middle() const { return QPoint(Buttons()->width() / 2, Buttons()->height() / 2); }

    const QLocale savedLocale;
    std::unique_ptr<TSpinner> spinner;
    Events events;
};

TEST_F(SpinnerWidget, ButtonClickStepsOnceWithItsEvents)
{
    spinner->SetPosition(5);
    Take();
    QTest::mouseClick(Buttons(), Qt::LeftButton, Qt::NoModifier, UpHalf());
    EXPECT_EQ(spinner->Position(), 6);
    EXPECT_EQ(Take(), (Events{"scroll 0 6", "change 6", "scroll 5 6", "scroll 8 6"}));
    EXPECT_EQ(spinner->Edit()->text(), QStringLiteral("6"));
    const QPoint downHalf(Buttons()->width() / 2, Buttons()->height() * 3 / 4);
    QTest::mouseClick(Buttons(), Qt::LeftButton, Qt::NoModifier, downHalf);
    QTest::mouseClick(Buttons(), Qt::LeftButton, Qt::NoModifier, downHalf);
    EXPECT_EQ(spinner->Position(), 4);
    EXPECT_EQ(spinner->GetHolding(), 0u);

    // At the end of the range a click changes nothing and raises no OnChange.
    spinner->SetPosition(100);
    Take();
    QTest::mouseClick(Buttons(), Qt::LeftButton, Qt::NoModifier, UpHalf());
    EXPECT_EQ(Take(), (Events{"scroll 0 100", "scroll 5 100", "scroll 8 100"}));
}

TEST_F(SpinnerWidget, DragUpTwentyPixelsAtHalfSensitivity)
{
    const int threshold = QGuiApplication::styleHints()->startDragDistance();
    ASSERT_LT(threshold, 20);
    spinner->SetPosition(40);
    Take();
    const QPoint start = Middle();
    QTest::mousePress(Buttons(), Qt::LeftButton, Qt::NoModifier, start);
    // Pressing the lower half steps down first; the drag counts from before that step.
    for (int dy = 2; dy <= 20; dy += 2)
        QTest::mouseMove(Buttons(), start - QPoint(0, dy));
    QApplication::processEvents(); // any pointer move the drag made itself
    EXPECT_TRUE(spinner->Dragging());
    EXPECT_EQ(spinner->Position(), 50);
    QTest::mouseRelease(Buttons(), Qt::LeftButton, Qt::NoModifier, start - QPoint(0, 20));
    EXPECT_EQ(spinner->Position(), 50);
    EXPECT_FALSE(spinner->Dragging());
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr); // the normal pointer is back
    const Events e = Take();
    ASSERT_GE(e.size(), 4u);
    EXPECT_EQ(e.front(), "scroll 1 39");
    EXPECT_EQ(Events(e.end() - 2, e.end()), (Events{"scroll 4 50", "scroll 8 50"}));
}

TEST_F(SpinnerWidget, DragMovesThePointerToTheButtonsMiddle)
{
    spinner->SetPosition(40);
    const QPoint press(Middle().x(), 2); // upper half: steps up first
    QTest::mousePress(Buttons(), Qt::LeftButton, Qt::NoModifier, press);
    EXPECT_EQ(spinner->Position(), 41);
    EXPECT_TRUE(spinner->Edit()->hasFocus());
    QTest::mouseMove(Buttons(), press - QPoint(0, 12));
    ASSERT_TRUE(spinner->Dragging());
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::SplitVCursor);
    EXPECT_EQ(spinner->Position(), 46); // 12 pixels at 0.5 from 40
    // The pointer now sits as far above the middle as it was moved above the press point.
    const QPoint warped = Buttons()->mapFromGlobal(QCursor::pos(Buttons()->screen()));
    EXPECT_EQ(warped.y(), Middle().y() - 12);
    QApplication::processEvents(); // the move the platform reports for the jump changes nothing
    EXPECT_EQ(spinner->Position(), 46);
    QTest::mouseMove(Buttons(), warped - QPoint(0, 8));
    EXPECT_EQ(spinner->Position(), 50);
    QTest::mouseRelease(Buttons(), Qt::LeftButton, Qt::NoModifier, warped - QPoint(0, 8));
    EXPECT_EQ(spinner->Position(), 50);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

TEST_F(SpinnerWidget, RightClickResetsAndCancelsADrag)
{
    spinner->SetDefaultPosition(7);
    spinner->SetPosition(30);
    QTest::mouseClick(Buttons(), Qt::RightButton, Qt::NoModifier, Middle());
    EXPECT_EQ(spinner->Position(), 7);

    spinner->SetPosition(30);
    const QPoint start = Middle();
    QTest::mousePress(Buttons(), Qt::LeftButton, Qt::NoModifier, start);
    for (int dy = 5; dy <= 40; dy += 5)
        QTest::mouseMove(Buttons(), start - QPoint(0, dy));
    EXPECT_GT(spinner->Position(), 40);
    QTest::mousePress(Buttons(), Qt::RightButton, Qt::NoModifier, start - QPoint(0, 40));
    QTest::mouseRelease(Buttons(), Qt::LeftButton, Qt::NoModifier, start - QPoint(0, 40));
    EXPECT_EQ(spinner->Position(), 30);
    QTest::mouseRelease(Buttons(), Qt::RightButton, Qt::NoModifier, start - QPoint(0, 40));
    EXPECT_EQ(spinner->Position(), 30);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// A held button that loses its spinner (disabled, hidden) stops stepping and ends its hold
// with one end of scroll; its late release does nothing.
TEST_F(SpinnerWidget, AHeldButtonLetsGoWhenTheSpinnerIsDisabledOrHidden)
{
    const int repeat = Buttons()->style()->styleHint(QStyle::SH_SpinBox_ClickAutoRepeatThreshold) + 100;
    for (const bool hide : {false, true}) {
        SCOPED_TRACE(hide ? "hidden" : "disabled");
        spinner->SetPosition(5);
        Take();
        QTest::mousePress(Buttons(), Qt::LeftButton, Qt::NoModifier, UpHalf());
        if (hide)
            spinner->hide();
        else
            spinner->setEnabled(false);
        const Events ended = Take();
        ASSERT_FALSE(ended.empty());
        EXPECT_EQ(ended.back(), "scroll 8 6");
        EXPECT_EQ(spinner->GetHolding(), 0u);
        QTest::qWait(repeat);
        spinner->setEnabled(true);
        spinner->show();
        QTest::qWait(repeat);
        EXPECT_EQ(spinner->Position(), 6);
        QTest::mouseRelease(Buttons(), Qt::LeftButton, Qt::NoModifier, UpHalf());
        EXPECT_EQ(Take(), Events{});
    }
}

TEST_F(SpinnerWidget, KeysInTheEdit)
{
    spinner->Edit()->setFocus();
    spinner->SetPosition(10);
    Take();
    QTest::keyPress(spinner->Edit(), Qt::Key_Up);
    EXPECT_EQ(Take(), (Events{"scroll 0 11", "change 11"}));
    QTest::keyRelease(spinner->Edit(), Qt::Key_Up);
    EXPECT_EQ(Take(), (Events{"scroll 8 11"}));
    QTest::keyClick(spinner->Edit(), Qt::Key_PageDown);
    EXPECT_EQ(spinner->Position(), 1);
    QTest::keyClick(spinner->Edit(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(spinner->Position(), 0);

    // Typing: letters are dropped, Enter takes the number and selects it.
    spinner->Edit()->selectAll();
    QTest::keyClicks(spinner->Edit(), QStringLiteral("4x2"));
    EXPECT_EQ(spinner->Edit()->text(), QStringLiteral("42"));
    EXPECT_EQ(spinner->Position(), 0);
    EXPECT_TRUE(spinner->Modified());
    QTest::keyClick(spinner->Edit(), Qt::Key_Return);
    EXPECT_EQ(spinner->Position(), 42);
    EXPECT_TRUE(spinner->Edit()->hasSelectedText());
    // Escape brings the shown value back.
    QTest::keyClicks(spinner->Edit(), QStringLiteral("9"));
    QTest::keyClick(spinner->Edit(), Qt::Key_Escape);
    EXPECT_EQ(spinner->Edit()->text(), QStringLiteral("42"));
    EXPECT_EQ(spinner->Text(), QStringLiteral("42"));
    spinner->SetText(QStringLiteral("17"));
    EXPECT_EQ(spinner->Position(), 17);
}

TEST_F(SpinnerWidget, DecimalsUnderACommaLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Make();
    spinner->SetValueMultiplier(0.1);
    spinner->SetFormat("0.0");
    spinner->SetPosition(15);
    EXPECT_EQ(spinner->Edit()->text(), QStringLiteral("1,5"));
    spinner->Edit()->setFocus();
    spinner->Edit()->selectAll();
    QTest::keyClicks(spinner->Edit(), QStringLiteral("2.3,"));
    EXPECT_EQ(spinner->Edit()->text(), QStringLiteral("2,3")); // full stop turned, second one refused
    QTest::keyClick(spinner->Edit(), Qt::Key_Enter);
    EXPECT_EQ(spinner->Position(), 23);
}

TEST_F(SpinnerWidget, DecimalsUnderAFullStopLocale)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    Make();
    spinner->SetValueMultiplier(0.1);
    spinner->SetFormat("0.0");
    spinner->SetPosition(15);
    EXPECT_EQ(spinner->Edit()->text(), QStringLiteral("1.5"));
    spinner->Edit()->setFocus();
    spinner->Edit()->selectAll();
    QTest::keyClicks(spinner->Edit(), QStringLiteral("3,5"));
    EXPECT_EQ(spinner->Edit()->text(), QStringLiteral("3.5"));
    // Leaving the edit takes the typed value.
    spinner->Edit()->clearFocus();
    EXPECT_EQ(spinner->Position(), 35);
}

TEST_F(SpinnerWidget, LayoutFollowsStyleAndAlignment)
{
    spinner->resize(90, 24);
    QApplication::processEvents();
    EXPECT_EQ(Buttons()->geometry(), QRect(72, 0, 18, 24));
    EXPECT_EQ(spinner->Edit()->geometry(), QRect(0, 0, 72, 24));
    spinner->SetAlignButton(udLeft);
    EXPECT_EQ(Buttons()->geometry(), QRect(0, 0, 18, 24));
    spinner->SetStyle(ssEdit);
    EXPECT_FALSE(Buttons()->isVisible());
    EXPECT_EQ(spinner->Edit()->geometry(), QRect(0, 0, 90, 24));
    EXPECT_EQ(spinner->sizeHint().width(), 3 * spinner->sizeHint().height());
    spinner->setEnabled(false);
    spinner->SpinClick(scLineUp, 1);
    EXPECT_EQ(spinner->Position(), 0);
}

TEST(SpinnerScreenshot, SpinnersDrawLegibly)
{
    const QLocale savedLocale;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* plain = new TSpinner(&window);
    plain->SetPosition(42);
    auto* decimals = new TSpinner(&window);
    decimals->SetValueMultiplier(0.25);
    decimals->SetFormat("0.00");
    decimals->SetMin(-100);
    decimals->SetPosition(-7);
    decimals->SetAlignButton(udLeft);
    auto* wide = new TSpinner(&window);
    wide->SetMax(100000);
    wide->SetFormat("#,##0");
    wide->SetPosition(12345);
    wide->setMinimumWidth(wide->sizeHint().width() * 2);
    auto* disabled = new TSpinner(&window);
    disabled->SetPosition(3);
    disabled->setEnabled(false);
    auto* editOnly = new TSpinner(&window);
    editOnly->SetStyle(ssEdit);
    editOnly->SetPosition(8);
    for (QWidget* w : {static_cast<QWidget*>(plain), static_cast<QWidget*>(decimals), static_cast<QWidget*>(wide),
                       static_cast<QWidget*>(disabled), static_cast<QWidget*>(editOnly)})
        layout->addWidget(w, 0, Qt::AlignLeft);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(decimals->Edit()->text(), QStringLiteral("-1.75"));
    EXPECT_EQ(wide->Edit()->text(), QStringLiteral("12,345"));
    // Nothing is clipped: every text fits its edit.
    for (TSpinner* s : {plain, decimals, wide, disabled, editOnly}) {
        const QLineEdit* edit = s->Edit();
        EXPECT_LE(edit->fontMetrics().horizontalAdvance(edit->text()), edit->contentsRect().width() - 6)
            << edit->text().toStdString();
        EXPECT_GE(edit->height(), edit->minimumSizeHint().height());
    }
    QTest::mousePress(plain->Buttons(), Qt::LeftButton, Qt::NoModifier, QPoint(plain->Buttons()->width() / 2, 3));
    EXPECT_FALSE(test::SaveScreenshot(window, QStringLiteral("controls"), QStringLiteral("spinner")).isEmpty());
    QTest::mouseRelease(plain->Buttons(), Qt::LeftButton, Qt::NoModifier, QPoint(plain->Buttons()->width() / 2, 3));
    QLocale::setDefault(savedLocale);
}

} // namespace
} // namespace fk

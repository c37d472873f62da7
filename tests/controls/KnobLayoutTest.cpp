// Where a knob's parts go, and the pointer line of a face, without widgets.
#include "controls/KnobFaceGeometry.h"
#include "controls/KnobLayout.h"

#include <gtest/gtest.h>

#include <numbers>

namespace fk {
namespace {

TEST(KnobLayout, DefaultKnobPutsEditButtonsAndCaptionBesideTheFaces)
{
    TKnobLayout::TInput in;
    in.captionVisible = true;
    in.captionSize = QSize(30, 13);
    in.unitVisible = true;
    in.unitSize = QSize(12, 13);
    const auto r = TKnobLayout::Arrange(in);
    EXPECT_EQ(r.background, QRect(0, 0, 24, 24));
    EXPECT_EQ(r.knob, QRect(2, 2, 20, 20));
    EXPECT_EQ(r.edit, QRect(27, 1, 40, 21));     // 3 right of the faces, centred on them
    EXPECT_EQ(r.spin, QRect(67, 1, 15, 21));     // right of the edit box, same bottom
    EXPECT_EQ(r.unit, QRect(84, 7, 12, 13));     // 2 right of the buttons, 2 below centre
    EXPECT_EQ(r.caption, QRect(27, 24, 30, 13)); // 2 under the edit box
    EXPECT_EQ(r.size, QSize(96, 37));
}

TEST(KnobLayout, OddSparePixelGoesByTheZeroAnglesQuadrant)
{
    TKnobLayout::TInput in;
    in.knobSize = 19; // d = 5: top/left get 2 or 3
    const auto at = [&](double zero) {
        in.zeroAngle = zero;
        return TKnobLayout::Arrange(in).knob.topLeft();
    };
    EXPECT_EQ(at(90), QPoint(3, 3));   // 90 and above: both (d+1)/2
    EXPECT_EQ(at(45), QPoint(2, 3));   // 0..90: top (d+1)/2, left d/2
    EXPECT_EQ(at(-45), QPoint(2, 2));  // -90..0: both d/2
    EXPECT_EQ(at(-135), QPoint(3, 2)); // below -90: top d/2, left (d+1)/2
    EXPECT_EQ(at(270), QPoint(2, 2));  // 270 wraps to -90
}

TEST(KnobLayout, CaptionUnderTheFacesOrBesideTheEdit)
{
    TKnobLayout::TInput in;
    in.labelToKnob = true;
    in.captionVisible = true;
    in.captionSize = QSize(50, 13);
    auto r = TKnobLayout::Arrange(in);
    EXPECT_EQ(r.caption.topLeft(), QPoint(0, 26)); // under the faces
    // Without faces it sits left of the edit box, which moves right of it.
    in.backgroundVisible = in.knobVisible = false;
    r = TKnobLayout::Arrange(in);
    EXPECT_EQ(r.caption.topLeft(), QPoint(0, 4));
    EXPECT_EQ(r.edit.left(), 53);
    // EditLeft is the smallest left edge.
    in.editLeft = 80;
    EXPECT_EQ(TKnobLayout::Arrange(in).edit.left(), 80);
}

TEST(KnobLayout, EvenEditHeightGetsOddButtonsThatStayInside)
{
    TKnobLayout::TInput in;
    in.backgroundVisible = in.knobVisible = false;
    in.editHeight = 20;
    const auto r = TKnobLayout::Arrange(in);
    EXPECT_EQ(r.spin.height(), 21);
    EXPECT_EQ(r.spin.bottom(), r.edit.bottom());
    EXPECT_GE(r.spin.top(), 0);
    EXPECT_EQ(r.size, QSize(55, 21));
}

TEST(KnobFaceGeometry, PointerRunsFromTheRimTowardTheCentre)
{
    EXPECT_EQ(TKnobFaceGeometry::PointerLine(20, 20, 0), QLine(19, 10, 12, 10));
    EXPECT_EQ(TKnobFaceGeometry::PointerLine(20, 20, std::numbers::pi / 2), QLine(10, 1, 10, 7));
    EXPECT_EQ(TKnobFaceGeometry::PointerLine(24, 24, std::numbers::pi), QLine(1, 12, 9, 12));
}

} // namespace
} // namespace fk

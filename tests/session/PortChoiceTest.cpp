// The session's port choice: names found exactly, and remembered names dropped only while a
// row is selected.
#include "session/PortChoice.h"

#include <gtest/gtest.h>

namespace fk::test {
namespace {

TEST(PortChoice, FindsExactNamesAndForgetsStaleOnesOnlyWhileARowIsSelected)
{
    TPortChoice ports;
    ports.Add(TCommEnumerator::TCommPortInfo("/dev/ttyUSB0"));
    ports.Add(TCommEnumerator::TCommPortInfo("/dev/ttyUSB10"));
    EXPECT_EQ(ports.Find("/dev/ttyUSB1"), -1);
    EXPECT_EQ(ports.Find("/dev/ttyUSB10"), 1);
    EXPECT_TRUE(ports.Holds(1));
    EXPECT_FALSE(ports.Holds(2));
    EXPECT_FALSE(ports.Holds(-1));

    ports.SetCurrentPort("/dev/ttyUSB5");
    ports.SetConnectedPort("/dev/ttyUSB0");
    ports.ForgetStale(); // no row selected: an empty or unselected list forgets nothing
    EXPECT_EQ(ports.CurrentPort(), "/dev/ttyUSB5");
    ports.SetItemIndex(0);
    ports.ForgetStale();
    EXPECT_EQ(ports.CurrentPort(), "");
    EXPECT_EQ(ports.ConnectedPort(), "/dev/ttyUSB0");
}

} // namespace
} // namespace fk::test

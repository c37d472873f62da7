#include "ports/CommPort.h"
#include "ports/PortLock.h"
#include "ports/TermiosMapping.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

using namespace fk;

namespace {

TCommState Line(u32 baud, TSerialParity parity, u8 bits, TSerialStopBits stop)
{
    TCommState s{};
    s.Length = 28;
    s.BaudRate = baud;
    s.Parity = parity;
    s.DataBits = bits;
    s.StopBits = stop;
    s.Flags = fBinary | fParity;
    s.XonChar = 0x11;
    s.XoffChar = 0x13;
    return s;
}

termios2 Cooked()
{
    termios2 t{};
    t.c_iflag = ICRNL | IXON | BRKINT;
    t.c_oflag = OPOST | ONLCR;
    t.c_cflag = B38400 | CS7 | PARENB | HUPCL;
    t.c_lflag = ICANON | ECHO | ISIG;
    t.c_cc[VMIN] = 1;
    return t;
}

} // namespace

TEST(TermiosMapping, FramingAndRates)
{
    TTermiosMapping m;
    ASSERT_TRUE(TTermiosMapping::Map(Line(19200, sParityOdd, 8, sStopBits1), Cooked(), m));
    const termios2& t = m.Attributes;
    EXPECT_EQ(t.c_cflag & CBAUD, tcflag_t(B19200));
    EXPECT_EQ(t.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | PARODD | CMSPAR), tcflag_t(PARENB | PARODD));
    EXPECT_TRUE(t.c_iflag & INPCK);
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    EXPECT_TRUE(t.c_cflag & CREAD);
    EXPECT_TRUE(t.c_cflag & CLOCAL);
    EXPECT_TRUE(t.c_cflag & HUPCL); // bits we do not own are kept
    // Raw: no line editing, echo, signals or output processing.
    EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
    EXPECT_FALSE(t.c_iflag & (ICRNL | IXON | BRKINT));
    EXPECT_FALSE(t.c_oflag & OPOST);
    EXPECT_EQ(t.c_cc[VMIN], 0);

    struct {
        TSerialParity parity;
        tcflag_t bits;
    } parities[] = {{sParityNone, 0},
                    {sParityEven, PARENB},
                    {sParityMark, PARENB | PARODD | CMSPAR},
                    {sParitySpace, PARENB | CMSPAR}};
    for (auto p : parities) {
        ASSERT_TRUE(TTermiosMapping::Map(Line(9600, p.parity, 7, sStopBits2), Cooked(), m));
        EXPECT_EQ(m.Attributes.c_cflag & (PARENB | PARODD | CMSPAR), p.bits) << int(p.parity);
        EXPECT_EQ(m.Attributes.c_cflag & CSIZE, tcflag_t(CS7));
        EXPECT_TRUE(m.Attributes.c_cflag & CSTOPB);
    }
    ASSERT_TRUE(TTermiosMapping::Map(Line(9600, sParityNone, 5, sStopBits1_5), Cooked(), m));
    EXPECT_EQ(m.Attributes.c_cflag & CSIZE, tcflag_t(CS5));
    EXPECT_TRUE(m.Attributes.c_cflag & CSTOPB); // 1.5 becomes 2

    // A rate without a code goes as BOTHER with the exact speed, also for input.
    ASSERT_TRUE(TTermiosMapping::Map(Line(250000, sParityNone, 8, sStopBits1), Cooked(), m));
    EXPECT_EQ(m.Attributes.c_cflag & CBAUD, tcflag_t(BOTHER));
    EXPECT_EQ(m.Attributes.c_ospeed, 250000u);
    EXPECT_EQ(m.Attributes.c_ispeed, 250000u);
    EXPECT_EQ(m.Attributes.c_cflag & (CBAUD << IBSHIFT), 0u);
}

TEST(TermiosMapping, FlowControlAndModemLines)
{
    TTermiosMapping m;
    TCommState s = Line(9600, sParityNone, 8, sStopBits1);
    TCommPort::SetFlowControl(s, cFlowHardware);
    ASSERT_TRUE(TTermiosMapping::Map(s, Cooked(), m));
    EXPECT_TRUE(m.Attributes.c_cflag & CRTSCTS);
    EXPECT_FALSE(m.Attributes.c_iflag & (IXON | IXOFF));
    EXPECT_FALSE(m.ManageRts);
    EXPECT_TRUE(m.Dtr);

    TCommPort::SetFlowControl(s, cFlowXonXoff);
    s.XonChar = 0x01;
    s.XoffChar = 0x02;
    ASSERT_TRUE(TTermiosMapping::Map(s, Cooked(), m));
    EXPECT_FALSE(m.Attributes.c_cflag & CRTSCTS);
    EXPECT_TRUE(m.Attributes.c_iflag & IXON);
    EXPECT_TRUE(m.Attributes.c_iflag & IXOFF);
    EXPECT_EQ(m.Attributes.c_cc[VSTART], 0x01);
    EXPECT_EQ(m.Attributes.c_cc[VSTOP], 0x02);
    EXPECT_FALSE(m.Dtr);
    EXPECT_TRUE(m.ManageRts);
    EXPECT_FALSE(m.Rts);

    TCommPort::SetFlowControl(s, cFlowNone);
    s.SetDTRControl(cDTR_Enable);
    s.SetRTSControl(cRTS_Enable);
    ASSERT_TRUE(TTermiosMapping::Map(s, Cooked(), m));
    EXPECT_TRUE(m.Dtr);
    EXPECT_TRUE(m.Rts);
    s.SetRTSControl(cRTS_Toggle);
    ASSERT_TRUE(TTermiosMapping::Map(s, Cooked(), m));
    EXPECT_TRUE(m.RtsToggle);
}

TEST(TermiosMapping, RefusesWhatNoDeviceCanTake)
{
    TTermiosMapping m;
    m.Attributes.c_cflag = 12345;
    EXPECT_FALSE(TTermiosMapping::Map(Line(0, sParityNone, 8, sStopBits1), Cooked(), m));
    EXPECT_FALSE(TTermiosMapping::Map(Line(9600, sParityNone, 4, sStopBits1), Cooked(), m));
    EXPECT_FALSE(TTermiosMapping::Map(Line(9600, sParityNone, 9, sStopBits1), Cooked(), m));
    EXPECT_FALSE(TTermiosMapping::Map(Line(9600, TSerialParity(5), 8, sStopBits1), Cooked(), m));
    EXPECT_FALSE(TTermiosMapping::Map(Line(9600, sParityNone, 8, TSerialStopBits(3)), Cooked(), m));
    TCommState s = Line(9600, sParityNone, 8, sStopBits1);
    s.SetFlag(fOutX, true);
    s.XoffChar = s.XonChar;
    EXPECT_FALSE(TTermiosMapping::Map(s, Cooked(), m));
    EXPECT_EQ(m.Attributes.c_cflag, 12345u); // nothing written on refusal
}

TEST(TermiosMapping, AcceptedComparesWhatTheDriverKept)
{
    TTermiosMapping m;
    ASSERT_TRUE(TTermiosMapping::Map(Line(250000, sParityMark, 8, sStopBits1), Cooked(), m));
    termios2 kept = m.Attributes;
    EXPECT_TRUE(TTermiosMapping::Accepted(m.Attributes, kept));
    kept.c_ospeed = 252000; // within 3 %
    EXPECT_TRUE(TTermiosMapping::Accepted(m.Attributes, kept));
    kept.c_ospeed = 230400;
    EXPECT_FALSE(TTermiosMapping::Accepted(m.Attributes, kept));
    kept = m.Attributes;
    kept.c_cflag &= ~tcflag_t(CMSPAR); // a driver without mark/space parity
    EXPECT_FALSE(TTermiosMapping::Accepted(m.Attributes, kept));
    kept = m.Attributes;
    kept.c_cflag = (kept.c_cflag & ~CSIZE) | CS7;
    EXPECT_FALSE(TTermiosMapping::Accepted(m.Attributes, kept));
}

TEST(PortLock, CreatesReleasesAndHonoursLiveOwners)
{
    char tmpl[] = "/tmp/fk-lock-XXXXXX";
    const std::string dir = ::mkdtemp(tmpl);
    const std::string file = dir + "/LCK..ttyUSB7";
    {
        TPortLock lock;
        EXPECT_EQ(lock.Acquire(dir, "/dev/ttyUSB7"), 0u);
        ASSERT_TRUE(lock.Held());
        std::ifstream in(file);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(text.size(), 11u); // ten characters and a newline
        EXPECT_EQ(std::atoi(text.c_str()), int(::getpid()));

        TPortLock other; // the lock now names another running process
        std::ofstream(file) << ::getppid() << "\n";
        EXPECT_EQ(other.Acquire(dir, "/dev/ttyUSB7"), 5u);
        EXPECT_FALSE(other.Held());
    }
    // Releasing leaves alone a lock file that no longer names us.
    EXPECT_TRUE(::access(file.c_str(), F_OK) == 0);
    ::unlink(file.c_str());
    {
        TPortLock lock;
        EXPECT_EQ(lock.Acquire(dir, "/dev/ttyUSB7"), 0u);
    }
    EXPECT_FALSE(::access(file.c_str(), F_OK) == 0);

    // No usable lock directory: go on without a lock file.
    TPortLock none;
    EXPECT_EQ(none.Acquire(dir + "/missing", "/dev/ttyUSB7"), 0u);
    EXPECT_FALSE(none.Held());
    EXPECT_EQ(none.Acquire("", "/dev/ttyUSB7"), 0u);
    ::rmdir(dir.c_str());
}

#include "ports/TermiosMapping.h"

namespace fk {

namespace {

struct RateCode {
    u32 rate;
    unsigned code;
};

constexpr RateCode kRates[] = {
    {50, B50},       {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},     {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},   {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

constexpr tcflag_t kFramingBits = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;

u32 SpeedOf(const termios2& t) noexcept
{
    const unsigned code = t.c_cflag & CBAUD;
    if (code == BOTHER)
        return t.c_ospeed;
    for (const auto& r : kRates)
        if (r.code == code)
            return r.rate;
    return t.c_ospeed;
}

} // namespace

unsigned TTermiosMapping::StandardRateCode(u32 baudRate) noexcept
{
    for (const auto& r : kRates)
        if (r.rate == baudRate)
            return r.code;
    return 0;
}

bool TTermiosMapping::Map(const TCommState& state, const termios2& current, TTermiosMapping& out) noexcept
{
    if (state.BaudRate == 0 || state.DataBits < 5 || state.DataBits > 8 || state.Parity > sParitySpace
        || state.StopBits > sStopBits2)
        return false;
    const bool outX = state.Flag(fOutX);
    const bool inX = state.Flag(fInX);
    if ((outX || inX) && state.XonChar == state.XoffChar)
        return false;

    termios2 t = current;
    // Raw bytes in both directions: no line editing, echo, signals or character mapping.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY
                           | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN | ECHOE | ECHOK | ECHOCTL | ECHOKE);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    t.c_cflag &= ~tcflag_t(kFramingBits | CBAUD | (CBAUD << IBSHIFT));
    t.c_cflag |= CREAD | CLOCAL;

    const unsigned code = StandardRateCode(state.BaudRate);
    t.c_cflag |= code ? code : BOTHER;
    t.c_ispeed = t.c_ospeed = state.BaudRate;

    static constexpr tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= sizes[state.DataBits - 5];

    switch (state.Parity) {
    case sParityOdd: t.c_cflag |= PARENB | PARODD; break;
    case sParityEven: t.c_cflag |= PARENB; break;
    case sParityMark: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case sParitySpace: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (state.Parity != sParityNone && state.Flag(fParity))
        t.c_iflag |= INPCK;
    if (state.StopBits != sStopBits1)
        t.c_cflag |= CSTOPB;

    const TCommRTSControl rts = state.RTSControl();
    if (state.Flag(fOutxCtsFlow) || rts == cRTS_Handshake)
        t.c_cflag |= CRTSCTS;
    if (outX)
        t.c_iflag |= IXON;
    if (inX)
        t.c_iflag |= IXOFF;
    t.c_cc[VSTART] = state.XonChar;
    t.c_cc[VSTOP] = state.XoffChar;

    out.Attributes = t;
    out.Dtr = state.DTRControl() != cDTR_Disable;
    out.ManageRts = rts != cRTS_Handshake;
    out.Rts = rts == cRTS_Enable;
    out.RtsToggle = rts == cRTS_Toggle;
    return true;
}

bool TTermiosMapping::Accepted(const termios2& requested, const termios2& actual) noexcept
{
    if ((requested.c_cflag & kFramingBits) != (actual.c_cflag & kFramingBits))
        return false;
    if ((requested.c_iflag & (IXON | IXOFF)) != (actual.c_iflag & (IXON | IXOFF)))
        return false;
    const u64 want = SpeedOf(requested);
    const u64 got = SpeedOf(actual);
    const u64 diff = want > got ? want - got : got - want;
    return diff * 100 <= want * 3;
}

} // namespace fk

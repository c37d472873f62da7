#pragma once
// Shared by the connection tests: wire images of both protocols, a port whose events the test
// raises by hand, a connection with a clock of the test's own, and an event log.
#include "connection/KestConnection.h"
#include "protocol/KestPacket1.h"
#include "protocol/KestPacket2.h"

#include <random>
#include <string>
#include <vector>

namespace fk::test {

// A protocol-2 wire image with dataLength random data bytes (scrambled, checksummed).
inline TByteString Packet2(std::mt19937& rng, unsigned dataLength, u8 code = 0x05)
{
    TByteString data(dataLength), wire;
    for (auto& b : data)
        b = u8(rng());
    KestPacketHeader2_t_ h;
    h.Initialize(8, 1, code, 10);
    TKestPacket2(h, data.data(), dataLength).PrepareSend(wire);
    return wire;
}

// A protocol-1 wire image with dataLength random data bytes.
inline TByteString Packet1(std::mt19937& rng, unsigned dataLength)
{
    TByteString data(dataLength), wire;
    for (auto& b : data)
        b = u8(rng());
    KestPacketHeader1_t_ h;
    h.Initialize(3, 1, 0x05, 0);
    TKestPacket1(h, data.data(), dataLength).PrepareSend(wire);
    return wire;
}

inline TByteString Cat(std::initializer_list<TByteString> parts)
{
    TByteString out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// A port that does no I/O: the test raises its events, and it records what it is asked.
class FakePort : public TCommPort {
public:
    using TCommPort::TCommPort;
    ~FakePort() override
    {
        if (open)
            Close();
    }

    bool open = false;
    bool confirmWrites = true; // raise the write event inside Write, as a synchronous port does
    u32 accept = ~0u;          // most bytes a Write takes
    bool refuse = false;       // Write fails at once without a write event (device gone)
    int closes = 0, updates = 0;
    TCommPurgeFlags purged = 0;
    String openedName;
    std::vector<TByteString> written;
    std::vector<const void*> writtenAt;

    bool Open(const String& name, u32 baudRate, TSerialParity parity, u8 dataBits, TSerialStopBits stopBits) override
    {
        MutableState().BaudRate = baudRate;
        MutableState().Parity = parity;
        MutableState().DataBits = dataBits;
        MutableState().StopBits = stopBits;
        openedName = name;
        DoOnOpening(name, 0);
        open = true;
        DoOnOpen(name, 0);
        return true;
    }
    bool Close() override
    {
        ++closes;
        if (!open)
            return true;
        // As the serial port: its I/O has stopped before the closing event, so nothing
        // written from that event reaches the line.
        open = false;
        DoOnClosing(CurrentPortName(), 0, ccReasonClose);
        DoOnClosed(CurrentPortName(), 0, ccReasonClose);
        return true;
    }
    bool IsValid() const override { return open; }
    bool Validate() override { return open; }
    u32 ReadExisting(RawByteString&, bool, TCommErrorFlags*) override { return 0; }
    u32 ReadExisting(TByteString&, bool, TCommErrorFlags*) override { return 0; }
    u32 Read(void*, u32, TCommErrorFlags*) override { return 0; }
    u32 Write(const void* buffer, u32 count, TCommErrorFlags*) override
    {
        if (!open)
            return 0;
        if (refuse) {
            SetLastError(ERROR_DEVICE_NOT_CONNECTED);
            return 0;
        }
        const u32 n = std::min(count, accept);
        const u8* p = static_cast<const u8*>(buffer);
        written.emplace_back(p, p + n);
        writtenAt.push_back(buffer);
        if (confirmWrites)
            DoOnWrite(buffer, count, n, 0, 0);
        return n;
    }
    bool UpdateState() override
    {
        ++updates;
        return true;
    }
    bool UpdateTimeOuts() override { return true; }
    bool SetBreak(bool) override { return true; }
    bool ClearError(TCommErrorFlags*, TCommStatus*) override { return true; }
    bool GetModemStatus(TCommModemStatus*) override { return true; }
    bool Purge(TCommPurgeFlags flags) override
    {
        purged = flags;
        return true;
    }

    // Events as the port's I/O would raise them.
    void Feed(const TByteString& bytes, TCommErrorFlags errors = 0)
    {
        DoOnRead(bytes.empty() ? nullptr : bytes.data(), u32(bytes.size()), u32(bytes.size()), errors, 0);
    }
    void ConfirmWrite(const void* buffer, u32 count) { DoOnWrite(buffer, count, count, 0, 0); }
    // The write event of an asynchronous write that ended badly (time-out, abort, line error).
    void FailWrite(const void* buffer, u32 count, u32 transferred, DWORD result, TCommErrorFlags errors = 0)
    {
        DoOnWrite(buffer, count, transferred, errors, result);
    }
    void Speed(u32 value) { RaiseEvent(OnRxSpeed, EventList.OnRxSpeed, this, value); }
    using TCommPort::DoOnError;
    using TCommPort::DoOnEvent;
    using TCommPort::DoOnModemLost;
    using TCommPort::DoOnStatusUpdate;
};

// A connection whose tick the test sets.
class TestConnection : public TKestConnection {
public:
    using TKestConnection::TKestConnection;
    u32 now = 1000;
    using TKestConnection::MutableReceiver;

protected:
    u32 TickCount() const noexcept override { return now; }
};

// One entry per packet or loss event: "P1:<length>", "P2:<length>", "L<reason>:<length>:<errors>";
// the bytes of every event in `bytes`.
struct PacketLog {
    std::vector<std::string> events;
    std::vector<TByteString> bytes;

    void Packet(const void* b, u32 n, TKestPacketType t)
    {
        events.push_back("P" + std::to_string(int(t) + 1) + ":" + std::to_string(n));
        Keep(b, n);
    }
    void Loss(const void* b, u32 n, TPacketLossReason r, TCommErrorFlags e)
    {
        events.push_back("L" + std::to_string(int(r)) + ":" + std::to_string(n) + ":" + std::to_string(e));
        Keep(b, n);
    }
    void Attach(TKestConnection& c)
    {
        c.OnPacketReceived = TKestPacketEvent::Bind(this, [this](TObject*, const void* b, DWORD n, TKestPacketType t) {
            Packet(b, n, t);
        });
        c.OnPacketLoss = TKestPacketLossEvent::Bind(this, [this](TObject*, const void* b, DWORD n,
                                                                 TPacketLossReason r, TCommErrorFlags e) {
            Loss(b, n, r, e);
        });
    }
    void Clear()
    {
        events.clear();
        bytes.clear();
    }

private:
    void Keep(const void* b, u32 n)
    {
        const u8* p = static_cast<const u8*>(b);
        bytes.emplace_back(p, p + n);
    }
};

using Strings = std::vector<std::string>;

} // namespace fk::test

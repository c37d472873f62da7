#pragma once
// Helpers of the benchmarks that drive the packet connection without a line: a port that
// takes every write and raises what a benchmark feeds it as read events, and random
// protocol-2 packets.
#include "connection/KestConnection.h"
#include "protocol/KestPacket2.h"

#include <random>

namespace fk::bench {

class BenchPort : public TCommPort {
public:
    using TCommPort::TCommPort;
    bool Open(const String& name, u32, TSerialParity, u8, TSerialStopBits) override
    {
        DoOnOpening(name, 0);
        DoOnOpen(name, 0);
        return true;
    }
    bool Close() override { return true; }
    bool IsValid() const override { return true; }
    bool Validate() override { return true; }
    u32 ReadExisting(RawByteString&, bool, TCommErrorFlags*) override { return 0; }
    u32 ReadExisting(TByteString&, bool, TCommErrorFlags*) override { return 0; }
    u32 Read(void*, u32, TCommErrorFlags*) override { return 0; }
    u32 Write(const void* p, u32 count, TCommErrorFlags*) override
    {
        DoOnWrite(p, count, count, 0, 0);
        return count;
    }
    bool UpdateTimeOuts() override { return true; }
    bool SetBreak(bool) override { return true; }
    bool ClearError(TCommErrorFlags*, TCommStatus*) override { return true; }
    bool GetModemStatus(TCommModemStatus*) override { return true; }
    bool Purge(TCommPurgeFlags) override { return true; }
    void Feed(const u8* p, u32 n) { DoOnRead(p, n, n, 0, 0); }
    void Stop() { RaiseEvent(OnRxSpeed, EventList.OnRxSpeed, this, 0u); }
};

// One protocol-2 packet of dataLength random data bytes, as sent on the line.
inline TByteString Packet(std::mt19937& rng, unsigned dataLength)
{
    TByteString data(dataLength), wire;
    for (auto& b : data)
        b = u8(rng());
    KestPacketHeader2_t_ h;
    h.Initialize(8, 1, 0x05, 10);
    TKestPacket2(h, data.data(), dataLength).PrepareSend(wire);
    return wire;
}

} // namespace fk::bench

#include "protocol/ByteSum.h"
#include "protocol/KestPacket1.h"
#include "protocol/KestPacket2.h"

#include "ProtocolTestUtil.h"

#include <gtest/gtest.h>
#include <random>
#include <vector>

using namespace fk;
using H1 = KestPacketHeader1_t_;
using H2 = KestPacketHeader2_t_;

namespace {

// A correct protocol-1 packet on the wire: plain data, checksum made.
TByteString Wire1(const TByteString& data)
{
    H1 h;
    h.Initialize(2, 0, 0x10, 0);
    TByteString out;
    EXPECT_TRUE(TKestPacket1(h, data.data(), unsigned(data.size())).PrepareSend(out));
    return out;
}

TByteString Wire2(const TByteString& data, u8 code = 0x05)
{
    H2 h;
    h.Initialize(8, 1, code, 10);
    TByteString out;
    EXPECT_TRUE(TKestPacket2(h, data.data(), unsigned(data.size())).PrepareSend(out));
    return out;
}

// A protocol-2 wire image of `packet` scrambled with a chosen key, as PrepareSend makes it
// with a drawn one.
TByteString Wire2WithKey(const TKestPacket2& packet, u8 key)
{
    TByteString out = packet.GetPacketBuffer();
    H2* h = reinterpret_cast<H2*>(out.data());
    h->Key = key;
    h->Encode();
    h->Start = H2::StartConstant;
    h->CheckSumNegCalc();
    return out;
}

struct Scan {
    bool found;
    unsigned pos, length;
    DWORD code;
};

template <class P>
Scan RunScan(const TByteString& b, unsigned pos = 0, unsigned maxData = 65535)
{
    unsigned length = 12345;
    const bool found = P::RetreivePacket(b.data(), unsigned(b.size()), pos, maxData, length);
    return {found, pos, length, GetLastError()};
}

} // namespace

TEST(KestPacket, DefaultAndHeaderOnlyPackets)
{
    EXPECT_EQ(TKestPacket1().GetPacketBuffer(), test::Hex("55 00 00 00 00 00"));
    EXPECT_EQ(TKestPacket2().GetPacketBuffer(), test::Hex("55 FF 00 00 0A 00 00 00 00 00"));
    H2 h;
    h.Initialize(1, 8, 0x05, 40); // announces 30 data bytes that a header-only packet lacks
    TKestPacket2 p(h);
    EXPECT_EQ(p.GetPacketBuffer().size(), 10u);
    EXPECT_EQ(p.GetHeader()->GetPacketLength(), 40);
    // Nothing may be read or written past the buffer: such a packet is never valid or sent.
    EXPECT_FALSE(p.IsValid());
    EXPECT_FALSE(p.IsCheckSumValid());
    TByteString out = test::Hex("AA");
    EXPECT_FALSE(p.PrepareSend(out));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(out, test::Hex("AA"));
    p.PrepareSend();
    p.RetreiveData();
    u8 buf[40];
    EXPECT_EQ(p.RetreiveData(buf, 40), 0u);
}

TEST(KestPacket, DataLengthLimits)
{
    TByteString data(65526, 0x11);
    H1 h1;
    h1.Initialize(0, 2, 1, 0);
    EXPECT_EQ(TKestPacket1(h1, data.data(), 1023).GetPacketBuffer().size(), 1029u);
    EXPECT_EQ(TKestPacket1(h1, data.data(), 1023).GetHeader()->GetDataLength(), 1023);
    EXPECT_EQ(TKestPacket1(h1, data.data(), 1024).GetPacketBuffer().size(), 6u);
    H2 h2;
    h2.Initialize(1, 8, 2, 10);
    EXPECT_EQ(TKestPacket2(h2, data.data(), 65525).GetPacketBuffer().size(), 65535u);
    EXPECT_EQ(TKestPacket2(h2, data.data(), 65526).GetPacketBuffer().size(), 10u);
    EXPECT_EQ(TKestPacket2(h2, nullptr, 5).GetPacketBuffer().size(), 10u); // no data to copy
}

TEST(KestPacket, RawPacketAdoption)
{
    H1 h;
    h.Initialize(0, 0, 7, 20);
    TByteString raw(40, 0x33);
    std::memcpy(raw.data(), &h, 6);
    const TByteString def1 = TKestPacket1().GetPacketBuffer();
    EXPECT_EQ(TKestPacket1(raw.data(), 5).GetPacketBuffer(), def1);
    EXPECT_EQ(TKestPacket1(raw.data(), 10).GetPacketBuffer(), def1);
    EXPECT_EQ(TKestPacket1(nullptr, 40).GetPacketBuffer(), def1);
    EXPECT_EQ(TKestPacket1(raw.data(), 40).GetPacketBuffer(), TByteString(raw.begin(), raw.begin() + 26));

    const TByteString def2 = TKestPacket2().GetPacketBuffer();
    TByteString raw2 = test::Hex("55 05 08 01 0C 00 00 00 00 00 AA BB CC");
    EXPECT_EQ(TKestPacket2(raw2.data(), 13).GetPacketBuffer().size(), 12u);
    EXPECT_EQ(TKestPacket2(raw2.data(), 9).GetPacketBuffer(), def2);
    for (u8 len : {0, 1, 9}) { // a length field shorter than a header is never adopted
        raw2[4] = len;
        EXPECT_EQ(TKestPacket2(raw2.data(), 13).GetPacketBuffer(), def2) << int(len);
    }
}

TEST(KestPacket, PrepareSendLeavesThePacketPlainAndRoundTrips)
{
    std::mt19937 rng(9);
    const TByteString data = test::RandomBytes(rng, 200);
    H2 h;
    h.Initialize(1, 8, 0x02, 10);
    TKestPacket2 p(h, data.data(), 200);
    const TByteString plain = p.GetPacketBuffer();
    // Every send draws a fresh key: within a few sends two keys differ (the chance that 64
    // draws of 1..255 all agree is nil), and the packet itself stays plain.
    TByteString a, b;
    ASSERT_TRUE(p.PrepareSend(a));
    for (int i = 0; i < 64; ++i) {
        ASSERT_TRUE(p.PrepareSend(b));
        if (b[8] != a[8])
            break;
    }
    EXPECT_EQ(p.GetPacketBuffer(), plain);
    ASSERT_NE(a[8], b[8]);
    EXPECT_NE(a, b);

    // Whatever the key, the receiver gets the data back.
    std::vector<TByteString> images{a, b};
    for (unsigned key = H2::Key_MIN; key <= H2::Key_MAX; ++key)
        images.push_back(Wire2WithKey(p, u8(key)));
    for (const TByteString& wire : images) {
        TKestPacket2 rx(wire.data(), unsigned(wire.size()));
        EXPECT_TRUE(rx.IsValid()) << int(wire[8]);
        TByteString got(200);
        EXPECT_EQ(rx.RetreiveData(got.data(), 200), 200u);
        EXPECT_EQ(got, data) << int(wire[8]);
        rx.RetreiveData();
        EXPECT_EQ(TByteString(rx.GetBuffer() + 10, rx.GetBuffer() + 210), data) << int(wire[8]);
    }
    EXPECT_EQ(Wire2WithKey(p, a[8]), a); // the helper makes what PrepareSend makes

    // Protocol 1, read-scrambled (device type 3, context 1).
    H1 h1;
    h1.Initialize(3, 1, 0x40, 0);
    TKestPacket1 p1(h1, data.data(), 200);
    ASSERT_TRUE(p1.PrepareSend(a));
    TKestPacket1 rx1(a.data(), unsigned(a.size()));
    EXPECT_TRUE(rx1.IsValid());
    EXPECT_NE(TByteString(a.begin() + 6, a.end()), data);
    rx1.RetreiveData();
    EXPECT_EQ(TByteString(rx1.GetBuffer() + 6, rx1.GetBuffer() + 206), data);
}

TEST(KestPacketScan, TheDocumentedCases)
{
    // A start byte whose checksum fails, then a good packet at offset 7.
    TByteString b = test::Hex("55 00 FF 00 00 00 00");
    const TByteString good = Wire1({});
    b.insert(b.end(), good.begin(), good.end());
    auto s = RunScan<TKestPacket1>(b);
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.pos, 7u);
    EXPECT_EQ(s.length, 6u);
    EXPECT_EQ(s.code, ERROR_SUCCESS);

    // The only start byte announces more than remains. The key is chosen so that no start
    // byte appears among the scrambled bytes (it would be a candidate of its own).
    H2 h;
    h.Initialize(8, 1, 0x05, 10);
    const TByteString thirty(30, 0x01);
    const TKestPacket2 p(h, thirty.data(), 30);
    TByteString cut;
    for (unsigned key = H2::Key_MIN; key <= H2::Key_MAX && cut.empty(); ++key) {
        const TByteString w = Wire2WithKey(p, u8(key));
        if (std::count(w.begin(), w.begin() + 20, 0x55) == 1) {
            cut = test::Hex("01 02 03");
            cut.insert(cut.end(), w.begin(), w.begin() + 20);
        }
    }
    ASSERT_FALSE(cut.empty());
    s = RunScan<TKestPacket2>(cut);
    EXPECT_EQ(s.found, false);
    EXPECT_EQ(s.code, ERROR_PACKET_INCOMPLETE);
    EXPECT_EQ(s.pos, 3u);
    EXPECT_EQ(s.length, 40u);

    // No start byte at all: pos unchanged, length 0.
    TByteString none(100, 0x54);
    unsigned pos = 4, len = 9;
    EXPECT_FALSE(TKestPacket2::RetreivePacket(none.data(), 100, pos, 256, len));
    EXPECT_EQ(GetLastError(), ERROR_PACKET_UNRECOGNIZED);
    EXPECT_EQ(pos, 4u);
    EXPECT_EQ(len, 0u);

    // Too short for a header, or the scan position past the last header start.
    EXPECT_EQ(RunScan<TKestPacket1>(TByteString(5, 0x55)).code, ERROR_PACKET_NO_DATA);
    EXPECT_EQ(RunScan<TKestPacket2>(TByteString(9, 0x55)).code, ERROR_PACKET_NO_DATA);
    EXPECT_EQ(RunScan<TKestPacket1>(TByteString(20, 0x00), 15).code, ERROR_PACKET_NO_DATA);
    pos = 0;
    EXPECT_FALSE(TKestPacket1::RetreivePacket(nullptr, 10, pos, 10, len));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(KestPacketScan, TooLongCandidatesCountAsIncomplete)
{
    // A correct packet of 11 data bytes, none of them 0x55, with a limit of 10.
    H1 h;
    h.Initialize(5, 0, 0x01, 0); // type 5, context 0: plain data
    TByteString data(11, 0x01);
    TKestPacket1 p(h, data.data(), 11);
    p.CheckSumNegCalc();
    const TByteString& b = p.GetPacketBuffer();
    ASSERT_EQ(std::count(b.begin(), b.end(), 0x55), 1);
    auto s = RunScan<TKestPacket1>(b, 0, 10);
    EXPECT_FALSE(s.found);
    EXPECT_EQ(s.code, ERROR_PACKET_INCOMPLETE);
    EXPECT_TRUE(RunScan<TKestPacket1>(b, 0, 11).found);
}

TEST(KestPacketScan, CodesAfterCorruptCandidates)
{
    // A corrupt complete protocol-2 candidate as the last thing in the buffer.
    TByteString bad = test::Hex("55 01 01 01 0A 00 00 00 00 00");
    EXPECT_EQ(RunScan<TKestPacket2>(bad).code, ERROR_PACKET_CHECKSUM);
    // Followed by bytes that start no header: unrecognized, pos still at the candidate.
    bad.insert(bad.end(), 12, 0x00);
    auto s = RunScan<TKestPacket2>(bad);
    EXPECT_EQ(s.code, ERROR_PACKET_UNRECOGNIZED);
    EXPECT_EQ(s.pos, 0u);
    // A start byte whose length field is below 10 starts no header.
    TByteString low = test::Hex("55 01 01 01 09 00 00 00 00 00 00 00");
    s = RunScan<TKestPacket2>(low);
    EXPECT_EQ(s.code, ERROR_PACKET_UNRECOGNIZED);
    EXPECT_EQ(s.length, 0u);
    // Incomplete first, then only non-start bytes: the code stays incomplete.
    TByteString inc = test::Hex("55 01 01 01 FF 00");
    inc.insert(inc.end(), 20, 0x00);
    s = RunScan<TKestPacket2>(inc);
    EXPECT_EQ(s.code, ERROR_PACKET_INCOMPLETE);
    EXPECT_EQ(s.length, 255u);
}

TEST(KestPacketScan, FindsPacketsInStreams)
{
    std::mt19937 rng(21);
    for (int round = 0; round < 300; ++round) {
        // Garbage, then three packets back to back, then garbage; start bytes everywhere.
        TByteString stream = test::RandomBytes(rng, rng() % 40);
        std::vector<std::pair<unsigned, TByteString>> sent;
        for (int k = 0; k < 3; ++k) {
            TByteString data = test::RandomBytes(rng, rng() % 300);
            for (auto& d : data)
                if (rng() % 8 == 0)
                    d = 0x55;
            const TByteString w = Wire2(data);
            sent.emplace_back(unsigned(stream.size()), w);
            stream.insert(stream.end(), w.begin(), w.end());
        }
        const TByteString tail = test::RandomBytes(rng, rng() % 40);
        stream.insert(stream.end(), tail.begin(), tail.end());

        // Walk the stream as the connection does: each find moves past the packet.
        unsigned pos = 0, length = 0, h = 0;
        for (const auto& [at, w] : sent) {
            pos = h;
            bool found = TKestPacket2::RetreivePacket(stream.data(), unsigned(stream.size()), pos, 300, length);
            // A chance packet inside garbage or data is possible but needs a correct sum and
            // length; it must at least be a correct packet.
            while (found && pos != at) {
                ASSERT_EQ(ByteSum8(stream.data() + pos, length), 0);
                pos = pos + 1;
                found = TKestPacket2::RetreivePacket(stream.data(), unsigned(stream.size()), pos, 300, length);
            }
            ASSERT_TRUE(found) << "round " << round;
            ASSERT_EQ(length, w.size());
            h = pos + length;
        }

        // Split: the last packet cut anywhere is never reported found at its own position.
        const auto& [at, w] = sent.back();
        const unsigned cutAt = at + unsigned(rng() % w.size());
        pos = at;
        const bool found = TKestPacket2::RetreivePacket(stream.data(), cutAt, pos, 300, length);
        if (found) {
            EXPECT_NE(pos, at);
        } else if (cutAt - at >= 10) {
            EXPECT_NE(GetLastError(), ERROR_PACKET_NO_DATA);
        }
    }
}

TEST(KestPacketScan, Protocol1BackToBack)
{
    const TByteString a = Wire1(test::Hex("01 02 03")), b = Wire1({});
    TByteString s = a;
    s.insert(s.end(), b.begin(), b.end());
    auto r = RunScan<TKestPacket1>(s);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.pos, 0u);
    r = RunScan<TKestPacket1>(s, r.pos + r.length);
    ASSERT_TRUE(r.found);
    EXPECT_EQ(r.pos, a.size());
}

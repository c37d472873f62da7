#include "protocol/ByteSum.h"
#include "protocol/KestPacketHeader1.h"

#include "ProtocolTestUtil.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <utility>

using namespace fk;
using H1 = KestPacketHeader1_t_;

namespace {

// A packet buffer with room for the largest packet.
struct Packet1 {
    TByteString bytes = TByteString(H1::PacketLength_MAX + 8, 0);
    H1* h() { return reinterpret_cast<H1*>(bytes.data()); }
};

// The table's recipe, rebuilt independently: SplitMix64 from "Ferrovan" drives a Fisher-Yates
// shuffle of 0..255. Any change of a table byte breaks the wire format with every peer.
std::array<u8, 256> RebuildKeyTable()
{
    std::uint64_t state = 0x466572726F76616EULL;
    auto next = [&] {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    };
    std::array<u8, 256> t;
    for (int i = 0; i < 256; ++i)
        t[i] = static_cast<u8>(i);
    for (int i = 255; i > 0; --i)
        std::swap(t[i], t[next() % std::uint64_t(i + 1)]);
    return t;
}

} // namespace

TEST(KestPacketHeader1, KeyTableIsTheDocumentedOne)
{
    const auto t = RebuildKeyTable();
    EXPECT_TRUE(std::equal(t.begin(), t.end(), H1::KeyTranslator));
}

TEST(KestPacketHeader1, InitialisersWriteTheDocumentedBytes)
{
    Packet1 p;
    std::fill(p.bytes.begin(), p.bytes.begin() + 6, 0xEE);
    p.h()->Initialize();
    EXPECT_EQ(TByteString(p.bytes.begin(), p.bytes.begin() + 6), test::Hex("550000000000"));
    EXPECT_TRUE(p.h()->IsValid());
    EXPECT_EQ(p.h()->GetPacketLength(), 6);
    p.h()->CheckSumNegCalc();
    EXPECT_EQ(p.bytes[2], 0xAB);

    // Type 5, flags 1 and 1, context 3, message 0x42, length 0x123, key 0x2A.
    H1::Initialize(p.h(), 5, 7, 1, 3, 0x42, 0x123, 0x2A);
    EXPECT_EQ(TByteString(p.bytes.begin(), p.bytes.begin() + 6), test::Hex("55 A9 00 23 B7 42"));
    EXPECT_EQ(p.h()->GetKey(), 0x2A);
    EXPECT_EQ(p.h()->GetDevType(), 5);
    EXPECT_EQ(p.h()->GetContext(), 3);
    EXPECT_EQ(p.h()->Msg.Dev.GetFlag2(), 1);
    // A key above 63 spills its top bits into byte 2, as key * 4 written over bytes 1..2.
    H1::Initialize(p.h(), 0, 0, 0, 0, 0, 0, 0xC1);
    EXPECT_EQ(p.bytes[1], 0x04);
    EXPECT_EQ(p.bytes[2], 0x03);

    p.h()->Initialize(9, 10, 0x77, 2000); // only the low 3 bits of type and context are kept
    EXPECT_EQ(TByteString(p.bytes.begin(), p.bytes.begin() + 6), test::Hex("55 03 00 FF 24 77"));
}

TEST(KestPacketHeader1, LengthsClampAndNeverTouchTheKey)
{
    Packet1 p;
    p.h()->Initialize();
    p.h()->KeyLength = 0xFC; // key 63
    const std::pair<unsigned, unsigned> data[] = {{1023, 1023}, {1024, 1023}, {65535, 1023}, {0, 0}, {300, 300}};
    for (auto [in, out] : data) {
        p.h()->SetDataLength(static_cast<unsigned short>(in));
        EXPECT_EQ(p.h()->GetDataLength(), out);
        EXPECT_EQ(p.h()->GetKey(), 63);
    }
    const std::pair<unsigned, unsigned> packet[] = {{0, 0}, {6, 0}, {7, 1}, {1028, 1022}, {1029, 1023}, {65535, 1023}};
    for (auto [in, out] : packet) {
        p.h()->SetPacketLength(static_cast<unsigned short>(in));
        EXPECT_EQ(p.h()->GetDataLength(), out) << in;
        EXPECT_EQ(p.h()->GetKey(), 63);
    }
    for (int i = 0; i < 200; ++i) {
        p.h()->SetDataLength(0x2FF);
        p.h()->CreateKey();
        ASSERT_EQ(p.h()->GetDataLength(), 0x2FF);
        ASSERT_GE(p.h()->GetKey(), 1);
    }
}

TEST(KestPacketHeader1, SchemeFollowsTypeContextAndMessage)
{
    struct Case { u8 type, context, message; bool write, read; };
    const Case cases[] = {
        {0, 2, 0xEF, true, false}, {0, 2, 0xF0, false, false}, {0, 2, 0xFF, false, false},
        {0, 1, 0x10, false, true}, {3, 1, 0x10, false, true}, {3, 2, 0x10, true, false},
    };
    for (const auto& c : cases) {
        Packet1 p;
        p.h()->Initialize(c.type, c.context, c.message, 4);
        EXPECT_EQ(p.h()->CanWriteEncode(), c.write);
        EXPECT_EQ(p.h()->CanReadDecode(), c.read);
        std::memcpy(p.h()->Data(), "\x11\x22\x33\x44", 4);
        p.h()->PrepareSend();
        const bool plain = std::memcmp(p.h()->Data(), "\x11\x22\x33\x44", 4) == 0;
        // Type 0 uses only the write scheme, other types only the read scheme.
        const bool scrambled = c.type == 0 ? c.write : c.read;
        EXPECT_NE(plain, scrambled) << int(c.type) << "/" << int(c.context) << "/" << int(c.message);
        EXPECT_TRUE(p.h()->IsCheckSumValid());
        p.h()->RetreiveData();
        EXPECT_EQ(std::memcmp(p.h()->Data(), "\x11\x22\x33\x44", 4), 0);
    }
}

TEST(KestPacketHeader1, SchemesByTheirRules)
{
    // Write: c(i) = p(i) ^ p(i-1), p(-1) = k.
    const u8 plain[3] = {0x10, 0x20, 0x30};
    u8 out[3];
    H1::WriteEncodeExKey(out, plain, 3, 0x0F);
    EXPECT_EQ(TByteString(out, out + 3), test::Hex("1F 30 10"));
    // Read: c(i) = p(i) ^ pos(i) ^ s(i), s(i+1) = p(i) ^ pos(i), pos(0) = 6.
    H1::ReadEncodeExKey(out, plain, 3, 0x0F);
    EXPECT_EQ(TByteString(out, out + 3), test::Hex("19 31 1F"));
    // The position counter wraps: data byte 250 sits at packet offset 256, pos 0.
    TByteString zeros(252, 0), enc(252);
    H1::ReadEncodeExKey(enc.data(), zeros.data(), 252, 0);
    // With zero data s(i) = pos(i-1), so c(i) = pos(i) ^ pos(i-1).
    EXPECT_EQ(enc[250], 255 ^ 0);
    EXPECT_EQ(enc[251], 0 ^ 1);
    H1::WriteEncode(out, nullptr, 3, 0); // null buffers do nothing
    H1::ReadDecode(nullptr, plain, 3, 0);
}

TEST(KestPacketHeader1, EveryKeyRoundTripsInPlaceAndOutOfPlace)
{
    std::mt19937 rng(11);
    for (unsigned k = 0; k < 256; ++k) {
        const unsigned n = k == 0 ? H1::DataLength_MAX : rng() % (H1::DataLength_MAX + 1);
        const TByteString plain = test::RandomBytes(rng, n);
        TByteString a(n), b = plain, c(n);
        H1::WriteEncode(a.data(), plain.data(), n, static_cast<u8>(k));
        H1::WriteEncode(b.data(), b.data(), n, static_cast<u8>(k));
        ASSERT_EQ(a, b);
        H1::WriteDecode(c.data(), a.data(), n, static_cast<u8>(k));
        H1::WriteDecode(b.data(), b.data(), n, static_cast<u8>(k));
        ASSERT_EQ(c, plain);
        ASSERT_EQ(b, plain);
        H1::ReadEncodeExKey(a.data(), plain.data(), n, static_cast<u8>(k));
        H1::ReadEncodeExKey(b.data(), b.data(), n, static_cast<u8>(k));
        ASSERT_EQ(a, b);
        H1::ReadDecodeExKey(c.data(), a.data(), n, static_cast<u8>(k));
        H1::ReadDecodeExKey(b.data(), b.data(), n, static_cast<u8>(k));
        ASSERT_EQ(c, plain);
        ASSERT_EQ(b, plain);
    }
}

TEST(KestPacketHeader1, PrepareSendIntoAnotherBuffer)
{
    std::mt19937 rng(3);
    for (u8 type : {u8(0), u8(4)}) {
        Packet1 src;
        src.h()->Initialize(type, type ? 1 : 2, 0x31, 300);
        const TByteString data = test::RandomBytes(rng, 300);
        std::memcpy(src.h()->Data(), data.data(), 300);
        const TByteString before = src.bytes;

        Packet1 out;
        src.h()->PrepareSend(out.h(), 306);
        EXPECT_EQ(src.bytes, before);
        EXPECT_TRUE(out.h()->IsCheckSumValid());
        EXPECT_NE(TByteString(out.bytes.begin() + 6, out.bytes.begin() + 306), data);
        TByteString back(300);
        EXPECT_EQ(out.h()->RetreiveData(back.data(), 1000), 300u);
        EXPECT_EQ(back, data);

        // Truncated output: only outSize bytes written, checksum over those bytes.
        Packet1 small;
        src.h()->PrepareSend(small.h(), 20);
        EXPECT_EQ(ByteSum8(small.bytes.data(), 20), 0);
        EXPECT_TRUE(std::all_of(small.bytes.begin() + 20, small.bytes.end(), [](u8 b) { return b == 0; }));
        Packet1 one;
        src.h()->PrepareSend(one.h(), 1);
        EXPECT_EQ(one.bytes[0], 0x55);
        EXPECT_TRUE(std::all_of(one.bytes.begin() + 1, one.bytes.end(), [](u8 b) { return b == 0; }));
        Packet1 none;
        src.h()->PrepareSend(none.h(), 0);
        EXPECT_TRUE(std::all_of(none.bytes.begin(), none.bytes.end(), [](u8 b) { return b == 0; }));
    }
}

TEST(KestPacketHeader1, ZeroLengthPacketGetsKeyAndChecksumOnly)
{
    Packet1 p;
    p.h()->Initialize(0, 2, 0x01, 0);
    p.bytes[6] = 0x99; // behind the packet: must stay
    p.h()->PrepareSend();
    EXPECT_GE(p.h()->GetKey(), 1);
    EXPECT_TRUE(p.h()->IsCheckSumValid());
    EXPECT_EQ(p.bytes[6], 0x99);
    KestPacketMsg1_t_ expected{{0x12}, 0x34};
    EXPECT_FALSE(p.h()->IsPacketExpected(&expected));
    EXPECT_EQ(expected.Dev.Value, 0x12);
}

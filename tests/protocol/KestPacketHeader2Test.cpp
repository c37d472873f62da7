#include "protocol/KestPacketHeader2.h"

#include "ProtocolTestUtil.h"

#include <fstream>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

using namespace fk;
using H2 = KestPacketHeader2_t_;

namespace {

struct Packet2 {
    TByteString bytes;
    explicit Packet2(std::size_t n = H2::PacketLength_MAX) : bytes(n, 0) {}
    H2* h() { return reinterpret_cast<H2*>(bytes.data()); }
};

// Splits "a | b | c" into trimmed fields.
std::vector<std::string> Fields(const std::string& line)
{
    std::vector<std::string> out;
    std::stringstream ss(line);
    std::string f;
    while (std::getline(ss, f, '|')) {
        const auto a = f.find_first_not_of(' '), b = f.find_last_not_of(' ');
        out.push_back(a == std::string::npos ? "" : f.substr(a, b - a + 1));
    }
    return out;
}

// Checks every vector of one file; returns how many were checked.
int CheckVectorFile(const std::string& name)
{
    std::ifstream in(std::string(FK_TEST_DATA_DIR) + "/" + name);
    EXPECT_TRUE(in.good()) << name;
    int checked = 0;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#')
            continue;
        const auto f = Fields(line);
        EXPECT_EQ(f.size(), 3u) << line;
        if (f.size() != 3)
            continue;
        const TByteString plain = test::Hex(f[1]), wire = test::Hex(f[2]);
        std::istringstream head(f[0]);
        std::string kind;
        head >> kind;
        if (kind == "scramble") {
            const u8 key = test::Hex(f[0].substr(9))[0];
            TByteString enc(plain.size()), dec(plain.size());
            H2::Encode(enc.data(), plain.data(), unsigned(plain.size()), key);
            EXPECT_EQ(enc, wire) << line;
            H2::Decode(dec.data(), wire.data(), unsigned(wire.size()), key);
            EXPECT_EQ(dec, plain) << line;
        } else {
            EXPECT_EQ(kind, "packet") << line;
            const TByteString hdr = test::Hex(f[0].substr(7)); // code src dst match key
            Packet2 p(10 + plain.size());
            p.h()->Initialize(hdr[1], hdr[2], hdr[0], 10);
            p.h()->SetDataLength(static_cast<unsigned short>(plain.size()));
            p.h()->Match = hdr[3];
            std::copy(plain.begin(), plain.end(), p.h()->Data());
            // PrepareSend with the key fixed: the steps after CreateKey.
            p.h()->Key = hdr[4];
            p.h()->Encode();
            p.h()->CheckSumNegCalc();
            EXPECT_EQ(p.bytes, wire) << line;
            EXPECT_TRUE(p.h()->IsCheckSumValid());
            p.h()->RetreiveData();
            EXPECT_TRUE(std::equal(plain.begin(), plain.end(), p.h()->Data()));
        }
        ++checked;
    }
    return checked;
}

} // namespace

TEST(KestPacketHeader2, KnownAnswerVectors)
{
    EXPECT_EQ(CheckVectorFile("protocol2.txt"), 9);
    EXPECT_EQ(CheckVectorFile("protocol2_handworked.txt"), 5);
}

TEST(KestPacketHeader2, LayoutAndLengths)
{
    Packet2 p(10);
    p.h()->Initialize(1, 8, 0x06, 10);
    EXPECT_EQ(p.bytes, test::Hex("55 06 01 08 0A 00 00 00 00 00"));
    const std::pair<unsigned, unsigned> set[] = {{0, 10}, {65524, 65534}, {65525, 65535}, {65535, 65535}, {300, 310}};
    for (auto [n, len] : set) {
        p.h()->SetDataLength(static_cast<unsigned short>(n));
        EXPECT_EQ(p.h()->GetPacketLength(), len);
    }
    EXPECT_EQ(p.bytes[4], 0x36); // 310, little-endian
    EXPECT_EQ(p.bytes[5], 0x01);
    for (unsigned len = 0; len <= 10; ++len) {
        p.h()->SetPacketLength(static_cast<unsigned short>(len));
        EXPECT_EQ(p.h()->GetDataLength(), 0);
        EXPECT_EQ(p.h()->IsValid(), len == 10);
    }
    KestPacketMsg2_t_ m;
    m.Initialize();
    EXPECT_EQ(m, (KestPacketMsg2_t_{0xFF, {0, 0}}));
    KestPacketMsgS2_t_ s;
    s.Initialize();
    EXPECT_EQ(s, (KestPacketMsgS2_t_{0xFF, 0}));
}

TEST(KestPacketHeader2, EveryKeyRoundTripsInPlaceAndOutOfPlace)
{
    std::mt19937 rng(5);
    for (unsigned k = 0; k < 256; ++k) {
        const unsigned n = k == 7 ? H2::DataLength_MAX : rng() % 2048;
        const TByteString plain = test::RandomBytes(rng, n);
        TByteString a(n), b = plain, c(n);
        H2::Encode(a.data(), plain.data(), n, static_cast<u8>(k));
        H2::Encode(b.data(), b.data(), n, static_cast<u8>(k));
        ASSERT_EQ(a, b);
        H2::Decode(c.data(), a.data(), n, static_cast<u8>(k));
        H2::Decode(b.data(), b.data(), n, static_cast<u8>(k));
        ASSERT_EQ(c, plain);
        ASSERT_EQ(b, plain);
    }
    TByteString zeros(32, 0), enc(32);
    H2::Encode(enc.data(), zeros.data(), 32, 1);
    EXPECT_NE(enc, zeros);
}

TEST(KestPacketHeader2, PrepareSendTouchesOnlyStartKeyAndChecksum)
{
    Packet2 p(10);
    p.h()->Initialize(1, 8, 0x07, 10);
    p.bytes[0] = 0;
    const TByteString before = p.bytes;
    p.h()->PrepareSend();
    for (int i : {1, 2, 3, 4, 5, 6, 7})
        EXPECT_EQ(p.bytes[i], before[i]);
    EXPECT_EQ(p.bytes[0], 0x55);
    EXPECT_GE(p.h()->Key, 1);
    EXPECT_TRUE(p.h()->IsCheckSumValid());
}

TEST(KestPacketHeader2, RetreiveDataIntoSmallBufferDecodesOnlyWhatFits)
{
    Packet2 p(10 + 8);
    p.h()->Initialize(8, 1, 0x05, 10);
    p.h()->SetDataLength(8);
    for (int i = 0; i < 8; ++i)
        p.h()->Data()[i] = static_cast<u8>(i + 1);
    p.h()->PrepareSend();
    const TByteString wire = p.bytes;
    u8 out[6] = {0, 0, 0, 0, 0, 0xEE};
    EXPECT_EQ(p.h()->RetreiveData(out, 5), 5u);
    EXPECT_EQ(TByteString(out, out + 6), test::Hex("01 02 03 04 05 EE"));
    EXPECT_EQ(p.bytes, wire); // the packet stays scrambled
}

TEST(KestPacketHeader2, ReplyMatching)
{
    H2 req, rep;
    req.Initialize(1, 8, 0x08, 10);
    rep.Initialize(8, 1, 0x08, 10);
    EXPECT_TRUE(rep.IsReplyValid(req));
    rep.Msg.Dev.Destination = 0; // addressed to anyone
    req.Msg.Dev.Source = 5;
    EXPECT_TRUE(rep.IsReplyValid(req));
    rep.Msg.Dev.Destination = 1;
    EXPECT_FALSE(rep.IsReplyValid(req)); // addressed to someone else
    req.Msg.Dev.Source = 1;
    rep.Msg.Dev.Source = 9;
    EXPECT_FALSE(rep.IsReplyValid(req)); // from the wrong node
    req.Msg.Dev.Destination = 0;
    EXPECT_TRUE(rep.IsReplyValid(req)); // the request went to anyone
    rep.Match = 3;
    EXPECT_FALSE(rep.IsReplyValid(req));
    rep.Match = 0;
    rep.Msg.Code = 0x07;
    EXPECT_FALSE(rep.IsReplyValid(req));
    rep.Msg.Code = 0x08;
    rep.SetPacketLength(9);
    EXPECT_FALSE(rep.IsReplyValid(req)); // not a valid packet
}

TEST(KestPacketHeader2, ExpectedReplyIdentity)
{
    H2 h;
    h.Initialize(1, 8, 0x06, 10);
    KestPacketMsgS2_t_ e;
    e.Initialize();
    EXPECT_TRUE(h.IsPacketExpected(&e));
    EXPECT_EQ(e, (KestPacketMsgS2_t_{0x06, 8}));
    EXPECT_TRUE(h.IsPacketExpected(nullptr));
    h.Initialize(8, 1, 0x05, 10);
    EXPECT_TRUE(h.IsPacketExpected(&e));
    EXPECT_EQ(e, (KestPacketMsgS2_t_{0x06, 8})); // untouched
    h.Start = 0x54;
    EXPECT_FALSE(h.IsPacketExpected(&e));
}

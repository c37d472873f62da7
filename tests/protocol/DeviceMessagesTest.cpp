#include "protocol/DeviceMessages.h"

#include "ProtocolTestUtil.h"

#include <gtest/gtest.h>

using namespace fk;

TEST(DeviceMessages, RecordsReadTheirFields)
{
    TByteString d(60, 0);
    const TByteString id = test::Hex("11 22 33 44");
    std::copy(id.begin(), id.end(), d.begin());
    d[7] = 1;
    const char serial[] = "FK-000123";
    std::copy(serial, serial + 9, d.begin() + 11);
    d[49] = 0x00, d[50] = 0x01; // block size 256
    d[51] = 0x40, d[52] = 0x00; // 64 blocks
    d[53] = 7;                  // counts as "application"
    d[54] = 0;
    TDeviceInfo info;
    EXPECT_FALSE(info.Load(d.data(), 54));
    EXPECT_EQ(info.Identifier(), 0u); // unchanged
    ASSERT_TRUE(info.Load(d.data(), 60)); // a longer reply: the first 55 bytes
    EXPECT_EQ(info.Identifier(), 0x44332211u);
    EXPECT_EQ(info.Model(), 0x33);
    EXPECT_TRUE(info.IsSupported());
    EXPECT_EQ(info.SerialNumber(), "FK-000123");
    EXPECT_EQ(info.BlockSize(), 256);
    EXPECT_EQ(info.BlockCount(), 64);
    EXPECT_EQ(info.Capacity(), 16384u);
    EXPECT_EQ(info.RunMode(), 1);
    EXPECT_FALSE(info.IsCorrupt());
    // A serial number without a terminating zero ends after 32 bytes.
    std::fill(d.begin() + 11, d.begin() + 43, 'A');
    d[7] = 2;
    d[53] = 0;
    d[54] = 1;
    ASSERT_TRUE(info.Load(d.data(), 55));
    EXPECT_EQ(info.SerialNumber(), std::string(32, 'A'));
    EXPECT_FALSE(info.IsSupported());
    EXPECT_FALSE(info.ApplicationRuns());
    EXPECT_TRUE(info.IsCorrupt());

    TByteString f = test::Hex("11 22 33 44 00 19 0C 1F 02 01 07");
    f.resize(43, 0);
    f[11] = 'v';
    TFirmwareInfo fw;
    EXPECT_FALSE(fw.Load(f.data(), 42));
    ASSERT_TRUE(fw.Load(f.data(), 43));
    EXPECT_EQ(fw.Identifier(), 0x44332211u);
    EXPECT_EQ(fw.BuildYear(), 2025u);
    EXPECT_EQ(fw.BuildMonth(), 12);
    EXPECT_EQ(fw.BuildDay(), 31);
    EXPECT_EQ(fw.Version1(), 2);
    EXPECT_EQ(fw.Version2(), 1);
    EXPECT_EQ(fw.Version3(), 7);
    EXPECT_EQ(fw.InfoText(), "v");
}

TEST(DeviceMessages, ParameterRepliesOfEverySize)
{
    TDeviceParameters p;
    p.SetOpenTime(10);
    p.SetBreakTime(1);
    const TByteString one = test::Hex("19");
    EXPECT_FALSE(p.Load(one.data(), 1)); // neither a block nor an acknowledgement
    EXPECT_FALSE(p.Load(one.data(), 0));
    EXPECT_EQ(p.OpenTime(), 10);
    TByteString big(40, 0x07);
    big[0] = 25, big[1] = 3, big[32] = 0x99;
    ASSERT_TRUE(p.Load(big.data(), 40));
    EXPECT_EQ(p.OpenTime(), 25);
    EXPECT_EQ(p.BreakTime(), 3);
    EXPECT_EQ(p.Bytes[31], 0x07);
}

TEST(DeviceMessages, RequestsAreBuiltAsTheCatalogueSays)
{
    const std::pair<TKestPacket2, u8> plain[] = {
        {RestartRequest(), 0x00},        {EnterBootloaderRequest(), 0x01},
        {FirmwareTransferStartRequest(), 0x02}, {DeviceInfoRequest(), 0x05},
        {FirmwareInfoRequest(), 0x06},   {StatusRequest(), 0x07},
        {ParametersReadRequest(), 0x08}, {VentingToggleRequest(), 0x7F},
    };
    for (const auto& [p, code] : plain) {
        TByteString expect = test::Hex("55 00 01 08 0A 00 00 00 00 00");
        expect[1] = code;
        EXPECT_EQ(p.GetPacketBuffer(), expect);
    }

    TKestPacket2 w;
    const u8 open = 25;
    ASSERT_TRUE(BuildParametersWriteRequest(w, 0, &open, 1));
    EXPECT_EQ(w.GetPacketBuffer(), test::Hex("55 08 01 08 0D 00 00 00 00 00  00 00 19"));
    const u8 two[2] = {3, 4};
    ASSERT_TRUE(BuildParametersWriteRequest(w, 0x0201, two, 2));
    EXPECT_EQ(TByteString(w.GetBuffer() + 10, w.GetBuffer() + 14), test::Hex("01 02 03 04"));
    // Refused, with the packet left as it was.
    const TByteString before = w.GetPacketBuffer();
    EXPECT_FALSE(BuildParametersWriteRequest(w, 0, &open, 0));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(BuildParametersWriteRequest(w, 0, nullptr, 1));
    EXPECT_FALSE(BuildFirmwareBlockRequest(w, nullptr, 16));
    EXPECT_EQ(w.GetPacketBuffer(), before);

    // A reply from the controller matches the request it answers.
    TByteString block(256, 0xA5);
    ASSERT_TRUE(BuildFirmwareBlockRequest(w, block.data(), 256));
    EXPECT_EQ(w.GetHeader()->GetDataLength(), 256);
    KestPacketHeader2_t_ reply;
    reply.Initialize(dtController, dtConfigurator, dcFirmwareBlock, 10);
    EXPECT_TRUE(reply.IsReplyValid(*w.GetHeader()));
    KestPacketMsgS2_t_ expected;
    expected.Initialize();
    EXPECT_TRUE(w.GetHeader()->IsPacketExpected(&expected));
    EXPECT_EQ(expected, (KestPacketMsgS2_t_{dcFirmwareBlock, dtController}));
}

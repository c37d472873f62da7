// The packet connection's records in the diagnostic trace: every packet sent and received
// with its code and name, bytes that belong to no packet (a modem's "AT" probe), the port's
// opening and closing.
#include "ConnectionTestUtil.h"
#include "TraceReader.h"
#include "support/TraceSink.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace fk;
using namespace fk::test;

TEST(ConnectionTrace, PacketsForeignBytesAndPortEventsAreTraced)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("t.jsonl").toStdString();
    TTraceSink sink;
    ASSERT_TRUE(sink.Open(path));
    TTraceSink::SetActive(&sink);
    {
        TOwned<TestConnection> conn = Make<TestConnection>();
        TOwned<FakePort> port = Make<FakePort>();
        conn->SetCommPort(port.get());
        conn->SetPortName("/dev/ttyFAKE");
        ASSERT_TRUE(conn->Open());
        std::mt19937 rng{5};
        const TByteString request = Packet2(rng, 0, 0x07), reply = Packet2(rng, 4, 0x05);
        ASSERT_TRUE(conn->SendData(request));
        port->Feed(Cat({TByteString{'A', 'T', 'Z', '\r'}, reply}));
        conn->Close();
    }
    TTraceSink::SetActive(nullptr);

    const TTraceReader trace(path);
    ASSERT_TRUE(trace.Valid()) << trace.Error();
    QStringList events;
    for (const QJsonObject& o : trace.Lines())
        events << o.value("event").toString() + ":" + o.value("action").toString() + o.value("name").toString();
    EXPECT_EQ(events, (QStringList{"port:opened", "tx:dcStatus", "rx-dropped:", "rx:dcDeviceInfo", "port:closed"}));
    const QJsonObject dropped = trace.Events("rx-dropped").at(0);
    EXPECT_EQ(dropped.value("hex").toString(), "41545a0d");
    EXPECT_EQ(dropped.value("port").toString(), "/dev/ttyFAKE");
    EXPECT_EQ(dropped.value("reason").toString(), "unrecognised");
    EXPECT_EQ(trace.Events("rx").at(0).value("code").toInt(), 5);
    EXPECT_EQ(trace.Events("port").at(1).value("reason").toString(), "close");
}

// A port whose device went away is closed by its owner, but the trace tells the port's own end.
TEST(ConnectionTrace, APortThatLostItsDeviceIsTracedAsClosedByAnError)
{
    QTemporaryDir dir;
    const std::string path = dir.filePath("t.jsonl").toStdString();
    TTraceSink sink;
    ASSERT_TRUE(sink.Open(path));
    TTraceSink::SetActive(&sink);
    {
        TOwned<TestConnection> conn = Make<TestConnection>();
        TOwned<FakePort> port = Make<FakePort>();
        conn->SetCommPort(port.get());
        conn->SetPortName("/dev/ttyFAKE");
        ASSERT_TRUE(conn->Open());
        port->DoOnModemLost(ERROR_DEVICE_NOT_CONNECTED);
        conn->Close();
        ASSERT_TRUE(conn->Open()); // a new opening starts clean
        conn->Close();
    }
    TTraceSink::SetActive(nullptr);
    const TTraceReader trace(path);
    ASSERT_TRUE(trace.Valid()) << trace.Error();
    QStringList closes;
    for (const QJsonObject& o : trace.Events("port"))
        if (o.value("action").toString() == "closed")
            closes << o.value("reason").toString();
    EXPECT_EQ(closes, (QStringList{"error", "close"}));
}

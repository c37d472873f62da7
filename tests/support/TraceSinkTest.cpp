// The diagnostic trace's file: well-formed JSON lines, nothing written while no sink is
// active, the bound that drops the oldest half, and files that cannot be traced to.
#include "TraceReader.h"
#include "platform/Event.h"
#include "platform/FaultReport.h"
#include "platform/LastError.h"
#include "support/TraceSink.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace fk {
namespace {

using test::TTraceReader;

class TraceSinkTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir_.isValid()); }
    void TearDown() override
    {
        TTraceSink::SetActive(nullptr);
        TFaultReport::SetReporter(nullptr);
    }
    std::string Path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)).toStdString(); }

    QTemporaryDir dir_;
};

TEST_F(TraceSinkTest, EveryHookWritesOneJsonLineAndNothingWhileInactive)
{
    TTraceSink sink;
    ASSERT_TRUE(sink.Open(Path("t.jsonl")));
    TTraceSink::Status("before activation"); // not active yet: nothing
    TTraceSink::SetActive(&sink);
    const unsigned char bytes[] = {0x55, 0x07, 0xA0};
    TTraceSink::Packet(true, "/dev/ttyUSB0", 7, "dcStatus", bytes, sizeof bytes);
    TTraceSink::Dropped("/dev/ttyUSB0", "unrecognised", "AT\r", 3);
    TTraceSink::ModuleText(false, "10.0.0.7", "APLIST,\"Yard\",-55");
    TTraceSink::State("identifying", "none");
    TTraceSink::Status("Łączenie ...");
    TTraceSink::Status("Łączenie ..."); // shown again unchanged: no line
    TTraceSink::Status("");
    TTraceSink::Message("bad byte \xFF here\ttab");
    TTraceSink::Question("Stop?", "no");
    TTraceSink::Port("closed", "/dev/ttyUSB0", "error", ERROR_FILE_NOT_FOUND);
    TTraceSink::SetActive(nullptr);
    TTraceSink::Status("after deactivation");

    const TTraceReader trace(Path("t.jsonl"));
    ASSERT_TRUE(trace.Valid()) << trace.Error();
    ASSERT_EQ(trace.Lines().size(), 9u) << trace.Raw().toStdString();
    const QJsonObject tx = trace.Events("tx").at(0);
    EXPECT_EQ(tx.value("port").toString(), "/dev/ttyUSB0");
    EXPECT_EQ(tx.value("code").toInt(), 7);
    EXPECT_EQ(tx.value("name").toString(), "dcStatus");
    EXPECT_EQ(tx.value("hex").toString(), "5507a0");
    EXPECT_EQ(trace.Field("rx-dropped", "hex"), QStringList{"41540d"});
    EXPECT_EQ(trace.Field("module-rx", "text"), QStringList{"APLIST,\"Yard\",-55"});
    EXPECT_EQ(trace.States(), QStringList{"identifying/none"});
    EXPECT_EQ(trace.Statuses(), (QStringList{QStringLiteral("Łączenie ..."), ""}));
    EXPECT_EQ(trace.Field("message", "text"), QStringList{QStringLiteral("bad byte \uFFFD here\ttab")});
    EXPECT_EQ(trace.Field("question", "answer"), QStringList{"no"});
    const QJsonObject port = trace.Events("port").at(0);
    EXPECT_EQ(port.value("reason").toString(), "error");
    EXPECT_EQ(port.value("error").toInt(), int(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(trace.Contains("activation"));
}

TEST_F(TraceSinkTest, TheFileStaysWithinItsLimitByDroppingTheOldestHalf)
{
    constexpr u64 limit = 4096;
    TTraceSink sink;
    ASSERT_TRUE(sink.Open(Path("t.jsonl"), limit));
    TTraceSink::SetActive(&sink);
    u64 largest = 0;
    int trims = 0;
    for (int i = 0; i < 500; ++i) {
        const u64 before = sink.Size();
        TTraceSink::Message("line " + std::to_string(i));
        largest = std::max(largest, sink.Size());
        if (sink.Size() < before) { // trimmed: the newer half is left, with this line and the note
            ++trims;
            EXPECT_LE(sink.Size(), limit / 2 + 200);
        }
        struct stat st {};
        ASSERT_EQ(::stat(Path("t.jsonl").c_str(), &st), 0);
        ASSERT_EQ(u64(st.st_size), sink.Size());
    }
    EXPECT_LE(largest, limit);
    EXPECT_GE(trims, 2);
    EXPECT_GT(sink.Size(), limit / 3); // the newer half stays

    const TTraceReader trace(Path("t.jsonl"));
    ASSERT_TRUE(trace.Valid()) << trace.Error(); // only whole lines are kept
    const QStringList texts = trace.Field("message", "text");
    EXPECT_EQ(texts.back(), "line 499");
    EXPECT_FALSE(texts.contains("line 0"));
    // Consecutive: nothing but the oldest lines went.
    const int first = texts.front().mid(5).toInt();
    for (int k = 0; k < texts.size(); ++k)
        EXPECT_EQ(texts[k], QStringLiteral("line %1").arg(first + k));
    EXPECT_FALSE(trace.Events("trace-trimmed").empty());
    // Read line by line as another program would: the trimmed file starts with a whole line,
    // and no line is empty or cut.
    const QList<QByteArray> lines = trace.Raw().split('\n');
    ASSERT_TRUE(lines.back().isEmpty()); // the file ends with a line end
    for (qsizetype k = 0; k + 1 < lines.size(); ++k)
        ASSERT_TRUE(lines[k].startsWith("{\"time\":") && lines[k].endsWith('}')) << "line " << k + 1;
}

// Text from the device goes into the file as it came, whatever it holds: every character JSON
// must escape reads back unchanged, and each line stays one line.
TEST_F(TraceSinkTest, TextWithEveryCharacterJsonMustEscapeReadsBackUnchanged)
{
    std::string text = "\"quoted\" back\\slash \\n \\u0041 \\";
    for (int c = 0; c < 0x20; ++c)
        text += char(c);
    text += '\x7F';
    TTraceSink sink;
    ASSERT_TRUE(sink.Open(Path("t.jsonl")));
    TTraceSink::SetActive(&sink);
    TTraceSink::ModuleText(false, "10.0.0.7", text);
    TTraceSink::Message(text);

    const TTraceReader trace(Path("t.jsonl"));
    ASSERT_TRUE(trace.Valid()) << trace.Error() << "\n" << trace.Raw().toStdString();
    ASSERT_EQ(trace.Raw().count('\n'), 2);
    // Strict readers refuse a control character inside a string: none is written as it is.
    const QByteArray& raw = trace.Raw();
    EXPECT_EQ(std::count_if(raw.begin(), raw.end(), [](char ch) { return u8(ch) < 0x20 && ch != '\n'; }), 0);
    const QString expected = QString::fromUtf8(text.data(), qsizetype(text.size()));
    EXPECT_EQ(trace.Field("module-rx", "text"), QStringList{expected});
    EXPECT_EQ(trace.Field("message", "text"), QStringList{expected});
}

TEST_F(TraceSinkTest, AFileThatCannotBeTracedToIsRefusedAndTheOpenTraceKept)
{
    TTraceSink sink;
    ASSERT_TRUE(sink.Open(Path("first.jsonl")));
    for (const std::string& bad : {Path("missing/t.jsonl"), dir_.path().toStdString(), std::string("/dev/null")}) {
        EXPECT_FALSE(sink.Open(bad)) << bad;
        EXPECT_NE(TTraceSink::OpenFailureText(bad).find(bad), std::string::npos);
    }
    EXPECT_EQ(sink.Path(), Path("first.jsonl"));
    TTraceSink::SetActive(&sink);
    TTraceSink::Message("still here");
    EXPECT_TRUE(TTraceReader(Path("first.jsonl")).Contains("still here"));
}

// The trace never writes through a symbolic link or into another user's file, and a new file
// is its user's alone.
TEST_F(TraceSinkTest, ALinkOrAnotherUsersFileIsRefusedAndANewFileIsPrivate)
{
    const std::string target = Path("target.txt");
    { std::FILE* f = std::fopen(target.c_str(), "w"); ASSERT_TRUE(f); std::fputs("keep", f); std::fclose(f); }
    ASSERT_EQ(::symlink(target.c_str(), Path("link.jsonl").c_str()), 0);
    TTraceSink sink;
    EXPECT_FALSE(sink.Open(Path("link.jsonl")));
    EXPECT_NE(TTraceSink::OpenFailureText(Path("link.jsonl")).find("symbolic link"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 4);
    if (::geteuid() == 0) { // another user's file needs the right to give it away
        ASSERT_EQ(::chown(target.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(sink.Open(target));
        EXPECT_NE(TTraceSink::OpenFailureText(target).find("another user"), std::string::npos);
        ASSERT_EQ(::stat(target.c_str(), &st), 0);
        EXPECT_EQ(st.st_size, 4);
    }
    ASSERT_TRUE(sink.Open(Path("new.jsonl")));
    ASSERT_EQ(::stat(Path("new.jsonl").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(TraceSinkTest, AHandlerThatThrowsLeavesAFaultLine)
{
    TTraceSink sink;
    ASSERT_TRUE(sink.Open(Path("f.jsonl")));
    TTraceSink::SetActive(&sink);
    const TNotifyEvent handler = TNotifyEvent::Bind(&sink, [](TObject*) { throw std::length_error("queue \"full\""); });
    handler.Invoke(nullptr);

    const TTraceReader trace(Path("f.jsonl"));
    ASSERT_TRUE(trace.Valid()) << trace.Error();
    EXPECT_EQ(trace.Field("fault", "where"), QStringList{"an event handler"});
    EXPECT_EQ(trace.Field("fault", "what"), QStringList{"queue \"full\""});
}

} // namespace
} // namespace fk

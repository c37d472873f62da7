// The window's diagnostic trace: the real program with --trace connecting to the simulated
// controller (states and status texts as the user saw them), message boxes and questions with
// their answers, and a trace file that cannot be opened.
#include "AppTestHarness.h"
#include "TraceReader.h"
#include "app/AppTrace.h"
#include "app/TracedMessageBox.h"

#include <QProcess>

namespace fk::test {
namespace {

using TraceWindowTest = MainFormTest;

TEST_F(TraceWindowTest, TheProgramTracesAConnectionAsTheUserSawIt)
{
    StartSim();
    const QString path = dir_.filePath(QStringLiteral("window.jsonl"));
    const QString port = QString::fromStdString(sim_->PortPath());
    QProcess p;
    p.start(QStringLiteral(FK_FERROVAN_KEST_PATH), {"--port", port + "=Sim", "--connect", port,
                                                    "--quit-after-connect", "--trace", path});
    ASSERT_TRUE(p.waitForFinished(60000)) << "the window did not end";

    const TTraceReader trace(path);
    ASSERT_TRUE(trace.Valid()) << trace.Error();
    EXPECT_EQ(trace.Lines().front().value("program").toString(), "ferrovan-kest");
    // The order the user saw: opening, connecting, then connected once the device is.
    QStringList seen;
    for (const QJsonObject& o : trace.Lines()) {
        const QString event = o.value("event").toString();
        if (event == "status")
            seen << "status:" + o.value("text").toString();
        else if (event == "state")
            seen << "state:" + o.value("device").toString() + "/" + o.value("upload").toString();
        else if (event == "port")
            seen << "port:" + o.value("action").toString();
    }
    const QStringList expected{"status:Opening: " + port, "port:opened", "status:Connecting ...",
                               "state:identifying/none", "state:connected/none", "status:Connected"};
    const int start = static_cast<int>(seen.indexOf(expected.front()));
    ASSERT_GE(start, 0) << seen.join('\n').toStdString();
    EXPECT_EQ(seen.mid(start, expected.size()), expected) << seen.join('\n').toStdString();
    EXPECT_EQ(trace.Lines().back().value("event").toString(), "exit");
    EXPECT_EQ(trace.Lines().back().value("status").toInt(), p.exitCode());
}

TEST_F(TraceWindowTest, AnUnopenableTraceFileChangesNothingElseInARunThatEndsByItself)
{
    StartSim();
    const QString bad = dir_.filePath(QStringLiteral("missing/window.jsonl"));
    const QString port = QString::fromStdString(sim_->PortPath());
    QProcess p;
    p.start(QStringLiteral(FK_FERROVAN_KEST_PATH), {"--port", port + "=Sim", "--connect", port,
                                                    "--quit-after-connect", "--trace", bad});
    const bool ended = p.waitForFinished(60000);
    if (!ended)
        p.kill();
    ASSERT_TRUE(ended) << "the window waited (for a box nobody answers?)";
    EXPECT_TRUE(p.readAllStandardError().contains(("cannot open the trace file " + bad).toUtf8()));
    EXPECT_GE(LogCount("parameters read"), 1) << LogText(); // it connected all the same
}

TEST_F(TraceWindowTest, MessageBoxesAndQuestionsAreTracedWithTheirAnswers)
{
    TAppTrace trace;
    const QString path = dir_.filePath(QStringLiteral("boxes.jsonl"));
    ASSERT_TRUE(trace.Open(path.toStdString(), "test"));
    StartSim();
    MakeForm();
    ClickRow(0);
    form_->FirmwareFile = dir_.filePath(QStringLiteral("no-such.img")).toStdString();
    {
        TModalAnswer ok(TModalAnswer::Click(QMessageBox::Ok));
        QTest::mouseClick(Button(names::UploadButton), Qt::LeftButton);
        EXPECT_EQ(ok.Answered, 1);
    }
    {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Ferrovan-Kest"), QStringLiteral("Stop now?"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, form_.get());
        TModalAnswer no(TModalAnswer::Click(QMessageBox::No));
        EXPECT_EQ(TTracedMessageBox::Exec(box), QMessageBox::No);
    }
    const TTraceReader read(path);
    ASSERT_TRUE(read.Valid()) << read.Error();
    EXPECT_EQ(read.Field("message", "text"), QStringList{"Invalid firmware file."});
    EXPECT_EQ(read.Field("question", "text"), QStringList{"Stop now?"});
    EXPECT_EQ(read.Field("question", "answer"), QStringList{"no"});
}

TEST_F(TraceWindowTest, ATraceFileThatCannotBeOpenedIsToldAndTracingStaysOff)
{
    MakeForm();
    TAppTrace trace;
    const std::string bad = dir_.filePath(QStringLiteral("missing/t.jsonl")).toStdString();
    EXPECT_FALSE(trace.Open(bad, "test"));
    EXPECT_FALSE(TTraceSink::Enabled());
    QString text;
    TModalAnswer ok(TModalAnswer::Click(QMessageBox::Ok, &text));
    trace.ShowFailure(form_.get());
    EXPECT_EQ(ok.Answered, 1);
    EXPECT_EQ(text.toStdString(),
              "No diagnostic trace is written: cannot open the trace file " + bad + ": The device or file was not found.");
}

} // namespace
} // namespace fk::test

// The service record in the window: settings files saved and applied from the Options menu
// (the differences asked about first), and the journal of what the window changed, newest
// first, with its CSV export.
#include "AppTestHarness.h"
#include "ScreenshotUtil.h"

#include "app/JournalDialog.h"
#include "app/ServiceRecordMenu.h"
#include "session/DeviceSession.h"
#include "session/ServiceJournal.h"

#include <QAction>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTableWidget>

namespace fk::test {
namespace {

class ServiceRecordWindowTest : public MainFormTest {
protected:
    void Trigger(const char* item) { Find<QAction>(item)->trigger(); }
    void ChooseAlways(const QString& path)
    {
        form_->ServiceRecord().ChooseFile = [path](bool, const QString&, const QString&) { return path; };
    }
    bool AtRest() const { return form_->Session().Requests().Empty(); }
};

TEST_F(ServiceRecordWindowTest, ApplyAsksWithTheDifferencesAndWritesOnlyOnYes)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    const QString file = dir_.filePath(QStringLiteral("plant.json"));
    ChooseAlways(file);
    Trigger(names::SaveSettingsItem);
    QFile saved(file);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(saved.readAll()).object()["format"].toString(), "ferrovan-kest-settings");

    form_->Session().WriteParameters(30, 8);
    ASSERT_TRUE(WaitFor([&] { return AtRest() && sim_->Parameters().OpenTime() == 30; })) << LogText();

    QString question;
    {
        TModalAnswer no(TModalAnswer::Click(QMessageBox::No, &question));
        Trigger(names::ApplySettingsItem);
        ASSERT_EQ(no.Answered, 1);
    }
    EXPECT_TRUE(question.contains(QStringLiteral("Open Time: 30 ms -> 20 ms\nBreak Time: 80 s -> 50 s")))
        << question.toStdString();
    Settle(300);
    EXPECT_EQ(sim_->Parameters().OpenTime(), 30); // No changes nothing

    QString result;
    TModalAnswer yes(TModalAnswer::Click(QMessageBox::Yes));
    TModalAnswer done(TModalAnswer::Click(QMessageBox::Ok, &result));
    Trigger(names::ApplySettingsItem);
    ASSERT_TRUE(WaitFor([&] { return done.Answered == 1; })) << LogText();
    EXPECT_EQ(result, "The controller holds the settings of " + file + ".");
    EXPECT_EQ(sim_->Parameters().OpenTime(), 20);
    EXPECT_EQ(sim_->Parameters().BreakTime(), 5);

    // A value outside the controller's range is refused in the user's language, naming the
    // range, and nothing is written.
    saved.close();
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    QJsonObject document = QJsonDocument::fromJson(saved.readAll()).object();
    saved.close();
    QJsonObject parameters = document["parameters"].toObject();
    QJsonObject open = parameters["open_time"].toObject();
    open["value"] = 60;
    parameters["open_time"] = open;
    document["parameters"] = parameters;
    ASSERT_TRUE(saved.open(QIODevice::WriteOnly | QIODevice::Truncate));
    saved.write(QJsonDocument(document).toJson());
    saved.close();
    form_->SetLanguage(lngPolish);
    QString refusal;
    {
        TModalAnswer ok(TModalAnswer::Click(QMessageBox::Ok, &refusal));
        Trigger(names::ApplySettingsItem);
        ASSERT_EQ(ok.Answered, 1);
    }
    EXPECT_TRUE(refusal.contains(QStringLiteral("czas otwarcia 60 ms wykracza poza zakres tego sterownika 10..50 ms")))
        << refusal.toStdString();
    EXPECT_EQ(sim_->Parameters().OpenTime(), 20);
}

TEST_F(ServiceRecordWindowTest, TheJournalShowsTheWindowsChangesNewestFirstAndExportsThem)
{
    StartSim();
    MakeForm();
    ConnectThroughWindow();
    form_->Session().WriteParameters(25, std::nullopt);
    ASSERT_TRUE(WaitFor([&] { return AtRest() && sim_->Parameters().OpenTime() == 25; })) << LogText();
    QTest::mouseClick(Button(names::VentingButton), Qt::LeftButton);
    ASSERT_TRUE(WaitFor([&] { return sim_->Venting(); })) << LogText();
    ASSERT_TRUE(WaitFor([&] { return AtRest(); }));

    const QString csv = dir_.filePath(QStringLiteral("report.csv"));
    std::vector<QString> rows;
    TModalAnswer look([&](QWidget* w) {
        auto* dialog = dynamic_cast<TJournalDialog*>(w);
        if (!dialog)
            return false;
        auto* table = dialog->findChild<QTableWidget*>(QLatin1String(names::JournalTable));
        for (int row = 0; table && row < table->rowCount(); ++row)
            rows.push_back(table->item(row, 1)->text() + " | " + table->item(row, 4)->text());
        SaveScreenshot(*dialog, QStringLiteral("journal"), QStringLiteral("journal-dialog"));
        dialog->ChooseCsvFile = [csv] { return csv; };
        dialog->findChild<QPushButton*>(QLatin1String(names::JournalExportButton))->click();
        dialog->reject();
        return true;
    });
    Trigger(names::JournalItem);
    ASSERT_EQ(look.Answered, 1);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0], "ferrovan-kest | venting toggled");
    EXPECT_EQ(rows[1], "ferrovan-kest | open time 20 ms -> 25 ms");
    EXPECT_TRUE(rows[2].startsWith("ferrovan-kest | connected: 0x00060001 (model 6), firmware 1.2.0")) << rows[2].toStdString();
    QFile report(csv);
    ASSERT_TRUE(report.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(report.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0], "time,program,port,user,device,event,description");
    EXPECT_TRUE(lines[2].endsWith(",FK-SIM-0001,parameter,open time 20 ms -> 25 ms")) << lines[2].toStdString();

    // The records read in the user's language.
    form_->SetLanguage(lngRussian);
    QString change;
    TModalAnswer russian([&](QWidget* w) {
        auto* dialog = dynamic_cast<TJournalDialog*>(w);
        if (!dialog)
            return false;
        change = dialog->findChild<QTableWidget*>(QLatin1String(names::JournalTable))->item(1, 4)->text();
        dialog->reject();
        return true;
    });
    Trigger(names::JournalItem);
    ASSERT_EQ(russian.Answered, 1);
    EXPECT_EQ(change, QStringLiteral("время открытия 20 мс -> 25 мс"));
}

TEST_F(ServiceRecordWindowTest, AnUnwritableJournalIsShownOnceAndTheWorkGoesOn)
{
    StartSim();
    const QString blocker = dir_.filePath(QStringLiteral("not-a-folder"));
    QFile(blocker).open(QIODevice::WriteOnly);
    qputenv("XDG_DATA_HOME", blocker.toLocal8Bit()); // the next test gets its own again
    MakeForm();
    QString text;
    TModalAnswer ok(TModalAnswer::Click(QMessageBox::Ok, &text));
    ConnectThroughWindow();
    ASSERT_TRUE(WaitFor([&] { return ok.Answered == 1; }));
    EXPECT_TRUE(text.startsWith("The service journal " + blocker + "/ferrovan-kest/journal.jsonl cannot be written"))
        << text.toStdString();
    form_->Session().WriteParameters(25, std::nullopt); // recorded nowhere, asked about no more
    ASSERT_TRUE(WaitFor([&] { return AtRest() && sim_->Parameters().OpenTime() == 25; })) << LogText();
    Settle(200);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

} // namespace
} // namespace fk::test

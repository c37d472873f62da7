// The module configuration dialog: its view of a module record, the access-point command's
// three cases against simulated modules, the network list's sorting, the 8-bit text filter,
// the module list and the web page; screenshots in every language.
#include "ModuleTestSupport.h"
#include "app/FormKCConfig.h"
#include "app/LanguageTexts.h"
#include "controls/MyListHeader.h"
#include "controls/MyListView.h"
#include "session/MessageTable.h"
#include "ScreenshotUtil.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gtest/gtest.h>

namespace fk::test {
namespace {

std::list<TWLANItem> SampleNetworks()
{
    return {{"Net10", -80}, {"Net2", -45}, {"Hall", INT_MIN}, {"Yard", -60}};
}

QStringList Column(const TMyListView& view, int column)
{
    QStringList out;
    for (int i = 0; i < view.topLevelItemCount(); ++i)
        out << view.topLevelItem(i)->text(column);
    return out;
}

void ClickHeader(TMyListView& view, int column)
{
    TMyListHeader* header = view.GetHeaderHandle();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(x, header->height() / 2));
}

// Types text as a user would, one key event per character (QTest::keyClicks only knows Latin-1).
void Type(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

TEST(ModuleDialog, ShowsTheModuleAndOnlyAJoinedOneAsConnected)
{
    TFormKCConfig dialog(nullptr, TAnsiCodePage::Western);
    // Before any module: the header is greyed, Connect and Administration are disabled.
    EXPECT_FALSE(dialog.Header()->isEnabled());
    EXPECT_FALSE(dialog.ConnectButton()->isEnabled());
    EXPECT_FALSE(dialog.AdminButton()->isEnabled());
    dialog.show();

    TKestConnectStatus module = ModuleRecord("127.0.0.2", "Pump \xE9", "Workshop", "0.0.0.0", false, SampleNetworks());
    dialog.SetModemStatus(module);
    EXPECT_TRUE(dialog.ModemPresent);
    EXPECT_TRUE(dialog.Header()->isEnabled());
    EXPECT_TRUE(dialog.ConnectButton()->isEnabled());
    EXPECT_EQ(dialog.NameLabel()->text(), QString::fromUtf8("Pump é")); // 8-bit name decoded
    EXPECT_EQ(dialog.VersionLabel()->text(), "v.2.1.0");
    EXPECT_EQ(dialog.AddressLabel()->text(), "(127.0.0.2)");
    EXPECT_FALSE(dialog.ConnectedPanel()->isVisibleTo(&dialog)); // 0.0.0.0: not joined
    EXPECT_EQ(dialog.SSIDEdit()->text(), "Workshop");
    EXPECT_EQ(dialog.PasswordEdit()->text(), "pass");
    EXPECT_TRUE(dialog.Edited); // the fill changed the box
    EXPECT_EQ(Column(*dialog.NetworkList(), 0), (QStringList{"Net10", "Net2", "Hall", "Yard"}));
    EXPECT_EQ(Column(*dialog.NetworkList(), 1), (QStringList{"-80 dBm", "-45 dBm", "", "-60 dBm"}));
    EXPECT_TRUE(dialog.ConfigTimer()->isActive());
    EXPECT_EQ(dialog.ConfigTimer()->interval(), 10000);

    // A module that has not reported its access-point address has not joined either.
    module.Config.AccessPoint.IP.clear();
    dialog.SetModemStatus(module);
    EXPECT_FALSE(dialog.ConnectedPanel()->isVisibleTo(&dialog));

    // Joined: "Connected to" the access point; the boxes keep what they hold (Edited).
    module = ModuleRecord("127.0.0.2", "Pump", "Depot", "10.0.0.7", false);
    dialog.SetModemStatus(module);
    EXPECT_TRUE(dialog.ConnectedPanel()->isVisibleTo(&dialog));
    EXPECT_EQ(dialog.AccessPointLabel()->text(), "Depot (10.0.0.7)");
    EXPECT_TRUE(dialog.Header()->toolTip().startsWith("Pump ")); // the whole header, however narrow
    EXPECT_TRUE(dialog.Header()->toolTip().endsWith("(127.0.0.2) - Connected to: Depot (10.0.0.7)"))
        << dialog.Header()->toolTip().toStdString();
    EXPECT_EQ(dialog.SSIDEdit()->text(), "Workshop");
    dialog.RestoreButton()->click();
    EXPECT_EQ(dialog.SSIDEdit()->text(), "Depot");

    // Without a version the version label is hidden.
    module.Config.Version.clear();
    dialog.SetModemStatus(module);
    EXPECT_FALSE(dialog.VersionLabel()->isVisibleTo(&dialog));

    // Closing stops the timer, forgets the link and the edits; a new selection fills again.
    dialog.close();
    EXPECT_FALSE(dialog.ConfigTimer()->isActive());
    EXPECT_FALSE(dialog.Edited);
    EXPECT_EQ(dialog.ConnectComm, nullptr);
}

TEST(ModuleDialog, FillingWithTheSameTextKeepsTheBoxesFollowingTheModule)
{
    TFormKCConfig dialog(nullptr, TAnsiCodePage::Western);
    dialog.SSIDEdit()->setText("Depot");
    dialog.Edited = false;
    dialog.SetModemStatus(ModuleRecord("127.0.0.2", "Pump", "Depot", "0.0.0.0", false));
    EXPECT_FALSE(dialog.Edited);
    dialog.SetModemStatus(ModuleRecord("127.0.0.2", "Pump", "Depot", "0.0.0.0", false));
    dialog.SetModemStatus(ModuleRecord("127.0.0.2", "Pump", "Yard", "0.0.0.0", false));
    EXPECT_EQ(dialog.SSIDEdit()->text(), "Yard"); // still following: now it changed
    EXPECT_TRUE(dialog.Edited);
    dialog.SetModemStatus(ModuleRecord("127.0.0.2", "Pump", "Hall", "0.0.0.0", false));
    EXPECT_EQ(dialog.SSIDEdit()->text(), "Yard");
}

TEST(ModuleDialog, ModulesAreListedInThePortListsOrder)
{
    TFormKCConfig dialog(nullptr, TAnsiCodePage::Western);
    const TKestConnectStatusList list{ModuleRecord("192.168.1.10", "C", "Depot", "0.0.0.0", false),
                                      ModuleRecord("192.168.1.2", "A", "Depot", "0.0.0.0", false),
                                      ModuleRecord("192.168.1.4", "B", "Depot", "0.0.0.0", false)};
    dialog.SetModemStatus(list.back());
    dialog.SetDeviceList(&list);
    ASSERT_EQ(dialog.ModuleList()->count(), 3);
    EXPECT_EQ(dialog.ModuleList()->item(0)->text(), "192.168.1.2 (A)");
    EXPECT_EQ(dialog.ModuleList()->item(2)->text(), "192.168.1.10 (C)");
    dialog.ModuleList()->setCurrentRow(1);
    QTest::keyClick(dialog.ModuleList(), Qt::Key_Return); // the row chosen is the module shown there
    EXPECT_EQ(dialog.ModemStatus.IP, "192.168.1.4");
}

TEST(ModuleDialog, SignalSortsStrongestFirstThenWeakestFirstThenAsTheModuleGaveIt)
{
    TFormKCConfig dialog(nullptr, TAnsiCodePage::Western);
    dialog.show();
    dialog.SetModemStatus(ModuleRecord("127.0.0.2", "Pump", "Depot", "0.0.0.0", false, SampleNetworks()));
    TMyListView& view = *dialog.NetworkList();
    TMyListColumn* signal = view.Columns().GetItem(1);

    ClickHeader(view, 1);
    EXPECT_EQ(Column(view, 0), (QStringList{"Net2", "Yard", "Net10", "Hall"}));
    EXPECT_EQ(signal->SortDirection(), updDown);
    // The order holds when the module's record comes again.
    dialog.SetModemStatus(dialog.ModemStatus);
    EXPECT_EQ(Column(view, 0), (QStringList{"Net2", "Yard", "Net10", "Hall"}));
    ClickHeader(view, 1);
    EXPECT_EQ(Column(view, 0), (QStringList{"Hall", "Net10", "Yard", "Net2"}));
    EXPECT_EQ(signal->SortDirection(), updUp);
    ClickHeader(view, 1);
    EXPECT_EQ(Column(view, 0), (QStringList{"Net10", "Net2", "Hall", "Yard"}));
    EXPECT_EQ(signal->SortDirection(), updNone);
    EXPECT_EQ(view.Tag(), 0);

    // SSID: numbers inside names by value, descending first; the Signal arrow goes.
    ClickHeader(view, 1);
    ClickHeader(view, 0);
    EXPECT_EQ(signal->SortDirection(), updNone);
    EXPECT_EQ(view.Columns().GetItem(0)->SortDirection(), updDown);
    EXPECT_EQ(Column(view, 0), (QStringList{"Yard", "Net10", "Net2", "Hall"}));
    ClickHeader(view, 0);
    EXPECT_EQ(Column(view, 0), (QStringList{"Hall", "Net2", "Net10", "Yard"}));

    // A double click on a network puts its name into the SSID box.
    view.setCurrentItem(view.topLevelItem(1));
    emit view.itemDoubleClicked(view.topLevelItem(1), 0);
    EXPECT_EQ(dialog.SSIDEdit()->text(), "Net2");
}

TEST(ModuleDialog, BoxesTakeOnlyWhatTheCodePageCarriesAndNoCommandBreakers)
{
    TFormKCConfig western(nullptr, TAnsiCodePage::Western);
    western.show();
    QLineEdit* ssid = western.SSIDEdit();
    ssid->setFocus();
    Type(ssid, QString::fromUtf8("Caf\u00e9 \u20ac"));
    EXPECT_EQ(ssid->text(), QString::fromUtf8("Caf\u00e9 \u20ac"));
    EXPECT_FALSE(western.HintLabel()->isVisibleTo(&western));
    Type(ssid, QString::fromUtf8("\u0105")); // ą is not in 1252
    EXPECT_EQ(ssid->text(), QString::fromUtf8("Caf\u00e9 \u20ac"));
    EXPECT_TRUE(western.HintLabel()->isVisibleTo(&western));
    EXPECT_TRUE(western.HintLabel()->text().contains(QString::fromUtf8("\u0105")));
    Type(ssid, QString::fromUtf8("\u0416")); // Ж neither
    ssid->insert(QStringLiteral("a,b"));      // pasted text with a comma
    EXPECT_EQ(ssid->text(), QString::fromUtf8("Caf\u00e9 \u20ac"));

    QLineEdit* password = western.PasswordEdit();
    password->setFocus();
    Type(password, QStringLiteral("ab"));
    Type(password, QStringLiteral(","));
    password->insert(QStringLiteral("x\ny"));
    EXPECT_EQ(password->text(), "ab");
    EXPECT_TRUE(western.HintLabel()->text().contains("line feed"));

    // The Polish code page carries ą.
    TFormKCConfig polish(nullptr, TAnsiCodePage::CentralEuropean);
    Type(polish.SSIDEdit(), QString::fromUtf8("\u0105"));
    EXPECT_EQ(polish.SSIDEdit()->text(), QString::fromUtf8("\u0105"));
}

TEST(ModuleDialog, ARefusedPassPhraseCharacterStaysMaskedAndTheHintMovesNothing)
{
    TFormKCConfig dialog(nullptr, TAnsiCodePage::Western);
    dialog.show();
    QApplication::processEvents();
    const QPoint connectAt = dialog.ConnectButton()->mapTo(&dialog, QPoint());
    ASSERT_TRUE(dialog.HideBox()->isChecked());
    Type(dialog.PasswordEdit(), QString::fromUtf8("\u0105"));
    QApplication::processEvents();
    ASSERT_TRUE(dialog.HintLabel()->isVisibleTo(&dialog));
    EXPECT_FALSE(dialog.HintLabel()->text().contains(QString::fromUtf8("\u0105"))) << dialog.HintLabel()->text().toStdString();
    EXPECT_EQ(dialog.ConnectButton()->mapTo(&dialog, QPoint()), connectAt);
    EXPECT_FALSE(SaveScreenshot(dialog, QStringLiteral("modules"), QStringLiteral("dialog-hint-masked")).isEmpty());
    // Shown in clear, the pass phrase's refused character may be named.
    dialog.HideBox()->click();
    Type(dialog.PasswordEdit(), QString::fromUtf8("\u0105"));
    EXPECT_TRUE(dialog.HintLabel()->text().contains(QString::fromUtf8("\u0105")));
}

TEST(ModuleDialog, HideMasksThePassPhraseWithBlackCircles)
{
    TFormKCConfig dialog(nullptr, TAnsiCodePage::Western);
    int calls = 0;
    dialog.OnHideClick = TNotifyEvent::Bind(&calls, [&](TObject* sender) {
        EXPECT_EQ(sender, &dialog);
        ++calls;
    });
    dialog.PasswordEdit()->setText("secret");
    EXPECT_TRUE(dialog.HideBox()->isChecked());
    EXPECT_EQ(dialog.PasswordEdit()->displayText(), QString(6, QChar(0x25CF)));
    dialog.HideBox()->click();
    EXPECT_EQ(dialog.PasswordEdit()->displayText(), "secret");
    EXPECT_EQ(calls, 1);
    dialog.SetHidePassword(true);
    EXPECT_EQ(dialog.PasswordEdit()->displayText(), QString(6, QChar(0x25CF)));
    EXPECT_EQ(calls, 2);
}

TEST(ModuleDialog, ModuleListSelectsByDoubleClickOrEnterAndAbsenceGreysTheHeader)
{
    TFormKCConfig dialog(nullptr, TAnsiCodePage::Western);
    std::vector<QString> opened;
    dialog.OpenUrl = [&](const QString& url) {
        opened.push_back(url);
        return true;
    };
    dialog.show();
    TKestConnectStatusList list{ModuleRecord("127.0.0.2", "Pump", "Depot", "0.0.0.0", false, SampleNetworks()),
                                ModuleRecord("127.0.0.3", "Mixer", "Yard", "0.0.0.0", false, {{"Only", -50}})};
    list.back().Host = "mixer.local";
    dialog.SetModemStatus(list.front());
    dialog.SetDeviceList(&list);
    ASSERT_EQ(dialog.ModuleList()->count(), 2);
    EXPECT_EQ(dialog.ModuleList()->item(1)->text(), "127.0.0.3 (Mixer)");
    EXPECT_TRUE(dialog.ModemPresent);

    // Administration and the header open the module's page.
    dialog.AdminButton()->click();
    QTest::mouseClick(dialog.NameLabel(), Qt::LeftButton);
    EXPECT_EQ(opened, (std::vector<QString>{"http://127.0.0.2", "http://127.0.0.2"}));

    // Enter on the second row selects that module: its networks, its boxes.
    dialog.SSIDEdit()->setText("typed");
    dialog.ModuleList()->setFocus();
    dialog.ModuleList()->setCurrentRow(1);
    QTest::keyClick(dialog.ModuleList(), Qt::Key_Return);
    EXPECT_EQ(dialog.ModemStatus.IP, "127.0.0.3");
    EXPECT_EQ(dialog.SSIDEdit()->text(), "Yard");
    EXPECT_EQ(Column(*dialog.NetworkList(), 0), QStringList{"Only"});
    dialog.AdminButton()->click();
    EXPECT_EQ(opened.back(), "http://mixer.local");
    // Shift+Enter does not select.
    dialog.ModuleList()->setCurrentRow(0);
    QTest::keyClick(dialog.ModuleList(), Qt::Key_Return, Qt::ShiftModifier);
    EXPECT_EQ(dialog.ModemStatus.IP, "127.0.0.3");

    // The selected module leaves the network: greyed header, no Connect, no timer.
    list.pop_back();
    dialog.SetDeviceList(&list);
    EXPECT_FALSE(dialog.ModemPresent);
    EXPECT_FALSE(dialog.Header()->isEnabled());
    EXPECT_FALSE(dialog.ConnectButton()->isEnabled());
    EXPECT_FALSE(dialog.AdminButton()->isEnabled());
    EXPECT_FALSE(dialog.ConfigTimer()->isActive());
    QTest::mouseClick(dialog.NameLabel(), Qt::LeftButton);
    EXPECT_EQ(opened.size(), 3u);
    dialog.SetDeviceList(nullptr);
    EXPECT_EQ(dialog.ModuleList()->count(), 0);
}

// The dialog against simulated modules through a real module link, fed as the main window
// feeds it.
class ModuleDialogLink : public ::testing::Test {
protected:
    void SetUp() override
    {
        comm_ = Make<TKestConnectComm>();
        comm_->SetUDPPort(sims_.UDPPort);
        comm_->SetTCPPort(sims_.TCPPort);
        comm_->OnModemListUpdate = TNotifyEvent::Bind(this, [this](TObject*) { dialog_.SetDeviceList(&comm_->DeviceList()); });
        comm_->OnModemStatusUpdate = TNotifyEvent::Bind(this, [this](TObject*) {
            for (const TKestConnectStatus& m : comm_->DeviceList())
                if (m.IP == dialog_.ModemStatus.IP)
                    dialog_.SetModemStatus(m);
        });
    }
    void TearDown() override
    {
        dialog_.close();
        comm_.reset();
        sims_.Clear();
    }

    // Starts a module, waits until the link knows it and opens the dialog on it.
    TSimModule& Open(const std::string& ip, const std::function<void(TSimModuleOptions&)>& change)
    {
        TSimModule& module = sims_.Start(ip, change);
        EXPECT_TRUE(SpinUntil([&] { return Record(ip) != nullptr; }));
        dialog_.ConnectComm = comm_.get();
        dialog_.SetModemStatus(*Record(ip));
        dialog_.show();
        // The show asks for the configuration and the networks.
        EXPECT_TRUE(SpinUntil([&] { return CommandCount(module, "APLIST") >= 1 && comm_->CommandQueue().empty(); }));
        return module;
    }
    const TKestConnectStatus* Record(const String& ip)
    {
        for (const TKestConnectStatus& m : comm_->DeviceList())
            if (m.IP == ip && !m.Config.Name.empty())
                return &m;
        return nullptr;
    }
    void Settle()
    {
        SpinUntil([&] { return comm_->CommandQueue().empty(); });
        SpinFor(100);
    }

    TSimModules sims_;
    TOwned<TKestConnectComm> comm_;
    TFormKCConfig dialog_{nullptr, TAnsiCodePage::Western};
};

TEST_F(ModuleDialogLink, ConnectWithTheValuesTheJoinedModuleUsesOnlyAsksForItsConfiguration)
{
    TSimModule& module = Open("127.0.0.2", [](TSimModuleOptions& o) {
        o.Joined = true;
        o.APAddress = "10.0.0.9";
    });
    EXPECT_TRUE(dialog_.ConnectedPanel()->isVisibleTo(&dialog_));
    const std::size_t configs = CommandCount(module, "KCCONF");
    dialog_.ConnectButton()->click();
    Settle();
    EXPECT_EQ(CommandCount(module, "NEWAPN"), 0u);
    EXPECT_EQ(CommandCount(module, "KCCONF"), configs + 1);
    EXPECT_TRUE(dialog_.ConfigTimer()->isActive());
}

TEST_F(ModuleDialogLink, ThroughItsOwnAccessPointConnectAsksFirstAndNoSendsNothing)
{
    TSimModule& module = Open("127.0.0.3", [](TSimModuleOptions& o) {
        o.Joined = true;
        o.APAddress = "127.0.0.3"; // the PC reaches the module on the access point's network
    });
    dialog_.SSIDEdit()->setText("Elsewhere");
    {
        TMessageBoxAnswer no(QMessageBox::No);
        dialog_.ConnectButton()->click();
        EXPECT_EQ(no.Shown, 1);
        EXPECT_EQ(no.Text.toStdString(), TMessageTable::DefaultText(msgModuleDisconnectAsk));
        EXPECT_EQ(no.Icon, QMessageBox::Warning);
        EXPECT_EQ(no.DefaultButton, QMessageBox::No);
    }
    Settle();
    EXPECT_EQ(CommandCount(module, "NEWAPN"), 0u);
    {
        TMessageBoxAnswer yes(QMessageBox::Yes);
        QTest::keyClick(dialog_.SSIDEdit(), Qt::Key_Return); // Enter in the box is Connect
        EXPECT_EQ(yes.Shown, 1);
    }
    ASSERT_TRUE(SpinUntil([&] { return module.AccessPointSSID() == "Elsewhere"; }));
    EXPECT_EQ(CommandCount(module, "NEWAPN,Elsewhere,secret"), 1u);
}

TEST_F(ModuleDialogLink, OtherwiseTheModuleReceivesExactlyTheAccessPointCommand)
{
    TSimModule& module = Open("127.0.0.4", [](TSimModuleOptions& o) {
        o.Joined = false;
        o.APAddress = "0.0.0.0";
    });
    EXPECT_FALSE(dialog_.ConnectedPanel()->isVisibleTo(&dialog_));
    dialog_.SSIDEdit()->setText(QString::fromUtf8("Caf\u00e9"));
    dialog_.PasswordEdit()->setText("pw 2");
    TMessageBoxAnswer none(QMessageBox::No);
    dialog_.ConnectButton()->click();
    ASSERT_TRUE(SpinUntil([&] { return CommandCount(module, "NEWAPN") == 1; }));
    Settle();
    EXPECT_EQ(none.Shown, 0);
    EXPECT_EQ(CommandCount(module, "NEWAPN"), 1u);
    EXPECT_EQ(module.AccessPointSSID(), "Caf\xE9"); // one byte of code page 1252
    EXPECT_EQ(module.AccessPointPassword(), "pw 2");

    // The 10 s timer asks for the configuration again; so does the refresh button, with the networks.
    const std::size_t configs = CommandCount(module, "KCCONF");
    const std::size_t lists = CommandCount(module, "APLIST");
    dialog_.Timer1Timer();
    Settle(); // identical pending commands are merged by the link
    dialog_.RefreshButton()->click();
    Settle();
    EXPECT_EQ(CommandCount(module, "KCCONF"), configs + 2);
    EXPECT_EQ(CommandCount(module, "APLIST"), lists + 1);
    EXPECT_TRUE(dialog_.ConfigTimer()->isActive());
}

TEST_F(ModuleDialogLink, AModuleThatStopsAnsweringLeavesTheOldValuesAndTheDialogUsable)
{
    TSimModule& module = Open("127.0.0.5", {});
    const QString name = dialog_.NameLabel()->text();
    module.SetMute(true);
    dialog_.RefreshButton()->click();
    SpinFor(200);
    EXPECT_EQ(dialog_.NameLabel()->text(), name);
    EXPECT_TRUE(dialog_.ConnectButton()->isEnabled());
    EXPECT_EQ(Column(*dialog_.NetworkList(), 0), (QStringList{"Workshop", "Office"}));
}

TEST(ModuleDialogScreenshots, TheDialogInEveryLanguage)
{
    const char* names[TLanguageTexts::LanguageCount] = {"en", "pl", "ru"};
    for (int lang = 0; lang < TLanguageTexts::LanguageCount; ++lang) {
        TLanguageTexts texts;
        ASSERT_TRUE(texts.SetLanguage(lang));
        TFormKCConfig dialog(nullptr, TAnsiCodePage::Western);
        dialog.SetMessages(&texts.Messages());
        dialog.ApplyLanguage(texts, QStringLiteral("Ferrovan-Kest"));
        TKestConnectStatusList list{
            ModuleRecord("127.0.0.2", "KC Pump-House", "Workshop", "192.168.1.23", true, SampleNetworks()),
            ModuleRecord("127.0.0.3", "KC Mixer", "Yard", "0.0.0.0", false)};
        dialog.show();
        dialog.SetModemStatus(list.front());
        dialog.SetDeviceList(&list);
        ClickHeader(*dialog.NetworkList(), 1);
        QTest::qWait(20);
        EXPECT_NE(dialog.windowTitle().indexOf(QStringLiteral("KESTConnect")), -1);
        EXPECT_FALSE(SaveScreenshot(dialog, QStringLiteral("modules"), QStringLiteral("dialog-") + QLatin1String(names[lang])).isEmpty());
        if (lang == 1) {
            EXPECT_EQ(dialog.NetworkList()->Columns().GetItem(1)->Caption(), QString::fromUtf8("Sygnał"));
        }
    }
}

} // namespace
} // namespace fk::test

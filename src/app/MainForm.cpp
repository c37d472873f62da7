#include "app/MainForm.h"

#include "app/Accelerators.h"
#include "app/AppImages.h"
#include "app/ConnectionPorts.h"
#include "app/ExitFarewell.h"
#include "app/FirmwareFolder.h"
#include "app/FormProgInfo.h"
#include "app/FormSettings.h"
#include "app/InstanceGuard.h"
#include "app/LanguageApplier.h"
#include "app/ScreenSnap.h"
#include "app/ServiceRecordMenu.h"
#include "app/FormKCConfig.h"
#include "app/ModuleEntries.h"
#include "app/NoProgramBox.h"
#include "app/ObjectNames.h"
#include "app/PortListBox.h"
#include "app/PortListDelegate.h"
#include "app/StatusLine.h"
#include "app/TracedMessageBox.h"
#include "support/TraceSink.h"
#include "connection/KestConnection.h"
#include "controls/DesignScale.h"
#include "controls/Knob.h"
#include "platform/LastError.h"
#include "ports/PortImageList.h"
#include "ports/SerialPort.h"
#include "support/AnsiCodePage.h"
#include "session/ModuleSession.h"
#include "session/PortHolderText.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QStyleHints>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <csignal>
#include <cstdio>
#include <utility>

namespace fk {

namespace {

// Texts of the device (serial number, information text) are 8-bit characters of the code page
// of the user's language.
QString DecodeDeviceText(const String& bytes)
{
    static const TAnsiCodePage codePage;
    return QString::fromStdString(codePage.Decode(bytes));
}

// "Ver.:\t1.2.0\r\nBuild:\t2024-05-17" as two aligned columns.
QString TabbedLinesAsTable(const QString& text)
{
    QString html = QStringLiteral("<table cellspacing=\"0\" cellpadding=\"0\">");
    for (const QString& line : text.split(QStringLiteral("\r\n"))) {
        const QStringList cells = line.split(QLatin1Char('\t'));
        html += QStringLiteral("<tr>");
        for (int i = 0; i < cells.size(); ++i)
            html += (i + 1 < cells.size() ? QStringLiteral("<td style=\"padding-right:6px\">") : QStringLiteral("<td>"))
                + cells[i].toHtmlEscaped() + QStringLiteral("</td>");
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QPushButton* NewButton(const QString& text, const char* name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setAutoDefault(false);
    return button;
}

} // namespace

TMainForm::TMainForm(const TMainFormSetup& setup, QWidget* parent)
    : QMainWindow(parent)
    , session_(Make<TModuleSession>(static_cast<TSessionView*>(this)))
{
    setObjectName(QLatin1String(names::MainWindow));
    setWindowTitle(Caption());
    OpenDocument = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    // The program's icon, for every window of it (and the About box).
    if (QApplication::windowIcon().isNull() || QApplication::windowIcon().availableSizes().isEmpty())
        QApplication::setWindowIcon(TAppImages::ApplicationIcon());
    dpi_ = static_cast<int>(std::lround(TDesignScale::ForWidget(this).Factor() * TDesignScale::DesignDpi));
    BuildWidgets();
    BuildMenus();
    ApplyDensity();
    ApplyImages();
    settings_.Language = DefaultLanguage();
    settingsSetAside_ = setup.SettingsSetAside;
    LoadStoredSettings();
    // Settings that cannot be saved are told at start, not when the window closes.
    settingsProblem_ = TRegistry::ProbeWrite();
    BuildDialogs(setup);

    ports_ = new TConnectionPorts(*session_, *portList_, this);
    portList_->Delegate()->SetImages(&ports_->Images());
    ports_->SetPaths(setup.Paths);
    ports_->SetDiscover(setup.DiscoverPorts);
    ports_->SetExtraPorts(setup.ExtraPorts);
    ports_->SetConnectName(setup.ConnectName, setup.ConnectTimeoutMs);
    ports_->SetRememberedIdentities(rememberedIds_.first, rememberedIds_.second);
    ports_->Translate = [this](const String& key) { return texts_.Translate(key); };
    connect(ports_, &TConnectionPorts::AdapterReturned, this, &TMainForm::ShowAdapterReturned);
    connect(ports_, &TConnectionPorts::IdentityAmbiguous, this, &TMainForm::ShowIdentityAmbiguous);
    ports_->SetAutoConnectRule({settings_.Has(optConnectAtStartup), settings_.Has(optRememberConnection),
                                settings_.Has(optWasConnected)});
    SetUpModules(setup);

    // The closed port's user interface and no device, then the list (which may connect).
    session_->BringToClosedState();
    ports_->RefreshPortList();
    if (setup.WatchPorts)
        ports_->WatchPorts();
    ApplyAccelerators();
    qApp->installEventFilter(this);
}

TMainForm::~TMainForm()
{
    // Destroyed without being closed: a device being upgraded or left in its bootloader still
    // gets its restart before the port closes with the session.
    if (!closed_)
        SayFarewell(TSessionClosing::FarewellTime);
    qApp->removeEventFilter(this);
    // Nothing the session does from here on may reach the widgets.
    modules_.reset();
    session_->SetView(nullptr);
    session_.reset();
}

QString TMainForm::Caption() const { return QStringLiteral("Ferrovan-Kest"); }

void TMainForm::BuildWidgets()
{
    auto* central = new QWidget(this);
    setCentralWidget(central);
    auto* layout = new QVBoxLayout(central);

    // Device controls.
    deviceControlsGroup_ = new QGroupBox(QStringLiteral(" Control "), central);
    deviceControlsGroup_->setObjectName(QLatin1String(names::DeviceControls));
    TLanguageApplier::SetKey(deviceControlsGroup_, "grp_dev-controls");
    auto* grid = new QGridLayout(deviceControlsGroup_);
    openTimeLabel_ = new QLabel(QStringLiteral("Open Time"), deviceControlsGroup_);
    openTimeLabel_->setObjectName(QLatin1String(names::OpenTimeLabel));
    TLanguageApplier::SetKey(openTimeLabel_, "lbl_set-tmopen");
    breakTimeLabel_ = new QLabel(QStringLiteral("Break Time"), deviceControlsGroup_);
    breakTimeLabel_->setObjectName(QLatin1String(names::BreakTimeLabel));
    TLanguageApplier::SetKey(breakTimeLabel_, "lbl_set-tmbreak");
    const char* scrollNames[2] = {names::OpenTimeScrollBar, names::BreakTimeScrollBar};
    const char* knobNames[2] = {names::OpenTimeKnob, names::BreakTimeKnob};
    for (int k = 0; k < 2; ++k) {
        const auto knob = static_cast<TSessionKnob>(k);
        auto* bar = new QScrollBar(Qt::Horizontal, deviceControlsGroup_);
        bar->setObjectName(QLatin1String(scrollNames[k]));
        bar->setPageStep(5);
        bar->setSingleStep(1);
        const TParameterWrites::TKnobState& state = session_->Knobs().Knob(knob);
        bar->setRange(state.Min, state.Max);
        bar->setValue(state.Position);
        connect(bar, &QScrollBar::actionTriggered, this, [this, knob](int action) { KnobScrolled(knob, action); });
        connect(bar, &QScrollBar::sliderReleased, this, [this, knob, bar] {
            scrollBurst_[knob]->stop();
            session_->Knobs().ScrollBarScroll(knob, true, bar->sliderPosition());
        });
        scrollBurst_[k] = new QTimer(this);
        scrollBurst_[k]->setSingleShot(true);
        scrollBurst_[k]->setInterval(TKnob::WheelBurstEnd);
        connect(scrollBurst_[k], &QTimer::timeout, this, [this, knob] { session_->Knobs().KnobEndMove(knob); });
        scrollBar_[k] = bar;
        auto* knobWidget = new TKnob(deviceControlsGroup_);
        knobWidget->setObjectName(QLatin1String(knobNames[k]));
        knobWidget->setStyle(kstSpinOnly);
        knobWidget->setUnit(k == skOpenTime ? QStringLiteral("ms") : QStringLiteral("s"));
        knobWidget->setValueMultiplier(k == skOpenTime ? 1.0 : 10.0);
        knobWidget->setMin(state.Min);
        knobWidget->setMax(state.Max);
        knobWidget->setPosition(state.Position);
        connect(knobWidget, &TKnob::positionChanged, this,
                [this, knob](int position) { session_->Knobs().KnobChangePosition(knob, position); });
        connect(knobWidget, &TKnob::moveEnded, this, [this, knob] { session_->Knobs().KnobEndMove(knob); });
        knob_[k] = knobWidget;
    }
    ventingButton_ = TLanguageApplier::Key(
        NewButton(QStringLiteral("Venting (on/off)"), names::VentingButton, deviceControlsGroup_), "btn_vent-tgl");
    // Alt + a label's letter puts the keyboard on its knob (the scroll bars take no focus).
    openTimeLabel_->setBuddy(knob_[0]);
    breakTimeLabel_->setBuddy(knob_[1]);
    grid->addWidget(openTimeLabel_, 0, 0);
    grid->addWidget(scrollBar_[0], 0, 1);
    grid->addWidget(knob_[0], 0, 2);
    grid->addWidget(breakTimeLabel_, 1, 0);
    grid->addWidget(scrollBar_[1], 1, 1);
    grid->addWidget(knob_[1], 1, 2);
    grid->addWidget(ventingButton_, 0, 3, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(1, 1);
    layout->addWidget(deviceControlsGroup_);

    // Connection port list.
    portListGroup_ = new QGroupBox(QStringLiteral(" Connection Port List "), central);
    portListGroup_->setObjectName(QLatin1String(names::PortListGroup));
    TLanguageApplier::SetKey(portListGroup_, "grp_connlist");
    auto* portGrid = new QGridLayout(portListGroup_);
    portList_ = new TPortListBox(nullptr, portListGroup_);
    portList_->setObjectName(QLatin1String(names::PortList));
    auto* right = new QVBoxLayout;
    connectButton_ = TLanguageApplier::Key(
        NewButton(QStringLiteral("Connect"), names::ConnectButton, portListGroup_), "btn_connect");
    disconnectButton_ = TLanguageApplier::Key(
        NewButton(QStringLiteral("Disconnect"), names::DisconnectButton, portListGroup_), "btn_disconnect");
    disconnectButton_->setEnabled(false);
    deviceVersionLabel_ = new QLabel(portListGroup_);
    deviceVersionLabel_->setObjectName(QLatin1String(names::DeviceVersionLabel));
    deviceVersionLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    deviceVersionLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    right->addWidget(connectButton_);
    right->addWidget(disconnectButton_);
    right->addWidget(deviceVersionLabel_);
    right->addStretch(1);
    deviceInfoLabel_ = new QLabel(portListGroup_);
    deviceInfoLabel_->setObjectName(QLatin1String(names::DeviceInfoLabel));
    deviceInfoLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    deviceInfoLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    portGrid->addWidget(portList_, 0, 0);
    portGrid->addLayout(right, 0, 1);
    portGrid->addWidget(deviceInfoLabel_, 1, 0, 1, 2);
    portGrid->setColumnStretch(0, 1);
    portGrid->setRowStretch(0, 1);
    layout->addWidget(portListGroup_, 1);

    // Firmware and restart.
    firmwareGroup_ = new QGroupBox(central);
    firmwareGroup_->setObjectName(QLatin1String(names::FirmwareGroup));
    auto* buttons = new QGridLayout(firmwareGroup_);
    uploadButton_ = TLanguageApplier::Key(
        NewButton(QStringLiteral("Upload firmware"), names::UploadButton, firmwareGroup_), "btn_upload");
    rebootButton_ = TLanguageApplier::Key(
        NewButton(QStringLiteral("Reboot"), names::RebootButton, firmwareGroup_), "btn_dev-reboot");
    rebootButton_->setEnabled(false);
    buttons->addWidget(uploadButton_, 0, 0);
    buttons->addWidget(rebootButton_, 0, 1);
    buttons->setColumnStretch(0, 1);
    buttons->setColumnStretch(1, 1);
    layout->addWidget(firmwareGroup_);

    // Status bar.
    statusLine_ = new TStatusLine(this);
    statusBar()->setObjectName(QLatin1String(names::StatusBar));
    statusBar()->setSizeGripEnabled(true);
    statusBar()->addWidget(statusLine_->PortPanel());
    statusBar()->addWidget(statusLine_->StatusPanel(), 1);
    statusBar()->addPermanentWidget(statusLine_->ProgressPanel());
    TLanguageApplier::SetKey(statusLine_->AbortButton(), "btn_upl-stop");

    // The user's own Connect or Disconnect: a pulled adapter is no longer awaited back.
    connect(connectButton_, &QPushButton::clicked, this, [this] { CancelAdapterReturn(); session_->ButtonClick(sbConnect); });
    connect(disconnectButton_, &QPushButton::clicked, this, [this] { CancelAdapterReturn(); session_->ButtonClick(sbDisconnect); });
    connect(uploadButton_, &QPushButton::clicked, this, [this] { session_->ButtonClick(sbUpload); });
    connect(rebootButton_, &QPushButton::clicked, this, [this] { session_->ButtonClick(sbReboot); });
    connect(ventingButton_, &QPushButton::clicked, this, [this] { session_->ButtonClick(sbVenting); });
    connect(statusLine_, &TStatusLine::AbortClicked, this, [this] { session_->ButtonClick(sbAbort); });
    connect(portList_, &TPortListBox::ConnectRequested, this, [this] { session_->ConnectToEntry(std::nullopt, true); });

    connectButton_->setEnabled(true);
    connectButton_->setDefault(true);
    deviceControlsGroup_->setEnabled(false);
}

void TMainForm::BuildMenus()
{
    menuOptions_ = menuBar()->addMenu(QStringLiteral("&Options"));
    menuOptions_->setObjectName(QLatin1String(names::OptionsMenu));
    menuOptions_->setToolTipsVisible(true);
    menuLanguage_ = menuOptions_->addMenu(QStringLiteral("&Language"));
    menuLanguage_->setObjectName(QLatin1String(names::LanguageMenu));
    languages_ = new QActionGroup(this);
    const char* captions[3] = {"English", "Polish (Polski)", "Russian (Русский)"};
    const char* codes[3] = {"EN", "PL", "RU"};
    for (int i = 0; i < 3; ++i) {
        QAction* item = menuLanguage_->addAction(QString::fromUtf8(captions[i]));
        item->setObjectName(QLatin1String(names::LanguageItems[i]));
        item->setCheckable(true);
        item->setData(QString::fromLatin1(codes[i]));
        item->setStatusTip(QString::fromLatin1(codes[i]));
        languages_->addAction(item);
        menuLng_[i] = item;
    }
    menuLng_[0]->setChecked(true);
    connect(languages_, &QActionGroup::triggered, this, [this](QAction* item) {
        for (int i = 0; i < lngCount; ++i)
            if (menuLng_[i] == item)
                SetLanguage(i);
    });
    menuSkins_ = menuOptions_->addMenu(QStringLiteral("&Skin"));
    menuSkins_->setObjectName(QLatin1String(names::SkinMenu));
    BuildSkinMenu();
    menuSettings_ = menuOptions_->addAction(QStringLiteral("&Preferences..."));
    menuSettings_->setObjectName(QLatin1String(names::PreferencesItem));
    connect(menuSettings_, &QAction::triggered, this, [this] { MenuSettingsClick(); });
    serviceRecord_ = std::make_unique<TServiceRecordMenu>(this, menuOptions_, *session_, texts_);
    serviceRecord_->Caption = [this] { return Caption(); };

    menuHelp_ = menuBar()->addMenu(QStringLiteral("&Help"));
    menuHelp_->setObjectName(QLatin1String(names::HelpMenu));
    menuHelp_->setToolTipsVisible(true);
    menuHelpManual_ = menuHelp_->addAction(QStringLiteral("User &Manual"));
    menuHelpManual_->setObjectName(QLatin1String(names::ManualItem));
    menuHelpWiring_ = menuHelp_->addAction(QStringLiteral("&Wiring Diagram"));
    menuHelpWiring_->setObjectName(QLatin1String(names::WiringItem));
    connect(menuHelpManual_, &QAction::triggered, this, [this] { OpenHelpDocument(HelpManual); });
    connect(menuHelpWiring_, &QAction::triggered, this, [this] { OpenHelpDocument(HelpWiring); });
    menuHelp_->addSeparator();
    menuAbout_ = menuHelp_->addAction(QStringLiteral("&About..."));
    menuAbout_->setObjectName(QLatin1String(names::AboutItem));
    connect(menuAbout_, &QAction::triggered, this, [this] { MenuAboutClick(); });

    portListMenu_ = new QMenu(this);
    portListMenu_->setObjectName(QLatin1String(names::PortListMenu));
    menuConfigure_ = portListMenu_->addAction(QStringLiteral("Configure"));
    menuConfigure_->setObjectName(QLatin1String(names::ConfigureItem));
    menuConfigure_->setEnabled(false); // wireless-module entries only
    portList_->SetPopupMenu(portListMenu_);
}

void TMainForm::BuildSkinMenu()
{
    // Qt menus need no indentation of their own for themes that are not the platform's
    // style: every theme draws the menu's check column itself.
    skins_ = new QActionGroup(this);
    for (const QString& name : themes_.Names()) {
        QAction* item = menuSkins_->addAction(name);
        item->setCheckable(true);
        item->setData(name);
        skins_->addAction(item);
    }
    connect(skins_, &QActionGroup::triggered, this, [this](QAction* item) { ApplySkin(item->data().toString()); });
}

void TMainForm::ApplySkin(const std::optional<QString>& name)
{
    if (name)
        themes_.ApplySkin(*name); // an unknown name leaves the active skin
    settings_.Skin = -1;
    const QList<QAction*> items = skins_->actions();
    for (int i = 0; i < items.size(); ++i) {
        const bool active = items[i]->data().toString() == themes_.ActiveName();
        items[i]->setChecked(active);
        QFont font = items[i]->font();
        font.setBold(active); // the default item
        items[i]->setFont(font);
        if (active)
            settings_.Skin = i;
    }
    // The platform's own skin keeps the knobs' written colours; every other skin gets colours
    // that keep their contrast on its palette.
    for (TKnob* knob : knob_)
        if (knob)
            knob->setSkinColors(themes_.ActiveName() != themes_.PlatformName());
    ShowPortInStatusBar();
    ApplyImages();
    if (shown_)
        FitMinimumSize(); // another style measures the controls differently
}

void TMainForm::LoadStoredSettings()
{
    TStoredPlaces places;
    const String cwd = QDir::currentPath().toStdString();
    const bool loaded = LoadSettings(settings_, places);
    if (!places.SetAside.empty())
        settingsSetAside_ = places.SetAside;
    if (loaded) {
        session_->Ports().SetCurrentPort(places.CurrentPort);
        session_->Ports().SetConnectedPort(places.ConnectedPort);
        rememberedIds_ = {places.CurrentPortIdentity, places.ConnectedPortIdentity};
        session_->UploadRun().SetFirmwareDir(TFirmwareFolder::InitialFolder(cwd, places.FirmwareDir));
        ApplySkin(places.ThemeStyle ? std::optional<QString>(QString::fromStdString(*places.ThemeStyle)) : std::nullopt);
    } else {
        session_->UploadRun().SetFirmwareDir(TFirmwareFolder::StartFolder(cwd));
        ApplySkin(std::nullopt);
    }
}

void TMainForm::SaveSettings()
{
    TStoredPlaces places;
    places.CurrentPort = session_->Ports().CurrentPort();
    places.ConnectedPort = session_->Ports().ConnectedPort();
    if (ports_) {
        places.CurrentPortIdentity = ports_->IdentityOf(places.CurrentPort);
        places.ConnectedPortIdentity = ports_->IdentityOf(places.ConnectedPort);
    }
    if (TFirmwareFolder::Usable(session_->UploadRun().FirmwareDir()))
        places.FirmwareDir = session_->UploadRun().FirmwareDir();
    places.ThemeStyle = themes_.ActiveName().toStdString();
    String problem;
    if (!fk::SaveSettings(settings_, places, &problem))
        ShowSettingsNotSaved(problem);
}

void TMainForm::TellSettingsProblems()
{
    if (!settingsSetAside_.empty())
        ShowSettingsSetAside();
    if (!settingsProblem_.empty())
        ShowSettingsNotSaved(std::exchange(settingsProblem_, String()));
}

void TMainForm::ShowSettingsSetAside()
{
    const QString copy = QString::fromStdString(std::exchange(settingsSetAside_, String()));
    const QString text = Text("msg_settings-setaside", "The settings file was too large to read. It was set aside as %1; "
                                                       "the program starts with its default settings.")
                             .arg(copy);
    if (stopping_) {
        std::fprintf(stderr, "ferrovan-kest: %s\n", text.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(QMessageBox::Warning, Caption(), text, QMessageBox::Ok, this);
    box.setObjectName(QLatin1String(names::SettingsSetAsideBox));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    TTracedMessageBox::Exec(box);
    keys_.Forget();
}

void TMainForm::ShowSettingsNotSaved(const String& problem)
{
    // Once per run: the user knows from then on that what they change is not kept.
    if (settingsFailureShown_)
        return;
    settingsFailureShown_ = true;
    QString format = QString::fromStdString(texts_.Translate("msg_settings-nosave"));
    if (format.isEmpty())
        format = QStringLiteral("The settings cannot be saved to %1 (%2). What you change now is lost when the "
                                "program ends.");
    const QString text = format.arg(QString::fromStdString(TRegistry::StorePath()), QString::fromStdString(problem));
    if (stopping_) {
        // Ended by a signal: nobody is there to answer a message box.
        std::fprintf(stderr, "ferrovan-kest: %s\n", text.toLocal8Bit().constData());
        return;
    }
    QMessageBox box(QMessageBox::Warning, Caption(), text, QMessageBox::Ok, this);
    box.setObjectName(QLatin1String(names::SettingsNotSavedBox));
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    TTracedMessageBox::Exec(box);
    keys_.Forget();
}

// Wayland leaves fading windows to the compositor (Qt says so on every attempt): there the
// opacity is kept in the settings but not applied.
static void SetWindowOpacity(QWidget* window, u8 opacity)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"), Qt::CaseInsensitive))
        window->setWindowOpacity(opacity / 255.0);
}

void TMainForm::ApplySettings(const TAppSettings& settings)
{
    if (settings.Language >= 0 && settings.Language != language_)
        SetLanguage(settings.Language);
    if (settings.Skin >= 0 && settings.Skin != settings_.Skin && settings.Skin < themes_.Names().size())
        ApplySkin(themes_.Names().at(settings.Skin));
    settings_.Opacity = std::max(TAppSettings::MinOpacity, settings.Opacity);
    // Every window but the preferences dialog takes the opacity; every window snaps alike.
    for (QWidget* window : {static_cast<QWidget*>(this), static_cast<QWidget*>(formProgInfo_)})
        SetWindowOpacity(window, settings_.Opacity);
    if (modules_)
        SetWindowOpacity(&modules_->Dialog(), settings_.Opacity);
    snap_->SetEnabled((settings.Options & optScreenSnap) != 0);
    const bool multi = (settings.Options & optMultiInstance) != 0;
    if (multi != settings_.Has(optMultiInstance)) {
        settings_.Options = settings.Options;
        if (guard_)
            SetGuardState(!multi);
        SaveSettings(); // the guard's setting counts from the next start too
    }
    settings_.Options = settings.Options;
    if (modules_)
        modules_->Dialog().SetHidePassword(!settings_.Has(optShowPassword));
}

void TMainForm::SetUpModules(const TMainFormSetup& setup)
{
    modules_ = std::make_unique<TModuleEntries>(static_cast<TModuleSession&>(*session_), *portList_, *portListMenu_,
                                                *menuConfigure_, this);
    modules_->SetModulePorts(setup.ModuleTCPPort, setup.ModuleUDPPort);
    modules_->RefreshPortList = [this] { ports_->RefreshPortList(); };
    modules_->OnHideChanged = [this](bool hide) { settings_.Set(optShowPassword, !hide); };
    ports_->AddEntries = [this](TCommEnumerator::TCommPortList_& list) { modules_->AppendModuleEntries(list); };
    // The module dialog speaks the window's language, takes its opacity and snaps like it.
    modules_->Dialog().SetMessages(&session_->Messages());
    snap_->Watch(&modules_->Dialog());
}

void TMainForm::SetLanguage(int index)
{
    if (index < 0)
        return;
    settings_.Language = index;
    if (index < lngCount)
        menuLng_[index]->setChecked(true);
    // The default item (bold) is the active language; none when the index has no item.
    for (int i = 0; i < lngCount; ++i) {
        QFont font = menuLng_[i]->font();
        font.setBold(i == index);
        menuLng_[i]->setFont(font);
    }
    if (!texts_.SetLanguage(index))
        return; // no table: every text stays as it is
    language_ = index;
    if (index < lngCount)
        qtTexts_.SetLanguage(QString::fromLatin1(TLanguageTexts::LanguageCodes[index]));
    session_->Messages() = texts_.Messages();
    ApplyTexts();
}

void TMainForm::ApplyTexts()
{
    for (QWidget* window : {static_cast<QWidget*>(this), static_cast<QWidget*>(formSettings_),
                            static_cast<QWidget*>(formProgInfo_)})
        TLanguageApplier::Apply(window, texts_, Caption());
    const auto menu = [this](auto* item, const char* key, const QString& suffix = QString()) {
        const QString text = QString::fromStdString(texts_.Translate(key));
        if (!text.isEmpty())
            item->setText(text + suffix);
    };
    menu(menuOptions_->menuAction(), "men_options");
    menu(menuLanguage_->menuAction(), "men_lng-language");
    menu(menuSkins_->menuAction(), "men_skin");
    menu(menuSettings_, "men_preferences", QStringLiteral("..."));
    menu(menuHelp_->menuAction(), "men_help");
    menu(menuHelpManual_, "men_help-manual");
    menu(menuHelpWiring_, "men_help-wiring");
    menu(menuAbout_, "men_about", QStringLiteral("..."));
    menu(menuConfigure_, "men_configure");
    serviceRecord_->ApplyTexts();
    formProgInfo_->NoProgramText = QString::fromStdString(texts_.Translate(TNoProgramBox::TextKey));
    formProgInfo_->ShowLanguage(language_ >= 0 ? language_ : 0, QString::fromStdString(texts_.Translate("inf_copyright")));
    const QString units[2] = {Text("txt_unit-ms", "ms"), Text("txt_unit-s", "s")};
    const QLabel* labels[2] = {openTimeLabel_, breakTimeLabel_};
    for (int k = 0; k < 2; ++k) {
        knob_[k]->setUnit(units[k]);
        // A screen reader names the scroll bar and the knob by their label, with the unit.
        const QString label = TAccelerators::Strip(labels[k]->text());
        const QString name = label + QStringLiteral(" (") + units[k] + QLatin1Char(')');
        scrollBar_[k]->setAccessibleName(name);
        knob_[k]->SetSpokenNames(name, Text("txt_acc-increase", "Increase %1").arg(label.toLower()),
                                 Text("txt_acc-decrease", "Decrease %1").arg(label.toLower()));
    }
    portList_->setAccessibleName(portListGroup_->title().trimmed());
    statusLine_->SetUnits(units[0], units[1]);
    if (ports_) {
        ports_->RelabelRows();
        ShowPortInStatusBar();
    }
    RenderDescription();
    if (modules_)
        modules_->Dialog().ApplyLanguage(texts_, Caption());
    statusLine_->Retranslate(session_->Messages());
    ApplyAccelerators();
    FitMinimumSize();
}

void TMainForm::ApplyAccelerators()
{
    // The tables' captions carry no accelerators of their own: each window gets them anew.
    for (QWidget* window : {static_cast<QWidget*>(this), static_cast<QWidget*>(formSettings_),
                            static_cast<QWidget*>(formProgInfo_)})
        TAccelerators::Apply(window);
    if (modules_)
        TAccelerators::Apply(&modules_->Dialog());
}

QString TMainForm::Text(const char* key, const char* english)
{
    const QString text = QString::fromStdString(texts_.Translate(key));
    return text.isEmpty() ? QString::fromUtf8(english) : text;
}

QString TMainForm::ErrorReason(u32 error)
{
    // The system's reason in the language shown; a reason without a text of its own stays English.
    const QString text = QString::fromStdString(texts_.Translate("err_" + std::to_string(error)));
    return text.isEmpty() ? QString::fromStdString(ErrorText(error)) : text;
}

void TMainForm::FitMinimumSize()
{
    // The smallest window is the design's, or what the layout needs with the texts and the skin
    // shown now, whichever is larger: no caption is ever cut by shrinking the window.
    TLanguageApplier::Remeasure(this);
    const TDesignScale scale(dpi_);
    // Measured part by part: the window layout's own figure lags behind new texts.
    const QSize central = centralWidget()->minimumSizeHint();
    const QSize status = statusBar()->minimumSizeHint();
    const QSize needed(std::max(central.width(), status.width()),
                       menuBar()->sizeHint().height() + central.height() + status.height());
    setMinimumSize(QSize(scale(DesignMinWidth), scale(DesignMinHeight)).expandedTo(needed));
    resize(size().expandedTo(minimumSize()).expandedTo(sizeHint()));
}

void TMainForm::ApplyImages()
{
    const TAppImages images = TAppImages::ForWidget(this);
    statusLine_->SetStatusIcons(QIcon(images.StatusIcon(icError)), QIcon(images.StatusIcon(icQuestion)),
                                QIcon(images.StatusIcon(icWarning)));
    if (!menuLng_[0])
        return;
    for (int i = 0; i < lngCount; ++i)
        menuLng_[i]->setIcon(QIcon(images.Flag(i)));
    menuLanguage_->setIcon(QIcon(images.MenuImage(miLanguage)));
    menuSkins_->setIcon(QIcon(images.MenuImage(miSkin)));
    menuSettings_->setIcon(QIcon(images.MenuImage(miPreferences)));
    menuHelpManual_->setIcon(QIcon(images.MenuImage(miManual)));
    menuHelpWiring_->setIcon(QIcon(images.MenuImage(miWiring)));
    menuAbout_->setIcon(QIcon(images.MenuImage(miAbout)));
    menuConfigure_->setIcon(QIcon(images.MenuImage(miPreferences)));
}

void TMainForm::BuildDialogs(const TMainFormSetup& setup)
{
    formProgInfo_ = new TFormProgInfo(version_, this);
    formProgInfo_->setWindowFlag(Qt::Window);
    formSettings_ = new TFormSettings(this);
    QStringList languages, skins;
    for (QAction* item : menuLng_)
        languages << item->text().remove(QLatin1Char('&')).trimmed();
    for (QAction* item : skins_->actions())
        skins << item->text().remove(QLatin1Char('&')).trimmed();
    formSettings_->SetLanguages(languages);
    formSettings_->SetSkins(skins);
    snap_ = new TScreenSnap(this);
    for (QWidget* window : {static_cast<QWidget*>(this), static_cast<QWidget*>(formSettings_),
                            static_cast<QWidget*>(formProgInfo_)})
        snap_->Watch(window);
    if (setup.InstanceName) {
        guard_ = new TInstanceGuard(*setup.InstanceName, [this] { BringForward(); }, this);
        SetGuardState(!settings_.Has(optMultiInstance));
    }
}

void TMainForm::BringForward()
{
    // A second start asks for this window: bring it forward, restored, and above it the
    // dialog the user has open (it holds the input until it is answered).
    if (isMinimized())
        showNormal();
    show();
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        if (modal->isMinimized())
            modal->showNormal();
        modal->raise();
        modal->activateWindow();
    }
}

void TMainForm::SetGuardState(bool on)
{
    // A guard taken without its socket (another program has its name) is told as well: a second
    // start cannot reach this window.
    if (!guard_->SetState(on) && guard_->Problem().empty())
        return;
    if (!on || guard_->Problem().empty() || guardProblemTold_)
        return;
    // The machine keeps us from ensuring one instance at a time: said once, on screen until
    // the user closes it (shown when the window is, if it is not yet).
    guardProblemTold_ = true;
    guardProblem_ = QString::fromStdString(guard_->Problem());
    if (shown_)
        ShowGuardProblem();
}

void TMainForm::ShowGuardProblem()
{
    if (guardProblem_.isEmpty())
        return;
    QString text;
    if (guard_ && guard_->State()) // the guard holds, but a second start cannot reach this window
        text = Text("msg_single-instance-socket", "A second start of the program cannot reach this window: %s. "
                                                  "It will say so and end, without raising this window.");
    else
        text = Text("msg_single-instance-off", "One instance of the program at a time cannot be ensured: %s. "
                                               "Another start may run beside this one and take the same port or "
                                               "module traffic.");
    auto* box = new QMessageBox(QMessageBox::Warning, Caption(), text.replace(QStringLiteral("%s"), guardProblem_),
                                QMessageBox::Ok, this);
    box->setObjectName(QLatin1String(names::InstanceGuardOffBox));
    box->setAttribute(Qt::WA_DeleteOnClose);
    guardProblem_.clear();
    box->open();
    if (TTraceSink::Enabled())
        TTraceSink::Message(box->text().toStdString());
}

void TMainForm::MenuSettingsClick()
{
    formSettings_->SavedSettings = settings_;
    formSettings_->SetSettings(settings_);
    formSettings_->OnApply = [this](TFormSettings* dialog, bool apply) {
        if (apply)
            ApplySettings(dialog->CurrentSettings);
    };
    formSettings_->OnPreview = [this](TFormSettings* dialog, bool preview) {
        ApplySettings(preview ? dialog->CurrentSettings : dialog->SavedSettings);
    };
    if (formSettings_->exec() != QDialog::Accepted)
        formSettings_->CurrentSettings = formSettings_->SavedSettings;
    keys_.Forget();
    ApplySettings(formSettings_->CurrentSettings);
}

void TMainForm::MenuAboutClick()
{
    formProgInfo_->show();
    formProgInfo_->raise();
    formProgInfo_->activateWindow();
}

void TMainForm::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    ApplySettings(settings_);
    QTimer::singleShot(0, this, [this] { ShowGuardProblem(); TellSettingsProblems(); });
}

THelpLookup TMainForm::OpenHelpDocument(const QString& kind)
{
    QStringList codes;
    for (QAction* item : menuLng_)
        codes << item->data().toString();
    const THelpLookup lookup = THelpDocuments(HelpFolder).Find(kind, settings_.Language, codes);
    if (lookup.Found()) {
        if (!OpenDocument(QUrl::fromLocalFile(lookup.Path))) {
            TNoProgramBox::Show(this, Caption(), lookup.Path,
                                QString::fromStdString(texts_.Translate(TNoProgramBox::TextKey)));
            keys_.Forget();
        }
    } else {
        QMessageBox box(QMessageBox::Warning, Caption(),
                        Text("txt_doc-notfound", "The document was not found. Looked for:") + QLatin1Char('\n') +
                            lookup.LookedFor(),
                        QMessageBox::Ok,
                        this);
        box.setObjectName(QLatin1String(names::HelpNotFoundBox));
        TTracedMessageBox::Exec(box);
        keys_.Forget();
    }
    return lookup;
}

void TMainForm::ApplyDensity()
{
    const TDesignScale scale(dpi_);
    portList_->SetRowHeight(TPortListBox::RowHeight(DesignItemHeight, dpi_));
    statusLine_->SetPanelHeight((dpi_ * DesignStatusHeight + 48) / 96);
    statusLine_->PortPanel()->setMinimumWidth(scale(90));
    for (QPushButton* b : {connectButton_, disconnectButton_})
        b->setMinimumWidth(scale(96));
    // Long captions (Polish, Russian) must not squeeze the scroll bars to nothing.
    for (QScrollBar* bar : scrollBar_)
        bar->setMinimumWidth(scale(72));
    deviceVersionLabel_->setMinimumWidth(scale(110));
    deviceVersionLabel_->setMinimumHeight(2 * deviceVersionLabel_->fontMetrics().lineSpacing() + 2);
    setMinimumSize(scale(DesignMinWidth), scale(DesignMinHeight));
    resize(scale(DesignClientWidth), scale(DesignClientHeight) + menuBar()->sizeHint().height());
}

// ---------------------------------------------------------------------------------------------
// User actions

void TMainForm::KnobScrolled(TSessionKnob knob, int action)
{
    QScrollBar* bar = scrollBar_[knob];
    if (action == QAbstractSlider::SliderNoAction)
        return;
    // Dragging the handle moves the knob only; its release writes. The wheel also moves the
    // handle (without a press): a burst of notches is one move, written when the wheel rests.
    // A step or a page (arrow click, trough click, key) is a whole move and writes at once.
    if (action == QAbstractSlider::SliderMove) {
        session_->Knobs().ScrollBarScroll(knob, false, bar->sliderPosition());
        if (!bar->isSliderDown())
            scrollBurst_[knob]->start();
        return;
    }
    scrollBurst_[knob]->stop();
    session_->Knobs().ScrollBarScroll(knob, true, bar->sliderPosition());
}

bool TMainForm::ConnectToName(const String& name) { return ports_->ConnectToName(name); }

bool TMainForm::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::MouseButtonPress || type == QEvent::KeyPress) && session_->FailureUnseen()) {
        // A click or a key in this window or in the failure's box: the user has seen it.
        auto* target = qobject_cast<QWidget*>(watched);
        QWidget* window = target ? target->window() : nullptr;
        if (window && (window == this || window->objectName() == QLatin1String(names::UploadFailedBox)))
            session_->FailureSeen();
    }
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease)
        return QMainWindow::eventFilter(watched, event);
    auto* widget = qobject_cast<QWidget*>(watched);
    // Each key event once: where it is first delivered, inside this window.
    if (!widget || widget->window() != this || QApplication::activeModalWidget())
        return false;
    QWidget* focus = QApplication::focusWidget();
    if (widget != (focus && focus->window() == this ? focus : this))
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->isAutoRepeat())
        return false;
    if (type == QEvent::KeyPress) {
        keys_.KeyDown(key->key());
        return false;
    }
    const bool modifiers = (key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
    const TKeyAction action = keys_.KeyUp(key->key(), modifiers, QDateTime::currentMSecsSinceEpoch(),
                                          QGuiApplication::styleHints()->mouseDoubleClickInterval());
    if (action != kaNone)
        KeyAction(action);
    return false;
}

void TMainForm::KeyAction(TKeyAction action)
{
    switch (action) {
    case kaDisconnect:
        CancelAdapterReturn();
        session_->ButtonClick(sbDisconnect);
        break;
    case kaManual:
        OpenHelpDocument(HelpManual);
        break;
    case kaWiring:
        OpenHelpDocument(HelpWiring);
        break;
    case kaAbout:
        MenuAboutClick();
        break;
    case kaPreferences:
        MenuSettingsClick();
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Closing

void TMainForm::closeEvent(QCloseEvent* event)
{
    if (closed_) {
        event->accept();
        return;
    }
    if (!stopping_ && !session_->UploadRun().ConfirmStop(usWaitBootloader)) {
        event->ignore();
        return;
    }
    settings_.Set(optWasConnected, session_->Serial()->IsValid());
    SaveSettings();
    closed_ = true;
    if (!stopping_) // a stop has said its farewell already
        SayFarewell(TSessionClosing::FarewellTime);
    CloseConnectionAndWait(2000);
    event->accept();
}

void TMainForm::SayFarewell(int guardMs)
{
    // An upload being stopped, or a device sitting in its bootloader: its restart reaches the
    // line (and is answered) before the port closes, at most guardMs later.
    if (session_->SayFarewell())
        RunEventsUntil([this] { return !session_->FarewellPending(); }, guardMs);
}

void TMainForm::RunEventsUntil(const std::function<bool()>& done, int guardMs)
{
    if (done())
        return;
    QEventLoop loop;
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &loop, &QEventLoop::quit);
    QTimer check;
    connect(&check, &QTimer::timeout, &loop, [&] {
        if (done())
            loop.quit();
    });
    guard.start(guardMs);
    check.start(10);
    loop.exec();
}

void TMainForm::CloseConnectionAndWait(int guardMs)
{
    // The port closes in the background; its closing and closed events still reach the
    // session (a device left in its bootloader is restarted on the way).
    const bool open = disconnectButton_->isEnabled();
    if (session_->Serial()->Close() && open)
        RunEventsUntil([this] { return !disconnectButton_->isEnabled(); }, guardMs);
}

String TMainForm::StopOnSignal(int signal)
{
    if (stopping_)
        return {};
    stopping_ = true;
    // As Abort or Disconnect does, without asking: the device is restarted and its answer
    // waited for, so the restart is not lost with the port.
    TFarewellOutcome outcome;
    TKestConnection* connection = session_->Serial();
    if (connection->IsValid()) {
        outcome.Port = connection->CurrentPortName();
        outcome.Upload = session_->UploadState() != usNone;
        outcome.Sent = session_->SayFarewell();
        if (outcome.Sent) {
            RunEventsUntil([this] { return !session_->FarewellPending(); }, TSessionClosing::FarewellTime);
            outcome.Answered = !session_->FarewellPending();
        }
    }
    // A question or box still open is closed unanswered: whoever asked sees no Yes, and its
    // event loop ends once this returns.
    for (int i = 0; i < 8; ++i) {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            break;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->hide();
    }
    close();
    outcome.Released = !outcome.Port.empty() && !session_->Serial()->IsValid();
    const char* name = signal == SIGTERM ? "SIGTERM" : signal == SIGHUP ? "SIGHUP" : signal == SIGINT ? "SIGINT" : nullptr;
    const String text = TExitFarewell::Text(name ? String("stopped by ") + name : String("stopped"), outcome);
    TTraceSink::Ending(text);
    return text;
}

// ---------------------------------------------------------------------------------------------
// The session's view

void TMainForm::ShowStatus(int index, TIconClass iconClass, const String& portSuffix)
{
    statusLine_->ShowStatus(session_->Messages(), index, iconClass, StatusSuffix(index, portSuffix));
    if (index == staUploadFailed || index == staUploadInterrupted) // what happened, in any language
        statusLine_->SetSuffixMessage(session_->Messages(), session_->Upload().Report().FailCause);
    const u32 error = session_->Diagnosis().LastOpenError();
    if (index >= staPortOpenFailed && index <= staTargetInactive && error != ERROR_SUCCESS) {
        if (error == ERROR_PORT_PERMISSION)
            statusLine_->SetStatusHint(Text("txt_port-dialout", "Permission denied: your user may not use this port. Add it to "
                                                                "the \"dialout\" group (sudo usermod -aG dialout $USER) and "
                                                                "log in again."));
        else
            statusLine_->SetStatusHint(ErrorReason(error));
    }
    if (index == staPortInUse)
        ShowPortHolderHint();
    else if (index == staConnectionLost && ShowOtherOpeners(iconClass)) {
        // another program on the port may have taken the replies: said in the status and its tool tip
    } else if (index >= staConnectionLost && session_->Diagnosis().ModemCommandBytes() > 0)
        statusLine_->SetStatusHint(QString::fromStdString(TPortHolderText::ModemManagerTouched(
            session_->Diagnosis().ModemCommandBytes(), [this](const String& key) { return texts_.Translate(key); })));
    emit StatusChanged(index);
}

void TMainForm::CancelAdapterReturn()
{
    if (ports_)
        ports_->CancelReturn();
}

void TMainForm::ShowAdapterReturned(const QString& oldName, const QString& newName)
{
    // The status says why the window connects by itself, and to what.
    QString text = QString::fromStdString(texts_.Translate("sta_port-returned"));
    if (text.isEmpty())
        text = QStringLiteral("the adapter of %s came back as %n");
    text.replace(QStringLiteral("%s"), oldName).replace(QStringLiteral("%n"), newName);
    if (session_->StatusIndex() == staPortOpening)
        statusLine_->ShowStatus(session_->Messages(), staPortOpening, icInformation, (newName + QStringLiteral(" (") + text + QLatin1Char(')')).toStdString());
    statusLine_->SetStatusHint(text);
    adapterReturned_ = text;
}

void TMainForm::ShowIdentityAmbiguous(const QString& identity, const QStringList& names)
{
    // Several ports fit the identity: none is taken; the status says which, and the user picks.
    QString text = Text("sta_identity-ambiguous", "%s fits more than one port: %n; choose one in the list");
    text.replace(QStringLiteral("%s"), identity).replace(QStringLiteral("%n"), names.join(QStringLiteral(", ")));
    statusLine_->ShowStatus(session_->Messages(), staNoPortSelected, icWarning, text.toStdString());
    statusLine_->SetStatusHint(text);
    emit StatusChanged(staNoPortSelected);
}

bool TMainForm::ShowOtherOpeners(TIconClass iconClass)
{
    const auto others = session_->Diagnosis().OtherOpeners();
    if (others.empty())
        return false;
    const auto lookup = [this](const String& key) { return texts_.Translate(key); };
    statusLine_->ShowStatus(session_->Messages(), staConnectionLost, iconClass,
                            TPortHolderText::AlsoOpenShort(others, lookup));
    statusLine_->SetStatusHint(QString::fromStdString(TPortHolderText::AlsoOpen(others, lookup)));
    return true;
}

void TMainForm::ShowPortHolderHint()
{
    // Who keeps the port busy, and what to do about it, in the window's language.
    const String hint = TPortHolderText::Hint(session_->Diagnosis().PortHolder(), [this](const String& key) {
        return texts_.Translate(key);
    });
    if (!hint.empty())
        statusLine_->SetStatusHint(QString::fromStdString(hint));
}

String TMainForm::StatusSuffix(int index, const String& portSuffix)
{
    // The session names a stale lock file in English; the window says it in the user's language.
    if (index != staPortOpenFailed || portSuffix.empty() || session_->Diagnosis().LastOpenError() != ERROR_PORT_STALE_LOCK ||
        !session_->SerialPort1() || session_->SerialPort1()->StaleLockFile().empty())
        return portSuffix;
    return Text("txt_stale-lock", "a stale lock file of another user blocks the port").toStdString() + ": " +
        session_->SerialPort1()->StaleLockFile();
}

void TMainForm::ClearStatus()
{
    statusLine_->ClearStatus();
    emit StatusChanged(-1);
}

void TMainForm::EnableDeviceControls(bool enabled) { deviceControlsGroup_->setEnabled(enabled); }

void TMainForm::EnableReboot(bool enabled) { rebootButton_->setEnabled(enabled); }

void TMainForm::EnableConnect(bool enabled) { connectButton_->setEnabled(enabled); }

void TMainForm::SetConnectDefault(bool isDefault) { connectButton_->setDefault(isDefault); }

void TMainForm::EnableDisconnect(bool enabled) { disconnectButton_->setEnabled(enabled); }

void TMainForm::ShowKnob(TSessionKnob knob, int position, int min, int max)
{
    // The widgets follow the session; nothing of this goes back to it.
    QScrollBar* bar = scrollBar_[knob];
    const QSignalBlocker blockBar(bar);
    bar->setRange(min, max);
    bar->setValue(position);
    bar->setSliderPosition(position);
    const QSignalBlocker blockKnob(knob_[knob]);
    knob_[knob]->setRangeAndPosition(min, max, position);
}

void TMainForm::ShowDescription(const String& version, const String& info)
{
    shownVersion_ = version;
    shownInfo_ = info;
    RenderDescription();
}

void TMainForm::RenderDescription()
{
    // "Ver.:\t1.2.0\r\nBuild:\t2024-05-17" and "Info: text, \tS/N: number": the captions
    // are put in the language shown; the device's own texts stay as they are.
    const auto caption = [](QString& text, const QString& english, const QString& shown) {
        if (text.startsWith(english))
            text.replace(0, english.size(), shown);
    };
    QStringList lines = QString::fromStdString(shownVersion_).split(QStringLiteral("\r\n"));
    caption(lines[0], QStringLiteral("Ver.:"), Text("inf_dev-version", "Ver.:"));
    if (lines.size() > 1)
        caption(lines[1], QStringLiteral("Build:"), Text("inf_dev-build", "Build:"));
    deviceVersionLabel_->setText(shownVersion_.empty() ? QString() : TabbedLinesAsTable(lines.join(QStringLiteral("\r\n"))));
    QStringList parts = DecodeDeviceText(shownInfo_).split(QLatin1Char('\t'));
    if (parts.size() > 1)
        caption(parts[0], QStringLiteral("Info:"), Text("inf_dev-info", "Info:"));
    caption(parts.last(), QStringLiteral("S/N:"), Text("inf_dev-serial", "S/N:"));
    deviceInfoLabel_->setText(parts.join(QString()));
}

void TMainForm::RepaintPortList()
{
    if (ports_)
        ports_->RepaintList();
}

void TMainForm::SelectPortListRow(int index) { portList_->SelectRow(index); }

void TMainForm::ShowPortInStatusBar()
{
    if (!ports_)
        return;
    const int row = session_->Ports().ConnectedIndex();
    const auto& list = session_->Ports().List();
    if (row < 0 || static_cast<std::size_t>(row) >= list.size()) {
        statusLine_->ShowPort(QString(), QString(), QIcon());
        return;
    }
    const auto& entry = list[static_cast<std::size_t>(row)];
    statusLine_->ShowPort(QString::fromStdString(entry.PortName), ports_->ShownDescription(entry.GetDeviceDescription()),
                          ports_->Images().Icon(entry.ImageIndex));
}

void TMainForm::ShowProgress(bool visible, int position, bool paused) { statusLine_->ShowProgress(visible, position, paused); }

void TMainForm::ShowMessage(int index)
{
    QMessageBox box(QMessageBox::Warning, Caption(), QString::fromStdString(session_->Messages().MessageText(index)),
                    QMessageBox::Ok, this);
    TTracedMessageBox::Exec(box);
    keys_.Forget();
}

void TMainForm::UploadFailed(int cause, bool erased)
{
    // Told once, in a box that stays until the user closes it; it does not hold up the
    // session, which goes on (and may find the device again) meanwhile.
    // A question about stopping the upload is moot now: it is closed as No, so that the box
    // can be read and answered.
    if (question_ && question_->isVisible() && question_->button(QMessageBox::No))
        question_->button(QMessageBox::No)->click();
    const TMessageTable& m = session_->Messages();
    const bool noStart = cause == staNewFirmwareNoStart; // transferred, but the device stays in its bootloader
    const QString text = QString::fromStdString(m.MessageText(erased && !noStart ? staUploadInterrupted : staUploadFailed))
        + QStringLiteral(": ") + QString::fromStdString(m.MessageText(cause)) + QStringLiteral("\n")
        + QString::fromStdString(m.MessageText(noStart ? msgNewFirmwareNoStartTodo
                                               : erased ? msgNoFirmwareLeft : msgOldFirmwareKept));
    auto* box = new QMessageBox(QMessageBox::Warning, Caption(), text, QMessageBox::Ok, this);
    box->setObjectName(QLatin1String(names::UploadFailedBox));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    TTracedMessageBox::Show(box);
}

bool TMainForm::ChooseFirmwareFile(const String& folder, String& fileName)
{
    QFileDialog dialog(this, QString(), QString::fromStdString(folder),
                       Text("txt_filter-images", "Device Image files") + QStringLiteral(" (*.img);;") +
                           Text("txt_filter-all", "All files") + QStringLiteral(" (*)"));
    dialog.setObjectName(QLatin1String(names::FirmwareFileDialog));
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    keys_.Forget();
    if (!chosen)
        return false;
    fileName = dialog.selectedFiles().constFirst().toStdString();
    return true;
}

TQuestionAnswer TMainForm::AskQuestion(int index)
{
    QMessageBox box(QMessageBox::Warning, Caption(), QString::fromStdString(session_->Messages().MessageText(index)),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, this);
    box.setDefaultButton(QMessageBox::Cancel);
    box.setEscapeButton(QMessageBox::Cancel);
    question_ = &box;
    const int answer = TTracedMessageBox::Exec(box);
    question_ = nullptr;
    keys_.Forget();
    return answer == QMessageBox::Yes ? qaYes : answer == QMessageBox::No ? qaNo : qaCancel;
}

} // namespace fk

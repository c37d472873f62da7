#include "app/MainForm.h"

#include "app/Accelerators.h"
#include "app/AppImages.h"
#include "app/ConnectionPorts.h"
#include "app/ExitFarewell.h"
#include "app/FirmwareFolder.h"
#include "app/FormProgInfo.h"
#include "app/FormSettings.h"
#include "app/InstanceGuard.h"
#include "app/KnobPanel.h"
#include "app/LanguageApplier.h"
#include "app/MainMenus.h"
#include "app/ScreenSnap.h"
#include "app/ServiceRecordMenu.h"
#include "app/FormKCConfig.h"
#include "app/ModuleEntries.h"
#include "app/NoProgramBox.h"
#include "app/ObjectNames.h"
#include "app/PortListBox.h"
#include "app/PortListDelegate.h"
#include "app/PortPanel.h"
#include "app/WindowStatus.h"
#include "app/StatusLine.h"
#include "app/TracedMessageBox.h"
#include "app/UploadPanel.h"
#include "app/WindowNotices.h"
#include "support/TraceSink.h"
#include "connection/KestConnection.h"
#include "controls/DesignScale.h"
#include "platform/LastError.h"
#include "ports/SerialPort.h"
#include "session/ModuleSession.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QStyleHints>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <csignal>
#include <utility>

namespace fk {

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
    notices_ = std::make_unique<TWindowNotices>(*this, texts_, Caption());
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
    status_->SetPorts(ports_);
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
    const auto range = [this](TSessionKnob knob) {
        const TParameterWrites::TKnobState& state = session_->Knobs().Knob(knob);
        return TKnobPanel::TRange{state.Position, state.Min, state.Max};
    };
    knobPanel_ = new TKnobPanel(range(skOpenTime), range(skBreakTime), central);
    layout->addWidget(knobPanel_);
    portPanel_ = new TPortPanel(central);
    portList_ = portPanel_->PortList();
    layout->addWidget(portPanel_, 1);
    uploadPanel_ = new TUploadPanel(central);
    layout->addWidget(uploadPanel_);

    // Status bar.
    statusLine_ = new TStatusLine(this);
    statusBar()->setObjectName(QLatin1String(names::StatusBar));
    statusBar()->setSizeGripEnabled(true);
    statusBar()->addWidget(statusLine_->PortPanel());
    statusBar()->addWidget(statusLine_->StatusPanel(), 1);
    statusBar()->addPermanentWidget(statusLine_->ProgressPanel());
    TLanguageApplier::SetKey(statusLine_->AbortButton(), "btn_upl-stop");
    status_ = std::make_unique<TWindowStatus>(*session_, *statusLine_, texts_);

    // The user's own Connect or Disconnect: a pulled adapter is no longer awaited back.
    connect(portPanel_, &TPortPanel::ConnectClicked, this, [this] { CancelAdapterReturn(); session_->ButtonClick(sbConnect); });
    connect(portPanel_, &TPortPanel::DisconnectClicked, this, [this] { CancelAdapterReturn(); session_->ButtonClick(sbDisconnect); });
    connect(uploadPanel_, &TUploadPanel::UploadClicked, this, [this] { session_->ButtonClick(sbUpload); });
    connect(uploadPanel_, &TUploadPanel::RebootClicked, this, [this] { session_->ButtonClick(sbReboot); });
    connect(knobPanel_, &TKnobPanel::VentingClicked, this, [this] { session_->ButtonClick(sbVenting); });
    connect(statusLine_, &TStatusLine::AbortClicked, this, [this] { session_->ButtonClick(sbAbort); });
    connect(portList_, &TPortListBox::ConnectRequested, this, [this] { session_->ConnectToEntry(std::nullopt, true); });
    connect(knobPanel_, &TKnobPanel::ScrollBarScrolled, this,
            [this](TSessionKnob knob, bool ended, int position) { session_->Knobs().ScrollBarScroll(knob, ended, position); });
    connect(knobPanel_, &TKnobPanel::KnobPositionChanged, this,
            [this](TSessionKnob knob, int position) { session_->Knobs().KnobChangePosition(knob, position); });
    connect(knobPanel_, &TKnobPanel::KnobMoveEnded, this, [this](TSessionKnob knob) { session_->Knobs().KnobEndMove(knob); });

    portPanel_->EnableConnect(true);
    portPanel_->SetConnectDefault(true);
    knobPanel_->setEnabled(false);
}

void TMainForm::BuildMenus()
{
    menus_ = new TMainMenus(*this, themes_.Names(), [this](QMenu& options) {
        serviceRecord_ = std::make_unique<TServiceRecordMenu>(this, &options, *session_, texts_);
        serviceRecord_->Caption = [this] { return Caption(); };
    });
    connect(menus_, &TMainMenus::LanguageChosen, this, [this](int index) { SetLanguage(index); });
    connect(menus_, &TMainMenus::SkinChosen, this, [this](const QString& name) { ApplySkin(name); });
    connect(menus_, &TMainMenus::PreferencesChosen, this, [this] { MenuSettingsClick(); });
    connect(menus_, &TMainMenus::HelpChosen, this, [this](const QString& kind) { OpenHelpDocument(kind); });
    connect(menus_, &TMainMenus::AboutChosen, this, [this] { MenuAboutClick(); });
    portList_->SetPopupMenu(&menus_->PortListMenu());
}

void TMainForm::ApplySkin(const std::optional<QString>& name)
{
    if (name)
        themes_.ApplySkin(*name); // an unknown name leaves the active skin
    settings_.Skin = menus_->ShowSkin(themes_.ActiveName());
    // The platform's own skin keeps the knobs' written colours; every other skin gets colours
    // that keep their contrast on its palette.
    if (knobPanel_)
        knobPanel_->SetSkinColors(themes_.ActiveName() != themes_.PlatformName());
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
    if (notices_->SettingsSetAside(std::exchange(settingsSetAside_, String()), stopping_))
        keys_.Forget();
}

void TMainForm::ShowSettingsNotSaved(const String& problem)
{
    if (notices_->SettingsNotSaved(problem, stopping_))
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
    modules_ = std::make_unique<TModuleEntries>(static_cast<TModuleSession&>(*session_), *portList_, menus_->PortListMenu(),
                                                menus_->ConfigureItem(), this);
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
    menus_->ShowLanguage(index);
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
    menus_->ApplyTexts([this](const char* key) { return QString::fromStdString(texts_.Translate(key)); });
    serviceRecord_->ApplyTexts();
    formProgInfo_->NoProgramText = QString::fromStdString(texts_.Translate(TNoProgramBox::TextKey));
    formProgInfo_->ShowLanguage(language_ >= 0 ? language_ : 0, QString::fromStdString(texts_.Translate("inf_copyright")));
    const QString units[2] = {Text("txt_unit-ms", "ms"), Text("txt_unit-s", "s")};
    knobPanel_->ApplyTexts(units, Text("txt_acc-increase", "Increase %1"), Text("txt_acc-decrease", "Decrease %1"));
    portList_->setAccessibleName(portPanel_->title().trimmed());
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
    if (menus_)
        menus_->ApplyImages(images);
}

void TMainForm::BuildDialogs(const TMainFormSetup& setup)
{
    formProgInfo_ = new TFormProgInfo(version_, this);
    formProgInfo_->setWindowFlag(Qt::Window);
    formSettings_ = new TFormSettings(this);
    formSettings_->SetLanguages(menus_->LanguageCaptions());
    formSettings_->SetSkins(menus_->SkinCaptions());
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
    notices_->GuardProblem(std::exchange(guardProblem_, QString()), guard_ && guard_->State());
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
    const THelpLookup lookup = THelpDocuments(HelpFolder).Find(kind, settings_.Language, menus_->LanguageCodes());
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
    portPanel_->ApplyDensity(scale, TPortListBox::RowHeight(DesignItemHeight, dpi_));
    statusLine_->SetPanelHeight((dpi_ * DesignStatusHeight + 48) / 96);
    statusLine_->PortPanel()->setMinimumWidth(scale(90));
    knobPanel_->ApplyDensity(scale);
    setMinimumSize(scale(DesignMinWidth), scale(DesignMinHeight));
    resize(scale(DesignClientWidth), scale(DesignClientHeight) + menuBar()->sizeHint().height());
}

// ---------------------------------------------------------------------------------------------
// User actions

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
    const bool open = portPanel_->DisconnectEnabled();
    if (session_->Serial()->Close() && open)
        RunEventsUntil([this] { return !portPanel_->DisconnectEnabled(); }, guardMs);
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
    status_->Show(index, iconClass, portSuffix);
    emit StatusChanged(index);
}

void TMainForm::CancelAdapterReturn()
{
    if (ports_)
        ports_->CancelReturn();
}

void TMainForm::ShowAdapterReturned(const QString& oldName, const QString& newName)
{
    adapterReturned_ = status_->ShowAdapterReturned(oldName, newName);
}

void TMainForm::ShowIdentityAmbiguous(const QString& identity, const QStringList& names)
{
    status_->ShowIdentityAmbiguous(identity, names);
    emit StatusChanged(staNoPortSelected);
}

void TMainForm::ClearStatus()
{
    statusLine_->ClearStatus();
    emit StatusChanged(-1);
}

void TMainForm::EnableDeviceControls(bool enabled) { knobPanel_->setEnabled(enabled); }

void TMainForm::EnableReboot(bool enabled) { uploadPanel_->EnableReboot(enabled); }

void TMainForm::EnableConnect(bool enabled) { portPanel_->EnableConnect(enabled); }

void TMainForm::SetConnectDefault(bool isDefault) { portPanel_->SetConnectDefault(isDefault); }

void TMainForm::EnableDisconnect(bool enabled) { portPanel_->EnableDisconnect(enabled); }

void TMainForm::ShowKnob(TSessionKnob knob, int position, int min, int max)
{
    knobPanel_->ShowKnob(knob, position, min, max);
}

void TMainForm::ShowDescription(const String& version, const String& info)
{
    portPanel_->SetDescription(version, info);
    RenderDescription();
}

void TMainForm::RenderDescription()
{
    portPanel_->RenderDescription([this](const char* key, const char* english) { return Text(key, english); });
}

void TMainForm::RepaintPortList()
{
    if (ports_)
        ports_->RepaintList();
}

void TMainForm::SelectPortListRow(int index) { portList_->SelectRow(index); }

void TMainForm::ShowPortInStatusBar() { status_->ShowPortInStatusBar(); }

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
    uploadPanel_->ShowUploadFailed(session_->Messages(), Caption(), cause, erased);
}

bool TMainForm::ChooseFirmwareFile(const String& folder, String& fileName)
{
    const bool chosen = uploadPanel_->ChooseFirmwareFile(folder, Text("txt_filter-images", "Device Image files"),
                                                         Text("txt_filter-all", "All files"), fileName);
    keys_.Forget();
    return chosen;
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

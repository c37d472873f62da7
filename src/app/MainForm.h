#pragma once
// TMainForm: the configurator's main window, and the device session's view over its widgets.
//
// Top to bottom: the device controls (" Control ": open time and break time, each with a
// label, a scroll bar and a knob, and the Venting button), the connection port list with
// Connect, Disconnect and the device's description, the Upload firmware and Reboot buttons,
// and the status bar (port in use, session status, upload progress with Abort). The window
// owns the device session; every button, knob, scroll bar and list action goes to it, and
// what the session shows comes back through the TSessionView operations below.
//
// Its parts: the three panels (TKnobPanel, TPortPanel, TUploadPanel) hold the widgets and
// report what the user does through their signals, the menus are TMainMenus, the status bar's
// texts about the session come from TWindowStatus and the warnings about the window's own
// settings and guard from TWindowNotices. The window wires them to the session.
//
// The window sees keys before its controls: Esc twice disconnects, F1 opens the user manual,
// S the wiring diagram. Closing during a firmware transfer asks first; closing closes the port.
#include "app/AppCommandLine.h"
#include "app/AppSettings.h"
#include "app/HelpDocuments.h"
#include "app/KeyTracker.h"
#include "app/LanguageTexts.h"
#include "app/QtTranslations.h"
#include "app/Themes.h"
#include "platform/Component.h"
#include "ports/CommEnumerator.h"
#include "session/DeviceSession.h"
#include "session/SessionView.h"
#include "support/VersionInfo.h"

#include <QMainWindow>

#include <functional>
#include <memory>
#include <optional>

class QMessageBox;
class QUrl;

namespace fk {

class TConnectionPorts;
class TFormProgInfo;
class TFormSettings;
class TInstanceGuard;
class TKnobPanel;
class TMainMenus;
class TScreenSnap;
class TServiceRecordMenu;
class TModuleEntries;
class TPortListBox;
class TPortPanel;
class TWindowStatus;
class TStatusLine;
class TUploadPanel;
class TWindowNotices;

// How the window is set up beyond the stored preferences.
struct TMainFormSetup {
    std::vector<TExtraPort> ExtraPorts{}; // ports given on the command line
    std::optional<String> ConnectName{};  // connect to this entry once the list holds it
    int ConnectTimeoutMs = TAppCommandLine::DefaultConnectTimeoutMs; // how long ConnectName is awaited
    bool DiscoverPorts = true;            // list the machine's serial ports
    TCommEnumerator::TDiscoveryPaths Paths{}; // where discovery and the hot-plug monitor look
    bool WatchPorts = true;               // start the hot-plug monitor
    // The single-instance name: the window holds the guard by the "Run multiple instances"
    // preference and answers a second start. None: no guard (tests, screenshots).
    std::optional<String> InstanceName{};
    u16 ModuleTCPPort = 0;                // the wireless modules' command port (0: 90)
    u16 ModuleUDPPort = 0;                // the module link's UDP port (0: 13873)
    String SettingsSetAside{};            // an oversized settings file was set aside as this
};

class TMainForm : public QMainWindow, public TSessionView {
    Q_OBJECT
public:
    static constexpr int DesignClientWidth = 424;
    static constexpr int DesignClientHeight = 322;
    static constexpr int DesignMinWidth = 340;
    static constexpr int DesignMinHeight = 340;
    static constexpr int DesignItemHeight = 17;      // port list rows, before density scaling
    static constexpr int DesignStatusHeight = 22;    // status bar

    explicit TMainForm(const TMainFormSetup& setup = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    TDeviceSession& Session() noexcept { return *session_; }
    TConnectionPorts& Ports() noexcept { return *ports_; }
    TStatusLine& StatusLine() noexcept { return *statusLine_; }
    TPortListBox& PortListBox() noexcept { return *portList_; }
    // The wireless modules in the port list, their pop-up and their configuration dialog.
    TModuleEntries& Modules() noexcept { return *modules_; }
    TServiceRecordMenu& ServiceRecord() noexcept { return *serviceRecord_; }
    const TAppSettings& Settings() const noexcept { return settings_; }
    TThemes& Themes() noexcept { return themes_; }

    // Applies a settings record: language, skin, opacity, option flags.
    void ApplySettings(const TAppSettings& settings);
    // Makes the named skin active (none: keeps the active one) and checks its menu item.
    void ApplySkin(const std::optional<QString>& name);
    // Writes the settings and the remembered places to the settings store.
    void SaveSettings();
    // Looks for a help document (HelpManual, HelpWiring) and opens it with the desktop's
    // viewer; when there is none, a message names what was looked for. Returns the lookup.
    THelpLookup OpenHelpDocument(const QString& kind);
    // Hands a document to the desktop's program for it; false when none took it (then a
    // message names the file). Tests replace it.
    std::function<bool(const QUrl&)> OpenDocument;
    // The folder holding Docs/ (empty: the program's own folder). Tests replace it.
    QString HelpFolder;

    // Switches the user interface to a language (0 English, 1 Polish, 2 Russian): every
    // window's captions, the menus, the messages and the status shown now. A language whose
    // table cannot be loaded changes no text; the setting still takes the index.
    void SetLanguage(int index);
    TLanguageTexts& Texts() noexcept { return texts_; }
    // Options > Preferences...: the dialog shown modally; its result applied.
    void MenuSettingsClick();
    // Help > About...: the About box, not modal.
    void MenuAboutClick();
    TFormSettings& Preferences() noexcept { return *formSettings_; }
    TFormProgInfo& About() noexcept { return *formProgInfo_; }
    // The single-instance guard (null without an instance name).
    TInstanceGuard* Guard() noexcept { return guard_; }

    // The screen density the window is laid out for, in dots per inch.
    int Dpi() const noexcept { return dpi_; }

    // The last "adapter came back" text shown (empty: none yet).
    const QString& AdapterReturnedText() const noexcept { return adapterReturned_; }

    // Connects to the port-list entry with this name (as --connect does).
    bool ConnectToName(const String& name);

    // Ends the program's window as a stop signal (SIGTERM, SIGHUP, SIGINT; 0 for none) does:
    // an upload is aborted without asking, the device is given its restart and its answer
    // is waited for (at most the farewell time), questions and boxes still open are closed
    // unanswered, then the window closes. Returns what was done, for standard error and the
    // trace (also written to the trace); empty when a stop was already under way.
    String StopOnSignal(int signal = 0);

    // --- the session's view
    void ShowStatus(int index, TIconClass iconClass, const String& portSuffix) override;
    void ClearStatus() override;
    void EnableDeviceControls(bool enabled) override;
    void EnableReboot(bool enabled) override;
    void EnableConnect(bool enabled) override;
    void SetConnectDefault(bool isDefault) override;
    void EnableDisconnect(bool enabled) override;
    void ShowKnob(TSessionKnob knob, int position, int min, int max) override;
    void ShowDescription(const String& version, const String& info) override;
    void RepaintPortList() override;
    void SelectPortListRow(int index) override;
    void ShowPortInStatusBar() override;
    void ShowProgress(bool visible, int position, bool paused) override;
    void ShowMessage(int index) override;
    void UploadFailed(int cause, bool erased) override;
    bool ChooseFirmwareFile(const String& folder, String& fileName) override;
    TQuestionAnswer AskQuestion(int index) override;

signals:
    // The status line changed (index -1: emptied).
    void StatusChanged(int index);

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildWidgets();
    void BuildMenus();
    void ApplyDensity();
    void KeyAction(TKeyAction action);
    void LoadStoredSettings();
    // Tells the user, once per run, that the settings cannot be saved and why.
    void ShowSettingsNotSaved(const String& problem);
    // Tells the user, once, that an oversized settings file was set aside (naming the copy).
    void ShowSettingsSetAside();
    // The settings problems found at start, told once the window is shown.
    void TellSettingsProblems();
    void SetUpModules(const TMainFormSetup& setup);
    void CloseConnectionAndWait(int guardMs);
    void SayFarewell(int guardMs);
    void BuildDialogs(const TMainFormSetup& setup);
    void BringForward();
    void CancelAdapterReturn();
    void ShowAdapterReturned(const QString& oldName, const QString& newName);
    void ShowIdentityAmbiguous(const QString& identity, const QStringList& names);
    // Turns the single-instance guard on or off; a guard the machine keeps off is told once.
    void SetGuardState(bool on);
    void ShowGuardProblem();
    void ApplyTexts();
    void ApplyAccelerators();
    // The device's description in the language shown (the session writes its captions in English).
    void RenderDescription();
    void FitMinimumSize();
    // The text of a key in the active language; english when the table has none.
    QString Text(const char* key, const char* english);
    void ApplyImages();
    // Runs the event loop until done() or the guard time is up.
    void RunEventsUntil(const std::function<bool()>& done, int guardMs);
    QString Caption() const;

    TOwned<TDeviceSession> session_;
    TConnectionPorts* ports_ = nullptr;
    std::unique_ptr<TModuleEntries> modules_; // goes before the session it listens to
    TStatusLine* statusLine_ = nullptr;
    std::unique_ptr<TWindowNotices> notices_; // the warnings about the settings and the guard
    std::unique_ptr<TWindowStatus> status_; // what the status bar says about the session
    TKeyTracker keys_;
    TAppSettings settings_;
    TThemes themes_;
    TLanguageTexts texts_;
    TQtTranslations qtTexts_; // Qt's own texts in the same language
    // Settings files and the service journal (Options menu); the destructor frees the session
    // before it, so that the session's closing is still recorded.
    std::unique_ptr<TServiceRecordMenu> serviceRecord_;
    TFileVersionInfo version_;
    TFormSettings* formSettings_ = nullptr;
    TFormProgInfo* formProgInfo_ = nullptr;
    TInstanceGuard* guard_ = nullptr;
    std::pair<String, String> rememberedIds_; // identities of CurrentPort, ConnectedPort
    bool guardProblemTold_ = false;
    QString guardProblem_; // still to be shown
    QString adapterReturned_;
    TScreenSnap* snap_ = nullptr;
    int language_ = -1; // the language whose texts are shown (-1: the built-in English)
    bool shown_ = false;
    int dpi_ = 96;
    bool stopping_ = false;
    bool closed_ = false;
    String settingsProblem_;  // found at start: the settings cannot be saved, and why
    String settingsSetAside_; // found at start: the copy an oversized settings file went to

    TKnobPanel* knobPanel_ = nullptr;   // " Control ": both times and Venting
    TPortPanel* portPanel_ = nullptr;   // the port list, Connect, Disconnect, the device's description
    TPortListBox* portList_ = nullptr;  // the port panel's list
    TUploadPanel* uploadPanel_ = nullptr; // Upload firmware and Reboot

    TMainMenus* menus_ = nullptr;
    QMessageBox* question_ = nullptr; // the question about stopping the upload, while it is open
};

} // namespace fk

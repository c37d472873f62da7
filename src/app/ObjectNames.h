#pragma once
// The object names of the windows' parts (QObject::objectName). Tests and scripts that drive the
// program find its widgets by these names (QObject::findChild), so they stay as they were first
// given while the code names its members by what they are (connectButton_ is "Button2"). The
// code that names a widget and the tests that look for it both take the name from here.

namespace fk::names {

// --- the main window
inline constexpr const char MainWindow[] = "MainForm";             // the main window itself
inline constexpr const char DeviceControls[] = "GroupBox1";        // " Control ": both times and Venting
inline constexpr const char OpenTimeLabel[] = "Label1";            // "Open Time"
inline constexpr const char BreakTimeLabel[] = "Label2";           // "Break Time"
inline constexpr const char OpenTimeScrollBar[] = "ScrollBar1";    // scroll bar of the open time
inline constexpr const char BreakTimeScrollBar[] = "ScrollBar2";   // scroll bar of the break time
inline constexpr const char OpenTimeKnob[] = "Knob1";              // knob of the open time (ms)
inline constexpr const char BreakTimeKnob[] = "Knob2";             // knob of the break time (s)
inline constexpr const char VentingButton[] = "Button6";           // "Venting (on/off)"
inline constexpr const char PortListGroup[] = "GroupBox2";         // " Connection Port List "
inline constexpr const char PortList[] = "ListBox1";               // the ports and modules to connect to
inline constexpr const char ConnectButton[] = "Button2";           // "Connect"
inline constexpr const char DisconnectButton[] = "Button3";        // "Disconnect"
inline constexpr const char DeviceVersionLabel[] = "Label4";       // the device's version and build date
inline constexpr const char DeviceInfoLabel[] = "Label7";          // the device's information text (S/N)
inline constexpr const char FirmwareGroup[] = "GroupBox3";         // the Upload firmware and Reboot buttons
inline constexpr const char UploadButton[] = "Button4";            // "Upload firmware"
inline constexpr const char RebootButton[] = "Button5";            // "Reboot"
inline constexpr const char StatusBar[] = "StatusBar1";            // the window's status bar
inline constexpr const char FirmwareFileDialog[] = "OpenDialog1";  // the firmware image file chooser

// --- the main window's menus
inline constexpr const char OptionsMenu[] = "MenuOptions";         // "Options"
inline constexpr const char LanguageMenu[] = "MenuLanguage";       // "Options > Language"
inline constexpr const char* const LanguageItems[] = {"MenuLng0", "MenuLng1", "MenuLng2"}; // English, Polish, Russian
inline constexpr const char SkinMenu[] = "MenuSkins";              // "Options > Skin"
inline constexpr const char PreferencesItem[] = "MenuSettings";    // "Options > Preferences..."
inline constexpr const char SaveSettingsItem[] = "MenuSettingsSave";   // "Options > Save Controller Settings..."
inline constexpr const char ApplySettingsItem[] = "MenuSettingsApply"; // "Options > Apply Settings File..."
inline constexpr const char JournalItem[] = "MenuJournal";             // "Options > Service Journal..."
inline constexpr const char JournalDialog[] = "JournalDialog";         // the service journal's dialog
inline constexpr const char JournalTable[] = "JournalTable";           // ... its records, newest first
inline constexpr const char JournalExportButton[] = "JournalExport";   // ... "Export CSV..."
inline constexpr const char SettingsFileBox[] = "SettingsFileBox";     // questions and messages of settings files
inline constexpr const char HelpMenu[] = "MenuHelp";               // "Help"
inline constexpr const char ManualItem[] = "MenuHelpManual";       // "Help > User Manual"
inline constexpr const char WiringItem[] = "MenuHelpWiring";       // "Help > Wiring Diagram"
inline constexpr const char AboutItem[] = "MenuAbout";             // "Help > About..."
inline constexpr const char PortListMenu[] = "PopupMenu1";         // the port list's pop-up menu
inline constexpr const char ConfigureItem[] = "MenuProperties";    // its "Configure" (wireless modules)

// --- the status bar's panels
inline constexpr const char PortPanel[] = "Panel4";                // the port in use
inline constexpr const char PortIcon[] = "Image1";                 // its icon
inline constexpr const char PortNameLabel[] = "Label5";            // its name
inline constexpr const char StatusIcon[] = "Image2";               // the session status's icon
inline constexpr const char StatusLabel[] = "Label6";              // the session status's text
inline constexpr const char ProgressPanel[] = "Panel1";            // the upload's progress, hidden while none runs
inline constexpr const char ProgressBar[] = "ProgressBar1";        // its bar
inline constexpr const char ProgressLabel[] = "Label3";            // its percentage over the bar
inline constexpr const char AbortButton[] = "Button1";             // its "Abort"

// --- messages that stay on screen until answered
inline constexpr const char UploadFailedBox[] = "UploadFailedBox";       // a firmware upload failed
inline constexpr const char HelpNotFoundBox[] = "HelpNotFound";          // no help document found
inline constexpr const char SettingsNotSavedBox[] = "SettingsNotSaved";  // the settings cannot be saved
inline constexpr const char SettingsSetAsideBox[] = "SettingsSetAside";  // an oversized settings file was set aside
inline constexpr const char InstanceGuardOffBox[] = "InstanceGuardOff";  // one instance cannot be ensured
inline constexpr const char NoProgramBox[] = "NoProgram";                // no program opens a file or address
inline constexpr const char TraceFailureBox[] = "TraceFailure";          // the trace file cannot be written

} // namespace fk::names

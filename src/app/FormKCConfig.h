#pragma once
// TFormKCConfig: the non-modal dialog in which the user sets up one KESTConnect wireless module:
// which access point it joins and with which pass phrase. It shows the module's name, firmware
// version and address, whether and to which network it is joined, the modules currently known
// (a double click or Enter selects one) and the wireless networks the selected module sees,
// sortable by name or signal. The header and the Administration button open the module's own
// web page.
//
// The main window hands it the module link (ConnectComm), selects a module with SetModemStatus
// and keeps it up to date (SetDeviceList, SetModemStatus). Commands go through the link's
// queue; the dialog never waits for an answer, so a module that stays silent just leaves the
// old values shown. Every 10 s while it is shown and the module is present, the dialog asks
// for the module's configuration again.
//
// Texts travelling to the module are 8-bit: the SSID and pass phrase boxes take only the
// characters the user's code page carries, and never ",", CR, LF or NUL.
#include "module/ModuleTypes.h"
#include "platform/Event.h"
#include "support/AnsiCodePage.h"

#include <QCollator>
#include <QDialog>
#include <QMessageBox>
#include <QStringList>

#include <functional>
#include <vector>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QToolButton;
class QTreeWidgetItem;

namespace fk {

class TAnsiTextValidator;
class TKestConnectComm;
class TLanguageTexts;
class TMessageTable;
class TMyListColumn;
class TMyListView;

class TFormKCConfig : public QDialog, public TObject {
    Q_OBJECT
public:
    static constexpr int DesignClientWidth = 480;
    static constexpr int DesignClientHeight = 242;
    static constexpr int DesignMinWidth = 460;
    static constexpr int DesignMinHeight = 250;
    static constexpr int ConfigInterval = 10000; // the configuration request timer, ms
    static constexpr int SignalColumnWidth = 65;
    static constexpr char16_t MaskCharacter = 0x25CF;
    static constexpr int HintMs = 4000; // how long a refused character's hint stays

    // codePage 0: the code page of the user's language.
    explicit TFormKCConfig(QWidget* parent = nullptr, unsigned codePage = 0);
    ~TFormKCConfig() override;

    // --- fields
    TKestConnectStatus ModemStatus; // the dialog's copy of the selected module's record
    bool Edited = false;            // the SSID box changed since the module was selected
    bool ModemPresent = false;      // the selected module is in the latest device list
    TKestConnectComm* ConnectComm = nullptr; // link for the module commands; null while closed
    TNotifyEvent OnHideClick;       // after each change of the Hide box
    // Opens a web address; the desktop's browser unless replaced (tests). False when no
    // program took it: the dialog then says so and names the address.
    std::function<bool(const QString& url)> OpenUrl;

    // The message texts of the active language (null: the built-in English texts).
    void SetMessages(const TMessageTable* messages) noexcept { messages_ = messages; }
    const TAnsiCodePage& CodePage() const noexcept { return codePage_; }

    // --- operations
    void SetModemStatus(const TKestConnectStatus& status);
    // Switches the dialog to a module, as choosing it in the module list does: for another
    // module than the one shown, the edits start over from its configuration, its networks
    // are emptied and (while shown) it is asked for its data. The same module again only
    // takes the fresh record.
    void SelectModule(const TKestConnectStatus& module);
    // Shows the modules of list (null: only empties the module list).
    void SetDeviceList(const TKestConnectStatusList* list);
    void RequestModemData();
    // A message box owned by the dialog with the text of message index; returns the button.
    QMessageBox::StandardButton ShowMessageBox(int message, QMessageBox::Icon icon, QMessageBox::StandardButtons buttons,
                                               QMessageBox::StandardButton defaultButton);
    // Puts the texts of the active language on the dialog, its list columns included.
    void ApplyLanguage(TLanguageTexts& texts, const QString& mainCaption);
    // Whether the Hide box is ticked, and setting it (runs CheckBoxHideClick).
    bool HidePassword() const;
    void SetHidePassword(bool hide);

    // --- handlers
    void CheckBoxHideClick();
    void ButtonConnClick();
    void ButtonRestoreClick();
    void ButtonRefreshClick();
    void Timer1Timer();
    void Panel1Click();
    void ListBox1DblClick();
    void ListView1DblClick();
    void ListView1ColumnClick(TObject* sender, TMyListColumn* column);
    void ListView1Compare(TObject* sender, QTreeWidgetItem* item1, QTreeWidgetItem* item2, int data, int& compare);

    // --- the controls (the language switch and tests reach them here)
    QLabel* NameLabel() const { return nameLabel_; }
    QLabel* VersionLabel() const { return versionLabel_; }
    QLabel* AddressLabel() const { return addressLabel_; }
    QWidget* ConnectedPanel() const { return connectedPanel_; }
    QLabel* AccessPointLabel() const { return accessPointLabel_; }
    QFrame* Header() const { return header_; }
    QLineEdit* SSIDEdit() const { return ssidEdit_; }
    QLineEdit* PasswordEdit() const { return passwordEdit_; }
    QLabel* HintLabel() const { return hintLabel_; }
    QCheckBox* HideBox() const { return hideBox_; }
    QPushButton* RestoreButton() const { return restoreButton_; }
    QPushButton* ConnectButton() const { return connectButton_; }
    QPushButton* AdminButton() const { return adminButton_; }
    QToolButton* RefreshButton() const { return refreshButton_; }
    QListWidget* ModuleList() const { return moduleList_; }
    TMyListView* NetworkList() const { return networkList_; }
    QTimer* ConfigTimer() const { return configTimer_; }
    // The refresh button's image list for a density: 0, 1, 2 for 16, 24, 32 pixels.
    int RefreshImageList() const noexcept { return refreshList_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void ShowHeaderHint();
    void BuildWidgets();
    void ApplyColors();
    void UpdateView();
    void EnableConfigTimer(bool enabled);
    void FillNetworks();
    void SortNetworks();
    void FormShow();
    void FormClose();
    // secret: the character was typed into the masked pass-phrase box and is not shown.
    void ShowRefused(char32_t refused, bool secret);
    void SetBoxText(QLineEdit* edit, const AnsiString& text);
    QString Decode(const AnsiString& text) const;
    void UpdateRefreshImage();

    TAnsiCodePage codePage_;
    const TMessageTable* messages_ = nullptr;
    QStringList ownTexts_;  // the refused-character hints, in the active language
    QCollator ssidOrder_;   // the SSID column's order

    std::vector<TKestConnectStatus> moduleEntries_; // the module list's records, by row
    int refreshList_ = 0;
    QString noProgramText_; // empty: the built-in English text
    bool closed_ = true;

    QFrame* header_;
    QLabel* nameLabel_;
    QLabel* versionLabel_;
    QLabel* addressLabel_;
    QWidget* connectedPanel_;
    QLabel* connectedMark_;
    QLabel* connectedToLabel_;
    QLabel* connectedColon_;
    QLabel* accessPointLabel_;
    QGroupBox* accessPointGroup_;
    QLabel* ssidLabel_;
    QLineEdit* ssidEdit_;
    QLabel* passwordLabel_;
    QLineEdit* passwordEdit_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QCheckBox* hideBox_;
    QPushButton* restoreButton_;
    QPushButton* connectButton_;
    QGroupBox* modulesGroup_;
    QListWidget* moduleList_;
    QGroupBox* networksGroup_;
    TMyListView* networkList_;
    QPushButton* adminButton_;
    QToolButton* refreshButton_ = nullptr;
    QTimer* configTimer_;
    QTimer* hintTimer_;
    TAnsiTextValidator* ssidFilter_;
    TAnsiTextValidator* passwordFilter_;
};

} // namespace fk

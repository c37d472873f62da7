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
    static constexpr int ConfigInterval = 10000; // Timer1, ms
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
    // Opens a web address; the desktop's browser unless replaced (tests).
    std::function<void(const QString& url)> OpenUrl;

    // The message texts of the active language (null: the built-in English texts).
    void SetMessages(const TMessageTable* messages) noexcept { messages_ = messages; }
    const TAnsiCodePage& CodePage() const noexcept { return codePage_; }

    // --- operations
    void SetModemStatus(const TKestConnectStatus& status);
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
    QLabel* NameLabel() const { return Label3; }
    QLabel* VersionLabel() const { return Label4; }
    QLabel* AddressLabel() const { return Label5; }
    QWidget* ConnectedPanel() const { return Panel5; }
    QLabel* AccessPointLabel() const { return Label9; }
    QFrame* Header() const { return Panel1; }
    QLineEdit* SSIDEdit() const { return Edit1; }
    QLineEdit* PasswordEdit() const { return Edit2; }
    QLabel* HintLabel() const { return LabelHint; }
    QCheckBox* HideBox() const { return CheckBoxHide; }
    QPushButton* RestoreButton() const { return ButtonRestore; }
    QPushButton* ConnectButton() const { return ButtonConn; }
    QPushButton* AdminButton() const { return ButtonAdmin; }
    QToolButton* RefreshButton() const { return ButtonRefresh; }
    QListWidget* ModuleList() const { return ListBox1; }
    TMyListView* NetworkList() const { return ListView1; }
    QTimer* ConfigTimer() const { return Timer1; }
    // The refresh button's image list for a density: 0, 1, 2 for 16, 24, 32 pixels.
    int RefreshImageList() const noexcept { return refreshList_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void BuildWidgets();
    void ApplyColors();
    void UpdateView();
    void EnableTimer1(bool enabled);
    void FillNetworks();
    void SortNetworks();
    void FormShow();
    void FormClose();
    void ShowRefused(char32_t refused);
    void SetBoxText(QLineEdit* edit, const AnsiString& text);
    QString Decode(const AnsiString& text) const;
    void UpdateRefreshImage();

    TAnsiCodePage codePage_;
    const TMessageTable* messages_ = nullptr;
    QStringList ownTexts_;  // the refused-character hints, in the active language
    QCollator ssidOrder_;   // the SSID column's order

    std::vector<TKestConnectStatus> moduleEntries_; // the module list's records, by row
    int refreshList_ = 0;
    bool closed_ = true;

    QFrame* Panel1;
    QLabel* Label3;
    QLabel* Label4;
    QLabel* Label5;
    QWidget* Panel5;
    QLabel* Label6;
    QLabel* Label7;
    QLabel* Label8;
    QLabel* Label9;
    QGroupBox* GroupBox1;
    QLabel* Label1;
    QLineEdit* Edit1;
    QLabel* Label2;
    QLineEdit* Edit2 = nullptr;
    QLabel* LabelHint = nullptr;
    QCheckBox* CheckBoxHide;
    QPushButton* ButtonRestore;
    QPushButton* ButtonConn;
    QGroupBox* GroupBox2;
    QListWidget* ListBox1;
    QGroupBox* GroupBox3;
    TMyListView* ListView1;
    QPushButton* ButtonAdmin;
    QToolButton* ButtonRefresh = nullptr;
    QTimer* Timer1;
    QTimer* hintTimer_;
    TAnsiTextValidator* ssidFilter_;
    TAnsiTextValidator* passwordFilter_;
};

} // namespace fk

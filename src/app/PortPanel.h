#pragma once
// TPortPanel: the main window's " Connection Port List ": the list of ports and wireless
// modules, Connect and Disconnect, and the description of the device connected (its version
// and build date beside the buttons, its information text and serial number below the list).
//
// The panel tells what the user does through its signals and shows what the window gives it;
// the list's rows are filled by the window's TConnectionPorts.
#include "platform/Types.h"

#include <QGroupBox>
#include <QString>

#include <functional>

class QLabel;
class QPushButton;

namespace fk {

class TDesignScale;
class TPortListBox;

class TPortPanel : public QGroupBox {
    Q_OBJECT
public:
    // The text of a key in the language shown; english when there is none.
    using TTextLookup = std::function<QString(const char* key, const char* english)>;

    explicit TPortPanel(QWidget* parent);

    TPortListBox* PortList() const noexcept { return portList_; }
    void EnableConnect(bool enabled);
    void SetConnectDefault(bool isDefault);
    void EnableDisconnect(bool enabled);
    bool DisconnectEnabled() const;

    // The device's description as the session gives it: "Ver.:\t1.2.0\r\nBuild:\t2024-05-17"
    // and "Info: text, \tS/N: number" (the device's texts in its 8-bit code page).
    void SetDescription(const String& version, const String& info);
    // Shows the description with its captions in the language shown.
    void RenderDescription(const TTextLookup& text);
    void ApplyDensity(const TDesignScale& scale, int rowHeight);

signals:
    void ConnectClicked();
    void DisconnectClicked();

private:
    TPortListBox* portList_ = nullptr;
    QPushButton* connectButton_ = nullptr;
    QPushButton* disconnectButton_ = nullptr;
    QLabel* deviceVersionLabel_ = nullptr;
    QLabel* deviceInfoLabel_ = nullptr;
    String shownVersion_, shownInfo_;
};

} // namespace fk

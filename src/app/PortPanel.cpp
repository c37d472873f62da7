#include "app/PortPanel.h"

#include "app/LanguageApplier.h"
#include "app/ObjectNames.h"
#include "app/PanelButton.h"
#include "app/PortListBox.h"
#include "controls/DesignScale.h"
#include "support/AnsiCodePage.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

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

} // namespace

TPortPanel::TPortPanel(QWidget* parent)
    : QGroupBox(QStringLiteral(" Connection Port List "), parent)
{
    setObjectName(QLatin1String(names::PortListGroup));
    TLanguageApplier::SetKey(this, "grp_connlist");
    auto* portGrid = new QGridLayout(this);
    portList_ = new TPortListBox(nullptr, this);
    portList_->setObjectName(QLatin1String(names::PortList));
    auto* right = new QVBoxLayout;
    connectButton_ = TLanguageApplier::Key(NewPanelButton(QStringLiteral("Connect"), names::ConnectButton, this),
                                           "btn_connect");
    disconnectButton_ = TLanguageApplier::Key(
        NewPanelButton(QStringLiteral("Disconnect"), names::DisconnectButton, this), "btn_disconnect");
    disconnectButton_->setEnabled(false);
    deviceVersionLabel_ = new QLabel(this);
    deviceVersionLabel_->setObjectName(QLatin1String(names::DeviceVersionLabel));
    deviceVersionLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    deviceVersionLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    right->addWidget(connectButton_);
    right->addWidget(disconnectButton_);
    right->addWidget(deviceVersionLabel_);
    right->addStretch(1);
    deviceInfoLabel_ = new QLabel(this);
    deviceInfoLabel_->setObjectName(QLatin1String(names::DeviceInfoLabel));
    deviceInfoLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    deviceInfoLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    portGrid->addWidget(portList_, 0, 0);
    portGrid->addLayout(right, 0, 1);
    portGrid->addWidget(deviceInfoLabel_, 1, 0, 1, 2);
    portGrid->setColumnStretch(0, 1);
    portGrid->setRowStretch(0, 1);
    connect(connectButton_, &QPushButton::clicked, this, [this] { emit ConnectClicked(); });
    connect(disconnectButton_, &QPushButton::clicked, this, [this] { emit DisconnectClicked(); });
}

void TPortPanel::EnableConnect(bool enabled) { connectButton_->setEnabled(enabled); }

void TPortPanel::SetConnectDefault(bool isDefault) { connectButton_->setDefault(isDefault); }

void TPortPanel::EnableDisconnect(bool enabled) { disconnectButton_->setEnabled(enabled); }

bool TPortPanel::DisconnectEnabled() const { return disconnectButton_->isEnabled(); }

void TPortPanel::SetDescription(const String& version, const String& info)
{
    shownVersion_ = version;
    shownInfo_ = info;
}

void TPortPanel::RenderDescription(const TTextLookup& text)
{
    // "Ver.:\t1.2.0\r\nBuild:\t2024-05-17" and "Info: text, \tS/N: number": the captions
    // are put in the language shown; the device's own texts stay as they are.
    const auto caption = [](QString& line, const QString& english, const QString& shown) {
        if (line.startsWith(english))
            line.replace(0, english.size(), shown);
    };
    QStringList lines = QString::fromStdString(shownVersion_).split(QStringLiteral("\r\n"));
    caption(lines[0], QStringLiteral("Ver.:"), text("inf_dev-version", "Ver.:"));
    if (lines.size() > 1)
        caption(lines[1], QStringLiteral("Build:"), text("inf_dev-build", "Build:"));
    deviceVersionLabel_->setText(shownVersion_.empty() ? QString() : TabbedLinesAsTable(lines.join(QStringLiteral("\r\n"))));
    QStringList parts = DecodeDeviceText(shownInfo_).split(QLatin1Char('\t'));
    if (parts.size() > 1)
        caption(parts[0], QStringLiteral("Info:"), text("inf_dev-info", "Info:"));
    caption(parts.last(), QStringLiteral("S/N:"), text("inf_dev-serial", "S/N:"));
    deviceInfoLabel_->setText(parts.join(QString()));
}

void TPortPanel::ApplyDensity(const TDesignScale& scale, int rowHeight)
{
    portList_->SetRowHeight(rowHeight);
    for (QPushButton* b : {connectButton_, disconnectButton_})
        b->setMinimumWidth(scale(96));
    deviceVersionLabel_->setMinimumWidth(scale(110));
    deviceVersionLabel_->setMinimumHeight(2 * deviceVersionLabel_->fontMetrics().lineSpacing() + 2);
}

} // namespace fk

#include "app/FormKCConfig.h"

#include "app/AnsiTextValidator.h"
#include "app/AppImages.h"
#include "app/ElidedLabel.h"
#include "app/LanguageApplier.h"
#include "app/LanguageTexts.h"
#include "app/TracedMessageBox.h"
#include "app/NoProgramBox.h"
#include "controls/DesignScale.h"
#include "controls/MyListView.h"
#include "module/KestConnectComm.h"
#include "session/MessageTable.h"
#include "support/MyString.h"

#include <QCheckBox>
#include <QDesktopServices>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <vector>
#include <QUrl>
#include <QVBoxLayout>

#include <cstdlib>

namespace fk {

namespace {

constexpr int SortKeyRole = Qt::UserRole;

// The refresh button's picture: a circular arrow, drawn at size device pixels.
QPixmap RefreshImage(int size, double ratio, const QColor& color)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double pen = std::max(1.5, size / 8.0);
    const QRectF ring(pen + 0.5, pen + 0.5, size - 2 * pen - 1, size - 2 * pen - 1);
    p.setPen(QPen(color, pen, Qt::SolidLine, Qt::FlatCap));
    p.drawArc(ring, 60 * 16, 270 * 16);
    // The arrow head at the arc's open end, pointing along the turn.
    const QPointF tip(ring.center().x() + ring.width() / 2 * 0.5, ring.top() - pen * 0.2);
    QPainterPath head;
    head.moveTo(tip + QPointF(pen * 1.6, pen * 1.0));
    head.lineTo(tip + QPointF(-pen * 0.6, -pen * 1.3));
    head.lineTo(tip + QPointF(-pen * 0.2, pen * 2.2));
    head.closeSubpath();
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    p.drawPath(head);
    p.end();
    pixmap.setDevicePixelRatio(ratio);
    return pixmap;
}

// The texts of the refused-character hint: key and English text.
struct TOwnText {
    const char* Key;
    const char* English;
};
constexpr TOwnText OwnTexts[] = {
    {"txt_kc-refused-sep", "A module text cannot hold %1."},
    {"txt_kc-refused-chr", "\u201C%1\u201D cannot be sent to the module (code page %2)."},
    {"txt_kc-sep-comma", "a comma"},
    {"txt_kc-sep-cr", "a carriage return"},
    {"txt_kc-sep-lf", "a line feed"},
    {"txt_kc-sep-nul", "a NUL character"},
    {"hnt_kc-char-hidden", "This character cannot be sent to the module (code page %1)."},
};
enum { otRefusedSeparator, otRefusedCharacter, otComma, otCarriageReturn, otLineFeed, otNul, otRefusedHidden };

int SeparatorText(char32_t c)
{
    switch (c) {
    case U',': return otComma;
    case U'\r': return otCarriageReturn;
    case U'\n': return otLineFeed;
    default: return otNul;
    }
}

} // namespace

TFormKCConfig::TFormKCConfig(QWidget* parent, unsigned codePage)
    : QDialog(parent)
    , codePage_(codePage)
{
    OpenUrl = [](const QString& url) { return QDesktopServices::openUrl(QUrl(url)); };
    for (const TOwnText& t : OwnTexts)
        ownTexts_ << QString::fromUtf8(t.English);
    // The user's locale; without one (the C locale compares code points) the common order of
    // every alphabet.
    if (QLocale().language() == QLocale::C)
        ssidOrder_.setLocale(QLocale(QLocale::English));
    ssidOrder_.setCaseSensitivity(Qt::CaseInsensitive);
    ssidOrder_.setNumericMode(true); // "net10" after "net9"
    BuildWidgets();
    ApplyColors();
    CheckBoxHideClick();
}

TFormKCConfig::~TFormKCConfig()
{
    OnHideClick = nullptr;
    networkList_->OnColumnClick = nullptr;
    networkList_->OnColumnDblClick = nullptr;
    networkList_->OnCompare = nullptr;
}

void TFormKCConfig::BuildWidgets()
{
    using L = TLanguageApplier;
    const TDesignScale scale = TDesignScale::ForWidget(this);
    setWindowTitle(QStringLiteral("KESTConnect Configuration"));
    L::SetKey(this, "dlg_kcconfiguration");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    // Header: name, version, address and the access point the module has joined; a click
    // opens the module's web page.
    header_ = new QFrame(this);
    header_->setFrameShape(QFrame::StyledPanel);
    header_->setCursor(Qt::PointingHandCursor);
    nameLabel_ = new TElidedLabel(header_);
    nameLabel_->setText(QStringLiteral("KESTConnect"));
    QFont bold = nameLabel_->font();
    bold.setBold(true);
    nameLabel_->setFont(bold);
    versionLabel_ = new QLabel(header_);
    addressLabel_ = new QLabel(header_);
    connectedPanel_ = new QWidget(header_);
    connectedMark_ = new QLabel(QStringLiteral("-"), connectedPanel_);
    connectedToLabel_ = L::Key(new QLabel(QStringLiteral("Connected to"), connectedPanel_), "lbl_connected-to");
    connectedColon_ = new QLabel(QStringLiteral(": "), connectedPanel_);
    accessPointLabel_ = new TElidedLabel(connectedPanel_);
    auto* connected = new QHBoxLayout(connectedPanel_);
    connected->setContentsMargins(0, 0, 0, 0);
    connected->setSpacing(0);
    connected->addWidget(connectedMark_);
    connected->addSpacing(scale(4));
    connected->addWidget(connectedToLabel_);
    connected->addWidget(connectedColon_);
    connected->addWidget(accessPointLabel_);
    auto* header = new QHBoxLayout(header_);
    header->setContentsMargins(scale(6), scale(3), scale(6), scale(3));
    header->setSpacing(scale(4));
    header->addWidget(nameLabel_);
    header->addWidget(versionLabel_);
    header->addWidget(addressLabel_);
    header->addSpacing(scale(2));
    header->addWidget(connectedPanel_);
    header->addStretch(1);
    for (QWidget* w : {static_cast<QWidget*>(header_), static_cast<QWidget*>(nameLabel_),
                       static_cast<QWidget*>(versionLabel_), static_cast<QWidget*>(addressLabel_), connectedPanel_,
                       static_cast<QWidget*>(connectedMark_), static_cast<QWidget*>(connectedToLabel_),
                       static_cast<QWidget*>(connectedColon_), static_cast<QWidget*>(accessPointLabel_)})
        w->installEventFilter(this);

    adminButton_ = L::Key(new QPushButton(QStringLiteral("Administration"), this), "btn_kcadmin");
    refreshButton_ = L::Key(new QToolButton(this), "btn_refresh");
    refreshButton_->setToolTip(QStringLiteral("Update list"));
    refreshButton_->setAutoRaise(true);

    // The access point to join.
    accessPointGroup_ = L::Key(new QGroupBox(QStringLiteral(" Intermediate network (Access point) "), this), "grp_access-point");
    ssidLabel_ = new QLabel(QStringLiteral("SSID"), accessPointGroup_);
    ssidEdit_ = new QLineEdit(accessPointGroup_);
    passwordLabel_ = L::Key(new QLabel(QStringLiteral("Password"), accessPointGroup_), "lbl_password");
    passwordEdit_ = new QLineEdit(accessPointGroup_);
    // The mask character is the style's password character; this one box asks for U+25CF.
    passwordEdit_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: %1; }").arg(int(MaskCharacter)));
    ssidLabel_->setBuddy(ssidEdit_);
    passwordLabel_->setBuddy(passwordEdit_);
    ssidFilter_ = new TAnsiTextValidator(codePage_, this);
    passwordFilter_ = new TAnsiTextValidator(codePage_, this);
    ssidFilter_->OnRefused = [this](char32_t c) { ShowRefused(c, false); };
    passwordFilter_->OnRefused = [this](char32_t c) { ShowRefused(c, hideBox_->isChecked()); };
    ssidEdit_->setValidator(ssidFilter_);
    passwordEdit_->setValidator(passwordFilter_);
    hintLabel_ = new QLabel(accessPointGroup_);
    hintLabel_->setWordWrap(true);
    // The hint's two lines stay reserved while it is hidden: showing it moves nothing (the
    // buttons below stay under the pointer).
    QSizePolicy hintPolicy = hintLabel_->sizePolicy();
    hintPolicy.setRetainSizeWhenHidden(true);
    hintLabel_->setSizePolicy(hintPolicy);
    hintLabel_->setFixedHeight(2 * hintLabel_->fontMetrics().lineSpacing());
    hintLabel_->setVisible(false);
    hideBox_ = L::Key(new QCheckBox(QStringLiteral("Hide"), accessPointGroup_), "lbl_hide");
    hideBox_->setChecked(true);
    restoreButton_ = L::Key(new QPushButton(QStringLiteral("Restore"), accessPointGroup_), "btn_restore");
    connectButton_ = L::Key(new QPushButton(QStringLiteral("Connect"), accessPointGroup_), "btn_connect");
    auto* grid = new QGridLayout(accessPointGroup_);
    grid->setContentsMargins(scale(8), scale(6), scale(8), scale(8));
    grid->setHorizontalSpacing(scale(6));
    grid->setVerticalSpacing(scale(4));
    grid->addWidget(ssidLabel_, 0, 0);
    grid->addWidget(ssidEdit_, 0, 1, 1, 2);
    grid->addWidget(passwordLabel_, 1, 0);
    grid->addWidget(passwordEdit_, 1, 1, 1, 2);
    grid->addWidget(hideBox_, 2, 1);
    grid->addWidget(hintLabel_, 3, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(scale(6));
    buttons->addStretch(1);
    buttons->addWidget(restoreButton_);
    buttons->addWidget(connectButton_);
    grid->addLayout(buttons, 4, 0, 1, 3);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(1, 1);

    // The modules known.
    modulesGroup_ = L::Key(new QGroupBox(QStringLiteral(" Connection Port List "), this), "grp_connlist");
    moduleList_ = new QListWidget(modulesGroup_);
    moduleList_->installEventFilter(this);
    auto* modules = new QVBoxLayout(modulesGroup_);
    modules->setContentsMargins(scale(6), scale(4), scale(6), scale(6));
    modules->addWidget(moduleList_);

    // The networks the selected module sees.
    networksGroup_ = L::Key(new QGroupBox(QStringLiteral(" Available Networks "), this), "grp_networks");
    networkList_ = new TMyListView(networksGroup_);
    networkList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    networkList_->setSelectionMode(QAbstractItemView::SingleSelection);
    TMyListColumn* ssid = networkList_->Columns().Add();
    ssid->SetCaption(QStringLiteral("SSID"));
    ssid->SetAutoSize(true);
    TMyListColumn* signal = networkList_->Columns().Add();
    signal->SetCaption(QStringLiteral("Signal"));
    signal->SetAlignment(Qt::AlignRight);
    signal->SetWidth(scale(SignalColumnWidth));
    signal->SetMinWidth(scale(SignalColumnWidth));
    signal->SetMaxWidth(scale(SignalColumnWidth));
    networkList_->OnColumnClick = TLVMyColumnClickEvent(this, &TFormKCConfig::ListView1ColumnClick);
    networkList_->OnColumnDblClick = TLVMyColumnClickEvent(this, &TFormKCConfig::ListView1ColumnClick);
    networkList_->OnCompare = TLVCompareEvent(this, &TFormKCConfig::ListView1Compare);
    auto* networks = new QVBoxLayout(networksGroup_);
    networks->setContentsMargins(scale(6), scale(4), scale(6), scale(6));
    networks->addWidget(networkList_);

    // Buttons of a dialog that is not modal: Enter belongs to the boxes and lists.
    for (QPushButton* b : {adminButton_, restoreButton_, connectButton_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto* top = new QHBoxLayout;
    top->addWidget(header_, 1);
    top->addWidget(refreshButton_);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(adminButton_);
    bottom->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addWidget(accessPointGroup_);
    left->addWidget(modulesGroup_, 1);
    auto* body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addWidget(networksGroup_, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(scale(6), scale(6), scale(6), scale(6));
    layout->setSpacing(scale(6));
    layout->addLayout(top);
    layout->addLayout(body, 1);
    layout->addLayout(bottom);

    configTimer_ = new QTimer(this);
    configTimer_->setInterval(ConfigInterval);
    hintTimer_ = new QTimer(this);
    hintTimer_->setSingleShot(true);
    hintTimer_->setInterval(HintMs);

    connect(hideBox_, &QCheckBox::toggled, this, [this] { CheckBoxHideClick(); });
    connect(ssidEdit_, &QLineEdit::textChanged, this, [this] { Edited = true; });
    connect(ssidEdit_, &QLineEdit::returnPressed, this, [this] { ButtonConnClick(); });
    connect(passwordEdit_, &QLineEdit::returnPressed, this, [this] { ButtonConnClick(); });
    connect(connectButton_, &QPushButton::clicked, this, [this] { ButtonConnClick(); });
    connect(restoreButton_, &QPushButton::clicked, this, [this] { ButtonRestoreClick(); });
    connect(refreshButton_, &QToolButton::clicked, this, [this] { ButtonRefreshClick(); });
    connect(adminButton_, &QPushButton::clicked, this, [this] { Panel1Click(); });
    connect(moduleList_, &QListWidget::itemDoubleClicked, this, [this] { ListBox1DblClick(); });
    connect(networkList_, &QTreeWidget::itemDoubleClicked, this, [this] { ListView1DblClick(); });
    connect(configTimer_, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(hintTimer_, &QTimer::timeout, hintLabel_, &QLabel::hide);

    // The window's minimum of 460 x 250 holds its frame; the client keeps what is left.
    setMinimumSize(scale(DesignMinWidth - 16), scale(DesignMinHeight - 39));
    resize(QSize(scale(DesignClientWidth), scale(DesignClientHeight)).expandedTo(sizeHint()));
    UpdateRefreshImage();
    UpdateView();
}

QString TFormKCConfig::Decode(const AnsiString& text) const
{
    return QString::fromStdString(codePage_.Decode(text));
}

void TFormKCConfig::SetBoxText(QLineEdit* edit, const AnsiString& text)
{
    auto* filter = edit == ssidEdit_ ? ssidFilter_ : passwordFilter_;
    filter->Quiet = true;
    edit->setText(Decode(text));
    filter->Quiet = false;
}

// ---------------------------------------------------------------- operations

void TFormKCConfig::SetModemStatus(const TKestConnectStatus& status)
{
    if (&status != &ModemStatus)
        ModemStatus = status; // address, host, configuration, networks, last seen
    ModemPresent = !ModemStatus.IP.empty();
    EnableConfigTimer(isVisible() && !ModemStatus.IP.empty());
    UpdateView();
}

void TFormKCConfig::EnableConfigTimer(bool enabled)
{
    // Enabling a running timer leaves it running: the 10 s count is not restarted.
    if (!enabled)
        configTimer_->stop();
    else if (!configTimer_->isActive())
        configTimer_->start();
}

void TFormKCConfig::SetDeviceList(const TKestConnectStatusList* list)
{
    // The row under the cursor stays selected across rebuilds.
    const int row = moduleList_->currentRow();
    const String current = row >= 0 && row < int(moduleEntries_.size()) ? moduleEntries_[std::size_t(row)].IP : String();
    moduleList_->clear();
    moduleEntries_.clear();
    if (!list)
        return;
    int found = ModemStatus.IP.empty() ? -1 : 0;
    // In the order of the main window's port list: addresses with their numbers by value.
    std::vector<const TKestConnectStatus*> sorted;
    for (const TKestConnectStatus& module : *list)
        sorted.push_back(&module);
    std::stable_sort(sorted.begin(), sorted.end(), [](const TKestConnectStatus* a, const TKestConnectStatus* b) {
        return MyString::StringCompare(a->IP, b->IP, 8) == 1;
    });
    for (const TKestConnectStatus* entry : sorted) {
        const TKestConnectStatus& module = *entry;
        if (found == 0 && module.IPVersion == ModemStatus.IPVersion && module.IP == ModemStatus.IP)
            found = 1;
        moduleList_->addItem(QString::fromStdString(module.IP) + QStringLiteral(" (") + Decode(module.Config.Name) +
                          QLatin1Char(')'));
        moduleEntries_.push_back(module);
        if (!current.empty() && module.IP == current)
            moduleList_->setCurrentRow(moduleList_->count() - 1);
    }
    const bool wasPresent = ModemPresent;
    ModemPresent = found == 1;
    EnableConfigTimer(isVisible() && ModemPresent);
    if (ConnectComm && isVisible() && ModemPresent && !wasPresent)
        ConnectComm->RequestNetworkList(ModemStatus.IP, ModemStatus.IPVersion);
    UpdateView();
}

void TFormKCConfig::SelectModule(const TKestConnectStatus& module)
{
    const bool other = module.IPVersion != ModemStatus.IPVersion || module.IP != ModemStatus.IP;
    if (other) {
        // Nothing of the previous module may stay: its networks, its SSID and pass phrase.
        networkList_->clear();
        Edited = false;
    }
    SetModemStatus(module);
    if (other && isVisible())
        RequestModemData();
}

void TFormKCConfig::RequestModemData()
{
    if (!ConnectComm || ModemStatus.IP.empty() || !ModemPresent)
        return;
    ConnectComm->RequestConfig(ModemStatus.IP, ModemStatus.IPVersion);
    ConnectComm->RequestNetworkList(ModemStatus.IP, ModemStatus.IPVersion);
}

QMessageBox::StandardButton TFormKCConfig::ShowMessageBox(int message, QMessageBox::Icon icon,
                                                          QMessageBox::StandardButtons buttons,
                                                          QMessageBox::StandardButton defaultButton)
{
    const String text = messages_ ? messages_->MessageText(message) : String(TMessageTable::DefaultText(message));
    QMessageBox box(icon, windowTitle(), QString::fromStdString(text), buttons, this);
    box.setDefaultButton(defaultButton);
    return QMessageBox::StandardButton(TTracedMessageBox::Exec(box));
}

void TFormKCConfig::ApplyLanguage(TLanguageTexts& texts, const QString& mainCaption)
{
    const QString signal = QString::fromStdString(texts.Translate("col_signal"));
    if (!signal.isEmpty())
        networkList_->Columns().GetItem(1)->SetCaption(signal);
    for (std::size_t i = 0; i < std::size(OwnTexts); ++i) {
        const QString text = QString::fromStdString(texts.Translate(OwnTexts[i].Key));
        ownTexts_[int(i)] = text.isEmpty() ? QString::fromUtf8(OwnTexts[i].English) : text;
    }
    noProgramText_ = QString::fromStdString(texts.Translate(TNoProgramBox::TextKey));
    TLanguageApplier::Apply(this, texts, mainCaption);
    ShowHeaderHint();
    // What a screen reader calls the lists and the picture-only refresh button.
    moduleList_->setAccessibleName(modulesGroup_->title().trimmed());
    networkList_->setAccessibleName(networksGroup_->title().trimmed());
    refreshButton_->setAccessibleName(refreshButton_->toolTip());
}

bool TFormKCConfig::HidePassword() const { return hideBox_->isChecked(); }

void TFormKCConfig::SetHidePassword(bool hide)
{
    if (hideBox_->isChecked() != hide)
        hideBox_->setChecked(hide); // runs CheckBoxHideClick
}

// ---------------------------------------------------------------- view

void TFormKCConfig::ShowHeaderHint()
{
    // The header is cut with "…" where the dialog is narrow: its tool tip is the whole line.
    QStringList parts;
    for (const QLabel* label : {static_cast<QLabel*>(nameLabel_), versionLabel_, addressLabel_})
        if (!label->isHidden() && !label->text().isEmpty())
            parts << label->text();
    QString whole = parts.join(QLatin1Char(' '));
    if (!connectedPanel_->isHidden())
        whole += QStringLiteral(" - ") + connectedToLabel_->text() + connectedColon_->text() + accessPointLabel_->text();
    header_->setToolTip(whole);
}

void TFormKCConfig::UpdateView()
{
    const bool enabled = ModemPresent && !ModemStatus.IP.empty();
    TKestConnectConfig& config = ModemStatus.Config;
    // A module that has not reported an address on the access point's network has not joined.
    if (!config.APConnected)
        config.APConnected = !config.AccessPoint.IP.empty() && config.AccessPoint.IP != "0.0.0.0";

    for (QWidget* w : {static_cast<QWidget*>(nameLabel_), static_cast<QWidget*>(versionLabel_),
                       static_cast<QWidget*>(header_), static_cast<QWidget*>(connectButton_),
                       static_cast<QWidget*>(adminButton_)})
        w->setEnabled(enabled);
    addressLabel_->setVisible(enabled);
    if (enabled)
        addressLabel_->setText(QStringLiteral("(") + QString::fromStdString(ModemStatus.IP) + QLatin1Char(')'));
    versionLabel_->setVisible(!config.Version.empty());
    versionLabel_->setText(QStringLiteral("v.") + Decode(config.Version));
    nameLabel_->setText(config.Name.empty() ? QStringLiteral("KESTConnect") : Decode(config.Name));
    accessPointLabel_->setText(Decode(config.AccessPoint.SSID) + QStringLiteral(" (") + Decode(config.AccessPoint.IP) +
                    QLatin1Char(')'));
    connectedPanel_->setVisible(enabled && config.APConnected);
    ShowHeaderHint();
    if (!Edited) {
        SetBoxText(ssidEdit_, config.AccessPoint.SSID);
        SetBoxText(passwordEdit_, config.AccessPoint.Password);
    }
    FillNetworks();
}

void TFormKCConfig::FillNetworks()
{
    QTreeWidgetItem* selected = networkList_->currentItem();
    const QString keep = selected ? selected->text(0) : QString();
    networkList_->clear();
    QTreeWidgetItem* reselect = nullptr;
    for (const TWLANItem& network : ModemStatus.Networks) {
        // A network whose signal the module did not give shows none and sorts as the weakest.
        const QString signal =
            network.Signal == INT_MIN ? QString() : QString::number(network.Signal) + QStringLiteral(" dBm");
        QTreeWidgetItem* item = networkList_->AddItem(Decode(network.SSID), {signal});
        item->setData(1, SortKeyRole, network.Signal);
        if (!reselect && !keep.isEmpty() && item->text(0) == keep)
            reselect = item;
    }
    if (networkList_->Tag() != 0)
        networkList_->AlphaSort();
    if (reselect)
        networkList_->setCurrentItem(reselect);
}

void TFormKCConfig::UpdateRefreshImage()
{
    const int dpi = TAppImages::DpiOf(this);
    refreshList_ = TAppImages::ListForDpi(dpi, TAppImages::ImageSizes);
    const int size = TAppImages::ImageSizes[std::size_t(refreshList_)];
    const double ratio = devicePixelRatioF();
    refreshButton_->setIcon(QIcon(RefreshImage(size, ratio, palette().color(QPalette::ButtonText))));
    refreshButton_->setIconSize(QSize(size, size) / ratio);
}

void TFormKCConfig::ShowRefused(char32_t refused, bool secret)
{
    QString text;
    if (TAnsiTextValidator::IsSeparator(refused)) {
        text = ownTexts_[otRefusedSeparator].arg(ownTexts_[SeparatorText(refused)]);
    } else if (secret) {
        // The pass phrase is masked: the hint does not show what was typed.
        text = ownTexts_[otRefusedHidden].arg(codePage_.CodePage());
    } else {
        String utf8;
        TAnsiCodePage::AppendUtf8(utf8, refused);
        text = ownTexts_[otRefusedCharacter]
                   .arg(QString::fromStdString(utf8))
                   .arg(codePage_.CodePage());
    }
    hintLabel_->setText(text);
    hintLabel_->setVisible(true);
    hintTimer_->start();
}

// ---------------------------------------------------------------- handlers

void TFormKCConfig::FormShow()
{
    closed_ = false;
    UpdateRefreshImage();
    RequestModemData();
}

void TFormKCConfig::FormClose()
{
    closed_ = true;
    nameLabel_->setEnabled(false);
    versionLabel_->setEnabled(false);
    configTimer_->stop();
    Edited = false;
    ConnectComm = nullptr;
}

void TFormKCConfig::CheckBoxHideClick()
{
    passwordEdit_->setEchoMode(hideBox_->isChecked() ? QLineEdit::Password : QLineEdit::Normal);
    OnHideClick.Invoke(this);
}

void TFormKCConfig::ButtonConnClick()
{
    // Enter in the boxes comes here too: nothing goes to a module that has left the list.
    if (ModemStatus.IP.empty() || !ModemPresent)
        return;
    AnsiString ssid, password;
    char32_t refused = 0;
    // The filters keep such characters out; a text that still holds one is not sent.
    if (ssidFilter_->FindRefused(ssidEdit_->text(), refused) || !codePage_.Encode(ssidEdit_->text().toStdString(), ssid)) {
        ShowRefused(refused, false);
        return;
    }
    if (passwordFilter_->FindRefused(passwordEdit_->text(), refused) ||
        !codePage_.Encode(passwordEdit_->text().toStdString(), password)) {
        ShowRefused(refused, hideBox_->isChecked());
        return;
    }
    const TKestConnectConfig& config = ModemStatus.Config;
    if (config.APConnected && ssid == config.AccessPoint.SSID && password == config.AccessPoint.Password) {
        Timer1Timer(); // the module already uses them: only ask for its configuration again
        return;
    }
    if (ModemStatus.IP == config.AccessPoint.IP &&
        ShowMessageBox(msgModuleDisconnectAsk, QMessageBox::Warning, QMessageBox::Yes | QMessageBox::No,
                       QMessageBox::No) != QMessageBox::Yes)
        return;
    if (!ConnectComm || !ModemPresent) // the module may have left while the question was open
        return;
    ConnectComm->SetModemAccesPoint(ModemStatus.IP, ModemStatus.IPVersion, ssid, password);
    configTimer_->stop();
    if (isVisible())
        configTimer_->start();
}

void TFormKCConfig::ButtonRestoreClick()
{
    SetBoxText(ssidEdit_, ModemStatus.Config.AccessPoint.SSID);
    SetBoxText(passwordEdit_, ModemStatus.Config.AccessPoint.Password);
}

void TFormKCConfig::ButtonRefreshClick() { RequestModemData(); }

void TFormKCConfig::Timer1Timer()
{
    configTimer_->stop();
    if (ConnectComm && isVisible() && !ModemStatus.IP.empty() && ModemPresent) {
        ConnectComm->RequestConfig(ModemStatus.IP, ModemStatus.IPVersion);
        configTimer_->start();
    }
}

void TFormKCConfig::Panel1Click()
{
    if (ModemStatus.Host.empty() || !OpenUrl)
        return;
    const QString url = QStringLiteral("http://") + QString::fromStdString(ModemStatus.Host);
    if (!OpenUrl(url))
        TNoProgramBox::Show(this, windowTitle(), url, noProgramText_);
}

void TFormKCConfig::ListBox1DblClick()
{
    const int row = moduleList_->currentRow();
    if (row < 0 || row >= int(moduleEntries_.size()))
        return;
    const TKestConnectStatus entry = moduleEntries_[std::size_t(row)];
    if (entry.IPVersion != ModemStatus.IPVersion || entry.IP != ModemStatus.IP)
        networkList_->clear();
    Edited = false;
    SetModemStatus(entry);
    RequestModemData();
}

void TFormKCConfig::ListView1DblClick()
{
    if (QTreeWidgetItem* item = networkList_->currentItem())
        ssidEdit_->setText(item->text(0));
}

void TFormKCConfig::ListView1ColumnClick(TObject*, TMyListColumn* column)
{
    if (!column)
        return;
    TMyListColumns& columns = networkList_->Columns();
    const int index = column->Index();
    const int tag = networkList_->Tag();
    if (std::abs(tag) != index + 1) {
        if (TMyListColumn* previous = tag != 0 ? columns.GetItem(std::abs(tag) - 1) : nullptr)
            previous->SetSortDirection(updNone);
        networkList_->SetTag(index + 1);
        column->SetSortDirection(updDown);
    } else if (tag > 0) {
        networkList_->SetTag(-(index + 1));
        column->SetSortDirection(updUp);
    } else {
        networkList_->SetTag(0);
        column->SetSortDirection(updNone);
    }
    // Sorted by the new order, or back in the order the module gave.
    FillNetworks();
    networkList_->viewport()->update();
}

void TFormKCConfig::ListView1Compare(TObject*, QTreeWidgetItem* item1, QTreeWidgetItem* item2, int, int& compare)
{
    const int tag = networkList_->Tag();
    if (tag == 0)
        return;
    if (std::abs(tag) == 1) {
        // Case-insensitive in the user's locale ("Łąka" beside "ława", Cyrillic by its
        // alphabet), numbers by their value; equal names then by case, for a stable order.
        const QString a = item1->text(0), b = item2->text(0);
        compare = ssidOrder_.compare(a, b);
        if (compare == 0)
            compare = MyString::StringCompare(a.toStdString(), b.toStdString(), MyString::scNumeric) - 2;
        compare = compare < 0 ? -1 : (compare > 0 ? 1 : 0);
    } else {
        const int a = item1->data(1, SortKeyRole).toInt();
        const int b = item2->data(1, SortKeyRole).toInt();
        compare = a < b ? -1 : (a > b ? 1 : 0);
    }
    if (tag > 0)
        compare = -compare;
}

// ---------------------------------------------------------------- events

void TFormKCConfig::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    // A skin switch: the colours drawn by the dialog itself follow the new palette.
    if (event->type() == QEvent::PaletteChange)
        ApplyColors();
}

void TFormKCConfig::ApplyColors()
{
    // The refused-character hint in red that stays readable on the skin's ground: dark red
    // on light skins, light red on dark ones.
    if (!hintLabel_ || !refreshButton_ || !passwordEdit_)
        return; // still being built
    const QColor ground = palette().color(QPalette::Window);
    QPalette warn = hintLabel_->palette();
    warn.setColor(QPalette::WindowText, ground.lightnessF() < 0.5 ? QColor(0xFF, 0x8A, 0x80) : QColor(0xC0, 0x20, 0x20));
    hintLabel_->setPalette(warn);
    UpdateRefreshImage();
    // A box with a style sheet keeps the colours of the skin it was polished with: polish it
    // again with the new skin's.
    const QString sheet = passwordEdit_->styleSheet();
    passwordEdit_->setStyleSheet(QString());
    passwordEdit_->setStyleSheet(sheet);
}

void TFormKCConfig::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (closed_)
        FormShow();
}

void TFormKCConfig::hideEvent(QHideEvent* event)
{
    QDialog::hideEvent(event);
    if (!event->spontaneous() && !closed_)
        FormClose();
}

bool TFormKCConfig::eventFilter(QObject* watched, QEvent* event)
{
    // The header's parts open the web page; a greyed header takes no clicks.
    if (event->type() == QEvent::MouseButtonRelease && watched != moduleList_ &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (!static_cast<QWidget*>(watched)->isEnabled())
            return true;
        Panel1Click();
        return true;
    }
    if (watched == moduleList_ && event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !(key->modifiers() & Qt::ShiftModifier))
            ListBox1DblClick();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace fk

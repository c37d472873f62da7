#include "app/FormKCConfig.h"

#include "app/AnsiTextValidator.h"
#include "app/AppImages.h"
#include "app/ElidedLabel.h"
#include "app/LanguageApplier.h"
#include "app/LanguageTexts.h"
#include "app/TracedMessageBox.h"
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
};
enum { otRefusedSeparator, otRefusedCharacter, otComma, otCarriageReturn, otLineFeed, otNul };

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
    OpenUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
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
    ListView1->OnColumnClick = nullptr;
    ListView1->OnColumnDblClick = nullptr;
    ListView1->OnCompare = nullptr;
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
    Panel1 = new QFrame(this);
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setCursor(Qt::PointingHandCursor);
    Label3 = new TElidedLabel(Panel1);
    Label3->setText(QStringLiteral("KESTConnect"));
    QFont bold = Label3->font();
    bold.setBold(true);
    Label3->setFont(bold);
    Label4 = new QLabel(Panel1);
    Label5 = new QLabel(Panel1);
    Panel5 = new QWidget(Panel1);
    Label6 = new QLabel(QStringLiteral("-"), Panel5);
    Label7 = L::Key(new QLabel(QStringLiteral("Connected to"), Panel5), "lbl_connected-to");
    Label8 = new QLabel(QStringLiteral(": "), Panel5);
    Label9 = new TElidedLabel(Panel5);
    auto* connected = new QHBoxLayout(Panel5);
    connected->setContentsMargins(0, 0, 0, 0);
    connected->setSpacing(0);
    connected->addWidget(Label6);
    connected->addSpacing(scale(4));
    connected->addWidget(Label7);
    connected->addWidget(Label8);
    connected->addWidget(Label9);
    auto* header = new QHBoxLayout(Panel1);
    header->setContentsMargins(scale(6), scale(3), scale(6), scale(3));
    header->setSpacing(scale(4));
    header->addWidget(Label3);
    header->addWidget(Label4);
    header->addWidget(Label5);
    header->addSpacing(scale(2));
    header->addWidget(Panel5);
    header->addStretch(1);
    for (QWidget* w : {static_cast<QWidget*>(Panel1), static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label4),
                       static_cast<QWidget*>(Label5), Panel5, static_cast<QWidget*>(Label6),
                       static_cast<QWidget*>(Label7), static_cast<QWidget*>(Label8), static_cast<QWidget*>(Label9)})
        w->installEventFilter(this);

    ButtonAdmin = L::Key(new QPushButton(QStringLiteral("Administration"), this), "btn_kcadmin");
    ButtonRefresh = L::Key(new QToolButton(this), "btn_refresh");
    ButtonRefresh->setToolTip(QStringLiteral("Update list"));
    ButtonRefresh->setAutoRaise(true);

    // The access point to join.
    GroupBox1 = L::Key(new QGroupBox(QStringLiteral(" Intermediate network (Access point) "), this), "grp_access-point");
    Label1 = new QLabel(QStringLiteral("SSID"), GroupBox1);
    Edit1 = new QLineEdit(GroupBox1);
    Label2 = L::Key(new QLabel(QStringLiteral("Password"), GroupBox1), "lbl_password");
    Edit2 = new QLineEdit(GroupBox1);
    // The mask character is the style's password character; this one box asks for U+25CF.
    Edit2->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: %1; }").arg(int(MaskCharacter)));
    Label1->setBuddy(Edit1);
    Label2->setBuddy(Edit2);
    ssidFilter_ = new TAnsiTextValidator(codePage_, this);
    passwordFilter_ = new TAnsiTextValidator(codePage_, this);
    ssidFilter_->OnRefused = [this](char32_t c) { ShowRefused(c); };
    passwordFilter_->OnRefused = [this](char32_t c) { ShowRefused(c); };
    Edit1->setValidator(ssidFilter_);
    Edit2->setValidator(passwordFilter_);
    LabelHint = new QLabel(GroupBox1);
    LabelHint->setWordWrap(true);
    LabelHint->setVisible(false);
    CheckBoxHide = L::Key(new QCheckBox(QStringLiteral("Hide"), GroupBox1), "lbl_hide");
    CheckBoxHide->setChecked(true);
    ButtonRestore = L::Key(new QPushButton(QStringLiteral("Restore"), GroupBox1), "btn_restore");
    ButtonConn = L::Key(new QPushButton(QStringLiteral("Connect"), GroupBox1), "btn_connect");
    auto* grid = new QGridLayout(GroupBox1);
    grid->setContentsMargins(scale(8), scale(6), scale(8), scale(8));
    grid->setHorizontalSpacing(scale(6));
    grid->setVerticalSpacing(scale(4));
    grid->addWidget(Label1, 0, 0);
    grid->addWidget(Edit1, 0, 1, 1, 2);
    grid->addWidget(Label2, 1, 0);
    grid->addWidget(Edit2, 1, 1, 1, 2);
    grid->addWidget(CheckBoxHide, 2, 1);
    grid->addWidget(LabelHint, 3, 0, 1, 3);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonRestore);
    buttons->addWidget(ButtonConn);
    grid->addLayout(buttons, 4, 0, 1, 3);
    grid->setRowStretch(5, 1);
    grid->setColumnStretch(1, 1);

    // The modules known.
    GroupBox2 = L::Key(new QGroupBox(QStringLiteral(" Connection Port List "), this), "grp_connlist");
    ListBox1 = new QListWidget(GroupBox2);
    ListBox1->installEventFilter(this);
    auto* modules = new QVBoxLayout(GroupBox2);
    modules->setContentsMargins(scale(6), scale(4), scale(6), scale(6));
    modules->addWidget(ListBox1);

    // The networks the selected module sees.
    GroupBox3 = L::Key(new QGroupBox(QStringLiteral(" Available Networks "), this), "grp_networks");
    ListView1 = new TMyListView(GroupBox3);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TMyListColumn* ssid = ListView1->Columns().Add();
    ssid->SetCaption(QStringLiteral("SSID"));
    ssid->SetAutoSize(true);
    TMyListColumn* signal = ListView1->Columns().Add();
    signal->SetCaption(QStringLiteral("Signal"));
    signal->SetAlignment(Qt::AlignRight);
    signal->SetWidth(scale(SignalColumnWidth));
    signal->SetMinWidth(scale(SignalColumnWidth));
    signal->SetMaxWidth(scale(SignalColumnWidth));
    ListView1->OnColumnClick = TLVMyColumnClickEvent(this, &TFormKCConfig::ListView1ColumnClick);
    ListView1->OnColumnDblClick = TLVMyColumnClickEvent(this, &TFormKCConfig::ListView1ColumnClick);
    ListView1->OnCompare = TLVCompareEvent(this, &TFormKCConfig::ListView1Compare);
    auto* networks = new QVBoxLayout(GroupBox3);
    networks->setContentsMargins(scale(6), scale(4), scale(6), scale(6));
    networks->addWidget(ListView1);

    // Buttons of a dialog that is not modal: Enter belongs to the boxes and lists.
    for (QPushButton* b : {ButtonAdmin, ButtonRestore, ButtonConn}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto* top = new QHBoxLayout;
    top->addWidget(Panel1, 1);
    top->addWidget(ButtonRefresh);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(ButtonAdmin);
    bottom->addStretch(1);
    auto* left = new QVBoxLayout;
    left->addWidget(GroupBox1);
    left->addWidget(GroupBox2, 1);
    auto* body = new QHBoxLayout;
    body->addLayout(left, 1);
    body->addWidget(GroupBox3, 1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(scale(6), scale(6), scale(6), scale(6));
    layout->setSpacing(scale(6));
    layout->addLayout(top);
    layout->addLayout(body, 1);
    layout->addLayout(bottom);

    Timer1 = new QTimer(this);
    Timer1->setInterval(ConfigInterval);
    hintTimer_ = new QTimer(this);
    hintTimer_->setSingleShot(true);
    hintTimer_->setInterval(HintMs);

    connect(CheckBoxHide, &QCheckBox::toggled, this, [this] { CheckBoxHideClick(); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edited = true; });
    connect(Edit1, &QLineEdit::returnPressed, this, [this] { ButtonConnClick(); });
    connect(Edit2, &QLineEdit::returnPressed, this, [this] { ButtonConnClick(); });
    connect(ButtonConn, &QPushButton::clicked, this, [this] { ButtonConnClick(); });
    connect(ButtonRestore, &QPushButton::clicked, this, [this] { ButtonRestoreClick(); });
    connect(ButtonRefresh, &QToolButton::clicked, this, [this] { ButtonRefreshClick(); });
    connect(ButtonAdmin, &QPushButton::clicked, this, [this] { Panel1Click(); });
    connect(ListBox1, &QListWidget::itemDoubleClicked, this, [this] { ListBox1DblClick(); });
    connect(ListView1, &QTreeWidget::itemDoubleClicked, this, [this] { ListView1DblClick(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(hintTimer_, &QTimer::timeout, LabelHint, &QLabel::hide);

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
    auto* filter = edit == Edit1 ? ssidFilter_ : passwordFilter_;
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
    EnableTimer1(isVisible() && !ModemStatus.IP.empty());
    UpdateView();
}

void TFormKCConfig::EnableTimer1(bool enabled)
{
    // Enabling a running timer leaves it running: the 10 s count is not restarted.
    if (!enabled)
        Timer1->stop();
    else if (!Timer1->isActive())
        Timer1->start();
}

void TFormKCConfig::SetDeviceList(const TKestConnectStatusList* list)
{
    // The row under the cursor stays selected across rebuilds.
    const int row = ListBox1->currentRow();
    const String current = row >= 0 && row < int(moduleEntries_.size()) ? moduleEntries_[std::size_t(row)].IP : String();
    ListBox1->clear();
    moduleEntries_.clear();
    if (!list)
        return;
    int found = ModemStatus.IP.empty() ? -1 : 0;
    for (const TKestConnectStatus& module : *list) {
        if (found == 0 && module.IPVersion == ModemStatus.IPVersion && module.IP == ModemStatus.IP)
            found = 1;
        ListBox1->addItem(QString::fromStdString(module.IP) + QStringLiteral(" (") + Decode(module.Config.Name) +
                          QLatin1Char(')'));
        moduleEntries_.push_back(module);
        if (!current.empty() && module.IP == current)
            ListBox1->setCurrentRow(ListBox1->count() - 1);
    }
    const bool wasPresent = ModemPresent;
    ModemPresent = found == 1;
    EnableTimer1(isVisible() && ModemPresent);
    if (ConnectComm && isVisible() && ModemPresent && !wasPresent)
        ConnectComm->RequestNetworkList(ModemStatus.IP, ModemStatus.IPVersion);
    UpdateView();
}

void TFormKCConfig::RequestModemData()
{
    if (!ConnectComm || ModemStatus.IP.empty())
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
        ListView1->Columns().GetItem(1)->SetCaption(signal);
    for (std::size_t i = 0; i < std::size(OwnTexts); ++i) {
        const QString text = QString::fromStdString(texts.Translate(OwnTexts[i].Key));
        ownTexts_[int(i)] = text.isEmpty() ? QString::fromUtf8(OwnTexts[i].English) : text;
    }
    TLanguageApplier::Apply(this, texts, mainCaption);
}

bool TFormKCConfig::HidePassword() const { return CheckBoxHide->isChecked(); }

void TFormKCConfig::SetHidePassword(bool hide)
{
    if (CheckBoxHide->isChecked() != hide)
        CheckBoxHide->setChecked(hide); // runs CheckBoxHideClick
}

// ---------------------------------------------------------------- view

void TFormKCConfig::UpdateView()
{
    const bool enabled = ModemPresent && !ModemStatus.IP.empty();
    TKestConnectConfig& config = ModemStatus.Config;
    // A module that has not reported an address on the access point's network has not joined.
    if (!config.APConnected)
        config.APConnected = !config.AccessPoint.IP.empty() && config.AccessPoint.IP != "0.0.0.0";

    for (QWidget* w : {static_cast<QWidget*>(Label3), static_cast<QWidget*>(Label4), static_cast<QWidget*>(Panel1),
                       static_cast<QWidget*>(ButtonConn), static_cast<QWidget*>(ButtonAdmin)})
        w->setEnabled(enabled);
    Label5->setVisible(enabled);
    if (enabled)
        Label5->setText(QStringLiteral("(") + QString::fromStdString(ModemStatus.IP) + QLatin1Char(')'));
    Label4->setVisible(!config.Version.empty());
    Label4->setText(QStringLiteral("v.") + Decode(config.Version));
    Label3->setText(config.Name.empty() ? QStringLiteral("KESTConnect") : Decode(config.Name));
    Label9->setText(Decode(config.AccessPoint.SSID) + QStringLiteral(" (") + Decode(config.AccessPoint.IP) +
                    QLatin1Char(')'));
    Panel5->setVisible(enabled && config.APConnected);
    if (!Edited) {
        SetBoxText(Edit1, config.AccessPoint.SSID);
        SetBoxText(Edit2, config.AccessPoint.Password);
    }
    FillNetworks();
}

void TFormKCConfig::FillNetworks()
{
    QTreeWidgetItem* selected = ListView1->currentItem();
    const QString keep = selected ? selected->text(0) : QString();
    ListView1->clear();
    QTreeWidgetItem* reselect = nullptr;
    for (const TWLANItem& network : ModemStatus.Networks) {
        // A network whose signal the module did not give shows none and sorts as the weakest.
        const QString signal =
            network.Signal == INT_MIN ? QString() : QString::number(network.Signal) + QStringLiteral(" dBm");
        QTreeWidgetItem* item = ListView1->AddItem(Decode(network.SSID), {signal});
        item->setData(1, SortKeyRole, network.Signal);
        if (!reselect && !keep.isEmpty() && item->text(0) == keep)
            reselect = item;
    }
    if (ListView1->Tag() != 0)
        ListView1->AlphaSort();
    if (reselect)
        ListView1->setCurrentItem(reselect);
}

void TFormKCConfig::UpdateRefreshImage()
{
    const int dpi = TAppImages::DpiOf(this);
    refreshList_ = TAppImages::ListForDpi(dpi, TAppImages::ImageSizes);
    const int size = TAppImages::ImageSizes[std::size_t(refreshList_)];
    const double ratio = devicePixelRatioF();
    ButtonRefresh->setIcon(QIcon(RefreshImage(size, ratio, palette().color(QPalette::ButtonText))));
    ButtonRefresh->setIconSize(QSize(size, size) / ratio);
}

void TFormKCConfig::ShowRefused(char32_t refused)
{
    QString text;
    if (TAnsiTextValidator::IsSeparator(refused)) {
        text = ownTexts_[otRefusedSeparator].arg(ownTexts_[SeparatorText(refused)]);
    } else {
        String utf8;
        TAnsiCodePage::AppendUtf8(utf8, refused);
        text = ownTexts_[otRefusedCharacter]
                   .arg(QString::fromStdString(utf8))
                   .arg(codePage_.CodePage());
    }
    LabelHint->setText(text);
    LabelHint->setVisible(true);
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
    Label3->setEnabled(false);
    Label4->setEnabled(false);
    Timer1->stop();
    Edited = false;
    ConnectComm = nullptr;
}

void TFormKCConfig::CheckBoxHideClick()
{
    Edit2->setEchoMode(CheckBoxHide->isChecked() ? QLineEdit::Password : QLineEdit::Normal);
    OnHideClick.Invoke(this);
}

void TFormKCConfig::ButtonConnClick()
{
    if (ModemStatus.IP.empty())
        return;
    AnsiString ssid, password;
    char32_t refused = 0;
    // The filters keep such characters out; a text that still holds one is not sent.
    if (ssidFilter_->FindRefused(Edit1->text(), refused) || passwordFilter_->FindRefused(Edit2->text(), refused) ||
        !codePage_.Encode(Edit1->text().toStdString(), ssid) ||
        !codePage_.Encode(Edit2->text().toStdString(), password)) {
        ShowRefused(refused);
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
    if (!ConnectComm)
        return;
    ConnectComm->SetModemAccesPoint(ModemStatus.IP, ModemStatus.IPVersion, ssid, password);
    Timer1->stop();
    if (isVisible())
        Timer1->start();
}

void TFormKCConfig::ButtonRestoreClick()
{
    SetBoxText(Edit1, ModemStatus.Config.AccessPoint.SSID);
    SetBoxText(Edit2, ModemStatus.Config.AccessPoint.Password);
}

void TFormKCConfig::ButtonRefreshClick() { RequestModemData(); }

void TFormKCConfig::Timer1Timer()
{
    Timer1->stop();
    if (ConnectComm && isVisible() && !ModemStatus.IP.empty()) {
        ConnectComm->RequestConfig(ModemStatus.IP, ModemStatus.IPVersion);
        Timer1->start();
    }
}

void TFormKCConfig::Panel1Click()
{
    if (!ModemStatus.Host.empty() && OpenUrl)
        OpenUrl(QStringLiteral("http://") + QString::fromStdString(ModemStatus.Host));
}

void TFormKCConfig::ListBox1DblClick()
{
    const int row = ListBox1->currentRow();
    if (row < 0 || row >= int(moduleEntries_.size()))
        return;
    const TKestConnectStatus entry = moduleEntries_[std::size_t(row)];
    if (entry.IPVersion != ModemStatus.IPVersion || entry.IP != ModemStatus.IP)
        ListView1->clear();
    Edited = false;
    SetModemStatus(entry);
    RequestModemData();
}

void TFormKCConfig::ListView1DblClick()
{
    if (QTreeWidgetItem* item = ListView1->currentItem())
        Edit1->setText(item->text(0));
}

void TFormKCConfig::ListView1ColumnClick(TObject*, TMyListColumn* column)
{
    if (!column)
        return;
    TMyListColumns& columns = ListView1->Columns();
    const int index = column->Index();
    const int tag = ListView1->Tag();
    if (std::abs(tag) != index + 1) {
        if (TMyListColumn* previous = tag != 0 ? columns.GetItem(std::abs(tag) - 1) : nullptr)
            previous->SetSortDirection(updNone);
        ListView1->SetTag(index + 1);
        column->SetSortDirection(updDown);
    } else if (tag > 0) {
        ListView1->SetTag(-(index + 1));
        column->SetSortDirection(updUp);
    } else {
        ListView1->SetTag(0);
        column->SetSortDirection(updNone);
    }
    // Sorted by the new order, or back in the order the module gave.
    FillNetworks();
    ListView1->viewport()->update();
}

void TFormKCConfig::ListView1Compare(TObject*, QTreeWidgetItem* item1, QTreeWidgetItem* item2, int, int& compare)
{
    const int tag = ListView1->Tag();
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
    if (!LabelHint || !ButtonRefresh || !Edit2)
        return; // still being built
    const QColor ground = palette().color(QPalette::Window);
    QPalette warn = LabelHint->palette();
    warn.setColor(QPalette::WindowText, ground.lightnessF() < 0.5 ? QColor(0xFF, 0x8A, 0x80) : QColor(0xC0, 0x20, 0x20));
    LabelHint->setPalette(warn);
    UpdateRefreshImage();
    // A box with a style sheet keeps the colours of the skin it was polished with: polish it
    // again with the new skin's.
    const QString sheet = Edit2->styleSheet();
    Edit2->setStyleSheet(QString());
    Edit2->setStyleSheet(sheet);
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
    if (event->type() == QEvent::MouseButtonRelease && watched != ListBox1 &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (!static_cast<QWidget*>(watched)->isEnabled())
            return true;
        Panel1Click();
        return true;
    }
    if (watched == ListBox1 && event->type() == QEvent::KeyRelease) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && !(key->modifiers() & Qt::ShiftModifier))
            ListBox1DblClick();
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace fk

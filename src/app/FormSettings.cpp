#include "app/FormSettings.h"

#include "app/LanguageApplier.h"
#include "controls/DesignScale.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace fk {

namespace {

constexpr const char* OpacityHint = "Opacity of the application window.";

} // namespace

TFormSettings::TFormSettings(QWidget* parent) : QDialog(parent)
{
    using L = TLanguageApplier;
    const TDesignScale scale = TDesignScale::ForWidget(this);
    setWindowTitle(QStringLiteral("Settings"));
    L::SetKey(this, "men_preferences");
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    GroupBox1 = L::Key(new QGroupBox(QStringLiteral(" General "), this), "grp_app-general");
    CheckBox1 = L::Key(new QCheckBox(QStringLiteral("Remember connection state"), GroupBox1), "lbl_app-con-keep");
    CheckBox2 = L::Key(new QCheckBox(QStringLiteral("Run multiple instances"), GroupBox1), "lbl_app-mlt-inst");
    Label1 = L::Key(new QLabel(QStringLiteral("Language"), GroupBox1), "men_lng-language");
    ComboBox1 = new QComboBox(GroupBox1);
    CheckBox5 = L::Key(new QCheckBox(QStringLiteral("Connect at startup"), GroupBox1), "lbl_app-con-stup");
    Label1->setBuddy(ComboBox1);
    auto* general = new QGridLayout(GroupBox1);
    general->addWidget(CheckBox1, 0, 0);
    general->addWidget(CheckBox2, 1, 0);
    general->addWidget(CheckBox5, 2, 0);
    general->addWidget(Label1, 0, 1);
    general->addWidget(ComboBox1, 1, 1);
    general->setColumnStretch(0, 3);
    general->setColumnStretch(1, 2);

    GroupBox2 = L::Key(new QGroupBox(QStringLiteral(" Appearance "), this), "grp_app-look");
    Label2 = L::Key(new QLabel(QStringLiteral("Opacity"), GroupBox2), "lbl_app-opacity");
    Label4 = new QLabel(QStringLiteral("100.0 %"), GroupBox2);
    Label4->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    TrackBar1 = new QSlider(Qt::Horizontal, GroupBox2);
    TrackBar1->setRange(TAppSettings::MinOpacity, 255);
    TrackBar1->setTickInterval(16);
    TrackBar1->setTickPosition(QSlider::TicksBelow);
    TrackBar1->setValue(255);
    const QString hint = QStringLiteral("Opacity|") + QLatin1String(OpacityHint);
    TrackBar1->setToolTip(QLatin1String(OpacityHint));
    Label4->setToolTip(QLatin1String(OpacityHint));
    L::SetHintKey(TrackBar1, "txt_opacity-hint");
    L::SetHintKey(Label4, "txt_opacity-hint");
    TrackBar1->setStatusTip(hint);
    Label3 = L::Key(new QLabel(QStringLiteral("Skin"), GroupBox2), "men_skin");
    ComboBox2 = new QComboBox(GroupBox2);
    Label3->setBuddy(ComboBox2);
    CheckBox3 = L::Key(new QCheckBox(QStringLiteral("Screen snap"), GroupBox2), "lbl_app-scr-snap");
    auto* look = new QGridLayout(GroupBox2);
    auto* opacityRow = new QHBoxLayout;
    opacityRow->addWidget(Label2);
    opacityRow->addStretch(1);
    opacityRow->addWidget(Label4);
    look->addLayout(opacityRow, 0, 0);
    look->addWidget(TrackBar1, 1, 0);
    look->addWidget(CheckBox3, 2, 0);
    look->addWidget(Label3, 0, 1);
    look->addWidget(ComboBox2, 1, 1);
    look->setColumnStretch(0, 3);
    look->setColumnStretch(1, 2);

    Button1 = L::Key(new QPushButton(QStringLiteral("OK"), this), "btn_ok");
    Button2 = L::Key(new QPushButton(QStringLiteral("Cancel"), this), "btn_cancel");
    Button3 = L::Key(new QPushButton(QStringLiteral("Apply"), this), "btn_apply");
    CheckBox4 = L::Key(new QCheckBox(QStringLiteral("Preview"), this), "lbl_app-preview");
    Button1->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(CheckBox4);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(Button2);
    buttons->addWidget(Button3);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(GroupBox2);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button2, &QPushButton::clicked, this, &QDialog::reject);
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(CheckBox1, &QCheckBox::toggled, this, [this](bool on) { OptionBoxClicked(optRememberConnection, on); });
    connect(CheckBox2, &QCheckBox::toggled, this, [this](bool on) { OptionBoxClicked(optMultiInstance, on); });
    connect(CheckBox3, &QCheckBox::toggled, this, [this](bool on) { OptionBoxClicked(optScreenSnap, on); });
    connect(CheckBox5, &QCheckBox::toggled, this, [this](bool on) { ConnectAtStartupClicked(on); });
    connect(CheckBox4, &QCheckBox::toggled, this, [this](bool on) { PreviewClicked(on); });
    connect(TrackBar1, &QSlider::valueChanged, this, [this](int position) { TrackBarChange(position); });
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this](int index) {
        CurrentSettings.Language = index;
        NotifyApply(false);
    });
    connect(ComboBox2, &QComboBox::currentIndexChanged, this, [this](int index) {
        CurrentSettings.Skin = index;
        NotifyApply(false);
    });

    // The record starts from the controls' design state: no language or skin chosen (the
    // lists are still empty), full opacity, no flags.
    SavedSettings.Language = ComboBox1->currentIndex();
    SavedSettings.Skin = ComboBox2->currentIndex();
    SavedSettings.Opacity = static_cast<u8>(TrackBar1->value());
    SavedSettings.Options = 0;
    PreviewOn = CheckBox4->isChecked();
    SetSettings(SavedSettings);
    // The design size, or larger where the texts need it; the layout keeps every text whole.
    resize(QSize(scale(424), scale(240)).expandedTo(sizeHint()));
}

void TFormSettings::SetLanguages(const QStringList& items)
{
    const bool was = detached_;
    detached_ = true;
    ComboBox1->clear();
    ComboBox1->addItems(items);
    detached_ = was;
    ShowSettings(CurrentSettings);
}

void TFormSettings::SetSkins(const QStringList& items)
{
    const bool was = detached_;
    detached_ = true;
    ComboBox2->clear();
    ComboBox2->addItems(items);
    detached_ = was;
    ShowSettings(CurrentSettings);
}

void TFormSettings::SetSettings(const TAppSettings& s)
{
    CurrentSettings = s;
    ShowSettings(CurrentSettings);
}

void TFormSettings::ShowSettings(const TAppSettings& s)
{
    const TAppSettings shown = s; // s may be CurrentSettings, which the controls update
    detached_ = true;
    ComboBox1->setCurrentIndex(shown.Language >= 0 && shown.Language < ComboBox1->count() ? shown.Language : -1);
    ComboBox2->setCurrentIndex(shown.Skin >= 0 && shown.Skin < ComboBox2->count() ? shown.Skin : -1);
    TrackBar1->setValue(shown.Opacity);
    CheckBox1->setChecked(shown.Has(optRememberConnection));
    CheckBox2->setChecked(shown.Has(optMultiInstance));
    CheckBox3->setChecked(shown.Has(optScreenSnap));
    CheckBox4->setChecked(shown.Has(optPreview));
    CheckBox5->setChecked(shown.Has(optConnectAtStartup));
    // An index outside its list shows no selection but stays in the record as it was.
    CurrentSettings.Language = shown.Language;
    CurrentSettings.Skin = shown.Skin;
    CheckBox1->setEnabled(!CheckBox5->isChecked());
    detached_ = false;
}

void TFormSettings::NotifyApply(bool apply)
{
    if (!detached_ && OnApply)
        OnApply(this, apply || PreviewOn);
}

QString TFormSettings::OpacityText(int position)
{
    const double value = position * 0.3921568627450981;
    return QLocale().toString(value, 'f', 1) + QLatin1Char('%');
}

void TFormSettings::showEvent(QShowEvent* event)
{
    SetSettings(CurrentSettings);
    QDialog::showEvent(event);
}

void TFormSettings::OptionBoxClicked(TAppOption option, bool on)
{
    CurrentSettings.Set(option, on);
    NotifyApply(false);
}

void TFormSettings::ConnectAtStartupClicked(bool on)
{
    CurrentSettings.Set(optConnectAtStartup, on);
    CheckBox1->setEnabled(!on);
    NotifyApply(false);
}

void TFormSettings::PreviewClicked(bool on)
{
    PreviewOn = on;
    CurrentSettings.Set(optPreview, on);
    if (!detached_ && OnPreview)
        OnPreview(this, PreviewOn);
}

void TFormSettings::TrackBarChange(int position)
{
    CurrentSettings.Opacity = static_cast<u8>(position);
    Label4->setText(OpacityText(position));
    NotifyApply(false);
}

void TFormSettings::Button3Click()
{
    SavedSettings = CurrentSettings;
    NotifyApply(true);
}

} // namespace fk

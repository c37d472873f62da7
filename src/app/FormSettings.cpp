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

    generalGroup_ = L::Key(new QGroupBox(QStringLiteral(" General "), this), "grp_app-general");
    rememberBox_ = L::Key(new QCheckBox(QStringLiteral("Remember connection state"), generalGroup_), "lbl_app-con-keep");
    multiInstanceBox_ = L::Key(new QCheckBox(QStringLiteral("Run multiple instances"), generalGroup_), "lbl_app-mlt-inst");
    languageLabel_ = L::Key(new QLabel(QStringLiteral("Language"), generalGroup_), "men_lng-language");
    languageBox_ = new QComboBox(generalGroup_);
    connectAtStartupBox_ = L::Key(new QCheckBox(QStringLiteral("Connect at startup"), generalGroup_), "lbl_app-con-stup");
    languageLabel_->setBuddy(languageBox_);
    auto* general = new QGridLayout(generalGroup_);
    general->addWidget(rememberBox_, 0, 0);
    general->addWidget(multiInstanceBox_, 1, 0);
    general->addWidget(connectAtStartupBox_, 2, 0);
    general->addWidget(languageLabel_, 0, 1);
    general->addWidget(languageBox_, 1, 1);
    general->setColumnStretch(0, 3);
    general->setColumnStretch(1, 2);

    appearanceGroup_ = L::Key(new QGroupBox(QStringLiteral(" Appearance "), this), "grp_app-look");
    opacityCaption_ = L::Key(new QLabel(QStringLiteral("Opacity"), appearanceGroup_), "lbl_app-opacity");
    opacityLabel_ = new QLabel(QStringLiteral("100.0 %"), appearanceGroup_);
    opacityLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    opacityBar_ = new QSlider(Qt::Horizontal, appearanceGroup_);
    opacityBar_->setRange(TAppSettings::MinOpacity, 255);
    opacityBar_->setTickInterval(16);
    opacityBar_->setTickPosition(QSlider::TicksBelow);
    opacityBar_->setValue(255);
    opacityCaption_->setBuddy(opacityBar_);
    const QString hint = QStringLiteral("Opacity|") + QLatin1String(OpacityHint);
    opacityBar_->setToolTip(QLatin1String(OpacityHint));
    opacityLabel_->setToolTip(QLatin1String(OpacityHint));
    L::SetHintKey(opacityBar_, "txt_opacity-hint");
    L::SetHintKey(opacityLabel_, "txt_opacity-hint");
    opacityBar_->setStatusTip(hint);
    skinLabel_ = L::Key(new QLabel(QStringLiteral("Skin"), appearanceGroup_), "men_skin");
    skinBox_ = new QComboBox(appearanceGroup_);
    skinLabel_->setBuddy(skinBox_);
    snapBox_ = L::Key(new QCheckBox(QStringLiteral("Screen snap"), appearanceGroup_), "lbl_app-scr-snap");
    auto* look = new QGridLayout(appearanceGroup_);
    auto* opacityRow = new QHBoxLayout;
    opacityRow->addWidget(opacityCaption_);
    opacityRow->addStretch(1);
    opacityRow->addWidget(opacityLabel_);
    look->addLayout(opacityRow, 0, 0);
    look->addWidget(opacityBar_, 1, 0);
    look->addWidget(snapBox_, 2, 0);
    look->addWidget(skinLabel_, 0, 1);
    look->addWidget(skinBox_, 1, 1);
    look->setColumnStretch(0, 3);
    look->setColumnStretch(1, 2);

    okButton_ = L::Key(new QPushButton(QStringLiteral("OK"), this), "btn_ok");
    cancelButton_ = L::Key(new QPushButton(QStringLiteral("Cancel"), this), "btn_cancel");
    applyButton_ = L::Key(new QPushButton(QStringLiteral("Apply"), this), "btn_apply");
    previewBox_ = L::Key(new QCheckBox(QStringLiteral("Preview"), this), "lbl_app-preview");
    okButton_->setDefault(true);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(previewBox_);
    buttons->addStretch(1);
    buttons->addWidget(okButton_);
    buttons->addWidget(cancelButton_);
    buttons->addWidget(applyButton_);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(generalGroup_);
    layout->addWidget(appearanceGroup_);
    layout->addStretch(1);
    layout->addLayout(buttons);

    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &QDialog::reject);
    connect(applyButton_, &QPushButton::clicked, this, [this] { Button3Click(); });
    connect(rememberBox_, &QCheckBox::toggled, this, [this](bool on) { OptionBoxClicked(optRememberConnection, on); });
    connect(multiInstanceBox_, &QCheckBox::toggled, this, [this](bool on) { OptionBoxClicked(optMultiInstance, on); });
    connect(snapBox_, &QCheckBox::toggled, this, [this](bool on) { OptionBoxClicked(optScreenSnap, on); });
    connect(connectAtStartupBox_, &QCheckBox::toggled, this, [this](bool on) { ConnectAtStartupClicked(on); });
    connect(previewBox_, &QCheckBox::toggled, this, [this](bool on) { PreviewClicked(on); });
    connect(opacityBar_, &QSlider::valueChanged, this, [this](int position) { TrackBarChange(position); });
    connect(languageBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        CurrentSettings.Language = index;
        NotifyApply(false);
    });
    connect(skinBox_, &QComboBox::currentIndexChanged, this, [this](int index) {
        CurrentSettings.Skin = index;
        NotifyApply(false);
    });

    // The record starts from the controls' design state: no language or skin chosen (the
    // lists are still empty), full opacity, no flags.
    SavedSettings.Language = languageBox_->currentIndex();
    SavedSettings.Skin = skinBox_->currentIndex();
    SavedSettings.Opacity = static_cast<u8>(opacityBar_->value());
    SavedSettings.Options = 0;
    PreviewOn = previewBox_->isChecked();
    SetSettings(SavedSettings);
    // The design size, or larger where the texts need it; the layout keeps every text whole.
    resize(QSize(scale(424), scale(240)).expandedTo(sizeHint()));
}

void TFormSettings::SetLanguages(const QStringList& items)
{
    const bool was = detached_;
    detached_ = true;
    languageBox_->clear();
    languageBox_->addItems(items);
    detached_ = was;
    ShowSettings(CurrentSettings);
}

void TFormSettings::SetSkins(const QStringList& items)
{
    const bool was = detached_;
    detached_ = true;
    skinBox_->clear();
    skinBox_->addItems(items);
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
    languageBox_->setCurrentIndex(shown.Language >= 0 && shown.Language < languageBox_->count() ? shown.Language : -1);
    skinBox_->setCurrentIndex(shown.Skin >= 0 && shown.Skin < skinBox_->count() ? shown.Skin : -1);
    opacityBar_->setValue(shown.Opacity);
    rememberBox_->setChecked(shown.Has(optRememberConnection));
    multiInstanceBox_->setChecked(shown.Has(optMultiInstance));
    snapBox_->setChecked(shown.Has(optScreenSnap));
    previewBox_->setChecked(shown.Has(optPreview));
    connectAtStartupBox_->setChecked(shown.Has(optConnectAtStartup));
    // An index outside its list shows no selection but stays in the record as it was.
    CurrentSettings.Language = shown.Language;
    CurrentSettings.Skin = shown.Skin;
    rememberBox_->setEnabled(!connectAtStartupBox_->isChecked());
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
    rememberBox_->setEnabled(!on);
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
    opacityLabel_->setText(OpacityText(position));
    NotifyApply(false);
}

void TFormSettings::Button3Click()
{
    SavedSettings = CurrentSettings;
    NotifyApply(true);
}

} // namespace fk

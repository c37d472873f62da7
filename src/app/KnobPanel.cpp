#include "app/KnobPanel.h"

#include "app/Accelerators.h"
#include "app/LanguageApplier.h"
#include "app/ObjectNames.h"
#include "app/PanelButton.h"
#include "controls/DesignScale.h"
#include "controls/Knob.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>

namespace fk {

TKnobPanel::TKnobPanel(const TRange& openTime, const TRange& breakTime, QWidget* parent)
    : QGroupBox(QStringLiteral(" Control "), parent)
{
    setObjectName(QLatin1String(names::DeviceControls));
    TLanguageApplier::SetKey(this, "grp_dev-controls");
    auto* grid = new QGridLayout(this);
    label_[skOpenTime] = new QLabel(QStringLiteral("Open Time"), this);
    label_[skOpenTime]->setObjectName(QLatin1String(names::OpenTimeLabel));
    TLanguageApplier::SetKey(label_[skOpenTime], "lbl_set-tmopen");
    label_[skBreakTime] = new QLabel(QStringLiteral("Break Time"), this);
    label_[skBreakTime]->setObjectName(QLatin1String(names::BreakTimeLabel));
    TLanguageApplier::SetKey(label_[skBreakTime], "lbl_set-tmbreak");
    const char* scrollNames[2] = {names::OpenTimeScrollBar, names::BreakTimeScrollBar};
    const char* knobNames[2] = {names::OpenTimeKnob, names::BreakTimeKnob};
    const TRange* ranges[2] = {&openTime, &breakTime};
    for (int k = 0; k < 2; ++k) {
        const auto knob = static_cast<TSessionKnob>(k);
        const TRange& state = *ranges[k];
        auto* bar = new QScrollBar(Qt::Horizontal, this);
        bar->setObjectName(QLatin1String(scrollNames[k]));
        bar->setPageStep(5);
        bar->setSingleStep(1);
        bar->setRange(state.Min, state.Max);
        bar->setValue(state.Position);
        connect(bar, &QScrollBar::actionTriggered, this, [this, knob](int action) { Scrolled(knob, action); });
        connect(bar, &QScrollBar::sliderReleased, this, [this, knob, bar] {
            scrollBurst_[knob]->stop();
            emit ScrollBarScrolled(knob, true, bar->sliderPosition());
        });
        scrollBurst_[k] = new QTimer(this);
        scrollBurst_[k]->setSingleShot(true);
        scrollBurst_[k]->setInterval(TKnob::WheelBurstEnd);
        connect(scrollBurst_[k], &QTimer::timeout, this, [this, knob] { emit KnobMoveEnded(knob); });
        scrollBar_[k] = bar;
        auto* knobWidget = new TKnob(this);
        knobWidget->setObjectName(QLatin1String(knobNames[k]));
        knobWidget->setStyle(kstSpinOnly);
        knobWidget->setUnit(k == skOpenTime ? QStringLiteral("ms") : QStringLiteral("s"));
        knobWidget->setValueMultiplier(k == skOpenTime ? 1.0 : 10.0);
        knobWidget->setMin(state.Min);
        knobWidget->setMax(state.Max);
        knobWidget->setPosition(state.Position);
        connect(knobWidget, &TKnob::positionChanged, this,
                [this, knob](int position) { emit KnobPositionChanged(knob, position); });
        connect(knobWidget, &TKnob::moveEnded, this, [this, knob] { emit KnobMoveEnded(knob); });
        knob_[k] = knobWidget;
    }
    ventingButton_ = TLanguageApplier::Key(
        NewPanelButton(QStringLiteral("Venting (on/off)"), names::VentingButton, this), "btn_vent-tgl");
    // Alt + a label's letter puts the keyboard on its knob (the scroll bars take no focus).
    label_[skOpenTime]->setBuddy(knob_[0]);
    label_[skBreakTime]->setBuddy(knob_[1]);
    grid->addWidget(label_[skOpenTime], 0, 0);
    grid->addWidget(scrollBar_[0], 0, 1);
    grid->addWidget(knob_[0], 0, 2);
    grid->addWidget(label_[skBreakTime], 1, 0);
    grid->addWidget(scrollBar_[1], 1, 1);
    grid->addWidget(knob_[1], 1, 2);
    grid->addWidget(ventingButton_, 0, 3, 2, 1, Qt::AlignVCenter);
    grid->setColumnStretch(1, 1);
    connect(ventingButton_, &QPushButton::clicked, this, [this] { emit VentingClicked(); });
}

void TKnobPanel::Scrolled(TSessionKnob knob, int action)
{
    QScrollBar* bar = scrollBar_[knob];
    if (action == QAbstractSlider::SliderNoAction)
        return;
    // Dragging the handle moves the knob only; its release writes. The wheel also moves the
    // handle (without a press): a burst of notches is one move, written when the wheel rests.
    // A step or a page (arrow click, trough click, key) is a whole move and writes at once.
    if (action == QAbstractSlider::SliderMove) {
        emit ScrollBarScrolled(knob, false, bar->sliderPosition());
        if (!bar->isSliderDown())
            scrollBurst_[knob]->start();
        return;
    }
    scrollBurst_[knob]->stop();
    emit ScrollBarScrolled(knob, true, bar->sliderPosition());
}

void TKnobPanel::ShowKnob(TSessionKnob knob, int position, int min, int max)
{
    // The widgets follow the session; nothing of this goes back to it.
    QScrollBar* bar = scrollBar_[knob];
    const QSignalBlocker blockBar(bar);
    bar->setRange(min, max);
    bar->setValue(position);
    bar->setSliderPosition(position);
    const QSignalBlocker blockKnob(knob_[knob]);
    knob_[knob]->setRangeAndPosition(min, max, position);
}

void TKnobPanel::SetSkinColors(bool skin)
{
    for (TKnob* knob : knob_)
        if (knob)
            knob->setSkinColors(skin);
}

void TKnobPanel::ApplyTexts(const QString (&units)[2], const QString& increase, const QString& decrease)
{
    for (int k = 0; k < 2; ++k) {
        knob_[k]->setUnit(units[k]);
        // A screen reader names the scroll bar and the knob by their label, with the unit.
        const QString label = TAccelerators::Strip(label_[k]->text());
        const QString name = label + QStringLiteral(" (") + units[k] + QLatin1Char(')');
        scrollBar_[k]->setAccessibleName(name);
        knob_[k]->SetSpokenNames(name, QString(increase).arg(label.toLower()), QString(decrease).arg(label.toLower()));
    }
}

void TKnobPanel::ApplyDensity(const TDesignScale& scale)
{
    // Long captions (Polish, Russian) must not squeeze the scroll bars to nothing.
    for (QScrollBar* bar : scrollBar_)
        bar->setMinimumWidth(scale(72));
}

} // namespace fk

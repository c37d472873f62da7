#include "controls/Spinner.h"
#include "controls/ValueAccessible.h"

#include "controls/DesignScale.h"
#include "controls/SpinnerButtons.h"
#include "controls/SpinnerLayout.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QStyleHints>
#include <algorithm>

namespace fk {

namespace {
constexpr int DesignHeight = 21; // the edit's height on a 96-dpi screen
}

TSpinner::TSpinner(QWidget* parent)
    : QWidget(parent)
    , TSpinnerLogic(static_cast<TSpinnerView*>(this))
{
    TValueAccessible::Install();
    SetSender(this);
    edit_ = new QLineEdit(this);
    edit_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    edit_->installEventFilter(this);
    buttons_ = new TSpinnerButtons(*this, this);
    buttons_->installEventFilter(this);
    setFocusProxy(edit_);
    setFocusPolicy(edit_->focusPolicy());
    connect(edit_, &QLineEdit::textEdited, this, &TSpinner::EditTextEdited);
    SetDragThreshold(QGuiApplication::styleHints()->startDragDistance());
    TakeLocale();
    const int h = sizeHint().height();
    resize(TSpinnerLayout::DefaultWidth(h), h);
}

TSpinner::~TSpinner()
{
    if (overrideCursor_)
        QGuiApplication::restoreOverrideCursor();
}

void TSpinner::TakeLocale()
{
    const QLocale locale;
    SetSeparators(locale.decimalPoint(), locale.groupSeparator());
}

void TSpinner::SetStyle(TSpinnerStyle style)
{
    if (style == style_)
        return;
    style_ = style;
    AlignControls();
}

void TSpinner::SetAlignButton(TUDAlignButton align)
{
    if (align == alignButton_)
        return;
    alignButton_ = align;
    AlignControls();
}

Qt::Alignment TSpinner::Alignment() const
{
    return edit_->alignment() & Qt::AlignHorizontal_Mask;
}

void TSpinner::SetAlignment(Qt::Alignment alignment)
{
    edit_->setAlignment((alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter);
}

void TSpinner::SetAutoSize(bool on)
{
    if (on == autoSize_)
        return;
    autoSize_ = on;
    if (autoSize_)
        resize(width(), edit_->sizeHint().height());
    updateGeometry();
    AlignControls();
}

QString TSpinner::Text() const
{
    return edit_->text();
}

QSize TSpinner::sizeHint() const
{
    const int h = autoSize_ ? edit_->sizeHint().height()
                            : std::max(TDesignScale::ForWidget(this)(DesignHeight), edit_->minimumSizeHint().height());
    return QSize(TSpinnerLayout::DefaultWidth(h), h);
}

QSize TSpinner::minimumSizeHint() const
{
    const int h = edit_->minimumSizeHint().height();
    return QSize(h * 2, h);
}

void TSpinner::AlignControls()
{
    const int h = autoSize_ ? edit_->sizeHint().height() : height();
    const TSpinnerLayout l = TSpinnerLayout::Arrange(width(), h, style_ == ssAll, alignButton_);
    edit_->setGeometry(l.edit);
    buttons_->setGeometry(l.buttons);
    buttons_->setVisible(style_ == ssAll);
}

void TSpinner::resizeEvent(QResizeEvent*)
{
    AlignControls();
}

void TSpinner::DropHold()
{
    buttons_->CancelPress();
    LoseHold();
}

void TSpinner::hideEvent(QHideEvent* event)
{
    DropHold();
    QWidget::hideEvent(event);
}

void TSpinner::changeEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::EnabledChange:
        if (!isEnabled())
            DropHold();
        TSpinnerLogic::SetEnabled(isEnabled());
        break;
    case QEvent::ActivationChange:
        // A window that is no longer active gets no release of a button held here.
        if (!isActiveWindow())
            DropHold();
        break;
    case QEvent::LocaleChange:
        TakeLocale();
        break;
    case QEvent::FontChange:
        edit_->setFont(font());
        updateGeometry();
        AlignControls();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void TSpinner::keyPressEvent(QKeyEvent* event)
{
    if (KeyDown(event->key(), event->modifiers()))
        event->accept();
    else
        QWidget::keyPressEvent(event);
}

void TSpinner::keyReleaseEvent(QKeyEvent* event)
{
    if (!event->isAutoRepeat())
        KeyUp(event->key());
    QWidget::keyReleaseEvent(event);
}

bool TSpinner::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ToolTip && !hintsShown_)
        return true; // no tool tips while a key or button holds the control
    if (watched != edit_)
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::KeyPress: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (EditKeyDown(key->key(), key->modifiers()))
            return true;
        break;
    }
    case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        if (!key->isAutoRepeat())
            EditKeyUp(key->key());
        break;
    }
    case QEvent::FocusOut:
        EditExit();
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

void TSpinner::EditTextEdited(const QString& text)
{
    const TSpinnerText::TEdit edit = EditChange(text, edit_->cursorPosition());
    if (!edit.changed)
        return;
    // setText does not raise textEdited, so the filter does not see its own change.
    edit_->setText(edit.text);
    edit_->setCursorPosition(edit.caret);
}

void TSpinner::ShowEditText(const QString& text)
{
    if (edit_ && edit_->text() != text)
        edit_->setText(text);
}

void TSpinner::SelectAllText()
{
    edit_->selectAll();
}

void TSpinner::ShowDragCursor(bool dragging)
{
    if (dragging == overrideCursor_)
        return;
    overrideCursor_ = dragging;
    if (dragging)
        QGuiApplication::setOverrideCursor(QCursor(Qt::SplitVCursor));
    else
        QGuiApplication::restoreOverrideCursor();
}

int TSpinner::MoveCursorBy(int dy)
{
    return buttons_ ? buttons_->MoveCursorBy(dy) : 0;
}

void TSpinner::ShowChildHints(bool show)
{
    hintsShown_ = show;
}

} // namespace fk

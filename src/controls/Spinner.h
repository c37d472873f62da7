#pragma once
// TSpinner: a numeric input of an edit and a pair of up/down buttons side by side. The position,
// value, events and every rule live in TSpinnerLogic, which this widget is; the widget adds the
// children, their layout, the locale's separators, the pointer shape and the keyboard focus.
#include "controls/SpinnerLogic.h"

#include <QWidget>

class QLineEdit;

namespace fk {

class TSpinnerButtons;

class TSpinner : public QWidget, public TSpinnerLogic, private TSpinnerView {
public:
    explicit TSpinner(QWidget* parent = nullptr);
    ~TSpinner() override;

    TSpinnerStyle Style() const noexcept { return style_; }
    void SetStyle(TSpinnerStyle style);
    TUDAlignButton AlignButton() const noexcept { return alignButton_; }
    void SetAlignButton(TUDAlignButton align);
    Qt::Alignment Alignment() const;
    void SetAlignment(Qt::Alignment alignment); // default: right-justified
    bool AutoSize() const noexcept { return autoSize_; }
    void SetAutoSize(bool on); // the height follows the edit's own height

    // The control's text: the edit's text; setting it sets the position from the text.
    QString Text() const;
    void SetText(const QString& text) { TSpinnerLogic::SetText(text); }

    QLineEdit* Edit() const noexcept { return edit_; }
    TSpinnerButtons* Buttons() const noexcept { return buttons_; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // TSpinnerView
    void ShowEditText(const QString& text) override;
    void SelectAllText() override;
    void ShowDragCursor(bool dragging) override;
    int MoveCursorBy(int dy) override;
    void ShowChildHints(bool show) override;

    void AlignControls();
    void DropHold();
    void EditTextEdited(const QString& text);
    void TakeLocale();

    QLineEdit* edit_ = nullptr;
    TSpinnerButtons* buttons_ = nullptr;
    TSpinnerStyle style_ = ssAll;
    TUDAlignButton alignButton_ = udRight;
    bool autoSize_ = false;
    bool hintsShown_ = true;
    bool overrideCursor_ = false;
};

} // namespace fk

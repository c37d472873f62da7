#pragma once
// A one-line label that never widens its window beyond reason: when its text does not fit, it
// shows the beginning with "…" and the whole text in its tool tip. Used for the texts a module
// reports (a name or an SSID of up to 32 characters) and for the status line. A hint of its
// own goes into the tool tip as well, after the whole text.
#include <QLabel>

namespace fk {

class TElidedLabel : public QLabel {
    Q_OBJECT
public:
    explicit TElidedLabel(QWidget* parent = nullptr);

    // Shown as it fits now (the text itself when it fits).
    QString ShownText() const;
    bool Elided() const { return ShownText() != text(); }
    // A tool tip of its own (a reason, what to do); kept with the whole text when that is elided.
    void SetHint(const QString& hint);
    const QString& Hint() const { return hint_; }

    // Wide enough for the whole text, up to about two dozen characters.
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void UpdateToolTip();
    QString hint_;
};

} // namespace fk

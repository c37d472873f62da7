#pragma once
// The window's status bar: the port in use (icon and name, its description as tool tip),
// the session's status (icon and text), and the firmware upload's progress panel (bar,
// percentage over it, Abort), hidden while no upload runs.
//
// The status is kept as the session gave it (message index, icon class, port suffix), so a
// change of language renders it again in the new language (Retranslate).
#include "platform/Types.h"
#include "session/MessageTable.h"

#include <QIcon>
#include <QWidget>

class QLabel;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace fk {

class TElidedLabel;

class TStatusLine : public QObject {
    Q_OBJECT
public:
    // Builds the panels into the status bar of `parent`'s window (the caller adds them).
    explicit TStatusLine(QWidget* parent);

    QWidget* PortPanel() const noexcept { return portPanel_; }
    QWidget* StatusPanel() const noexcept { return statusPanel_; }
    QWidget* ProgressPanel() const noexcept { return progressPanel_; }

    // Height of the bar's panels and square images, in pixels.
    void SetPanelHeight(int height);

    // Icons of the status classes (error, question, warning).
    void SetStatusIcons(const QIcon& error, const QIcon& question, const QIcon& warning);

    // The session's status; the text comes from messages. An empty status: index -1.
    void ShowStatus(const TMessageTable& messages, int index, TIconClass iconClass, const String& portSuffix);
    void ClearStatus();
    // Renders the kept status again (after a language switch or a new icon set).
    void Retranslate(const TMessageTable& messages);
    // The units the out-of-range warnings name ("ms", "s"), in the language shown.
    void SetUnits(const QString& milliseconds, const QString& seconds);
    // The status's suffix is the text of a message (what made an upload fail), so that a
    // change of language renders it in the new language too; -1: the suffix as given.
    // Applies to the status shown now; every new status starts without one.
    void SetSuffixMessage(const TMessageTable& messages, int index);
    // Why the status is what it is, shown as the text's tool tip (empty: none).
    void SetStatusHint(const QString& hint);
    int StatusIndex() const noexcept { return index_; }
    TIconClass StatusIconClass() const noexcept { return iconClass_; }
    QString StatusText() const;
    QString StatusHint() const;

    // The port in use; an empty name clears the panel.
    void ShowPort(const QString& name, const QString& description, const QIcon& icon);
    QString PortName() const;

    void ShowProgress(bool visible, int position, bool paused);
    bool ProgressVisible() const;
    int ProgressPosition() const;
    bool ProgressPaused() const noexcept { return paused_; }
    QString ProgressText() const;
    QPushButton* AbortButton() const noexcept { return abortButton_; }

signals:
    void AbortClicked();

private:
    void Render(const TMessageTable& messages);
    void ShowStatusIcon();

    QWidget* portPanel_;
    QLabel* portIcon_;
    QLabel* portNameLabel_;
    QWidget* statusPanel_;
    QLabel* statusIcon_;
    TElidedLabel* statusLabel_;
    QWidget* progressPanel_;
    QProgressBar* progressBar_;
    QLabel* progressLabel_;
    QPushButton* abortButton_;

    QIcon icons_[3]; // error, question, warning
    int height_ = 22;
    int index_ = -1;
    TIconClass iconClass_ = icNone;
    String suffix_;
    QString unitMs_ = QStringLiteral("ms");
    QString unitS_ = QStringLiteral("s");
    int suffixIndex_ = -1;
    bool paused_ = false;
};

} // namespace fk

#include "app/StatusLine.h"

#include "app/ElidedLabel.h"
#include "app/ObjectNames.h"
#include "support/TraceSink.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedLayout>

#include <algorithm>

namespace fk {

TStatusLine::TStatusLine(QWidget* parent)
    : QObject(parent)
{
    portPanel_ = new QWidget(parent);
    portPanel_->setObjectName(QLatin1String(names::PortPanel));
    auto* portLayout = new QHBoxLayout(portPanel_);
    portLayout->setContentsMargins(2, 0, 4, 0);
    portLayout->setSpacing(2);
    portIcon_ = new QLabel(portPanel_);
    portIcon_->setObjectName(QLatin1String(names::PortIcon));
    portIcon_->setAlignment(Qt::AlignCenter);
    portNameLabel_ = new QLabel(portPanel_);
    portNameLabel_->setObjectName(QLatin1String(names::PortNameLabel));
    portLayout->addWidget(portIcon_);
    portLayout->addWidget(portNameLabel_);

    statusPanel_ = new QWidget(parent);
    auto* statusLayout = new QHBoxLayout(statusPanel_);
    statusLayout->setContentsMargins(2, 0, 2, 0);
    statusLayout->setSpacing(2);
    statusIcon_ = new QLabel(statusPanel_);
    statusIcon_->setObjectName(QLatin1String(names::StatusIcon));
    statusIcon_->setAlignment(Qt::AlignCenter);
    // A status longer than the window is cut with "…" and shown whole in the tool tip.
    statusLabel_ = new TElidedLabel(statusPanel_);
    statusLabel_->setObjectName(QLatin1String(names::StatusLabel));
    statusLabel_->setMinimumWidth(1);
    statusLayout->addWidget(statusIcon_);
    statusLayout->addWidget(statusLabel_, 1);

    progressPanel_ = new QWidget(parent);
    progressPanel_->setObjectName(QLatin1String(names::ProgressPanel));
    auto* progressLayout = new QHBoxLayout(progressPanel_);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(2);
    auto* barHolder = new QWidget(progressPanel_);
    auto* stack = new QStackedLayout(barHolder);
    stack->setStackingMode(QStackedLayout::StackAll);
    progressBar_ = new QProgressBar(barHolder);
    progressBar_->setObjectName(QLatin1String(names::ProgressBar));
    progressBar_->setRange(0, 100);
    progressBar_->setTextVisible(false);
    progressLabel_ = new QLabel(QStringLiteral("0%"), barHolder);
    progressLabel_->setObjectName(QLatin1String(names::ProgressLabel));
    progressLabel_->setAlignment(Qt::AlignCenter);
    progressLabel_->setAttribute(Qt::WA_TransparentForMouseEvents);
    stack->addWidget(progressLabel_);
    stack->addWidget(progressBar_);
    abortButton_ = new QPushButton(QStringLiteral("Abort"), progressPanel_);
    abortButton_->setObjectName(QLatin1String(names::AbortButton));
    abortButton_->setAutoDefault(false);
    progressLayout->addWidget(barHolder, 1);
    progressLayout->addWidget(abortButton_);
    progressPanel_->setVisible(false);
    connect(abortButton_, &QPushButton::clicked, this, &TStatusLine::AbortClicked);
}

void TStatusLine::SetPanelHeight(int height)
{
    height_ = height;
    portIcon_->setFixedSize(height, height);
    statusIcon_->setFixedSize(height, height);
    for (QWidget* w : {portPanel_, statusPanel_, progressPanel_})
        w->setFixedHeight(height);
    progressPanel_->setFixedWidth(height * 7);
    abortButton_->setFixedHeight(height);
    ShowStatusIcon();
}

void TStatusLine::SetStatusIcons(const QIcon& error, const QIcon& question, const QIcon& warning)
{
    icons_[0] = error;
    icons_[1] = question;
    icons_[2] = warning;
    ShowStatusIcon();
}

void TStatusLine::ShowStatus(const TMessageTable& messages, int index, TIconClass iconClass, const String& portSuffix)
{
    index_ = index;
    iconClass_ = iconClass;
    suffix_ = portSuffix;
    suffixIndex_ = -1;
    Render(messages);
}

void TStatusLine::SetSuffixMessage(const TMessageTable& messages, int index)
{
    suffixIndex_ = index;
    if (index_ >= 0)
        Render(messages);
}

void TStatusLine::ClearStatus()
{
    index_ = -1;
    iconClass_ = icNone;
    suffix_.clear();
    suffixIndex_ = -1;
    statusLabel_->clear();
    statusLabel_->SetHint(QString());
    ShowStatusIcon();
    TTraceSink::Status("");
}

void TStatusLine::Retranslate(const TMessageTable& messages)
{
    if (index_ >= 0)
        Render(messages);
}

void TStatusLine::SetUnits(const QString& milliseconds, const QString& seconds)
{
    unitMs_ = milliseconds;
    unitS_ = seconds;
}

void TStatusLine::Render(const TMessageTable& messages)
{
    QString text = QString::fromStdString(messages.MessageText(index_));
    const String& suffix = suffixIndex_ >= 0 ? messages.MessageText(suffixIndex_) : suffix_;
    QString shown = QString::fromStdString(suffix);
    // An out-of-range warning names the value the device holds with its unit ("120 ms").
    if (suffixIndex_ < 0 && (index_ == staOpenTimeOutOfRange || index_ == staBreakTimeOutOfRange)) {
        if (shown.endsWith(QStringLiteral(" ms")))
            shown = shown.chopped(2) + unitMs_;
        else if (shown.endsWith(QStringLiteral(" s")))
            shown = shown.chopped(1) + unitS_;
    }
    if (!shown.isEmpty())
        text += QStringLiteral(": ") + shown;
    statusLabel_->setText(text);
    QFont font = statusLabel_->font();
    font.setItalic(iconClass_ == icInformation);
    statusLabel_->setFont(font);
    statusLabel_->SetHint(QString());
    ShowStatusIcon();
    if (TTraceSink::Enabled())
        TTraceSink::Status(text.toStdString());
}

void TStatusLine::ShowStatusIcon()
{
    const QIcon* icon = nullptr;
    switch (iconClass_) {
    case icError:
        icon = &icons_[0];
        break;
    case icQuestion:
        icon = &icons_[1];
        break;
    case icWarning:
        icon = &icons_[2];
        break;
    default:
        break;
    }
    const int size = std::max(8, height_ - 6);
    if (icon && !icon->isNull())
        statusIcon_->setPixmap(icon->pixmap(QSize(size, size), statusIcon_->devicePixelRatioF()));
    else
        statusIcon_->clear();
}

void TStatusLine::SetStatusHint(const QString& hint) { statusLabel_->SetHint(hint); }

QString TStatusLine::StatusText() const { return statusLabel_->text(); }

QString TStatusLine::StatusHint() const { return statusLabel_->Hint(); }

void TStatusLine::ShowPort(const QString& name, const QString& description, const QIcon& icon)
{
    portNameLabel_->setText(name);
    portPanel_->setToolTip(description);
    // Without a port in use the panel gives its room to the status text.
    portPanel_->setVisible(!name.isEmpty());
    const int size = std::max(8, height_ - 6);
    if (name.isEmpty() || icon.isNull())
        portIcon_->clear();
    else
        portIcon_->setPixmap(icon.pixmap(QSize(size, size), portIcon_->devicePixelRatioF()));
}

QString TStatusLine::PortName() const { return portNameLabel_->text(); }

void TStatusLine::ShowProgress(bool visible, int position, bool paused)
{
    paused_ = paused;
    progressBar_->setValue(position);
    progressLabel_->setText(QString::number(progressBar_->value()) + QLatin1Char('%'));
    // A paused bar (an upload that stopped) keeps its place in the warning colour.
    QPalette palette = progressBar_->parentWidget()->palette();
    if (paused)
        palette.setColor(QPalette::Highlight, QColor(0xD9, 0x8C, 0x1F));
    progressBar_->setPalette(palette);
    progressPanel_->setVisible(visible);
}

bool TStatusLine::ProgressVisible() const { return !progressPanel_->isHidden(); }

int TStatusLine::ProgressPosition() const { return progressBar_->value(); }

QString TStatusLine::ProgressText() const { return progressLabel_->text(); }

} // namespace fk

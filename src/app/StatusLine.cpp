#include "app/StatusLine.h"

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
    panel4_ = new QWidget(parent);
    panel4_->setObjectName(QStringLiteral("Panel4"));
    auto* portLayout = new QHBoxLayout(panel4_);
    portLayout->setContentsMargins(2, 0, 4, 0);
    portLayout->setSpacing(2);
    image1_ = new QLabel(panel4_);
    image1_->setObjectName(QStringLiteral("Image1"));
    image1_->setAlignment(Qt::AlignCenter);
    label5_ = new QLabel(panel4_);
    label5_->setObjectName(QStringLiteral("Label5"));
    portLayout->addWidget(image1_);
    portLayout->addWidget(label5_);

    statusPanel_ = new QWidget(parent);
    auto* statusLayout = new QHBoxLayout(statusPanel_);
    statusLayout->setContentsMargins(2, 0, 2, 0);
    statusLayout->setSpacing(2);
    image2_ = new QLabel(statusPanel_);
    image2_->setObjectName(QStringLiteral("Image2"));
    image2_->setAlignment(Qt::AlignCenter);
    label6_ = new QLabel(statusPanel_);
    label6_->setObjectName(QStringLiteral("Label6"));
    label6_->setTextFormat(Qt::PlainText);
    label6_->setMinimumWidth(1);
    statusLayout->addWidget(image2_);
    statusLayout->addWidget(label6_, 1);

    panel1_ = new QWidget(parent);
    panel1_->setObjectName(QStringLiteral("Panel1"));
    auto* progressLayout = new QHBoxLayout(panel1_);
    progressLayout->setContentsMargins(0, 0, 0, 0);
    progressLayout->setSpacing(2);
    auto* barHolder = new QWidget(panel1_);
    auto* stack = new QStackedLayout(barHolder);
    stack->setStackingMode(QStackedLayout::StackAll);
    progressBar1_ = new QProgressBar(barHolder);
    progressBar1_->setObjectName(QStringLiteral("ProgressBar1"));
    progressBar1_->setRange(0, 100);
    progressBar1_->setTextVisible(false);
    label3_ = new QLabel(QStringLiteral("0%"), barHolder);
    label3_->setObjectName(QStringLiteral("Label3"));
    label3_->setAlignment(Qt::AlignCenter);
    label3_->setAttribute(Qt::WA_TransparentForMouseEvents);
    stack->addWidget(label3_);
    stack->addWidget(progressBar1_);
    button1_ = new QPushButton(QStringLiteral("Abort"), panel1_);
    button1_->setObjectName(QStringLiteral("Button1"));
    button1_->setAutoDefault(false);
    progressLayout->addWidget(barHolder, 1);
    progressLayout->addWidget(button1_);
    panel1_->setVisible(false);
    connect(button1_, &QPushButton::clicked, this, &TStatusLine::AbortClicked);
}

void TStatusLine::SetPanelHeight(int height)
{
    height_ = height;
    image1_->setFixedSize(height, height);
    image2_->setFixedSize(height, height);
    for (QWidget* w : {panel4_, statusPanel_, panel1_})
        w->setFixedHeight(height);
    panel1_->setFixedWidth(height * 7);
    button1_->setFixedHeight(height);
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
    label6_->clear();
    label6_->setToolTip(QString());
    ShowStatusIcon();
    TTraceSink::Status("");
}

void TStatusLine::Retranslate(const TMessageTable& messages)
{
    if (index_ >= 0)
        Render(messages);
}

void TStatusLine::Render(const TMessageTable& messages)
{
    QString text = QString::fromStdString(messages.MessageText(index_));
    const String& suffix = suffixIndex_ >= 0 ? messages.MessageText(suffixIndex_) : suffix_;
    if (!suffix.empty())
        text += QStringLiteral(": ") + QString::fromStdString(suffix);
    label6_->setText(text);
    QFont font = label6_->font();
    font.setItalic(iconClass_ == icInformation);
    label6_->setFont(font);
    label6_->setToolTip(QString());
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
        image2_->setPixmap(icon->pixmap(QSize(size, size), image2_->devicePixelRatioF()));
    else
        image2_->clear();
}

void TStatusLine::SetStatusHint(const QString& hint) { label6_->setToolTip(hint); }

QString TStatusLine::StatusText() const { return label6_->text(); }

QString TStatusLine::StatusHint() const { return label6_->toolTip(); }

void TStatusLine::ShowPort(const QString& name, const QString& description, const QIcon& icon)
{
    label5_->setText(name);
    panel4_->setToolTip(description);
    // Without a port in use the panel gives its room to the status text.
    panel4_->setVisible(!name.isEmpty());
    const int size = std::max(8, height_ - 6);
    if (name.isEmpty() || icon.isNull())
        image1_->clear();
    else
        image1_->setPixmap(icon.pixmap(QSize(size, size), image1_->devicePixelRatioF()));
}

QString TStatusLine::PortName() const { return label5_->text(); }

void TStatusLine::ShowProgress(bool visible, int position, bool paused)
{
    paused_ = paused;
    progressBar1_->setValue(position);
    label3_->setText(QString::number(progressBar1_->value()) + QLatin1Char('%'));
    // A paused bar (an upload that stopped) keeps its place in the warning colour.
    QPalette palette = progressBar1_->parentWidget()->palette();
    if (paused)
        palette.setColor(QPalette::Highlight, QColor(0xD9, 0x8C, 0x1F));
    progressBar1_->setPalette(palette);
    panel1_->setVisible(visible);
}

bool TStatusLine::ProgressVisible() const { return !panel1_->isHidden(); }

int TStatusLine::ProgressPosition() const { return progressBar1_->value(); }

QString TStatusLine::ProgressText() const { return label3_->text(); }

} // namespace fk

#include "app/FormProgInfo.h"

#include "app/LanguageApplier.h"
#include "app/NoProgramBox.h"
#include "controls/DesignScale.h"
#include "support/VersionInfo.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace fk {

TFormProgInfo::TFormProgInfo(const TFileVersionInfo& version, QWidget* parent) : QDialog(parent)
{
    using L = TLanguageApplier;
    const TDesignScale scale = TDesignScale::ForWidget(this);
    setWindowTitle(QStringLiteral("About"));
    L::SetKey(this, "men_about");
    setWindowFlags((windowFlags() | Qt::MSWindowsFixedSizeDialogHint) & ~Qt::WindowContextHelpButtonHint);
    OpenUrl = [](const QString& url) { return QDesktopServices::openUrl(QUrl(url)); };

    iconLabel_ = new QLabel(this);
    iconLabel_->setAlignment(Qt::AlignCenter);
    const int iconSize = IconSize(scale(64));
    iconLabel_->setFixedSize(iconSize, iconSize);
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        iconLabel_->setPixmap(icon.pixmap(iconSize, iconSize));

    String product = version.ProductAndVersion();
    if (product.empty()) // no version block: the name and version the build was made with
        product = String("Ferrovan-Kest ") + FK_PROJECT_VERSION;
    productLabel_ = new QLabel(QString::fromStdString(product), this);
    QFont bold = productLabel_->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    productLabel_->setFont(bold);
    notice_ = QString::fromStdString(version.Strings[TVersionInfo::siLegalCopyright]);
    built_ = BuildDateTime(version);
    legalLabel_ = new QLabel(notice_, this);
    if (legalLabel_->text().isEmpty())
        legalLabel_->setText(QStringLiteral("Legal"));
    legalLabel_->setEnabled(false);

    auto* grid = new QWidget(this);
    grid->setProperty(L::ColonProperty, true);
    buildTimeCaption_ = L::Key(new QLabel(QStringLiteral("Build Time : "), grid), "inf_build-time");
    buildTimeLabel_ = new QLabel(BuildTime(version), grid);
    homePageCaption_ = L::Key(new QLabel(QStringLiteral("Home Page : "), grid), "inf_home-page");
    homePageLink_ = MakeLink(QString::fromLatin1(HomePage), QString::fromLatin1(HomePage));
    supportCaption_ = L::Key(new QLabel(QStringLiteral("Technical Support : "), grid), "inf_tech-support");
    supportLink_ = MakeLink(QString::fromLatin1(SupportAddress), QString::fromLatin1(SupportAddress));
    auto* gridLayout = new QGridLayout(grid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->addWidget(buildTimeCaption_, 0, 0, Qt::AlignRight);
    gridLayout->addWidget(buildTimeLabel_, 0, 1);
    gridLayout->addWidget(homePageCaption_, 1, 0, Qt::AlignRight);
    gridLayout->addWidget(homePageLink_, 1, 1);
    gridLayout->addWidget(supportCaption_, 2, 0, Qt::AlignRight);
    gridLayout->addWidget(supportLink_, 2, 1);
    gridLayout->setColumnStretch(1, 1);

    okButton_ = new QPushButton(QStringLiteral("OK"), this);
    okButton_->setDefault(true);
    connect(okButton_, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(productLabel_);
    text->addWidget(legalLabel_);
    text->addSpacing(scale(6));
    text->addWidget(grid);
    auto* top = new QHBoxLayout;
    top->addWidget(iconLabel_, 0, Qt::AlignTop);
    top->addSpacing(scale(12));
    top->addLayout(text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(okButton_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addStretch(1);
    layout->addLayout(bottom);
    resize(QSize(scale(454), scale(172)).expandedTo(sizeHint()));
    ColorLinks();
}

void TFormProgInfo::ColorLinks()
{
    for (QLabel* link : {homePageLink_, supportLink_}) {
        if (!link)
            continue;
        QPalette p = link->palette();
        p.setColor(QPalette::WindowText, palette().color(QPalette::Link));
        link->setPalette(p);
    }
}

void TFormProgInfo::changeEvent(QEvent* event)
{
    QDialog::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) // a skin switch
        ColorLinks();
}

QLabel* TFormProgInfo::MakeLink(const QString& text, const QString& hint)
{
    auto* label = new QLabel(text, this);
    QFont f = label->font();
    f.setUnderline(true);
    label->setFont(f);
    label->setCursor(Qt::PointingHandCursor);
    label->setToolTip(hint);
    label->installEventFilter(this);
    return label;
}

bool TFormProgInfo::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
        if (watched == homePageLink_) {
            LinkLabel1Click();
            return true;
        }
        if (watched == supportLink_) {
            LinkLabel2Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormProgInfo::LinkLabel1Click()
{
    const QString hint = homePageLink_->toolTip();
    if (!hint.isEmpty() && OpenUrl && !OpenUrl(hint))
        TNoProgramBox::Show(this, windowTitle(), hint, NoProgramText);
}

void TFormProgInfo::LinkLabel2Click()
{
    const QString hint = supportLink_->toolTip();
    if (!hint.isEmpty() && OpenUrl && !OpenUrl(QStringLiteral("mailto:") + hint))
        TNoProgramBox::Show(this, windowTitle(), hint, NoProgramText);
}

QDateTime TFormProgInfo::BuildDateTime(const TVersionInfo& version)
{
    if (const auto& fixed = version.FixedInfo(); fixed && (fixed->FileDateMS || fixed->FileDateLS)) {
        // 100-ns intervals since 1601-01-01.
        const u64 fileDate = (static_cast<u64>(fixed->FileDateMS) << 32) | fixed->FileDateLS;
        const qint64 unixSeconds = static_cast<qint64>(fileDate / 10000000ULL) - 11644473600LL;
        return QDateTime::fromSecsSinceEpoch(unixSeconds, Qt::UTC).toLocalTime();
    }
    QFileInfo file(QString::fromStdString(version.FileName()));
    if (!file.exists())
        file = QFileInfo(QCoreApplication::applicationFilePath());
    return file.lastModified();
}

QString TFormProgInfo::BuildTime(const TVersionInfo& version)
{
    return QLocale::c().toString(BuildDateTime(version), QStringLiteral("MMM d yyyy, hh:mm:ss"));
}

QString TFormProgInfo::BuildTime(const QDateTime& time, int language)
{
    if (language == 1 || language == 2)
        return QLocale(language == 1 ? QLocale::Polish : QLocale::Russian).toString(time, QStringLiteral("d MMMM yyyy, HH:mm:ss"));
    return QLocale::c().toString(time, QStringLiteral("MMM d yyyy, hh:mm:ss"));
}

QString TFormProgInfo::LegalNotice(const QString& notice, const QString& copyright)
{
    static const QRegularExpression form(QStringLiteral("^Copyright \\([Cc]\\) ([0-9][0-9 ,-]*[0-9]) (.+?)\\.( All rights reserved\\.)?$"));
    const QRegularExpressionMatch m = form.match(notice);
    if (copyright.isEmpty() || !m.hasMatch())
        return notice;
    return copyright.arg(m.captured(1), m.captured(2));
}

void TFormProgInfo::ShowLanguage(int language, const QString& copyright)
{
    buildTimeLabel_->setText(BuildTime(built_, language));
    if (!notice_.isEmpty())
        legalLabel_->setText(LegalNotice(notice_, copyright));
}

int TFormProgInfo::IconSize(int height)
{
    if (height <= 0)
        return 0;
    int top = 1;
    while ((top << 1) <= height)
        top <<= 1;
    return top | (height & (top >> 1));
}

} // namespace fk

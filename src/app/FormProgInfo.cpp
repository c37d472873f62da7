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

    Image1 = new QLabel(this);
    Image1->setAlignment(Qt::AlignCenter);
    const int iconSize = IconSize(scale(64));
    Image1->setFixedSize(iconSize, iconSize);
    const QIcon icon = QApplication::windowIcon();
    if (!icon.isNull())
        Image1->setPixmap(icon.pixmap(iconSize, iconSize));

    String product = version.ProductAndVersion();
    if (product.empty()) // no version block: the name and version the build was made with
        product = String("Ferrovan-Kest ") + FK_PROJECT_VERSION;
    Label1 = new QLabel(QString::fromStdString(product), this);
    QFont bold = Label1->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.2);
    Label1->setFont(bold);
    Label2 = new QLabel(QString::fromStdString(version.Strings[TVersionInfo::siLegalCopyright]), this);
    if (Label2->text().isEmpty())
        Label2->setText(QStringLiteral("Legal"));
    Label2->setEnabled(false);

    auto* grid = new QWidget(this);
    grid->setProperty(L::ColonProperty, true);
    Label3 = L::Key(new QLabel(QStringLiteral("Build Time : "), grid), "inf_build-time");
    Label4 = new QLabel(BuildTime(version), grid);
    Label5 = L::Key(new QLabel(QStringLiteral("Home Page : "), grid), "inf_home-page");
    Label6 = MakeLink(QString::fromLatin1(HomePage), QString::fromLatin1(HomePage));
    Label7 = L::Key(new QLabel(QStringLiteral("Technical Support : "), grid), "inf_tech-support");
    Label8 = MakeLink(QString::fromLatin1(SupportAddress), QString::fromLatin1(SupportAddress));
    auto* gridLayout = new QGridLayout(grid);
    gridLayout->setContentsMargins(0, 0, 0, 0);
    gridLayout->addWidget(Label3, 0, 0, Qt::AlignRight);
    gridLayout->addWidget(Label4, 0, 1);
    gridLayout->addWidget(Label5, 1, 0, Qt::AlignRight);
    gridLayout->addWidget(Label6, 1, 1);
    gridLayout->addWidget(Label7, 2, 0, Qt::AlignRight);
    gridLayout->addWidget(Label8, 2, 1);
    gridLayout->setColumnStretch(1, 1);

    Button1 = new QPushButton(QStringLiteral("OK"), this);
    Button1->setDefault(true);
    connect(Button1, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(Label1);
    text->addWidget(Label2);
    text->addSpacing(scale(6));
    text->addWidget(grid);
    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addSpacing(scale(12));
    top->addLayout(text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(Button1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addStretch(1);
    layout->addLayout(bottom);
    resize(QSize(scale(454), scale(172)).expandedTo(sizeHint()));
    ColorLinks();
}

void TFormProgInfo::ColorLinks()
{
    for (QLabel* link : {Label6, Label8}) {
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
        if (watched == Label6) {
            LinkLabel1Click();
            return true;
        }
        if (watched == Label8) {
            LinkLabel2Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TFormProgInfo::LinkLabel1Click()
{
    const QString hint = Label6->toolTip();
    if (!hint.isEmpty() && OpenUrl && !OpenUrl(hint))
        TNoProgramBox::Show(this, windowTitle(), hint, NoProgramText);
}

void TFormProgInfo::LinkLabel2Click()
{
    const QString hint = Label8->toolTip();
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

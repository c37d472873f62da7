#include "ScreenshotUtil.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <optional>
#include <gtest/gtest.h>

namespace fk {
namespace {

// Runs a poppler tool; its standard output, or nothing when it failed.
std::optional<QByteArray> RunTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return std::nullopt;
    return p.readAllStandardOutput();
}

// Share of pixels that are not near white: a page with content has some, a failed render none.
double InkShare(const QImage& image)
{
    qint64 ink = 0;
    for (int y = 0; y < image.height(); y += 2)
        for (int x = 0; x < image.width(); x += 2)
            if (qGray(image.pixel(x, y)) < 200)
                ++ink;
    return double(ink) / (double(image.width() / 2) * double(image.height() / 2));
}

} // namespace

// Every help document is a PDF whose first page renders with visible content and whose text
// carries the language's own letters (a missing font would turn them into boxes or drop them).
TEST(HelpDocuments, EveryDocumentRendersInItsLanguage)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed; scripts/install-deps installs it";
    const QString docs = QStringLiteral(FK_HELP_DOCS_DIR);
    const QString shots = test::ScreenshotDir(QStringLiteral("docs"));
    const struct {
        const char* lang;
        const char* manual;
        const char* diagram;
    } expected[] = {
        { "EN", "User Manual", "Wiring Diagram" },
        { "PL", "Instrukcja użytkownika", "Schemat podłączenia" },
        { "RU", "Инструкция пользователя", "Схема подключения" },
    };
    for (const auto& e : expected) {
        for (const QString& kind : { QStringLiteral("man"), QStringLiteral("diagram") }) {
            const QString name = QStringLiteral("Ferrovan-Kest (%1-%2)").arg(kind, QLatin1String(e.lang));
            const QString pdf = docs + QLatin1Char('/') + name + QStringLiteral(".pdf");
            QFile file(pdf);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << pdf.toStdString();
            EXPECT_TRUE(file.read(5).startsWith("%PDF-")) << pdf.toStdString();

            const auto text = RunTool(QStringLiteral("pdftotext"), { QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                                                                 QStringLiteral("-") });
            ASSERT_TRUE(text) << pdf.toStdString();
            const QString words = QString::fromUtf8(*text).simplified();
            const char* title = kind == QLatin1String("man") ? e.manual : e.diagram;
            EXPECT_TRUE(words.contains(QString::fromUtf8(title), Qt::CaseInsensitive))
                << name.toStdString() << " lacks \"" << title << "\"";

            const QString png = shots + QLatin1Char('/') + name;
            ASSERT_TRUE(RunTool(QStringLiteral("pdftoppm"), { QStringLiteral("-png"), QStringLiteral("-r"), QStringLiteral("60"),
                                                         QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                                         QStringLiteral("1"), QStringLiteral("-singlefile"), pdf, png }));
            const QImage page(png + QStringLiteral(".png"));
            ASSERT_FALSE(page.isNull()) << png.toStdString();
            EXPECT_GT(InkShare(page), 0.01) << name.toStdString() << " renders blank";
        }
    }
}

} // namespace fk

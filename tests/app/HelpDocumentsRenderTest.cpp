#include "ScreenshotUtil.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <optional>
#include <utility>
#include <vector>
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

namespace {

// The text of a PDF, page by page (pdftotext ends each page with a form feed).
QStringList PdfPages(const QString& pdf)
{
    const auto text = RunTool(QStringLiteral("pdftotext"), { QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf,
                                                         QStringLiteral("-") });
    // Compatibility forms fold the ligatures the PDF draws ("ﬁ") back into letters.
    return text ? QString::fromUtf8(*text).normalized(QString::NormalizationForm_KC).split(QLatin1Char('\f'))
                : QStringList();
}

QString PdfTitle(const QString& pdf)
{
    const auto info = RunTool(QStringLiteral("pdfinfo"), { QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf });
    for (const QString& line : QString::fromUtf8(info.value_or(QByteArray())).split(QLatin1Char('\n')))
        if (line.startsWith(QStringLiteral("Title:")))
            return line.mid(6).trimmed();
    return {};
}

QString HelpPdf(const char* kind, const char* lang)
{
    return QStringLiteral(FK_HELP_DOCS_DIR) + QStringLiteral("/Ferrovan-Kest (%1-%2).pdf").arg(QLatin1String(kind), QLatin1String(lang));
}

// The rows of the manual's message table: the message and the first words of its advice.
std::vector<std::pair<QString, QString>> MessageRows(const QString& html)
{
    std::vector<std::pair<QString, QString>> rows;
    static const QRegularExpression row(QStringLiteral("<tr><td>([^<]+)</td><td>(.+?)</td></tr>"));
    for (auto it = row.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        QString advice = m.captured(2);
        advice.remove(QRegularExpression(QStringLiteral("<[^>]+>")));
        rows.emplace_back(m.captured(1).simplified(), advice.simplified().section(QLatin1Char(' '), 0, 1));
    }
    return rows;
}

} // namespace

// The manual says what the program does, in every language; its title names it; option names
// stay whole; no row of a table is cut by a page's end.
TEST(HelpDocuments, ManualTellsWhatTheProgramDoesAndKeepsRowsWhole)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed; scripts/install-deps installs it";
    const struct {
        const char* lang;
        const char* title;
        std::vector<const char*> says, never;
    } expected[] = {
        { "EN", "Ferrovan-Kest User Manual",
          { "amber warning triangle", "grey circle with a down arrow", "only when a port was open",
            "working folder", "plain right click on a spin button", "Disconnect, Reboot, connecting to another port",
            "tens of seconds" },
          { "red mark", "hourglass" } },
        { "PL", "Ferrovan-Kest — Instrukcja użytkownika",
          { "trójkąt ostrzegawczy", "szare kółko", "folderze roboczym", "dziesiątkach sekund", "USB–RS-232" },
          { "czerwonym znakiem", "klepsydr" } },
        { "RU", "Ferrovan-Kest — Инструкция пользователя",
          { "предупреждающий треугольник", "серый кружок", "рабочей папки", "десятках секунд", "USB–RS-232" },
          { "красной отметкой", "песочными часами" } },
    };
    for (const auto& e : expected) {
        const QString pdf = HelpPdf("man", e.lang);
        EXPECT_EQ(PdfTitle(pdf), QString::fromUtf8(e.title));
        const QStringList pages = PdfPages(pdf);
        ASSERT_GT(pages.size(), 1) << e.lang;
        const QString all = pages.join(QLatin1Char(' ')).simplified();
        for (const char* text : e.says)
            EXPECT_TRUE(all.contains(QString::fromUtf8(text))) << e.lang << " lacks \"" << text << "\"";
        for (const char* text : e.never)
            EXPECT_FALSE(all.contains(QString::fromUtf8(text), Qt::CaseInsensitive)) << e.lang << " still says \"" << text << "\"";
        EXPECT_TRUE(all.contains(QStringLiteral("--open-time 25 --break-time 5"))) << e.lang;

        QFile source(QStringLiteral(FK_HELP_SOURCES_DIR "/manual-%1.html").arg(QString::fromLatin1(e.lang).toLower()));
        ASSERT_TRUE(source.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(source.readAll());
        const auto rows = MessageRows(html);
        EXPECT_GE(rows.size(), 23u) << e.lang; // the upload's outcomes, the range warnings, the port holders
        // A heading never ends a page, and no line is on two pages (in the text one copies).
        static const QRegularExpression heading(QStringLiteral("<h2>([^<]+)</h2>"));
        QStringList headings;
        for (auto it = heading.globalMatch(html); it.hasNext();)
            headings << it.next().captured(1).simplified();
        for (int i = 0; i + 1 < pages.size(); ++i) {
            QStringList lines = pages[i].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            QStringList next = pages[i + 1].split(QLatin1Char('\n'), Qt::SkipEmptyParts);
            if (!lines.isEmpty() && lines.last().contains(QStringLiteral(" / ")))
                lines.removeLast(); // the page number
            if (lines.isEmpty() || next.isEmpty())
                continue;
            EXPECT_FALSE(headings.contains(lines.last().simplified())) << e.lang << ": page " << i + 1 << " ends with a heading";
            EXPECT_NE(lines.last().simplified(), next.first().simplified()) << e.lang << ": a line on pages " << i + 1 << " and " << i + 2;
        }
        for (const auto& [message, advice] : rows) {
            bool together = false;
            for (const QString& page : pages) {
                const QString text = page.simplified();
                together = together || (text.contains(message) && text.contains(advice));
            }
            EXPECT_TRUE(together) << e.lang << ": the row \"" << message.toStdString() << "\" is cut by a page's end";
        }
    }
}

// The wiring diagram draws the computer side with the PC serial port's pin numbers, names the
// controller's terminals by signal only and says that TXD and RXD cross.
TEST(HelpDocuments, WiringDiagramDrawsOnlyWhatIsKnown)
{
    if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed; scripts/install-deps installs it";
    const struct {
        const char* lang;
        const char* title;
        std::vector<const char*> says;
    } expected[] = {
        { "EN", "Ferrovan-Kest Wiring Diagram",
          { "Built-in COM port", "USB-to-serial adapter", "DE-9 plug of the PC serial port", "TXD pin 3", "RXD pin 2",
            "GND pin 5", "see the controller's service-port label", "crosses TXD and RXD" } },
        { "PL", "Ferrovan-Kest — Schemat podłączenia",
          { "Wbudowany port COM", "Adapter USB–RS-232", "TXD styk 3", "tabliczkę portu serwisowego", "krzyżuje TXD i RXD" } },
        { "RU", "Ferrovan-Kest — Схема подключения",
          { "Встроенный порт COM", "Адаптер USB–RS-232", "TXD конт. 3", "табличку сервисного порта",
            "перекрещивает TXD и RXD" } },
    };
    for (const auto& e : expected) {
        const QString pdf = HelpPdf("diagram", e.lang);
        EXPECT_EQ(PdfTitle(pdf), QString::fromUtf8(e.title));
        const QString all = PdfPages(pdf).join(QLatin1Char(' ')).simplified();
        for (const char* text : e.says)
            EXPECT_TRUE(all.contains(QString::fromUtf8(text))) << e.lang << " lacks \"" << text << "\": " << all.toStdString();
        // The controller's connector is not invented: no pin numbers on its side.
        EXPECT_FALSE(all.contains(QStringLiteral("RXD (2)"))) << e.lang;
        EXPECT_FALSE(all.contains(QStringLiteral("TXD (3)"))) << e.lang;
    }
}

} // namespace fk

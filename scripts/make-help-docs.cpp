// Build step: renders the help documents that the window's Help menu opens, into DOCS_DIR:
//   "Ferrovan-Kest (man-EN).pdf"      the user manual, from resources/docs/manual-en.html
//   "Ferrovan-Kest (diagram-EN).pdf"  the wiring diagram, drawn here with the labels of
//                                     resources/docs/diagram-en.txt
// and the same for PL and RU. Run by CMake with the offscreen platform; not installed.
//   make-help-docs SOURCE_DIR DOCS_DIR
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHash>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>

namespace {

const char* const kLanguages[] = { "en", "pl", "ru" };

QString ReadText(const QString& path, bool& ok)
{
    QFile f(path);
    ok = f.open(QIODevice::ReadOnly);
    return ok ? QString::fromUtf8(f.readAll()) : QString();
}

// The document font: one that carries Polish and Cyrillic letters.
QFont DocumentFont(qreal points)
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPointSizeF(points);
    return font;
}

void SetUpWriter(QPdfWriter& writer, const QString& title, QPageLayout::Orientation orientation)
{
    writer.setTitle(title);
    writer.setCreator(QStringLiteral("Ferrovan-Kest"));
    writer.setResolution(300);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), orientation, QMarginsF(18, 16, 18, 16),
                                     QPageLayout::Millimeter));
}

bool RenderManual(const QString& html, const QString& out)
{
    QPdfWriter writer(out);
    SetUpWriter(writer, QStringLiteral("Ferrovan-Kest"), QPageLayout::Portrait);
    QTextDocument doc;
    doc.setDefaultFont(DocumentFont(10));
    doc.setDefaultStyleSheet(QStringLiteral(
        "h1 { font-size: 20pt; color: #1d3f6e; } h2 { font-size: 14pt; color: #1d3f6e; margin-top: 14px; }"
        "h3 { font-size: 11pt; } td, th { padding: 3px 6px; } th { background: #dfe7f2; }"
        "code { font-family: 'DejaVu Sans Mono'; } .note { color: #444; }"));
    doc.setHtml(html);
    doc.print(&writer);
    return true;
}

// The wiring diagram: the computer, the cable or adapter, and the controller's service port,
// with the three wires of the serial link crossed between them, the line settings, and the
// wireless alternative.
bool RenderDiagram(const QHash<QString, QString>& t, const QString& out)
{
    QPdfWriter writer(out);
    SetUpWriter(writer, t.value(QStringLiteral("title")), QPageLayout::Landscape);
    QPainter p(&writer);
    if (!p.isActive())
        return false;
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF page(0, 0, writer.width(), writer.height());
    // Work in a 1000 x 660 canvas scaled to the page.
    const qreal s = std::min(page.width() / 1000.0, page.height() / 660.0);
    p.scale(s, s);
    auto font = [&](qreal pt, bool bold = false) {
        QFont f = DocumentFont(pt);
        f.setBold(bold);
        // The canvas is scaled to the page: a font of pt points on paper is pt / s here.
        f.setPointSizeF(pt / s);
        p.setFont(f);
    };
    const QColor ink(0x1d, 0x3f, 0x6e), box(0xf2, 0xf5, 0xfa), wireTx(0xc0, 0x39, 0x2b), wireRx(0x27, 0x7d, 0x3c),
        wireGnd(0x33, 0x33, 0x33);

    font(22, true);
    p.setPen(ink);
    p.drawText(QRectF(0, 0, 1000, 50), Qt::AlignLeft | Qt::AlignVCenter, t.value(QStringLiteral("title")));
    font(11);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 48, 1000, 30), Qt::AlignLeft | Qt::AlignVCenter, t.value(QStringLiteral("subtitle")));

    auto drawBox = [&](const QRectF& r, const QString& title, const QString& sub) {
        p.setPen(QPen(ink, 2.5));
        p.setBrush(box);
        p.drawRoundedRect(r, 10, 10);
        font(13, true);
        p.setPen(ink);
        p.drawText(QRectF(r.x() + 10, r.y() + 8, r.width() - 20, 64), Qt::AlignHCenter | Qt::AlignVCenter | Qt::TextWordWrap, title);
        font(9);
        p.setPen(Qt::black);
        p.drawText(QRectF(r.x() + 10, r.y() + 78, r.width() - 20, 110), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, sub);
    };
    const QRectF pc(20, 100, 200, 340), adapter(310, 100, 250, 340), ctrl(700, 100, 280, 340);
    drawBox(pc, t.value(QStringLiteral("pc")), t.value(QStringLiteral("pc-sub")));
    drawBox(adapter, t.value(QStringLiteral("adapter")), t.value(QStringLiteral("adapter-sub")));
    drawBox(ctrl, t.value(QStringLiteral("controller")), t.value(QStringLiteral("controller-sub")));

    // USB cable between the computer and the adapter.
    p.setPen(QPen(ink, 6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(pc.right(), 360), QPointF(adapter.left(), 360));
    font(9);
    p.setPen(ink);
    p.drawText(QRectF(pc.right(), 325, adapter.left() - pc.right(), 30), Qt::AlignCenter, QStringLiteral("USB"));

    // The three wires, crossed: the adapter's TXD goes to the controller's RXD and back.
    struct Wire { QString from, to; qreal yFrom, yTo; QColor color; };
    const Wire wires[] = {
        { QStringLiteral("TXD  (3)"), QStringLiteral("RXD  (2)"), 310, 350, wireTx },
        { QStringLiteral("RXD  (2)"), QStringLiteral("TXD  (3)"), 350, 310, wireRx },
        { QStringLiteral("GND  (5)"), QStringLiteral("GND  (5)"), 400, 400, wireGnd },
    };
    for (const Wire& w : wires) {
        const QPointF a(adapter.right(), w.yFrom), b(ctrl.left(), w.yTo);
        QPainterPath path(a);
        path.cubicTo(QPointF(a.x() + 70, a.y()), QPointF(b.x() - 70, b.y()), b);
        p.setPen(QPen(w.color, 4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setBrush(w.color);
        p.drawEllipse(a, 6, 6);
        p.drawEllipse(b, 6, 6);
        font(9, true);
        p.setPen(w.color);
        p.drawText(QRectF(adapter.right() - 95, w.yFrom - 12, 88, 24), Qt::AlignRight | Qt::AlignVCenter, w.from);
        p.drawText(QRectF(ctrl.left() + 8, w.yTo - 12, 100, 24), Qt::AlignLeft | Qt::AlignVCenter, w.to);
    }
    font(9);
    p.setPen(Qt::black);
    p.drawText(QRectF(adapter.left(), adapter.bottom() + 6, ctrl.right() - adapter.left(), 40),
               Qt::AlignLeft | Qt::TextWordWrap, t.value(QStringLiteral("pins")));

    // Line settings and notes.
    const QRectF notes(20, 490, 560, 165);
    p.setPen(QPen(ink, 1.5));
    p.setBrush(Qt::white);
    p.drawRect(notes);
    font(11, true);
    p.setPen(ink);
    p.drawText(notes.adjusted(12, 8, -12, 0), Qt::AlignLeft | Qt::AlignTop, t.value(QStringLiteral("settings-title")));
    font(9);
    p.setPen(Qt::black);
    p.drawText(notes.adjusted(12, 40, -12, -8), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               t.value(QStringLiteral("settings")));

    // The wireless alternative: a KESTConnect module on the same service port.
    const QRectF wifi(610, 490, 370, 165);
    p.setPen(QPen(ink, 1.5, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(wifi);
    font(11, true);
    p.setPen(ink);
    p.drawText(wifi.adjusted(12, 8, -12, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               t.value(QStringLiteral("wireless-title")));
    font(8.5);
    p.setPen(Qt::black);
    p.drawText(wifi.adjusted(12, 52, -12, -8), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               t.value(QStringLiteral("wireless")));
    return p.end();
}

QHash<QString, QString> ReadLabels(const QString& text)
{
    QHash<QString, QString> labels;
    for (const QString& line : text.split(u'\n')) {
        const qsizetype eq = line.indexOf(u'=');
        if (eq > 0 && !line.startsWith(u'#'))
            labels.insert(line.left(eq).trimmed(),
                          line.mid(eq + 1).trimmed().replace(QStringLiteral("\\n"), QStringLiteral("\n")));
    }
    return labels;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: make-help-docs SOURCE_DIR DOCS_DIR\n");
        return 2;
    }
    const QString src = QString::fromLocal8Bit(argv[1]), docs = QString::fromLocal8Bit(argv[2]);
    int failures = 0;
    for (const char* lang : kLanguages) {
        const QString code = QString::fromLatin1(lang).toUpper();
        bool ok = false;
        const QString manual = ReadText(src + QStringLiteral("/manual-%1.html").arg(QLatin1String(lang)), ok);
        if (!ok || !RenderManual(manual, docs + QStringLiteral("/Ferrovan-Kest (man-%1).pdf").arg(code))) {
            std::fprintf(stderr, "make-help-docs: the %s manual could not be made\n", lang);
            ++failures;
        }
        const QString labels = ReadText(src + QStringLiteral("/diagram-%1.txt").arg(QLatin1String(lang)), ok);
        if (!ok || !RenderDiagram(ReadLabels(labels), docs + QStringLiteral("/Ferrovan-Kest (diagram-%1).pdf").arg(code))) {
            std::fprintf(stderr, "make-help-docs: the %s wiring diagram could not be made\n", lang);
            ++failures;
        }
    }
    return failures ? 1 : 0;
}

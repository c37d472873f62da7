// Build step: renders the help documents that the window's Help menu opens, into DOCS_DIR:
//   "Ferrovan-Kest (man-EN).pdf"      the user manual, from resources/docs/manual-en.html
//   "Ferrovan-Kest (diagram-EN).pdf"  the wiring diagram, drawn here with the labels of
//                                     resources/docs/diagram-en.txt
// and the same for PL and RU. Run by CMake with the offscreen platform; not installed.
// The manual's icon table shows the port list's own pictures (PORT_IMAGES_DIR, the images the
// program carries), as the list draws them: "icon:usb", "icon:usb+problem", "icon:usb+waiting",
// "icon:usb+dimmed" in an <img src="...">.
//   make-help-docs SOURCE_DIR DOCS_DIR PORT_IMAGES_DIR
#include <QFile>
#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QAbstractTextDocumentLayout>
#include <QHash>
#include <QImage>
#include <QRegularExpression>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>
#include <QTextTable>
#include <QUrl>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>
#include <QTextDocument>
#include <cstdio>
#include <utility>
#include <vector>

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

// A port picture as the port list draws it: the kind's image, with the state's overlay drawn
// over it, or faded as the other rows are while one port is in use.
QImage PortIcon(const QString& imagesDir, const QString& spec)
{
    const QStringList parts = spec.split(u'+');
    QImage icon(imagesDir + QStringLiteral("/%1-32.png").arg(parts.value(0)));
    if (icon.isNull())
        return icon;
    icon = icon.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(icon.size(), QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    const QString state = parts.value(1);
    if (state == QLatin1String("dimmed"))
        p.setOpacity(0.35);
    p.drawImage(0, 0, icon);
    if (state == QLatin1String("problem") || state == QLatin1String("waiting"))
        p.drawImage(out.rect(), QImage(imagesDir + QStringLiteral("/overlay-%1-32.png").arg(state)));
    return out;
}

// The places where a page may not end: every line of text and every table row (a row is kept
// whole on one page), as [top, bottom) spans of the laid-out document.
std::vector<std::pair<qreal, qreal>> UnbreakableSpans(QTextDocument& doc)
{
    std::vector<std::pair<qreal, qreal>> spans;
    QAbstractTextDocumentLayout* layout = doc.documentLayout();
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QRectF r = layout->blockBoundingRect(b);
        const QTextLayout* lines = b.layout();
        for (int i = 0; lines && i < lines->lineCount(); ++i) {
            const QTextLine line = lines->lineAt(i);
            spans.emplace_back(r.top() + line.y(), r.top() + line.y() + line.height());
        }
        // A heading stays with the first line of what follows it.
        const QTextBlock next = b.next();
        if (b.blockFormat().headingLevel() > 0 && next.isValid()) {
            const QRectF n = layout->blockBoundingRect(next);
            const QTextLayout* nextLines = next.layout();
            qreal bottom = n.bottom();
            if (nextLines && nextLines->lineCount() > 0)
                bottom = n.top() + nextLines->lineAt(0).y() + nextLines->lineAt(0).height();
            // What follows may be a table: its first row then counts as that first line.
            if (auto* table = qobject_cast<QTextTable*>(next.document()->frameAt(next.position())); table && table->rows() > 0) {
                const QTextTableCell cell = table->cellAt(0, 0);
                bottom = std::max(bottom, layout->blockBoundingRect(cell.lastCursorPosition().block()).bottom());
            }
            spans.emplace_back(r.top(), bottom);
        }
    }
    for (QTextFrame* frame : doc.rootFrame()->childFrames()) {
        auto* table = qobject_cast<QTextTable*>(frame);
        for (int row = 0; table && row < table->rows(); ++row) {
            qreal top = 1e12, bottom = 0;
            for (int col = 0; col < table->columns(); ++col) {
                const QTextTableCell cell = table->cellAt(row, col);
                for (QTextBlock b = cell.firstCursorPosition().block();
                     b.isValid() && b.position() <= cell.lastCursorPosition().position(); b = b.next()) {
                    const QRectF r = layout->blockBoundingRect(b);
                    top = std::min(top, r.top());
                    bottom = std::max(bottom, r.bottom());
                }
            }
            // The row's frame: the cell padding above and below its text.
            const qreal pad = table->format().cellPadding() + table->format().border();
            spans.emplace_back(top - pad - 2, bottom + pad + 2);
        }
    }
    return spans;
}

// Where each page ends: as low as the page allows, but never inside a line or a table row.
std::vector<qreal> PageEnds(const std::vector<std::pair<qreal, qreal>>& spans, qreal docHeight, qreal pageHeight)
{
    std::vector<qreal> ends;
    qreal start = 0;
    while (start < docHeight - 1) {
        qreal end = std::min(docHeight, start + pageHeight);
        for (bool moved = true; moved && end < docHeight;) {
            moved = false;
            for (const auto& [top, bottom] : spans) {
                if (top < end && end < bottom && top > start + 1) {
                    end = top;
                    moved = true;
                }
            }
        }
        ends.push_back(end);
        start = end;
    }
    return ends;
}

bool RenderManual(const QString& html, const QString& imagesDir, const QString& out)
{
    QPdfWriter writer(out);
    QTextDocument doc;
    doc.setDocumentMargin(0);
    doc.setDefaultFont(DocumentFont(10));
    doc.setDefaultStyleSheet(QStringLiteral(
        "h1 { font-size: 20pt; color: #1d3f6e; } h2 { font-size: 14pt; color: #1d3f6e; margin-top: 14px; }"
        "h3 { font-size: 11pt; } td, th { padding: 3px 6px; } th { background: #dfe7f2; }"
        "code { font-family: 'DejaVu Sans Mono'; } .note { color: #444; }"));
    static const QRegularExpression iconRef(QStringLiteral("src=\"icon:([a-z+]+)\""));
    for (auto it = iconRef.globalMatch(html); it.hasNext();) {
        const QString spec = it.next().captured(1);
        const QImage icon = PortIcon(imagesDir, spec);
        if (icon.isNull())
            return false;
        doc.addResource(QTextDocument::ImageResource, QUrl(QStringLiteral("icon:") + spec), icon);
    }
    doc.setHtml(html);
    // The PDF's title names the document, as its <title> does.
    const QString title = doc.metaInformation(QTextDocument::DocumentTitle);
    SetUpWriter(writer, title.isEmpty() ? QStringLiteral("Ferrovan-Kest") : title, QPageLayout::Portrait);
    doc.setDefaultFont(DocumentFont(10)); // in the writer's points
    // One long column at the page's width, cut into pages between lines and table rows; the
    // page number below each page.
    QPainter p(&writer);
    if (!p.isActive())
        return false;
    const qreal footer = writer.resolution() * 0.3;
    const qreal pageHeight = writer.height() - footer;
    doc.documentLayout()->setPaintDevice(&writer);
    doc.setPageSize(QSizeF(writer.width(), 1e9));
    doc.setPageSize(QSizeF(writer.width(), doc.documentLayout()->documentSize().height()));
    const std::vector<qreal> ends =
        PageEnds(UnbreakableSpans(doc), doc.documentLayout()->documentSize().height(), pageHeight);
    qreal start = 0;
    for (std::size_t page = 0; page < ends.size(); ++page) {
        if (page > 0)
            writer.newPage();
        p.save();
        p.translate(0, -start);
        // The page's rectangle, a hair inside its ends: a line that only touches an end belongs
        // to the other page, and is not drawn (clipped away, yet in the text layer) on this one.
        doc.drawContents(&p, QRectF(0, start + 0.5, writer.width(), ends[page] - start - 1.0));
        p.restore();
        p.setFont(DocumentFont(8));
        p.setPen(QColor(0x44, 0x44, 0x44));
        p.drawText(QRectF(0, writer.height() - footer * 0.8, writer.width(), footer * 0.8), Qt::AlignCenter,
                   QStringLiteral("%1 / %2").arg(page + 1).arg(ends.size()));
        start = ends[page];
    }
    return p.end();
}

// The wiring diagram: the computer with its two ways to a serial port (the built-in COM port or
// a USB-to-serial adapter), both ending in the standard DE-9 plug of a PC serial port with its
// pin numbers; the controller's service port named by signals only (its label has the
// terminals); the three wires with TXD and RXD crossed; the line settings and the wireless
// alternative.
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
    const auto label = [&t](const char* key) { return t.value(QLatin1String(key)); };
    auto font = [&](qreal pt, bool bold = false) {
        QFont f = DocumentFont(pt);
        f.setBold(bold);
        // The canvas is scaled to the page: a font of pt points on paper is pt / s here.
        f.setPointSizeF(pt / s);
        p.setFont(f);
    };
    const QColor ink(0x1d, 0x3f, 0x6e), box(0xf2, 0xf5, 0xfa), wireTx(0xc0, 0x39, 0x2b), wireRx(0x27, 0x7d, 0x3c),
        wireGnd(0x33, 0x33, 0x33);

    font(20, true);
    p.setPen(ink);
    p.drawText(QRectF(0, 0, 1000, 46), Qt::AlignLeft | Qt::AlignVCenter, label("title"));
    font(10.5);
    p.setPen(Qt::black);
    p.drawText(QRectF(0, 44, 1000, 30), Qt::AlignLeft | Qt::AlignVCenter, label("subtitle"));

    auto drawBox = [&](const QRectF& r, const QString& title, const QString& sub, qreal titlePt = 12) {
        p.setPen(QPen(ink, 2.5));
        p.setBrush(box);
        p.drawRoundedRect(r, 10, 10);
        font(titlePt, true);
        p.setPen(ink);
        // The title as high as its lines need, the text below it.
        const QRectF titleRect =
            p.boundingRect(QRectF(r.x() + 8, r.y() + 8, r.width() - 16, r.height()), Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, title);
        p.drawText(titleRect, Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, title);
        font(8.5);
        p.setPen(Qt::black);
        p.drawText(QRectF(r.x() + 8, titleRect.bottom() + 6, r.width() - 16, r.bottom() - titleRect.bottom() - 8),
                   Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, sub);
    };
    auto line = [&](QPointF a, QPointF b, const QColor& c, qreal w) {
        p.setPen(QPen(c, w, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(a, b);
    };

    // The computer and its two ways to a serial port.
    const QRectF pc(20, 95, 170, 330), com(235, 105, 190, 110), adapter(235, 285, 190, 120);
    drawBox(pc, label("pc"), label("pc-sub"));
    drawBox(com, label("com"), label("com-sub"), 11);
    drawBox(adapter, label("adapter"), label("adapter-sub"), 11);
    line(QPointF(pc.right(), com.center().y()), QPointF(com.left(), com.center().y()), ink, 5);
    line(QPointF(pc.right(), adapter.center().y()), QPointF(adapter.left(), adapter.center().y()), ink, 5);
    font(8.5, true);
    p.setPen(ink);
    p.drawText(QRectF(pc.right(), adapter.center().y() - 30, com.left() - pc.right(), 26), Qt::AlignCenter,
               QStringLiteral("USB"));
    font(11, true);
    p.drawText(QRectF(com.left(), com.bottom(), com.width(), adapter.top() - com.bottom()), Qt::AlignCenter,
               label("or"));

    // The DE-9 plug: both ways end in it, with the standard pin numbers of a PC serial port.
    const QRectF de9(470, 95, 190, 330);
    drawBox(de9, label("de9"), label("de9-sub"), 10);
    line(QPointF(com.right(), com.center().y()), QPointF(de9.left(), com.center().y()), ink, 3);
    line(QPointF(adapter.right(), adapter.center().y()), QPointF(de9.left(), adapter.center().y()), ink, 3);
    {
        // The plug seen from its pins: 1..5 above, 6..9 below; the three used pins filled.
        const qreal cx = de9.center().x(), top = 214, w5 = 120, w4 = 96, h = 52;
        QPainterPath shell;
        shell.moveTo(cx - w5 / 2 - 12, top);
        shell.lineTo(cx + w5 / 2 + 12, top);
        shell.lineTo(cx + w4 / 2 + 10, top + h);
        shell.lineTo(cx - w4 / 2 - 10, top + h);
        shell.closeSubpath();
        p.setPen(QPen(ink, 2));
        p.setBrush(Qt::white);
        p.drawPath(shell);
        font(6.5);
        for (int pin = 1; pin <= 9; ++pin) {
            const bool upper = pin <= 5;
            const qreal x = upper ? cx - w5 / 2 + (pin - 1) * (w5 / 4) : cx - w4 / 2 + 12 + (pin - 6) * ((w4 - 24) / 3);
            const qreal y = upper ? top + 15 : top + h - 15;
            const bool used = pin == 2 || pin == 3 || pin == 5;
            p.setPen(QPen(ink, 1.2));
            p.setBrush(used ? QBrush(pin == 3 ? wireTx : pin == 2 ? wireRx : wireGnd) : QBrush(Qt::white));
            p.drawEllipse(QPointF(x, y), 5, 5);
            p.setPen(Qt::black);
            p.drawText(QRectF(x - 10, upper ? y - 22 : y + 6, 20, 14), Qt::AlignCenter, QString::number(pin));
        }
    }

    // The controller: its service port by signal names only.
    const QRectF ctrl(760, 95, 220, 330);
    drawBox(ctrl, label("controller"), label("controller-sub") + QStringLiteral("\n\n") + label("controller-note"));

    // The three wires: the computer's TXD (pin 3) to the controller's RXD and back, GND to GND.
    struct Wire { QString from, to; qreal yFrom, yTo; QColor color; };
    const QString pin = label("pin");
    const Wire wires[] = {
        { QStringLiteral("TXD  ") + pin + QStringLiteral(" 3"), QStringLiteral("RXD"), 290, 330, wireTx },
        { QStringLiteral("RXD  ") + pin + QStringLiteral(" 2"), QStringLiteral("TXD"), 330, 290, wireRx },
        { QStringLiteral("GND  ") + pin + QStringLiteral(" 5"), QStringLiteral("GND"), 365, 365, wireGnd },
    };
    for (const Wire& w : wires) {
        const QPointF a(de9.right(), w.yFrom), b(ctrl.left(), w.yTo);
        QPainterPath path(a);
        path.cubicTo(QPointF(a.x() + 45, a.y()), QPointF(b.x() - 45, b.y()), b);
        p.setPen(QPen(w.color, 4, Qt::SolidLine, Qt::RoundCap));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
        p.setBrush(w.color);
        p.drawEllipse(a, 6, 6);
        p.drawEllipse(b, 6, 6);
        font(8.5, true);
        p.setPen(w.color);
        // The labels keep clear of the wire ends' dots (radius 6).
        p.drawText(QRectF(de9.right() - 134, w.yFrom - 12, 118, 24), Qt::AlignRight | Qt::AlignVCenter, w.from);
        p.drawText(QRectF(ctrl.left() + 16, w.yTo - 12, 90, 24), Qt::AlignLeft | Qt::AlignVCenter, w.to);
    }
    font(9);
    p.setPen(Qt::black);
    // The wires' colours tell the signals apart; the note says they are not the cable's.
    p.drawText(QRectF(20, 432, 960, 50), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
               label("cross") + QLatin1Char(' ') + label("colours"));

    // Line settings and notes.
    const QRectF notes(20, 488, 570, 167);
    p.setPen(QPen(ink, 1.5));
    p.setBrush(Qt::white);
    p.drawRect(notes);
    font(11, true);
    p.setPen(ink);
    QRectF head = p.boundingRect(notes.adjusted(12, 8, -12, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                                 label("settings-title"));
    p.drawText(head, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label("settings-title"));
    font(8.5);
    p.setPen(Qt::black);
    p.drawText(QRectF(notes.left() + 12, head.bottom() + 6, notes.width() - 24, notes.bottom() - head.bottom() - 10),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label("settings"));

    // The wireless alternative: a KESTConnect module on the same service port.
    const QRectF wifi(610, 488, 370, 167);
    p.setPen(QPen(ink, 1.5, Qt::DashLine));
    p.setBrush(Qt::NoBrush);
    p.drawRect(wifi);
    font(11, true);
    p.setPen(ink);
    head = p.boundingRect(wifi.adjusted(12, 8, -12, 0), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                          label("wireless-title"));
    p.drawText(head, Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label("wireless-title"));
    font(8.5);
    p.setPen(Qt::black);
    p.drawText(QRectF(wifi.left() + 12, head.bottom() + 6, wifi.width() - 24, wifi.bottom() - head.bottom() - 10),
               Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, label("wireless"));
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
    if (argc != 4) {
        std::fprintf(stderr, "usage: make-help-docs SOURCE_DIR DOCS_DIR PORT_IMAGES_DIR\n");
        return 2;
    }
    const QString src = QString::fromLocal8Bit(argv[1]), docs = QString::fromLocal8Bit(argv[2]),
                  images = QString::fromLocal8Bit(argv[3]);
    int failures = 0;
    for (const char* lang : kLanguages) {
        const QString code = QString::fromLatin1(lang).toUpper();
        bool ok = false;
        const QString manual = ReadText(src + QStringLiteral("/manual-%1.html").arg(QLatin1String(lang)), ok);
        if (!ok || !RenderManual(manual, images, docs + QStringLiteral("/Ferrovan-Kest (man-%1).pdf").arg(code))) {
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

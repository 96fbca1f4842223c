#include "gui/kit/resources.h"

#include <QFont>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QSvgRenderer>

static void InitMeruResources() { Q_INIT_RESOURCE(meru); }

namespace meru::res {

namespace {

QString SvgPath(int id) {
    switch (id) {
        case kIconMeru: return QStringLiteral(":/meru/icon_128.svg");
        case 140:
        case 141:
        case 174:
        case 176:
        case 180:
        case 181:
        case 135:
        case 197:  // bookmarks: "Dir", "Url"
            return QStringLiteral(":/meru/bitmap_%1.svg").arg(id);
        default: return {};
    }
}

QPixmap RenderSvg(const QString& path, QSize size) {
    static const bool once = (InitMeruResources(), true);
    (void)once;
    QSvgRenderer svg(path);
    if (!svg.isValid()) return {};
    if (size.isEmpty()) size = svg.defaultSize();
    QPixmap pm(size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    svg.render(&p);
    return pm;
}

// The tray picture: the program icon, with the number of the current
// clipboard entry in a badge when `digit` is 1..5.
QPixmap TrayPixmap(int side, int digit) {
    QPixmap pm = RenderSvg(SvgPath(kIconMeru), {side, side});
    if (digit <= 0) return pm;
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF badge(side * 0.42, side * 0.42, side * 0.58, side * 0.58);
    p.setPen(QPen(Qt::white, side / 16.0));
    p.setBrush(QColor(200, 40, 50));
    p.drawEllipse(badge);
    QFont f;
    f.setBold(true);
    f.setPixelSize(qMax(6, int(side * 0.46)));
    p.setFont(f);
    p.setPen(Qt::white);
    p.drawText(badge, Qt::AlignCenter, QString::number(digit));
    return pm;
}

// The button faces (bitmaps 130-196) and icon 151 (the question of a
// confirmation), drawn on a 32 x 32 grid scaled to `side`; an empty picture
// for a number that is none of them.
QPixmap Picture(int faceId, int side) {
    QPixmap pm(side, side);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(side / 32.0, side / 32.0);
    const QColor ink(50, 50, 60);
    const QColor paper(250, 250, 244);
    const QColor accent(200, 60, 50);
    const QColor blue(40, 90, 170);
    QPen pen(ink, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(pen);
    auto sheet = [&](QRectF r) {
        p.setBrush(paper);
        p.drawRect(r);
        p.setBrush(Qt::NoBrush);
    };
    auto question = [&](QRectF r, int pixels) {
        QFont f;
        f.setBold(true);
        f.setPixelSize(pixels);
        p.setFont(f);
        p.drawText(r, Qt::AlignCenter, QStringLiteral("?"));
    };
    switch (faceId) {
        case 130: {  // cut: scissors
            p.drawLine(QPointF(10, 4), QPointF(21, 20));
            p.drawLine(QPointF(22, 4), QPointF(11, 20));
            p.setBrush(Qt::NoBrush);
            p.setPen(QPen(accent, 2.4));
            p.drawEllipse(QPointF(9, 24), 4.5, 4.5);
            p.drawEllipse(QPointF(23, 24), 4.5, 4.5);
            break;
        }
        case 131:  // copy: two sheets
            sheet({4, 3, 16, 20});
            sheet({12, 9, 16, 20});
            break;
        case 132: {  // paste: clipboard with a sheet
            p.setBrush(QColor(170, 120, 60));
            p.drawRoundedRect(QRectF(5, 5, 20, 24), 2, 2);
            p.setBrush(paper);
            p.drawRect(QRectF(12, 11, 15, 18));
            p.setBrush(ink);
            p.drawRect(QRectF(11, 3, 8, 4));
            break;
        }
        case 133: {  // help: question mark
            p.setPen(QPen(blue, 2.4));
            p.setBrush(QColor(225, 235, 250));
            p.drawEllipse(QRectF(3, 3, 26, 26));
            question(QRectF(3, 3, 26, 26), 20);
            break;
        }
        case 138: {  // undo: curved arrow
            QPainterPath path;
            path.moveTo(24, 26);
            path.cubicTo(30, 14, 20, 6, 8, 12);
            p.setPen(QPen(blue, 2.6, Qt::SolidLine, Qt::RoundCap));
            p.drawPath(path);
            p.setBrush(blue);
            p.drawPolygon(QPolygonF({QPointF(3, 14), QPointF(12, 6), QPointF(12, 18)}));
            break;
        }
        case 139: {  // search: magnifier
            p.setPen(QPen(ink, 3));
            p.drawLine(QPointF(19, 19), QPointF(28, 28));
            p.setPen(QPen(ink, 2.4));
            p.setBrush(QColor(215, 235, 250));
            p.drawEllipse(QPointF(13, 13), 8.5, 8.5);
            break;
        }
        case 155:  // line: an underlined row
            p.setPen(QPen(ink, 3));
            p.drawLine(QPointF(3, 24), QPointF(29, 24));
            p.setPen(QPen(QColor(150, 150, 150), 1.5, Qt::DotLine));
            p.drawLine(QPointF(3, 14), QPointF(29, 14));
            break;
        case 156:  // clear: a sheet struck through
            sheet({7, 3, 18, 26});
            p.setPen(QPen(accent, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(5, 5), QPointF(27, 27));
            p.drawLine(QPointF(27, 5), QPointF(5, 27));
            break;
        case 159: {  // URL: globe
            p.setPen(QPen(blue, 2));
            p.setBrush(QColor(220, 238, 250));
            p.drawEllipse(QRectF(3, 3, 26, 26));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(10, 3, 12, 26));
            p.drawLine(QPointF(3, 16), QPointF(29, 16));
            p.drawLine(QPointF(16, 3), QPointF(16, 29));
            break;
        }
        case 162:  // mail: envelope
            p.setBrush(paper);
            p.drawRect(QRectF(3, 7, 26, 18));
            p.drawPolyline(QPolygonF({QPointF(3, 7), QPointF(16, 18), QPointF(29, 7)}));
            break;
        case 169:  // print: printer
            sheet({9, 3, 14, 10});
            p.setBrush(QColor(160, 160, 170));
            p.drawRoundedRect(QRectF(3, 12, 26, 12), 2, 2);
            sheet({9, 20, 14, 9});
            break;
        case 178:  // insert: arrow into the page
            p.setPen(QPen(QColor(40, 130, 60), 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(5, 16), QPointF(22, 16));
            p.setBrush(QColor(40, 130, 60));
            p.drawPolygon(QPolygonF({QPointF(28, 16), QPointF(19, 8), QPointF(19, 24)}));
            break;
        case 151: {  // a sheet with a red question mark
            p.setPen(QPen(QColor(60, 60, 70), 1.5));
            p.setBrush(QColor(252, 250, 240));
            p.drawRect(QRectF(5, 2, 22, 28));
            p.setPen(accent);
            question(QRectF(5, 2, 22, 28), 22);
            break;
        }
        case 196: {  // delete all: two sheets struck through
            sheet({3, 3, 16, 20});
            sheet({13, 9, 16, 20});
            p.setPen(QPen(accent, 3, Qt::SolidLine, Qt::RoundCap));
            p.drawLine(QPointF(4, 5), QPointF(28, 29));
            p.drawLine(QPointF(28, 5), QPointF(4, 29));
            break;
        }
        default: return {};
    }
    p.end();
    return pm;
}

QPixmap PatternTile() {
    // A quiet woven tile: warm grey with a lighter and a darker dot.
    QPixmap pm(8, 8);
    pm.fill(QColor(214, 210, 198));
    QPainter p(&pm);
    p.setPen(QColor(226, 223, 212));
    p.drawPoint(1, 1);
    p.drawPoint(5, 5);
    p.setPen(QColor(202, 197, 184));
    p.drawPoint(5, 1);
    p.drawPoint(1, 5);
    return pm;
}

}  // namespace

QIcon Icon(int id) {
    // Drawn once per run: every window carries the program icon, and the
    // clipboard window changes the tray icon at every capture. Never freed,
    // so no picture outlives the application object at exit.
    static auto* const drawn = new QHash<int, QIcon>;
    if (auto it = drawn->constFind(id); it != drawn->constEnd()) return *it;
    QIcon icon;
    if (id == kIconMeru) {
        for (int side : {16, 22, 24, 32, 48, 64, 128})
            icon.addPixmap(RenderSvg(SvgPath(id), {side, side}));
    } else if (id == kIconTray || (id >= kIconTrayFirstDigit && id < kIconTrayFirstDigit + 5)) {
        const int digit = id == kIconTray ? 0 : id - kIconTrayFirstDigit + 1;
        for (int side : {16, 22, 24, 32, 48, 64}) icon.addPixmap(TrayPixmap(side, digit));
    } else if (QPixmap face = Picture(id, 32); !face.isNull()) {
        // One size: the buttons and the question are never larger, and a
        // smaller one is scaled from it.
        icon.addPixmap(face);
    }
    drawn->insert(id, icon);
    return icon;
}

QPixmap Bitmap(int id, QSize size) {
    if (id == kBitmapPattern) return PatternTile();
    const QString path = SvgPath(id);
    return path.isEmpty() ? QPixmap() : RenderSvg(path, size);
}

QBrush PatternBrush() {
    static const QPixmap tile = PatternTile();
    return QBrush(tile);
}

}  // namespace meru::res

#include "gui/kit/resources.h"

#include <QFont>
#include <QHash>
#include <QPainter>
#include <QString>
#include <QSvgRenderer>

static void InitMeruResources() { Q_INIT_RESOURCE(meru); }

namespace meru::res {

namespace {

QString SvgPath(int id) {
    switch (id) {
        case kIconMeru: return QStringLiteral(":/meru/icon_128.svg");
        case 140: case 141: case 174: case 176: case 180: case 181:
        case 131: case 135: case 156: case 197:
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
        for (int side : {16, 22, 24, 32, 48, 64})
            icon.addPixmap(TrayPixmap(side, digit));
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

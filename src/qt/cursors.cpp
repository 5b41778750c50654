#include "cursors.h"

#include "component/korvane.h"

#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPixmap>

#include <array>

namespace kestrum::qt {

namespace {

constexpr int kSize = 32;
constexpr QPointF kCentre(kSize / 2.0, kSize / 2.0);

// Screen angles (clockwise from +x) in the order of the component's eight directions: left,
// up, right, down, left-up, right-up, right-down, left-down.
constexpr std::array<qreal, 8> kDirection = {180, 270, 0, 90, 225, 315, 45, 135};

// An arrow along +x: the shaft runs from `tail` to `neck`, the head from `neck` to `tip`;
// `shaft` and `head` are half widths.
struct ArrowShape {
    qreal tail, neck, tip, shaft, head;
};

constexpr ArrowShape kZoneArrow{-12, 3, 14, 3.5, 9};
constexpr ArrowShape kPanArrow{5, 9, 15, 2, 6}; // starts clear of the dot at the press point
constexpr ArrowShape kMoveArrow{4, 9, 14, 1.25, 4.5};

QTransform placed(QPointF origin, qreal degrees) {
    return QTransform().translate(origin.x(), origin.y()).rotate(degrees);
}

QPainterPath arrow(QPointF origin, qreal degrees, const ArrowShape& a) {
    QPainterPath path;
    path.addPolygon(QPolygonF({{a.tip, 0},
                               {a.neck, -a.head},
                               {a.neck, -a.shaft},
                               {a.tail, -a.shaft},
                               {a.tail, a.shaft},
                               {a.neck, a.shaft},
                               {a.neck, a.head}}));
    path.closeSubpath();
    return placed(origin, degrees).map(path);
}

QPainterPath stroked(const QPainterPath& line, qreal width) {
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line);
}

QPainterPath line(QPointF from, QPointF to) {
    QPainterPath path(from);
    path.lineTo(to);
    return path;
}

// Black inside a white rim, so that the shape stands out on dark and light maps alike.
void drawOutlined(QPainter& p, const QPainterPath& shape) {
    p.setPen(QPen(Qt::white, 3, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::white);
    p.drawPath(shape);
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::black);
    p.drawPath(shape);
}

template <class Draw> QCursor drawn(QPoint hotSpot, Draw draw) {
    QPixmap pixmap(kSize, kSize);
    pixmap.fill(Qt::transparent);
    {
        QPainter p(&pixmap);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
    }
    return QCursor(pixmap, hotSpot.x(), hotSpot.y());
}

QCursor zoneCursor(qreal degrees) {
    const QPoint tip = placed(kCentre, degrees).map(QPointF(kZoneArrow.tip, 0)).toPoint();
    return drawn(tip, [&](QPainter& p) { drawOutlined(p, arrow(kCentre, degrees, kZoneArrow)); });
}

QCursor panCursor(qreal degrees) {
    return drawn(kCentre.toPoint(), [&](QPainter& p) {
        QPainterPath dot;
        dot.addEllipse(kCentre, 3.5, 3.5);
        drawOutlined(p, dot);
        drawOutlined(p, arrow(kCentre, degrees, kPanArrow));
    });
}

QCursor lensCursor() {
    const QPointF lens(12, 12);
    return drawn(lens.toPoint(), [&](QPainter& p) {
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 110)); // the glass: the map shows through, lightened
        p.drawEllipse(lens, 8, 8);
        QPainterPath ring;
        ring.addEllipse(lens, 8, 8);
        drawOutlined(p, stroked(ring, 2.5).united(stroked(line({18, 18}, {27, 27}), 4.5)));
    });
}

QCursor rotateCursor() {
    QPainterPath arc;
    const QRectF circle(kCentre - QPointF(9, 9), QSizeF(18, 18));
    arc.arcMoveTo(circle, 60);
    arc.arcTo(circle, 60, -285); // clockwise, leaving a gap at the top for the head
    // The path's angles turn counter-clockwise, screen rotations clockwise.
    const QPainterPath head = arrow(arc.pointAtPercent(1), -arc.angleAtPercent(1), {-1, 0, 6, 1.25, 5});
    return drawn(kCentre.toPoint(), [&](QPainter& p) { drawOutlined(p, stroked(arc, 2.5).united(head)); });
}

QCursor movePixelCursor() {
    return drawn(kCentre.toPoint(), [](QPainter& p) {
        QPainterPath shape;
        shape.addRect(QRectF(kCentre - QPointF(3, 3), QSizeF(6, 6)));
        for (qreal degrees : {0, 90, 180, 270})
            shape = shape.united(arrow(kCentre, degrees, kMoveArrow));
        drawOutlined(p, shape);
    });
}

QCursor eyeDropperCursor() {
    const QPointF tip(3, 28);
    return drawn(tip.toPoint(), [&](QPainter& p) {
        QPainterPath bulb;
        bulb.addEllipse(QPointF(24, 8), 4.5, 4.5);
        const QPainterPath shape = stroked(line(tip, {8, 23}), 2)
                                       .united(stroked(line({8, 23}, {20, 11}), 5))
                                       .united(stroked(line({16.5, 9.5}, {21.5, 14.5}), 3)) // the collar
                                       .united(bulb);
        drawOutlined(p, shape);
    });
}

constexpr int kFirst = crZoneLeft;
constexpr int kLast = crHand;

std::array<QCursor, kLast - kFirst + 1> makeCursors() {
    std::array<QCursor, kLast - kFirst + 1> all;
    for (int i = 0; i < 8; ++i) {
        all[crZoneLeft + i - kFirst] = zoneCursor(kDirection[i]);
        all[crScrollLeft + i - kFirst] = panCursor(kDirection[i]);
    }
    all[crLinza - kFirst] = lensCursor();
    all[crRotate - kFirst] = rotateCursor();
    all[crMovePixel - kFirst] = movePixelCursor();
    all[crEyeDropper - kFirst] = eyeDropperCursor();
    all[crHand - kFirst] = QCursor(Qt::OpenHandCursor);
    return all;
}

} // namespace

QCursor cursorFor(int cursor) {
    if (cursor < kFirst || cursor > kLast) return Qt::ArrowCursor;
    // Never destroyed: in the plug-in the host may have destroyed its application object before
    // static destructors run, and pixmaps must not outlive it.
    static const auto* const cursors = new std::array<QCursor, kLast - kFirst + 1>(makeCursors());
    return (*cursors)[cursor - kFirst];
}

} // namespace kestrum::qt

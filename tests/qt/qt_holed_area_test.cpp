// An area with holes through the Qt back end, on our own back buffer (the scan converter) and
// on a window (the painter), plain and smoothed: the holes bare, every ring outlined, no seam.

#include "headless.h"
#include "qt_draw_object.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <vector>

using namespace kestrum;

namespace {

constexpr int32_t kFill = rgbColor(0, 140, 0);

// A forest (10, 10)-(130, 130) with a lake (40, 40)-(80, 80) and a pond (90, 90)-(120, 110).
void drawForest(TDrawObject& d) {
    d.Pen = {rgbColor(0, 0, 0), 1, psSolid, false, false, pmCopy};
    d.Brush = {kFill, bsSolid, nullptr};
    const std::vector<TPoint> pts = {{10, 10}, {130, 10}, {130, 130}, {10, 130}, {40, 40}, {80, 40},
                                     {80, 80}, {40, 80},  {90, 90},   {120, 90}, {120, 110}, {90, 110}};
    const std::vector<uint32_t> rings = {4, 4, 4};
    d.DrawPolyPolygon(pts, rings);
}

struct Drawn {
    TImage own;
    QImage window;
};

Drawn drawBoth(bool smooth) {
    static const auto app = qt::makeHeadlessApplication();
    auto setUp = [&](TDrawObject& d) {
        d.SetGDIPlus(smooth);
        d.SetSmoothing(smooth ? qevSmoothingModeAntiAlias : qevSmoothingModeHighSpeed);
    };
    qt::QtDrawObject own;
    setUp(own);
    Drawn out{TImage(150, 150, 0xFFFFFFFFu), QImage(150, 150, QImage::Format_RGB32)};
    own.SetCanvas(&out.own);
    drawForest(own);
    own.SetCanvas(nullptr);

    qt::QtDrawObject window;
    setUp(window);
    out.window.fill(Qt::white);
    QPainter painter(&out.window);
    window.bindPainter(&painter);
    drawForest(window);
    window.bindPainter(nullptr);
    painter.end();
    return out;
}

int32_t colorAt(const QImage& img, int x, int y) {
    const QRgb c = img.pixel(x, y);
    return rgbColor(qRed(c), qGreen(c), qBlue(c));
}

int darkness(int32_t c) { return 765 - redOf(c) - greenOf(c) - blueOf(c); }

} // namespace

TEST(QtHoledArea, PlainOwnDrawingMatchesThePainterOnAWindow) {
    const Drawn d = drawBoth(false);
    int differ = 0;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 150; ++x) differ += d.own.colorAt(x, y) != colorAt(d.window, x, y);
    EXPECT_EQ(differ, 0);
    EXPECT_EQ(d.own.colorAt(60, 60), 0xFFFFFF) << "the lake";
    EXPECT_EQ(d.own.colorAt(40, 60), 0) << "its shore";
    EXPECT_EQ(d.own.colorAt(25, 25), kFill) << "the connector leaves no line";
}

TEST(QtHoledArea, SmoothBothWaysLeaveTheHolesBareAndNoSeam) {
    const Drawn d = drawBoth(true);
    auto at = [&](bool own, int x, int y) { return own ? d.own.colorAt(x, y) : colorAt(d.window, x, y); };
    for (const bool own : {true, false}) {
        const char* where = own ? "own" : "window";
        EXPECT_EQ(at(own, 60, 60), 0xFFFFFF) << where << ": the lake";
        EXPECT_EQ(at(own, 105, 100), 0xFFFFFF) << where << ": the pond";
        EXPECT_EQ(at(own, 25, 60), kFill) << where;
        for (int k = 15; k < 36; k += 3) {
            EXPECT_EQ(at(own, k, k), kFill) << where << ": along the connector at " << k;
            EXPECT_EQ(at(own, k + 1, k), kFill) << where << ": beside the connector at " << k;
        }
        // Each ring's smoothed outline darkens the pixels at its edge.
        EXPECT_GT(darkness(at(own, 39, 60)) + darkness(at(own, 40, 60)), darkness(kFill) + 200) << where;
        EXPECT_GT(darkness(at(own, 104, 109)) + darkness(at(own, 104, 110)), 300) << where;
    }
}

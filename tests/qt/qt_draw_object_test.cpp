// The plain back end draws on our own back buffer through the scan converter and glyph masks,
// and on a window through the painter: for level and upright shapes, hatches, dashes and
// captions both must give the same pixels. (Along slanted edges the two may settle a pixel
// whose centre lies exactly on the edge differently, and slanted one-pixel lines may step at
// other columns.)

#include "headless.h"
#include "model/codepage.h"
#include "qt_draw_object.h"

#include <QImage>
#include <QPainter>
#include <gtest/gtest.h>

#include <utility>
#include <vector>

using namespace kestrum;

namespace {

void drawHouseNumbers(TDrawObject& d);

void drawScene(TDrawObject& d) {
    d.Pen = {rgbColor(0, 0, 128), 1, psSolid, false, false, pmCopy};
    d.Brush = {rgbColor(200, 40, 40), bsSolid, nullptr};
    d.DrawPolygon(std::vector<TPoint>{{10, 10}, {150, 10}, {150, 60}, {100, 60}, {100, 100}, {10, 100}});
    d.Brush = {rgbColor(0, 120, 0), bsDiagCross, nullptr};
    d.Pen.Style = psClear;
    d.DrawPolygon(std::vector<TPoint>{{60, 5}, {170, 5}, {170, 70}, {60, 70}});
    for (TPenStyle style : {psDash, psDot, psDashDot, psDashDotDot}) {
        d.Pen = {rgbColor(90, 60, 0), 1, style, false, false, pmCopy};
        const int y = 80 + 8 * style;
        d.DrawPolyline(std::vector<TPoint>{{5, y}, {90, y}, {90, y + 20}, {170 - 3 * style, y + 20}});
    }
    for (const int x : {3, 7, 11}) d.DrawEllipse(x, 3, x, 3); // point objects' marks
    d.TextFace = "Arial";
    d.TextHeight = 15;
    d.TextBold = true;
    d.TextColor = rgbColor(255, 255, 0);
    d.Brush = {rgbColor(0, 0, 0), bsSolid, nullptr};
    d.DrawText(30, 120, false, fromUtf8(CodePage::Cp1251, "Почта 12"), 0);
    d.Brush.Style = bsClear;
    d.TextColor = rgbColor(0, 0, 255);
    d.DrawText(100, 40, false, fromUtf8(CodePage::Cp1251, "Аптека"), 0);
    drawHouseNumbers(d);
}

// House numbers: white halos under dark letters, over a fill, partly clipped by the canvas.
void drawHouseNumbers(TDrawObject& d) {
    d.Brush = {rgbColor(30, 90, 160), bsSolid, nullptr};
    d.Pen.Style = psClear;
    d.DrawPolygon(std::vector<TPoint>{{0, 130}, {180, 130}, {180, 150}, {0, 150}});
    d.TextFace = "Arial";
    d.TextHeight = 14;
    d.TextBold = true;
    d.TextColor = rgbColor(20, 20, 20);
    d.Brush = {rgbColor(255, 255, 255), bsCross, nullptr};
    d.DrawText(60, 128, true, "17/2", 0);
    d.DrawText(160, 140, true, "250", 0);
    // An icon with a keyed-out colour, half over the fill and half over white.
    static const TImage icon = [] {
        TImage i(12, 12, 0xFF00FFFFu);
        for (int y = 2; y < 10; ++y)
            for (int x = 2; x < 10; ++x) i.row(y)[x] = (x + y) % 3 ? 0xFFC02020u : 0xFF202080u;
        i.Transparent = true;
        i.TransparentColor = 0x00FFFF00;
        return i;
    }();
    d.DrawGraphic(120, 124, &icon);
}

// The same drawing on our own back buffer and, through the painter, on a window.
std::pair<TImage, QImage> drawBoth(void (*scene)(TDrawObject&), bool smooth, uint8_t opacity) {
    auto setUp = [&](TDrawObject& d) {
        d.SetGDIPlus(smooth);
        d.Opacity = opacity;
    };
    qt::QtDrawObject own;
    setUp(own);
    TImage buffer(180, 150, 0xFFFFFFFFu);
    own.SetCanvas(&buffer);
    scene(own);
    own.SetCanvas(nullptr);

    qt::QtDrawObject window;
    setUp(window);
    QImage shown(180, 150, QImage::Format_RGB32);
    shown.fill(Qt::white);
    QPainter painter(&shown);
    window.bindPainter(&painter);
    scene(window);
    window.bindPainter(nullptr);
    painter.end();
    return {std::move(buffer), std::move(shown)};
}

int differences(const TImage& a, const QImage& b) {
    int differ = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) differ += (a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF);
    return differ;
}

} // namespace

TEST(QtDrawObject, OwnDrawingMatchesThePainterOnAWindow) {
    static const auto app = qt::makeHeadlessApplication();
    const auto [buffer, shown] = drawBoth(drawScene, false, 255);
    EXPECT_EQ(differences(buffer, shown), 0);
}

// Haloed labels and icons are pictures copied onto our buffer by our own compositing, and by
// the painter onto a window; translucent labels are a halo picture and a letters picture.
TEST(QtDrawObject, CopiedLabelPicturesMatchThePainter) {
    static const auto app = qt::makeHeadlessApplication();
    for (const uint8_t opacity : {uint8_t{255}, uint8_t{140}}) {
        const auto [buffer, shown] = drawBoth(drawHouseNumbers, true, opacity);
        EXPECT_EQ(differences(buffer, shown), 0) << "opacity " << int(opacity);
        int touched = 0; // the labels did land on the fill
        for (int y = 132; y < 146; ++y)
            for (int x = 50; x < 110; ++x) touched += (buffer.pixel(x, y) & 0xFFFFFF) != (shown.pixel(5, 145) & 0xFFFFFF);
        EXPECT_GT(touched, 5) << "opacity " << int(opacity);
    }
}

// The scan converter's hatches come from a table of the core's: hatched fills on a window,
// drawn by the painter's own brushes, must lay the same pixels.
TEST(QtDrawObject, PainterHatchesAreTheCoresTable) {
    static const auto app = qt::makeHeadlessApplication();
    const std::pair<TBrushStyle, Qt::BrushStyle> styles[] = {
        {bsHorizontal, Qt::HorPattern}, {bsVertical, Qt::VerPattern},  {bsFDiagonal, Qt::FDiagPattern},
        {bsBDiagonal, Qt::BDiagPattern}, {bsCross, Qt::CrossPattern}, {bsDiagCross, Qt::DiagCrossPattern}};
    for (const auto& [ours, painters] : styles) {
        QImage tile(8, 8, QImage::Format_RGB32);
        tile.fill(Qt::white);
        QPainter p(&tile);
        p.fillRect(0, 0, 8, 8, QBrush(Qt::black, painters));
        p.end();
        const auto& pattern = TRasterDrawObject::HatchPattern(ours);
        for (int y = 0; y < 8; ++y)
            for (int x = 0; x < 8; ++x)
                EXPECT_EQ(qRed(tile.pixel(x, y)) < 128, ((pattern[std::size_t(y)] >> x) & 1u) != 0)
                    << "style " << int(ours) << " at " << x << "," << y;
    }
}

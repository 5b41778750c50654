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

#include <vector>

using namespace kestrum;

namespace {

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
    d.TextFace = "Arial";
    d.TextHeight = 15;
    d.TextBold = true;
    d.TextColor = rgbColor(255, 255, 0);
    d.Brush = {rgbColor(0, 0, 0), bsSolid, nullptr};
    d.DrawText(30, 120, false, fromUtf8(CodePage::Cp1251, "Почта 12"), 0);
    d.Brush.Style = bsClear;
    d.TextColor = rgbColor(0, 0, 255);
    d.DrawText(100, 40, false, fromUtf8(CodePage::Cp1251, "Аптека"), 0);
}

} // namespace

TEST(QtDrawObject, OwnDrawingMatchesThePainterOnAWindow) {
    static const auto app = qt::makeHeadlessApplication();
    qt::QtDrawObject own;
    TImage buffer(180, 150, 0xFFFFFFFFu);
    own.SetCanvas(&buffer);
    drawScene(own);
    own.SetCanvas(nullptr);

    qt::QtDrawObject window;
    QImage shown(180, 150, QImage::Format_RGB32);
    shown.fill(Qt::white);
    QPainter painter(&shown);
    window.bindPainter(&painter);
    drawScene(window);
    window.bindPainter(nullptr);
    painter.end();

    int differ = 0;
    for (int y = 0; y < 150; ++y)
        for (int x = 0; x < 180; ++x) differ += (buffer.pixel(x, y) & 0xFFFFFF) != (shown.pixel(x, y) & 0xFFFFFF);
    EXPECT_EQ(differ, 0);
}

// Drawing of single objects: what each kind sends to the back end, and the pictures of bitmaps.

#include "qt_image_decoder.h"
#include "support/draw_map.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace kestrum;

namespace {

using Fixture = test::DrawMap;

TQEVMapObjectMem shape(TObjectKind kind, PointArray pts, TQEVMapPen pen = {0, 0, 0, 0}, TQEVMapBrush brush = {0xFFFFFF, 0}) {
    TQEVMapObjectMem o;
    o.Kind = kind;
    o.Pen = pen;
    o.Brush = brush;
    o.setPoints(std::move(pts));
    return o;
}

std::vector<uint8_t> encoded(const QImage& img, const char* format) {
    QByteArray bytes;
    QBuffer buf(&bytes);
    buf.open(QIODevice::WriteOnly);
    img.save(&buf, format, 95);
    return {bytes.begin(), bytes.end()};
}

} // namespace

TEST(ObjectDrawing, BorderedLineDrawsItsCasingFirst) {
    Fixture f;
    f.add(shape(cLine, {{10, 10}, {150, 10}}, {rgbColor(1, 2, 3), 0, 4, kPenBorder}, {rgbColor(9, 9, 9), 0}));
    f.redraw();
    const auto lines = f.calls("polyline");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pen.Color, rgbColor(9, 9, 9)); // casing in the brush colour, 3 px wider
    EXPECT_EQ(lines[0].pen.Width, 4 + 3);
    EXPECT_EQ(lines[1].pen.Color, rgbColor(1, 2, 3));
    EXPECT_EQ(lines[1].pen.Width, 4);
}

TEST(ObjectDrawing, RailroadAtWidthZeroIsFiveAndThreePixels) {
    Fixture f;
    f.map.OnPaintPolyLineEvent = [](const TQEVMapObjectMem&, tQevLine& style, std::span<TPoint>) {
        style = qevLineRailRoad;
    };
    f.add(shape(cLine, {{10, 10}, {150, 10}}, {rgbColor(0, 0, 0), 0, 0, 0}, {0xFFFFFF, 0}));
    f.redraw();
    const auto lines = f.calls("polyline");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].pen.Width, 5);
    EXPECT_EQ(lines[0].pen.Color, 0);
    EXPECT_EQ(lines[1].pen.Width, 3);
    EXPECT_EQ(lines[1].pen.Style, psDash);
    EXPECT_EQ(lines[1].pen.Color, 0xFFFFFF);
}

TEST(ObjectDrawing, TextsBelowFivePixelsAreNotDrawn) {
    Fixture f;
    TQEVMapObjectMem t;
    t.Kind = cText;
    t.setText({10, 10, 0, 0, 4.4f, "abc"});
    f.add(std::move(t));
    f.map.Options.ObjectView(0);
    f.redraw();
    EXPECT_TRUE(f.calls("text").empty());
    f.map.Objects()[0].setText({10, 10, 0, 0, 4.6f, "abc"});
    f.redraw();
    ASSERT_EQ(f.calls("text").size(), 1u);
    EXPECT_EQ(f.calls("text")[0].text, "abc");
}

TEST(ObjectDrawing, PixelLinesAreWalkedPixelByPixelInsideTheWindow) {
    Fixture f;
    std::vector<std::pair<TPoint, int>> pixels;
    f.map.OnPixelLineEvent = [&](const TQEVMapObjectMem&, int x, int y, int n, double koef, TDrawObject&) {
        EXPECT_EQ(koef, 1.0);
        pixels.push_back({{x, y}, n});
    };
    // Runs from far outside the left edge to x = 20: only the visible part is walked.
    f.add(shape(cLine, {{-500, 30}, {20, 30}, {20, 40}}, {0, 0, 0, kPenPixelLine}));
    f.redraw();
    // All flag bits set include the border bit, so the second pass walks the line once more.
    ASSERT_EQ(pixels.size(), 2 * (20u + 10u));
    EXPECT_EQ(pixels.front().first, (TPoint{0, 30}));
    EXPECT_EQ(pixels[19].first, (TPoint{19, 30})); // the segment's last pixel is not visited
    EXPECT_EQ(pixels[20].first, (TPoint{20, 30}));
    EXPECT_EQ(pixels[20].second, 0); // numbering starts again for each segment
    EXPECT_TRUE(f.calls("polyline").empty());
}

TEST(ObjectDrawing, HouseNumberMovesIntoAConcaveBuildingAndPicksAReadableColour) {
    Fixture f;
    f.map.Options.mpNumberDom(true);
    f.map.Options.MinScaleAddress(4);
    f.map.StreetCodeOf("MAIN");
    // A U opening upwards: the centre of its box lies in the empty middle.
    TQEVMapObjectMem u = shape(cPolygon, {{20, 20}, {40, 20}, {40, 80}, {80, 80}, {80, 20}, {100, 20}, {100, 100}, {20, 100}},
                               {0, 0, 0, 0}, {rgbColor(200, 100, 50), 0});
    TAddressCode code;
    code.StreetCode = 0;
    code.House.assign("12");
    u.setAddress(code);
    f.add(std::move(u));
    f.redraw();
    const auto texts = f.calls("text");
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, "12");
    // Grid points in both arms and the bottom lie equally near the centre: the first row wins,
    // which puts the label in the left arm.
    EXPECT_LT(texts[0].points[0].X + 8, 40);
    EXPECT_NEAR(texts[0].points[0].Y + 7, 54, 2);
    EXPECT_TRUE(texts[0].halo);

    int32_t font = -1;
    f.map.OnPaintAddress = [&](int&, int&, int32_t, int32_t& fontColor, int32_t&, int32_t&) { font = fontColor; };
    f.redraw();
    EXPECT_EQ(font, 0); // (200, 100, 50): bright enough for black
    f.map.Objects()[0].Brush.Color = rgbColor(100, 100, 100);
    f.redraw();
    EXPECT_EQ(font, 0xFFFFFF);
}

TEST(ObjectDrawing, VertexMarksAreInvertedSquaresWhileLinesAreBeingDrawn) {
    Fixture f(Fixture::Pixels);
    f.add(shape(cLine, {{50, 50}, {150, 50}}));
    f.map.Options.ShowPointsObject(true);
    EXPECT_EQ(f.redraw().colorAt(48, 52), 0xFFFFFF); // not with the picking tool
    f.map.Instrument(iLine);
    const TImage& img = f.redraw();
    // White over white turns black on the frame; red over white turns cyan inside; every pixel once.
    for (int i = 46; i <= 53; ++i) {
        EXPECT_EQ(img.colorAt(i, 46), 0) << i;
        EXPECT_EQ(img.colorAt(i, 53), 0) << i;
        EXPECT_EQ(img.colorAt(46, i), 0) << i;
        EXPECT_EQ(img.colorAt(53, i), i == 50 ? 0xFFFFFF : 0) << i; // the line's black, inverted
    }
    EXPECT_EQ(img.colorAt(48, 52), rgbColor(0, 255, 255));
    EXPECT_EQ(img.colorAt(52, 48), rgbColor(0, 255, 255));
    EXPECT_EQ(img.colorAt(45, 48), 0xFFFFFF);
    EXPECT_EQ(img.colorAt(48, 54), 0xFFFFFF);
}

TEST(ObjectDrawing, LargePolygonsStayFlatInThreeD) {
    Fixture f;
    f.map.Options.View3D(true);
    f.map.Options.MinScale3D(1);
    PointArray ring;
    for (int i = 0; i < 501; ++i) {
        const double a = i * 2 * 3.14159265 / 501;
        ring.push_back({float(100 + 200 * std::cos(a)), float(75 + 200 * std::sin(a))}); // no two on one pixel
    }
    TQEVMapObjectMem big = shape(cPolygon, ring);
    big.Height = 10;
    f.add(std::move(big));
    TQEVMapObjectMem small = shape(cPolygon, {{10, 10}, {30, 10}, {30, 30}, {10, 30}});
    small.Height = 10;
    f.add(std::move(small));
    f.redraw();
    // 1 flat polygon for the big one; 4 walls and a roof for the small one.
    EXPECT_EQ(f.calls("polygon").size(), 1u + 5u);
}

TEST(ObjectDrawing, PicturesAreDecodedAtTheScaleTheyAreShownAt) {
    EXPECT_EQ(jpegScaleFor(1.0 / 3), 2);
    EXPECT_EQ(jpegScaleFor(0.6), 1);
    EXPECT_EQ(jpegScaleFor(0.2), 4);
    EXPECT_EQ(jpegScaleFor(0.1), 8);

    static const auto app = qt::makeHeadlessApplication();
    QImage src(64, 32, QImage::Format_RGB32);
    src.fill(QColor(200, 30, 30));
    const auto jpeg = encoded(src, "JPG");
    TImage out;
    ASSERT_TRUE(decodeJpeg(jpeg, 2, out));
    EXPECT_EQ(out.width(), 32);
    EXPECT_EQ(out.height(), 16);
    std::vector<uint8_t> garbage(jpeg.begin(), jpeg.begin() + 40);
    EXPECT_FALSE(decodeJpeg(garbage, 1, out));
    EXPECT_TRUE(out.empty());
}

TEST(ObjectDrawing, BitmapsShowTheirPictureOrAPlaceholder) {
    qt::QtImageDecoder decoder;
    Fixture f(Fixture::Pixels);
    f.map.SetImageDecoder(&decoder);

    QImage picture(40, 40, QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 40; ++x) picture.setPixelColor(x, y, QColor(0, 255, 0)); // keyed out below
    auto bitmapAt = [&](float x, const std::vector<uint8_t>& bytes, uint8_t format) {
        TQEVMapObjectMem o;
        o.Kind = cBitmap;
        TQEVMapBitmap b;
        b.Corners = {TMapPoint{x, 10}, {x + 40, 10}, {x + 40, 50}, {x, 50}};
        b.ImageFormat = format;
        b.Transparent = 1;
        b.TransparentColor = rgbColor(0, 255, 0);
        b.ImageData = bytes;
        o.setBitmap(std::move(b));
        f.add(std::move(o));
    };
    bitmapAt(10, encoded(picture, "BMP"), 0);
    bitmapAt(80, {}, 0);
    bitmapAt(140, encoded(picture, "JPG"), 1);
    const TImage& img = f.redraw();
    EXPECT_EQ(img.colorAt(30, 40), rgbColor(0, 0, 255));
    EXPECT_EQ(img.colorAt(49, 49), rgbColor(0, 0, 255)); // the picture fills its corners' box,
    EXPECT_EQ(img.colorAt(50, 45), 0xFFFFFF);            // and not a pixel more
    EXPECT_EQ(img.colorAt(30, 50), 0xFFFFFF);
    EXPECT_EQ(img.colorAt(30, 20), 0xFFFFFF); // the transparent colour shows the background
    const int32_t jpegTop = img.colorAt(160, 20);
    EXPECT_GT(greenOf(jpegTop), 200); // JPEG pictures are opaque: the key colour stays
    int placeholder = 0;
    for (int x = 80; x <= 120; ++x) placeholder += img.colorAt(x, x - 70) != 0xFFFFFF;
    EXPECT_EQ(placeholder, 0); // the placeholder is drawn in white on white: nothing else there

    // Edited in place, in the same buffer and at the same length: the new picture shows, and so
    // does a change of transparency.
    TQEVMapBitmap& first = *f.map.Objects()[0].bitmap();
    picture.fill(QColor(255, 0, 0));
    const auto red = encoded(picture, "BMP");
    ASSERT_EQ(red.size(), first.ImageData.size());
    std::copy(red.begin(), red.end(), first.ImageData.begin());
    first.TransparentColor = rgbColor(255, 0, 0);
    EXPECT_EQ(f.redraw().colorAt(30, 40), 0xFFFFFF);
    first.Transparent = 0;
    EXPECT_EQ(f.redraw().colorAt(30, 40), rgbColor(255, 0, 0));
}

// The core's own back end with a fake platform: what the scan converter draws itself and what
// it hands over, the converter's queue drawn before every hook, the letters and pictures the
// platform supplies laid in the right layers, and the plain mode ignoring opacity.

#include "render/raster_draw_object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrum;

namespace {

constexpr uint32_t kWhite = 0xFFFFFFFFu;
constexpr int32_t kRed = 0x0000FF, kBlue = 0xFF0000;
constexpr uint32_t kRedPixel = 0xFFFF0000u, kBluePixel = 0xFF0000FFu;

struct Call {
    std::string op;
    bool withBrush = false;
    uint32_t pixelAtHook = 0; // of the canvas at (probeX, probeY) when the hook ran
    TTextLayer layer = TTextLayer::Whole;
};

class FakePlatform final : public TRasterDrawObject {
  public:
    std::vector<Call> calls;
    TImage* canvas = nullptr;
    int probeX = 0, probeY = 0;
    // Text pictures: a green 3 x 2 one of all or the halo, a black pixel of the letters inside
    // it; a 4 x 4 coverage mask of letters.
    std::vector<uint32_t> picture = std::vector<uint32_t>(6, 0xFF00FF00u);
    uint32_t letters = 0xFF000000u;
    std::vector<uint8_t> mask = std::vector<uint8_t>(16, 255);

    void external(bool on) { setExternalTarget(on); }
    std::vector<std::string> ops() const {
        std::vector<std::string> out;
        for (const Call& c : calls) out.push_back(c.op);
        return out;
    }

  private:
    Call& record(std::string op, bool withBrush = false) {
        const uint32_t p = canvas && !canvas->empty() ? canvas->pixel(probeX, probeY) : 0;
        calls.push_back({std::move(op), withBrush, p});
        return calls.back();
    }
    void platformCanvas(TImage* target) override { canvas = target; }
    void platformClip(std::optional<TRect>) override {}
    void platformPolygon(std::span<const TPoint>, bool withBrush) override { record("polygon", withBrush); }
    void platformPolyPolygon(std::span<const TPoint>, std::span<const uint32_t> rings, bool withBrush) override {
        record("polyPolygon:" + std::to_string(rings.size()), withBrush);
    }
    void platformPolyline(std::span<const TPoint>) override { record("polyline"); }
    void platformPolyBezier(std::span<const TPoint>) override { record("bezier"); }
    void platformClosedBezier(std::span<const TPoint>, bool withBrush) override { record("closedBezier", withBrush); }
    void platformEllipse(int32_t, int32_t, int32_t, int32_t) override { record("ellipse"); }
    void platformText(int32_t, int32_t, bool halo, std::string_view, int32_t) override {
        record(halo ? "text+halo" : "text");
    }
    TPixels textPicture(std::string_view, TTextLayer layer) override {
        record("textPicture").layer = layer;
        if (layer == TTextLayer::Letters) return {&letters, 1, 1, 1, {2, 2}};
        return {picture.data(), 3, 2, 3, {1, 1}};
    }
    TGlyphMask glyphMask(std::string_view) override {
        record("glyphMask");
        return {mask.data(), 4, 4, 4, {0, 0}, 0.0, 8.0, 6.0};
    }
    TPixels picturePixels(const TImage& image) override {
        record("picturePixels");
        return {image.data(), image.width(), image.height(), std::size_t(image.width()), {}};
    }
    void platformPixels(int32_t, int32_t, const TPixels&) override { record("pixels"); }
    void platformGraphic(int32_t, int32_t, const TImage&) override { record("graphic"); }
    void platformBitmapInRect(TRect, const TImage&) override { record("bitmapInRect"); }
    void platformBitmapQuad(TPoint, TPoint, TPoint, TPoint, const TImage&) override { record("bitmapQuad"); }
    void platformFillRect(TRect, const TCanvasBrush&) override { record("fillRect"); }
    TextExtent platformMeasureText(std::string_view text) override { return {double(text.size()), 10}; }
};

const std::vector<TPoint> kSquare{{2, 2}, {12, 2}, {12, 12}, {2, 12}};

struct RasterBackEnd : ::testing::Test {
    TImage canvas{20, 20, kWhite};
    FakePlatform d;
    void SetUp() override {
        d.SetCanvas(&canvas);
        d.Pen = {kBlue, 1, psSolid, false, false, pmCopy};
        d.Brush = {kRed, bsSolid, nullptr};
        d.probeX = 7, d.probeY = 7;
    }
};

TEST_F(RasterBackEnd, FillsAndRoundPensStayWithTheConverter) {
    d.DrawPolygon(kSquare);
    d.Pen.Width = 3;
    d.DrawPolyline(std::vector<TPoint>{{2, 16}, {17, 16}});
    d.Pen.Style = psDash;
    d.DrawPolyBezier(std::vector<TPoint>{{2, 18}, {6, 17}, {10, 17}, {17, 18}});
    d.Pen = {kBlue, 1, psSolid, false, false, pmCopy};
    d.DrawEllipse(15, 3, 15, 3); // a point's mark
    d.SetCanvas(nullptr);
    EXPECT_TRUE(d.calls.empty()) << d.calls.front().op;
    EXPECT_EQ(canvas.pixel(7, 7), kRedPixel);
    EXPECT_EQ(canvas.pixel(2, 7), kBluePixel); // the outline
    EXPECT_EQ(canvas.pixel(10, 16), kBluePixel);
    EXPECT_EQ(canvas.pixel(15, 3), kBluePixel);
}

// Square ends and raster pen modes go to the platform, with the converter's fill already on
// the canvas when the platform draws the pen over it.
TEST_F(RasterBackEnd, WhatTheConverterDoesNotTakeGoesToThePlatformInOrder) {
    d.Pen = {kBlue, 4, psSolid, true, true, pmCopy};
    d.DrawPolygon(kSquare);
    d.DrawClosedBezier(std::vector<TPoint>{{2, 2}, {12, 2}, {12, 12}, {2, 12}});
    d.DrawPolyPolygon(std::vector<TPoint>{{0, 0}, {19, 0}, {19, 19}, {0, 19}, {5, 5}, {9, 5}, {9, 9}},
                      std::vector<uint32_t>{4, 3});
    d.DrawPolyline(std::vector<TPoint>{{2, 16}, {17, 16}});
    ASSERT_EQ(d.ops(), (std::vector<std::string>{"polygon", "closedBezier", "polyPolygon:2", "polyline"}));
    for (const Call& c : d.calls) {
        EXPECT_FALSE(c.withBrush) << c.op; // the inside is the converter's
        EXPECT_EQ(c.pixelAtHook, kRedPixel) << c.op;
    }
    d.calls.clear();
    d.Pen = {kBlue, 1, psSolid, false, false, pmXor};
    d.DrawPolygon(kSquare);
    d.Pen.Mode = pmCopy;
    TImage tile(8, 8, kWhite);
    d.Brush.Bitmap = &tile;
    d.DrawPolyPolygon(std::vector<TPoint>{{0, 0}, {19, 0}, {19, 19}, {5, 5}, {9, 5}, {9, 9}}, std::vector<uint32_t>{3, 3});
    ASSERT_EQ(d.ops(), (std::vector<std::string>{"polygon", "polyPolygon:2"}));
    EXPECT_TRUE(d.calls[0].withBrush && d.calls[1].withBrush);
    d.Brush.Bitmap = nullptr;
    d.calls.clear();
    d.DrawEllipse(2, 2, 12, 12);
    EXPECT_EQ(d.ops(), std::vector<std::string>{"ellipse"});
}

TEST_F(RasterBackEnd, HatchesAreTheSharedTable) {
    d.Pen.Style = psClear;
    d.Brush = {kRed, bsDiagCross, nullptr};
    d.DrawPolygon(std::vector<TPoint>{{0, 0}, {20, 0}, {20, 20}, {0, 20}});
    d.SetCanvas(nullptr);
    const auto& pattern = TRasterDrawObject::HatchPattern(bsDiagCross);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(canvas.pixel(x, y), (pattern[std::size_t(y & 7)] >> (x & 7)) & 1u ? kRedPixel : kWhite) << x << "," << y;
    EXPECT_EQ(TRasterDrawObject::HatchPattern(bsSolid), (std::array<uint8_t, 8>{}));
}

TEST_F(RasterBackEnd, TextsAreLaidFromThePlatformsLetters) {
    // A caption on an opaque box: the mask over the box, both by the converter.
    d.TextColor = 0; // black
    d.DrawText(4, 4, false, "a", 0);
    // A haloed label in the plain mode: one picture of all of it, whatever the opacity.
    d.Opacity = 100;
    d.DrawText(14, 14, true, "b", 0);
    // Rotated: the platform's.
    d.DrawText(4, 4, true, "c", 900);
    d.SetCanvas(nullptr);
    ASSERT_EQ(d.ops(), (std::vector<std::string>{"glyphMask", "textPicture", "text+halo"}));
    EXPECT_EQ(d.calls[1].layer, TTextLayer::Whole);
    EXPECT_EQ(canvas.pixel(5, 5), 0xFF000000u);   // letters
    EXPECT_EQ(canvas.pixel(10, 7), kRedPixel);    // box beyond the letters, 8 x 6
    EXPECT_EQ(canvas.pixel(12, 5), kWhite);       // right of the box
    EXPECT_EQ(canvas.pixel(15, 15), 0xFF00FF00u); // the picture, at its offset
    EXPECT_EQ(canvas.pixel(14, 14), kWhite);
}

TEST_F(RasterBackEnd, TranslucentHalosAreTwoLayersInTheSmoothedMode) {
    d.SetGDIPlus(true);
    d.Opacity = 128;
    d.DrawText(10, 10, true, "b", 0);
    d.SetCanvas(nullptr);
    ASSERT_EQ(d.ops(), (std::vector<std::string>{"textPicture", "textPicture"}));
    EXPECT_EQ(d.calls[0].layer, TTextLayer::Halo);
    EXPECT_EQ(d.calls[1].layer, TTextLayer::Letters);
    // The letters' layer lies over the halo's.
    EXPECT_EQ(canvas.pixel(11, 11), 0xFF00FF00u);
    EXPECT_EQ(canvas.pixel(12, 12), 0xFF000000u);
}

TEST_F(RasterBackEnd, OnAWindowThePlatformDrawsEverything) {
    d.external(true);
    d.DrawPolygon(kSquare);
    d.DrawText(4, 4, false, "a", 0);
    d.DrawText(4, 4, true, "b", 0);
    TImage icon(4, 4, kBluePixel);
    d.DrawGraphic(1, 1, &icon);
    EXPECT_EQ(d.ops(), (std::vector<std::string>{"polygon", "text", "textPicture", "pixels", "graphic"}));
    EXPECT_TRUE(d.calls[0].withBrush);
    d.external(false);
}

TEST_F(RasterBackEnd, PicturesSmallAndOpaqueAreCopied) {
    TImage icon(4, 4, kBluePixel), large(200, 200, kBluePixel);
    d.Opacity = 90; // ignored in the plain mode
    d.DrawGraphic(1, 1, &icon);
    d.DrawBitmapInRect({10, 10, 14, 14}, &icon);
    EXPECT_EQ(d.ops(), (std::vector<std::string>{"picturePixels", "picturePixels"}));
    d.DrawBitmapInRect({10, 10, 18, 18}, &icon); // scaled
    d.DrawGraphic(0, 0, &large);
    d.DrawBitmapQuad({0, 0}, {4, 0}, {4, 4}, {0, 4}, &icon);
    d.SetGDIPlus(true);
    d.DrawGraphic(1, 1, &icon); // translucent as a whole
    d.SetCanvas(nullptr);
    EXPECT_EQ(d.ops(), (std::vector<std::string>{"picturePixels", "picturePixels", "bitmapInRect", "graphic",
                                                 "bitmapQuad", "graphic"}));
    EXPECT_EQ(canvas.pixel(2, 2), kBluePixel);
    EXPECT_EQ(canvas.pixel(13, 13), kBluePixel);
}

TEST(RasterBackEndModes, PlainModeScopeAndLabelPadding) {
    FakePlatform d;
    d.SetGDIPlus(true);
    EXPECT_EQ(d.LabelHeightPadding(), 2);
    {
        const TPlainModeScope plain(d);
        EXPECT_FALSE(d.GDIPlus());
        EXPECT_EQ(d.LabelHeightPadding(), 4);
    }
    EXPECT_TRUE(d.GDIPlus());
}

} // namespace

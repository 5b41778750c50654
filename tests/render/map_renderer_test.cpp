// The render layer on its own: a renderer drawing a document for an owner that is no map
// component, and the scope that keeps the drawing state.

#include "render/draw_state.h"
#include "render/map_renderer.h"
#include "render/recording_draw_object.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace kestrum;

namespace {

// An owner with just what the renderer reads, and a client that counts what it is asked.
struct Owner : TRenderEvents, TRenderSettings, TRenderClient {
    MapDocument doc;
    MapDocument* shown = &doc;
    double scaleFactor = 1.0;
    int width = 200, height = 100;
    float viewWidth = 200, viewHeight = 100;
    tQevMapOptions options;
    TClassSet visible{true};
    bool filter = false, enabled = true;
    bool marksVertices = false;
    TImage picture{5, 3};
    TImage missing{2, 2};
    int pictureCalls = 0;

    TMapRenderer renderer{*this, *this, *this};
    RecordingDrawObject* rec = nullptr;

    Owner() {
        doc.header.Scale = 100;
        renderer.Attach({&shown, &doc.header, &scaleFactor, &width, &height, &viewWidth, &viewHeight, &options,
                         &visible, &filter, &enabled});
        auto r = std::make_unique<RecordingDrawObject>();
        rec = r.get();
        renderer.SetDrawObject(std::move(r));
    }
    const TImage& NotePicture(const TQEVMapZametka&, const TQEVMapPen*) override {
        ++pictureCalls;
        return picture;
    }
    const TImage& MissingPicture() const override { return missing; }
    bool MarksVertices() const override { return marksVertices; }

    TQEVMapObjectMem& add(TQEVMapObjectMem o) {
        ComputeCorners(o, defaultTextMeasurer(), {});
        return doc.objects[doc.objects.Add(std::move(o))];
    }
    TQEVMapObjectMem& addPolygon(float x, float y, int32_t classCode = 0) {
        TQEVMapObjectMem o;
        o.Kind = cPolygon;
        o.ClassCode = classCode;
        o.Pen = {0x0000FF, 0, 0, 0};
        o.Brush = {0x00FF00, 0};
        o.setPoints({{x, y}, {x + 20, y}, {x + 20, y + 20}, {x, y + 20}});
        return add(std::move(o));
    }
    std::size_t count(std::string_view op) const {
        std::size_t n = 0;
        for (const RecordedCall& c : rec->calls) n += c.op == op;
        return n;
    }
};

} // namespace

TEST(MapRenderer, DrawsTheOwnersDocumentThroughItsSettingsAndEvents) {
    Owner o;
    o.addPolygon(10, 10);
    o.addPolygon(50, 10, 7);
    o.BackgroundColor = 0x123456;
    int painted = 0;
    o.OnPaintObject = [&](const TQEVMapObjectMem&, uint8_t&, TCanvasPen&, TCanvasBrush&) { ++painted; };
    o.renderer.RebuildBuffer();
    EXPECT_FALSE(o.NeedsFullRedraw);
    EXPECT_EQ(o.renderer.BackBuffer().width(), 200);
    ASSERT_FALSE(o.rec->calls.empty());
    EXPECT_EQ(o.rec->calls.front().op, "fillRect");
    EXPECT_EQ(o.rec->calls.front().brush.Color, 0x123456);
    EXPECT_EQ(o.count("polygon"), 2u);
    EXPECT_EQ(painted, 2);

    // The filter and the visible classes are the owner's, read as they stand.
    o.visible.set(7, false);
    o.filter = true;
    o.rec->calls.clear();
    o.NeedsFullRedraw = true;
    o.renderer.RebuildBuffer();
    EXPECT_EQ(o.count("polygon"), 1u);

    // Suspended by the owner: nothing drawn, and the redraw stays due.
    o.enabled = false;
    o.rec->calls.clear();
    o.NeedsFullRedraw = true;
    o.renderer.RebuildBuffer();
    EXPECT_TRUE(o.rec->calls.empty());
    EXPECT_TRUE(o.NeedsFullRedraw);
}

TEST(MapRenderer, FollowsTheOwnersViewAndDocument) {
    Owner o;
    o.addPolygon(10, 10);
    o.doc.header.XWind = 5;
    o.doc.header.YWind = 5;
    o.renderer.RebuildBuffer();
    ASSERT_EQ(o.count("polygon"), 1u);
    const RecordedCall* poly = nullptr;
    for (const RecordedCall& c : o.rec->calls)
        if (c.op == "polygon") poly = &c;
    EXPECT_EQ(poly->points[0], (TPoint{5, 5}));

    // A linked owner shows another document: the renderer follows the owner's pointer.
    MapDocument other;
    o.shown = &other;
    o.rec->calls.clear();
    o.NeedsFullRedraw = true;
    o.renderer.RebuildBuffer();
    EXPECT_EQ(o.count("polygon"), 0u);
}

TEST(MapRenderer, AsksItsClientForNotePicturesAndVertexMarks) {
    Owner o;
    TQEVMapObjectMem note;
    note.Kind = cZametka;
    note.setNote({30, 40, {}, {}, "text"});
    o.add(std::move(note));
    o.options.MinScaleIcon(0);
    o.renderer.RebuildBuffer();
    ASSERT_EQ(o.count("bitmapInRect"), 1u);
    EXPECT_GE(o.pictureCalls, 1);
    for (const RecordedCall& c : o.rec->calls)
        if (c.op == "bitmapInRect") { // the client's 5 x 3 picture, centred on the note
            EXPECT_EQ(c.points[1].X - c.points[0].X, 5);
            EXPECT_EQ(c.points[1].Y - c.points[0].Y, 3);
        }
    // A note's screen box is sized by the client's picture too; one without its block, by the
    // missing picture.
    const TRect withPicture = o.renderer.ObjectScreenRect(o.doc.objects[0]);
    TQEVMapObjectMem bare;
    bare.Kind = cZametka;
    bare.Corners = o.doc.objects[0].Corners;
    EXPECT_LT(o.renderer.ObjectScreenRect(bare).width(), withPicture.width());

    // Vertices are marked only while the option is on and the client's tool wants them.
    Owner v;
    v.addPolygon(10, 10);
    v.options.ShowPointsObject(true);
    v.renderer.RebuildBuffer();
    const std::size_t plain = v.rec->calls.size();
    v.marksVertices = true;
    v.rec->calls.clear();
    v.NeedsFullRedraw = true;
    v.renderer.RebuildBuffer();
    EXPECT_EQ(v.rec->calls.size(), plain + 2 * 4); // a fill and a frame for each of four vertices
    EXPECT_EQ(v.rec->Pen, (TCanvasPen{0x0000FF, 1, psSolid, false, false, pmCopy})); // the object's pen is back
}

TEST(DrawStateScope, RestoresWhatItNamesAndOnlyThat) {
    RecordingDrawObject d;
    d.Pen = {1, 2, psDash, true, true, pmXor};
    d.Brush = {3, bsCross, nullptr};
    d.Opacity = 200;
    d.CapsMode = 1;
    d.TextFace = "Face";
    d.TextHeight = 11, d.TextEmHeight = true, d.TextColor = 5, d.TextBold = true;
    {
        const TDrawStateScope keep(d, dsPen | dsText);
        d.Pen = {};
        d.TextFace = "Other", d.TextHeight = 1, d.TextEmHeight = false, d.TextColor = 0, d.TextBold = false;
        d.Brush.Color = 9;
        d.Opacity = 10;
    }
    EXPECT_EQ(d.Pen, (TCanvasPen{1, 2, psDash, true, true, pmXor}));
    EXPECT_EQ(d.TextFace, "Face");
    EXPECT_EQ(d.TextHeight, 11);
    EXPECT_TRUE(d.TextEmHeight);
    EXPECT_EQ(d.TextColor, 5);
    EXPECT_TRUE(d.TextBold);
    EXPECT_EQ(d.Brush.Color, 9); // not named: left as the scope's body set it
    EXPECT_EQ(d.Opacity, 10);

    // Nested scopes unwind in order, and a throw out of the drawing restores as well.
    try {
        const TDrawStateScope outer(d);
        d.Brush.Color = 1;
        {
            const TDrawStateScope inner(d, dsBrush);
            d.Brush.Color = 2;
        }
        EXPECT_EQ(d.Brush.Color, 1);
        d.CapsMode = 0;
        throw std::runtime_error("drawing failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(d.Brush.Color, 9);
    EXPECT_EQ(d.CapsMode, 1);

    {
        const TOpacityScope object(d, 128, 255);
        EXPECT_EQ(d.Opacity, 128);
    }
    EXPECT_EQ(d.Opacity, 10);
}

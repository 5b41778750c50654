// Notes on the map: drawn as their library picture centred on the note's point, or as the red
// "Error!" mark when the picture cannot be found; the map draws from an attached icon
// component while there is one, else from its built-in library.

#include "image/bmp_codec.h"
#include "support/draw_map.h"

#include <gtest/gtest.h>

using namespace kestrum;

namespace {

constexpr int32_t kBackground = 0x336699, kWhite = 0xFFFFFF, kRed = 0x0000FF, kYellow = 0x00FFFF, kBlack = 0;

struct NoteMap : test::DrawMap {
    explicit NoteMap(Backend backend = Pixels) : DrawMap(backend, kBackground) {}
    TQEVMapObjectMem& note(float x, float y, std::string_view lib, std::string_view icon) {
        TQEVMapObjectMem o;
        o.Kind = cZametka;
        TQEVMapZametka z;
        z.X = x, z.Y = y;
        z.LibName.assign(lib);
        z.IconName.assign(icon);
        o.setNote(std::move(z));
        return add(std::move(o));
    }
};

std::vector<uint8_t> solidPicture(uint32_t rgb, int32_t side = 32) {
    BmpImage img;
    img.width = img.height = side;
    img.pixels.assign(static_cast<std::size_t>(side) * static_cast<std::size_t>(side), 0xFF000000u | rgb);
    return encodeBmp(img);
}

} // namespace

TEST(NoteDrawing, AMissingPictureDrawsTheRedErrorMark) {
    NoteMap m;
    m.note(100, 75, "Nowhere", "0"); // no such library
    m.note(40, 40, "Default", "99"); // no such picture
    const TImage& img = m.redraw();
    // 32 x 32 centred on (100, 75): from (84, 59) to (115, 90).
    EXPECT_EQ(img.colorAt(84, 59), kWhite); // outer frame
    EXPECT_EQ(img.colorAt(100, 59), kWhite);
    EXPECT_EQ(img.colorAt(85, 60), kBlack);
    EXPECT_EQ(img.colorAt(114, 89), kBlack);
    EXPECT_EQ(img.colorAt(115, 90), kWhite);
    EXPECT_EQ(img.colorAt(83, 75), kBackground);
    EXPECT_EQ(img.colorAt(100, 88), kRed); // below the text
    EXPECT_EQ(img.colorAt(24 + 2, 24 + 28), kRed);
    // "Error!" in yellow in the upper half, nowhere in the lower.
    int upper = 0, lower = 0;
    for (int y = 59; y < 91; ++y)
        for (int x = 84; x < 116; ++x)
            if (img.colorAt(x, y) == kYellow) ++(y < 59 + 18 ? upper : lower);
    EXPECT_GT(upper, 15);
    EXPECT_EQ(lower, 0);
    // The same mark as the component's own bitmap.
    const TImage& mark = m.map.MissingIconBitmap();
    ASSERT_EQ(mark.width(), 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(img.pixel(84 + x, 59 + y), mark.pixel(x, y)) << x << "," << y;
}

TEST(NoteDrawing, ABuiltInPictureIsCentredWithItsKeyColourLeftOut) {
    NoteMap m;
    TQEVMapObjectMem& fuel = m.note(100, 75, " default", "0 ");
    // A hook that looks up every picture churns the cache: the note must still draw its own.
    m.map.OnPaintObject = [&](const TQEVMapObjectMem&, uint8_t&, TCanvasPen&, TCanvasBrush&) {
        for (int i = 0; i < 62; ++i)
            m.map.IconSource().GetBitmapByIndex("Default", i);
    };
    const TImage& img = m.redraw();
    m.map.OnPaintObject = nullptr;
    const TImage* picture = m.map.BuiltinIcons().GetBitmap("Default", "0");
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(img.pixel(100, 75), picture->pixel(16, 16));
    EXPECT_EQ(img.pixel(90, 80), picture->pixel(6, 21));
    EXPECT_EQ(img.colorAt(84, 59), kBackground); // the picture's corner is the cyan key
    EXPECT_EQ(img.colorAt(84, 90), kBackground);
    const int m8 = m.map.Options.SizeRect() + 8;
    const TRect r = m.map.ObjectScreenRect(fuel);
    // The icon's own size and 30 pixels more on each side of the note, for its caption.
    EXPECT_EQ(r.Left, 100 - 62 - m8);
    EXPECT_EQ(r.Top, 75 - 62 - m8);
    EXPECT_EQ(r.Right, 100 + 62 + m8);
    EXPECT_EQ(r.Bottom, 75 + 62 + m8);
}

TEST(NoteDrawing, TheHookAndTheMapOpacityReachThePicture) {
    NoteMap m(NoteMap::Recording);
    m.note(50, 50, "Default", "61");
    m.map.Options.AlphaBlending(200);
    m.map.OnPaintObject = [](const TQEVMapObjectMem&, uint8_t& alpha, TCanvasPen&, TCanvasBrush& brush) {
        EXPECT_EQ(brush.Style, bsClear);
        alpha = 128;
    };
    m.redraw();
    const std::vector<RecordedCall> pictures = m.calls("bitmapInRect");
    ASSERT_EQ(pictures.size(), 1u);
    EXPECT_EQ(pictures[0].opacity, 100); // 200 x 128 / 255
    EXPECT_EQ(pictures[0].points, (std::vector<TPoint>{{34, 34}, {66, 66}}));
}

TEST(NoteDrawing, AnAttachedComponentIsTheSourceUntilItGoesAway) {
    NoteMap m;
    m.note(100, 75, "Default", "0");
    auto icons = std::make_unique<TQevIcon>();
    icons->AddLibrary("Default").AddPicture({"0", 0, 0, 0}, solidPicture(0x00FF00));
    m.map.QevMapIcon(icons.get());
    EXPECT_EQ(m.redraw().colorAt(100, 75), 0x00FF00);
    ASSERT_EQ(icons->Clients().size(), 1u);

    // A second component takes over; the first no longer counts the map among its clients.
    TQevIcon other;
    other.AddLibrary("Default");
    m.map.QevMapIcon(&other);
    EXPECT_TRUE(icons->Clients().empty());
    EXPECT_EQ(m.redraw().colorAt(100, 75), kRed); // its "Default" has no picture "0"

    m.map.QevMapIcon(icons.get());
    EXPECT_TRUE(other.Clients().empty());
    icons.reset();
    EXPECT_EQ(m.map.QevMapIcon(), nullptr);
    const TImage* builtin = m.map.BuiltinIcons().GetBitmap("Default", "0");
    ASSERT_NE(builtin, nullptr);
    EXPECT_EQ(m.redraw().pixel(100, 75), builtin->pixel(16, 16));

    // A click finds a note within its own picture, whatever the picture's size.
    TQevIcon sized;
    sized.AddLibrary("Default").AddPicture({"0", 0, 0, 0}, solidPicture(0x00FF00, 16));
    m.map.QevMapIcon(&sized);
    m.map.Objects()[0].ClassCode = 1; // class 0 is never picked
    EXPECT_EQ(m.map.HitTest({107, 75}).size(), 1u);
    EXPECT_TRUE(m.map.HitTest({110, 75}).empty()); // inside 32 pixels, outside 16
    m.map.QevMapIcon(nullptr);

    // A map destroyed while attached leaves the component without it.
    TQevIcon lasting;
    {
        NoteMap shortLived;
        shortLived.map.QevMapIcon(&lasting);
        EXPECT_EQ(lasting.Clients().size(), 1u);
    }
    EXPECT_TRUE(lasting.Clients().empty());
}

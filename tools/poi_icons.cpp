// Our own pictures for the icon numbers of the Polish-format style table that the built-in
// library has no fitting picture for. They share the built-in look (a rounded square in the
// group colour with a darker rim and a white glyph, 32 x 32, on the cyan key) so that a map
// mixing them with built-in pictures stays even. Glyph coordinates are pixels, y downwards.

#include "poi_icons.h"

#include "icon_raster.h"
#include "image/bmp_codec.h"
#include "import/polish_icons.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <numbers>
#include <string>

using namespace iconart;

namespace {

constexpr Rgb kKey{0, 255, 255};
constexpr int32_t kKeyColorRef = 0x00FFFF00;
constexpr Rgb kService{30, 58, 136}, kMarine{0, 96, 150}, kStructure{98, 98, 104}, kIndustry{120, 84, 40};

struct Picture {
    Canvas canvas;
    Rgb body;
    void white(const Shape& s) { canvas.paint(s, kWhite); }
    void cut(const Shape& s) { canvas.paint(s, body); }
    void paint(const Shape& s, Rgb c) { canvas.paint(s, c); }
};

// A toothed wheel: `teeth` blocks around a ring, with a hole.
void gear(Picture& p, double cx, double cy, double r, int teeth) {
    p.white(circle(cx, cy, r));
    for (int i = 0; i < teeth; ++i) {
        const double a = 2 * std::numbers::pi * i / teeth;
        const double c = std::cos(a), s = std::sin(a);
        const double w = 2.2, r0 = r - 1, r1 = r + 3.2;
        p.white(polygon({{cx + r0 * c - w * s, cy + r0 * s + w * c},
                         {cx + r1 * c - w * s, cy + r1 * s + w * c},
                         {cx + r1 * c + w * s, cy + r1 * s - w * c},
                         {cx + r0 * c + w * s, cy + r0 * s - w * c}}));
    }
    p.cut(circle(cx, cy, r * 0.45));
}

void drawServices(Picture& p) { gear(p, 16, 16, 7.2, 8); }

void drawNavigationLight(Picture& p) {
    // A lantern on a post, over water, throwing beams to both sides.
    p.white(rect(15, 13, 17, 23));
    p.white(roundRect(12.5, 8, 19.5, 14, 1.5));
    p.cut(rect(14.5, 9.8, 17.5, 12.2));
    p.white(polygon({{11.5, 8.5}, {16, 5}, {20.5, 8.5}}));
    p.white(line({21.5, 9}, {27, 6.5}, 1.5) | line({21.5, 12}, {27, 13.5}, 1.5));
    p.white(line({10.5, 9}, {5, 6.5}, 1.5) | line({10.5, 12}, {5, 13.5}, 1.5));
    p.white(polyline({{5, 25}, {9.5, 23.5}, {14, 25}, {18.5, 23.5}, {23, 25}, {27, 23.5}}, 1.6));
}

void drawMine(Picture& p) {
    // Crossed pick and hammer.
    p.white(line({8, 25}, {23, 10}, 2.4));
    p.white(line({24, 25}, {9, 10}, 2.4));
    p.white(polygon({{17.5, 6}, {23, 6.5}, {27.5, 11}, {28, 16.5}, {25.5, 12.5}, {21.5, 9.5}}));
    p.white(polygon({{4.5, 9.5}, {9.5, 4.5}, {13.5, 8.5}, {8.5, 13.5}}));
}

void drawBuilding(Picture& p) {
    // A block of flats: four storeys of windows and a door.
    p.white(rect(8, 6, 24, 26.5));
    for (int row = 0; row < 4; ++row)
        for (int col = 0; col < 3; ++col)
            p.cut(rect(10.2 + col * 4.4, 8.2 + row * 4, 12.6 + col * 4.4, 10.6 + row * 4));
    p.cut(rect(14.5, 23, 17.5, 26.5));
}

struct OwnPicture {
    std::string_view name;
    Rgb body;
    void (*draw)(Picture&);
};

const OwnPicture kOwn[] = {
    {"MP-SERVICES", kService, drawServices},
    {"MP-NAVIGATION-LIGHT", kMarine, drawNavigationLight},
    {"MP-MINE", kIndustry, drawMine},
    {"MP-BUILDING", kStructure, drawBuilding},
};

// The picture as an 8-bit bitmap with the key as colour 0, as the built-in pictures are.
std::vector<uint8_t> encode(const Picture& p, std::string_view name) {
    const auto pixels = p.canvas.resolve(kKey);
    kestrum::BmpImage img;
    img.width = img.height = Canvas::kSize;
    std::vector<uint32_t> palette{0x00FFFFu};
    std::map<uint32_t, bool> seen{{0x00FFFFu, true}};
    for (const Rgb& c : pixels) {
        const uint32_t v = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
        img.pixels.push_back(0xFF000000u | v);
        if (!seen.count(v)) seen[v] = true, palette.push_back(v);
    }
    if (palette.size() > 256) {
        std::fprintf(stderr, "make_builtin_icons: picture %.*s: %zu colours\n", static_cast<int>(name.size()),
                     name.data(), palette.size());
        std::exit(1);
    }
    kestrum::BmpWriteOptions o;
    o.bitsPerPixel = 8;
    o.palette = std::move(palette);
    return kestrum::encodeBmp(img, o);
}

} // namespace

std::vector<kestrum::IconPicture> polishIconPictures() {
    std::vector<kestrum::IconPicture> out;
    for (const kestrum::PolishIcon& icon : kestrum::kPolishIcons) {
        if (icon.builtin >= 0) continue;
        const OwnPicture* own = nullptr;
        for (const OwnPicture& o : kOwn)
            if (o.name == icon.name) own = &o;
        if (!own) {
            std::fprintf(stderr, "make_builtin_icons: no drawing for icon number %d\n", icon.number);
            std::exit(1);
        }
        Picture p;
        p.body = own->body;
        p.paint(roundRect(1, 1, 31, 31, 6), shade(p.body, 0.62));
        p.paint(roundRect(2, 2, 30, 30, 5), p.body);
        own->draw(p);
        kestrum::IconPicture pic;
        pic.header.name = std::string(own->name);
        pic.header.transparentColor = kKeyColorRef;
        pic.header.transparent = 1;
        pic.data = encode(p, own->name);
        out.push_back(std::move(pic));
    }
    return out;
}

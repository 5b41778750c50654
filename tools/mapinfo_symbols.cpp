// Draws the built-in "MapInfo" icon library: MapInfo's 3.0 symbol shapes "31" to "67", each a
// 32 x 32 bitmap of 8 bits per pixel on a cyan key, in the ink colour of
// src/core/icons/mapinfo_symbols.h (the map paints the ink in the note's colour) with grey
// shadows. The build runs it and compiles its bytes into the core.
//
//   make_mapinfo_symbols [--lib FILE.lib] [--cpp FILE.cpp]
//
// Coordinates are pixels of the 32 x 32 picture, y downwards; the shapes fill most of the box,
// since the map scales the picture to the symbol's size.

#include "icon_generator_main.h"
#include "icon_raster.h"
#include "image/bmp_codec.h"
#include "icons/icon_file.h"
#include "icons/mapinfo_symbols.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <string_view>

using namespace iconart;

namespace {

constexpr Rgb kKey{0, 255, 255};
constexpr int32_t kKeyColorRef = 0x00FFFF00;
constexpr Rgb kInk{static_cast<uint8_t>(kestrum::kMapInfoInk & 0xFF), static_cast<uint8_t>((kestrum::kMapInfoInk >> 8) & 0xFF),
                   static_cast<uint8_t>((kestrum::kMapInfoInk >> 16) & 0xFF)};
constexpr Rgb kShadow{128, 128, 128};

// A shape scaled by k about the picture's centre, so that an open symbol is its filled self
// less a smaller copy.
using Scalable = std::function<Shape(double k)>;

Shape square(double k) {
    const double h = 11 * k;
    return rect(16 - h, 16 - h, 16 + h, 16 + h);
}
Shape diamond(double k) {
    const double h = 14 * k;
    return polygon({{16, 16 - h}, {16 + h, 16}, {16, 16 + h}, {16 - h, 16}});
}
Shape disc(double k) { return circle(16, 16, 12.5 * k); }
Shape starShape(double k) { return star(16, 17, 15 * k, 6 * k); }
Shape triangleUp(double k) {
    // About the centre of its box, not its centroid: the inner copy of the open one stays inside.
    return polygon({{16, 16 - 13 * k}, {16 + 14 * k, 16 + 11 * k}, {16 - 14 * k, 16 + 11 * k}});
}
Shape triangleDown(double k) {
    return polygon({{16 - 14 * k, 16 - 11 * k}, {16 + 14 * k, 16 - 11 * k}, {16, 16 + 13 * k}});
}

Shape open(const Scalable& s, double k = 0.72) { return s(1.0) - s(k); }

Shape shifted(const Shape& s, double dx, double dy) {
    return {{s.box.x0 + dx, s.box.y0 + dy, s.box.x1 + dx, s.box.y1 + dy},
            [in = s.in, dx, dy](double x, double y) { return in(x - dx, y - dy); }};
}

// A filled shape with a grey shadow to its lower right.
void shadowed(Canvas& c, const Scalable& s) {
    const Shape body = s(0.88);
    c.paint(shifted(body, 2.5, 2.5), kShadow);
    c.paint(shifted(body, -1, -1), kInk);
}

Shape arrow(double angleDegrees) { // pointing along the angle, counter-clockwise from east
    const double t = angleDegrees * std::numbers::pi / 180.0;
    const double c = std::cos(t), s = -std::sin(t);
    auto at = [&](double along, double across) { return Pt{16 + along * c - across * s, 16 + along * s + across * c}; };
    return polygon({at(14, 0), at(1, 11), at(1, 4.5), at(-14, 4.5), at(-14, -4.5), at(1, -4.5), at(1, -11)});
}

void draw(int n, Canvas& c) {
    switch (n) {
    case 31: break; // blank
    case 32: c.paint(square(1), kInk); break;
    case 33: c.paint(diamond(1), kInk); break;
    case 34: c.paint(disc(1), kInk); break;
    case 35: c.paint(starShape(1), kInk); break;
    case 36: c.paint(triangleUp(1), kInk); break;
    case 37: c.paint(triangleDown(1), kInk); break;
    case 38: c.paint(open(square, 0.74), kInk); break;
    case 39: c.paint(open(diamond, 0.7), kInk); break;
    case 40: c.paint(open(disc, 0.74), kInk); break;
    case 41: c.paint(open(starShape, 0.62), kInk); break;
    case 42: c.paint(open(triangleUp, 0.6), kInk); break;
    case 43: c.paint(open(triangleDown, 0.6), kInk); break;
    case 44: shadowed(c, square); break;
    case 45: shadowed(c, triangleUp); break;
    case 46: shadowed(c, disc); break;
    case 47: shadowed(c, starShape); break;
    case 48: shadowed(c, diamond); break;
    case 49: c.paint(rect(13.5, 3, 18.5, 29) | rect(3, 13.5, 29, 18.5), kInk); break; // cross
    case 50: c.paint(line({5, 5}, {27, 27}, 5) | line({27, 5}, {5, 27}, 5), kInk); break; // x
    case 51: // crosshair: ring and cross
        c.paint((circle(16, 16, 12) - circle(16, 16, 9)) | rect(14.5, 2, 17.5, 30) | rect(2, 14.5, 30, 17.5), kInk);
        break;
    case 52: c.paint((circle(16, 16, 13) - circle(16, 16, 10)) | circle(16, 16, 5), kInk); break; // bull's eye
    case 53: c.paint(circle(16, 16, 6), kInk); break;                                            // dot
    case 54: // flag on a pole
        c.paint(rect(6, 3, 9, 30) | rect(9, 4, 27, 16), kInk);
        break;
    case 55: // pennant
        c.paint(rect(6, 3, 9, 30) | polygon({{9, 3.5}, {28, 10}, {9, 16.5}}), kInk);
        break;
    case 56: // push pin: round head and needle
        c.paint(circle(16, 10, 8) | polygon({{13, 16}, {19, 16}, {16, 30}}), kInk);
        break;
    case 57: // map marker: a drop with a hole
        c.paint((circle(16, 11.5, 9.5) | polygon({{7.3, 15}, {24.7, 15}, {16, 30}})) - circle(16, 11.5, 4), kInk);
        break;
    case 58: c.paint(arrow(90), kInk); break;
    case 59: c.paint(arrow(270), kInk); break;
    case 60: c.paint(arrow(180), kInk); break;
    case 61: c.paint(arrow(0), kInk); break;
    case 62: // house
        c.paint(polygon({{16, 3}, {30, 15}, {26, 15}, {26, 29}, {6, 29}, {6, 15}, {2, 15}}) - rect(13, 20, 19, 29), kInk);
        break;
    case 63: // church: a nave with a tower and a cross
        c.paint(rect(4, 17, 28, 29) | rect(12, 9, 20, 17) | rect(15, 1, 17, 9) | rect(12.5, 3.5, 19.5, 5.5), kInk);
        break;
    case 64: // aeroplane seen from above
        c.paint(roundRect(14, 2, 18, 30, 2) | polygon({{2, 17}, {16, 10}, {30, 17}, {30, 20}, {16, 16}, {2, 20}}) |
                    polygon({{10, 28}, {16, 24}, {22, 28}, {22, 30}, {10, 30}}),
                kInk);
        break;
    case 65: // car
        c.paint((roundRect(2, 14, 30, 24, 3) | polygon({{7, 14.5}, {11, 7}, {21, 7}, {25, 14.5}})) -
                    circle(9, 24, 3.5) - circle(23, 24, 3.5),
                kInk);
        c.paint(circle(9, 24, 2.5) | circle(23, 24, 2.5), kInk);
        break;
    case 66: // tree
        c.paint(polygon({{16, 2}, {28, 23}, {4, 23}}) | rect(13.5, 22, 18.5, 30), kInk);
        break;
    case 67: // asterisk
        c.paint(line({16, 3}, {16, 29}, 4) | line({4.7, 9.5}, {27.3, 22.5}, 4) | line({27.3, 9.5}, {4.7, 22.5}, 4), kInk);
        break;
    default: break;
    }
}

std::vector<uint8_t> pictureBytes(int n) {
    Canvas canvas;
    draw(n, canvas);
    const auto pixels = canvas.resolve(kKey);
    kestrum::BmpImage img;
    img.width = img.height = Canvas::kSize;
    for (const Rgb& c : pixels) {
        // Only three colours: the key, the ink and the shadow. A pixel averaged between ink and
        // shadow goes to the nearer, so every pixel of the body takes the note's colour.
        Rgb v = c;
        if (!(c == kKey)) {
            const int toInk = std::abs(c.r - kInk.r) + std::abs(c.g - kInk.g) + std::abs(c.b - kInk.b);
            const int toShadow = std::abs(c.r - kShadow.r) + std::abs(c.g - kShadow.g) + std::abs(c.b - kShadow.b);
            v = toInk <= toShadow ? kInk : kShadow;
        }
        img.pixels.push_back(0xFF000000u | (uint32_t{v.r} << 16) | (uint32_t{v.g} << 8) | v.b);
    }
    kestrum::BmpWriteOptions o;
    o.bitsPerPixel = 8;
    const auto rgb = [](Rgb c) { return (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b; };
    o.palette = {rgb(kKey), rgb(kInk), rgb(kShadow)};
    return kestrum::encodeBmp(img, o);
}

std::vector<uint8_t> library() {
    std::vector<kestrum::IconPicture> pictures;
    for (int n = kestrum::kMapInfoFirstSymbol; n <= kestrum::kMapInfoLastSymbol; ++n) {
        kestrum::IconPicture pic;
        pic.header.name = std::to_string(n);
        pic.header.transparentColor = kKeyColorRef;
        pic.header.transparent = 1;
        pic.data = pictureBytes(n);
        pictures.push_back(std::move(pic));
    }
    kestrum::IconLibraryHeader header;
    header.name = std::string(kestrum::kMapInfoLibrary);
    return kestrum::writeIconLibrary(header, pictures);
}

} // namespace

int main(int argc, char** argv) {
    const kestrum::tools::GeneratedLibrary g{"make_mapinfo_symbols", "icons/mapinfo_symbols.h", "kMapInfoSymbolBytes", "builtinMapInfoLibrary"};
    return kestrum::tools::runIconGenerator(argc, argv, g, library());
}

// Draws the built-in icon library: 62 map symbols "0" to "61" (what each shows is listed in
// src/core/icons/builtin_catalogue.h), each a 32 x 32 bitmap of 8 bits per pixel with a
// 256-colour table on a cyan key, in one library named "Default", followed by the pictures
// tools/poi_icons.cpp draws for Polish-format points. The build runs it and compiles its bytes
// into the core.
//
//   make_builtin_icons [--lib FILE.lib] [--cpp FILE.cpp]
//
// The symbols share one look so that a map stays calm: a rounded square in the colour of the
// symbol's group with a thin darker rim, and a white glyph. Glyph coordinates are in pixels of
// the 32 x 32 picture, y downwards.

#include "icon_generator_main.h"
#include "icon_raster.h"
#include "poi_icons.h"
#include "image/bmp_codec.h"
#include "icons/builtin_catalogue.h"
#include "icons/icon_file.h"

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

using namespace iconart;

namespace {

constexpr Rgb kKey{0, 255, 255}; // the transparent colour, 0x00FFFF00 as a colour reference
constexpr int32_t kKeyColorRef = 0x00FFFF00;

// Group colours.
constexpr Rgb kTransport{33, 100, 196}, kFood{230, 116, 18}, kHealth{206, 34, 42}, kPharmacy{24, 146, 68},
    kMoney{148, 112, 0}, kShop{136, 58, 166}, kEducation{150, 86, 38}, kFaith{82, 82, 104},
    kService{30, 58, 136}, kFire{196, 36, 24}, kCulture{168, 40, 108}, kStay{0, 118, 168},
    kNature{58, 132, 44}, kSport{0, 136, 146}, kStructure{98, 98, 104}, kRoad{52, 52, 56}, kPoi{196, 28, 86},
    kPoint{218, 40, 30};

struct Painter {
    Canvas canvas;
    Rgb body;

    void white(const Shape& s) { canvas.paint(s, kWhite); }
    // Paints in the body colour: holes and details inside a white glyph.
    void cut(const Shape& s) { canvas.paint(s, body); }
    void paint(const Shape& s, Rgb c) { canvas.paint(s, c); }
};

void squareBody(Painter& p) {
    p.paint(roundRect(1, 1, 31, 31, 6), shade(p.body, 0.62));
    p.paint(roundRect(2, 2, 30, 30, 5), p.body);
}

void circleBody(Painter& p) {
    p.paint(circle(16, 16, 15), shade(p.body, 0.62));
    p.paint(circle(16, 16, 14), p.body);
}

// --- glyphs ----------------------------------------------------------------------------------

Shape carSide(double y) { // a car seen from the side, roof line at y, wheels below y + 10
    return roundRect(5, y + 4, 27, y + 10, 2) | polygon({{9, y + 4.5}, {12, y}, {20, y}, {23.5, y + 4.5}});
}

void carWheels(Painter& p, double y) {
    p.cut(circle(10.5, y + 10, 3.2));
    p.cut(circle(21.5, y + 10, 3.2));
    p.white(circle(10.5, y + 10, 2.2));
    p.white(circle(21.5, y + 10, 2.2));
}

void building(Painter& p, int columns, double x0, double x1) { // pediment, columns and steps
    p.white(polygon({{x0 - 1, 12}, {16, 5.5}, {x1 + 1, 12}}));
    p.white(rect(x0, 12, x1, 14));
    const double step = (x1 - x0 - 2.4) / (columns - 1);
    for (int i = 0; i < columns; ++i)
        p.white(rect(x0 + i * step, 15, x0 + i * step + 2.4, 22.5));
    p.white(rect(x0 - 1, 23, x1 + 1, 25.5));
}

void draw(int n, Painter& p) {
    switch (n) {
    case 0: // fuel pump
        p.white(roundRect(8, 7, 19, 25, 1.5));
        p.cut(rect(10, 9.5, 17, 14));
        p.white(rect(6.5, 24, 20.5, 26));
        p.white(polyline({{19, 11}, {22.5, 13.5}, {22.5, 21.5}, {24.5, 21.5}, {24.5, 12}, {22.5, 9}}, 1.6));
        break;
    case 1: // knife and fork
        for (double x : {9.5, 12.0, 14.5})
            p.white(line({x, 6.5}, {x, 12}, 1.5));
        p.white(roundRect(8.75, 11, 15.25, 15, 2));
        p.white(line({12, 14}, {12, 25.5}, 2.6));
        p.white(polygon({{19, 6.5}, {22.5, 8}, {23.2, 16.5}, {19, 16.5}}));
        p.white(line({20.5, 16}, {20.5, 25.5}, 2.6));
        break;
    case 2: // cup on a saucer, steaming
        p.white(polygon({{7.5, 13}, {21.5, 13}, {20.5, 20}, {18, 22.5}, {11, 22.5}, {8.5, 20}}));
        p.white(arc(21, 16.8, 3, -100, 100, 1.7));
        p.white(roundRect(6, 23.5, 24, 25.5, 1));
        p.white(arc(12.3, 8.5, 1.6, 90, 270, 1.2) | arc(12.3, 11.6, 1.5, -90, 90, 1.2));
        p.white(arc(17, 8.5, 1.6, 90, 270, 1.2) | arc(17, 11.6, 1.5, -90, 90, 1.2));
        break;
    case 3: // burger
        p.white(ellipse(16, 14, 9, 6.5) & rect(7, 7, 25, 13.5));
        p.white(roundRect(6, 15, 26, 18, 1.5));
        p.white(roundRect(7, 19.5, 25, 24.5, 2));
        p.cut(circle(13, 10.5, 0.7) | circle(16.5, 9.5, 0.7) | circle(19.5, 11, 0.7));
        break;
    case 4: // cocktail glass
        p.white(polygon({{7, 7.5}, {25, 7.5}, {16, 17}}));
        p.cut(polygon({{10.5, 9.5}, {21.5, 9.5}, {16, 15}}) - rect(0, 12, 32, 32));
        p.white(line({16, 16}, {16, 23}, 2));
        p.white(roundRect(11, 23, 21, 25.2, 1));
        p.white(line({19, 5.5}, {22.5, 9.5}, 1.2));
        break;
    case 5: // hospital: H
        p.white(rect(8, 7, 12.5, 25) | rect(19.5, 7, 24, 25) | rect(12, 14, 20, 18));
        break;
    case 6: // pharmacy: cross
        p.white(roundRect(13, 6, 19, 26, 1) | roundRect(6, 13, 26, 19, 1));
        break;
    case 7: // doctor: bag with a cross
        p.white(arc(16, 10.5, 3.2, 0, 180, 1.8));
        p.white(roundRect(6, 10, 26, 24.5, 2.5));
        p.cut(rect(14.75, 12.5, 17.25, 22) | rect(11.25, 16, 20.75, 18.5));
        break;
    case 8: // bank: banknote
        p.white(roundRect(5, 9.5, 27, 22.5, 1.5));
        p.cut(roundRect(6.6, 11.1, 25.4, 20.9, 1));
        p.white(circle(16, 16, 4));
        p.cut(rect(15.3, 13.5, 16.7, 18.5));
        p.white(circle(9.8, 16, 1.2) | circle(22.2, 16, 1.2));
        break;
    case 9: // atm: cash machine with a screen, keys and a slot
        p.white(roundRect(8, 5, 24, 27, 2));
        p.cut(rect(10.5, 7.5, 21.5, 13));
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                p.cut(rect(11 + c * 3.8, 15 + r * 2.7, 13 + c * 3.8, 16.6 + r * 2.7));
        p.cut(rect(11, 23.5, 21, 24.7));
        break;
    case 10: // shop: carrier bag
        p.white(arc(16, 12, 3.8, 0, 180, 1.8));
        p.white(polygon({{8.5, 12}, {23.5, 12}, {25, 26}, {7, 26}}));
        p.cut(circle(12.2, 15, 1) | circle(19.8, 15, 1));
        break;
    case 11: // supermarket: shopping cart
        p.white(polyline({{4.5, 7.5}, {8, 8.5}, {11, 20}, {24, 20}}, 1.8));
        p.white(polygon({{8.5, 10}, {26.5, 10}, {24, 18}, {10.5, 18}}));
        p.white(circle(12, 24, 2.2) | circle(22, 24, 2.2));
        break;
    case 12: // school: schoolhouse with a bell
        p.white(polygon({{6, 15}, {16, 7.5}, {26, 15}, {26, 26}, {6, 26}}));
        p.cut(rect(14, 19, 18, 26));
        p.cut(rect(8.5, 17, 11.5, 20) | rect(20.5, 17, 23.5, 20));
        p.cut(circle(16, 13.5, 2));
        p.white(rect(15, 4, 17, 8));
        break;
    case 13: // university: mortarboard
        p.white(polygon({{3.5, 12}, {16, 6.5}, {28.5, 12}, {16, 17.5}}));
        p.white(polygon({{9.5, 15}, {16, 18}, {22.5, 15}, {22.5, 21}, {16, 23.5}, {9.5, 21}}));
        p.white(line({25.5, 13}, {25.5, 20}, 1.3));
        p.white(circle(25.5, 21, 1.5));
        break;
    case 14: // kindergarten: child
        p.white(circle(16, 8.5, 3.2));
        p.white(polygon({{16, 12}, {22.5, 22}, {9.5, 22}}));
        p.white(line({10, 15.5}, {22, 15.5}, 1.8));
        p.white(line({13.5, 21}, {13.5, 26}, 2) | line({18.5, 21}, {18.5, 26}, 2));
        break;
    case 15: // church: cross
        p.white(rect(14, 4.5, 18, 27.5) | rect(8.5, 10, 23.5, 14));
        break;
    case 16: // mosque: crescent and star
        p.white(circle(14, 16.5, 9) - circle(17.5, 14.5, 7.6));
        p.white(star(21, 12.5, 3.6, 1.5));
        break;
    case 17: // synagogue: star of David
        p.white(polyline({{16, 5.5}, {25.5, 21.5}, {6.5, 21.5}, {16, 5.5}}, 2));
        p.white(polyline({{16, 26.5}, {6.5, 10.5}, {25.5, 10.5}, {16, 26.5}}, 2));
        break;
    case 18: // cemetery: headstone with a cross
        p.white(circle(16, 12, 7) | rect(9, 12, 23, 24));
        p.white(rect(7, 24, 25, 26.5));
        p.cut(rect(15, 9, 17, 20) | rect(12, 11.5, 20, 13.5));
        break;
    case 19: // parking: P
        p.white(rect(9.5, 6, 14, 26));
        p.white((rect(10, 6, 17, 20) | circle(17, 13, 7)) - (rect(14, 10, 17, 16) | circle(17, 13, 3)));
        break;
    case 20: // bus, front
        p.white(roundRect(8, 5.5, 24, 24, 3));
        p.white(rect(9, 23, 13, 27) | rect(19, 23, 23, 27));
        p.cut(rect(10, 9, 22, 16));
        p.cut(rect(11, 6.8, 21, 7.8));
        p.cut(circle(11.5, 20, 1.4) | circle(20.5, 20, 1.4));
        break;
    case 21: // train, front, on rails
        p.white(roundRect(9, 5, 23, 23, 4));
        p.cut(roundRect(11, 8, 21, 14, 1));
        p.cut(circle(12.5, 19, 1.3) | circle(19.5, 19, 1.3));
        p.white(line({11.5, 23}, {8, 27.5}, 2) | line({20.5, 23}, {24, 27.5}, 2));
        p.white(rect(8.5, 25.5, 23.5, 27));
        break;
    case 22: // airport: aeroplane
        p.white(line({16, 5}, {16, 25.5}, 3.4));
        p.white(polygon({{16, 11}, {28, 17.5}, {28, 20}, {16, 16.5}, {4, 20}, {4, 17.5}}));
        p.white(polygon({{16, 21.5}, {21.5, 25}, {21.5, 26.8}, {16, 25.5}, {10.5, 26.8}, {10.5, 25}}));
        break;
    case 23: // ferry: boat on the water
        p.white(polygon({{4.5, 17}, {27.5, 17}, {24, 23}, {8, 23}}));
        p.white(rect(10, 12, 21, 16.5));
        p.white(rect(17, 7.5, 20, 11.5));
        p.cut(rect(12, 13.5, 14, 15) | rect(15.5, 13.5, 17.5, 15));
        p.white(polyline({{5, 26.5}, {8.5, 25}, {12, 26.5}, {15.5, 25}, {19, 26.5}, {22.5, 25}, {26, 26.5}},
                         1.4));
        break;
    case 24: // post: envelope
        p.white(roundRect(5, 9, 27, 23.5, 1.2));
        p.cut(polyline({{6.2, 10.2}, {16, 17.5}, {25.8, 10.2}}, 1.6));
        break;
    case 25: // police: badge with a star
        p.white(polygon({{16, 4.5}, {25.5, 8}, {24.5, 18}, {16, 27.5}, {7.5, 18}, {6.5, 8}}));
        p.cut(star(16, 15.5, 6.5, 2.7));
        break;
    case 26: // fire station: flame
        p.white(circle(16, 19.5, 6.8) | polygon({{9.4, 18}, {22.6, 18}, {18.5, 4.5}, {16.5, 10}, {13, 7.5}}));
        p.cut(circle(16, 21.5, 3.3) | polygon({{12.8, 21}, {19.2, 21}, {16.8, 13.5}}));
        break;
    case 27: // hotel: bed
        p.white(rect(5, 8, 8, 25));
        p.white(rect(5, 18.5, 27, 22));
        p.white(rect(24.5, 21, 27, 25));
        p.white(roundRect(9, 14, 14.5, 18, 1.5));
        p.white(roundRect(15.5, 13, 27, 18, 1.5));
        break;
    case 28: // museum: columns
        building(p, 4, 7, 25);
        break;
    case 29: // theatre: mask on a ribbon
        p.white(line({5, 10}, {27, 10}, 1.4));
        p.white(ellipse(16, 11.5, 9.5, 6.5) | ellipse(16, 16.5, 7, 10));
        p.cut(polygon({{9.5, 11}, {12, 9.6}, {14.5, 11}, {12, 13.2}}) |
              polygon({{17.5, 11}, {20, 9.6}, {22.5, 11}, {20, 13.2}}));
        p.cut(arc(16, 16.5, 5, 205, 335, 1.9));
        break;
    case 30: // cinema: film strip
        p.white(rect(8.5, 4.5, 23.5, 27.5));
        for (int i = 0; i < 6; ++i) {
            const double y = 5.8 + i * 3.7;
            p.cut(rect(9.8, y, 11.3, y + 2) | rect(20.7, y, 22.2, y + 2));
        }
        p.cut(rect(12.8, 6, 19.2, 14.8) | rect(12.8, 17.2, 19.2, 26));
        break;
    case 31: // library: open book
        p.white(polygon({{4.5, 9}, {15.3, 11}, {15.3, 25}, {4.5, 23}}));
        p.white(polygon({{27.5, 9}, {16.7, 11}, {16.7, 25}, {27.5, 23}}));
        for (double y : {14.0, 17.0, 20.0}) {
            p.cut(line({7, y - 0.6}, {13, y + 0.5}, 0.9));
            p.cut(line({25, y - 0.6}, {19, y + 0.5}, 0.9));
        }
        break;
    case 32: // park: tree
        p.white(circle(16, 11.5, 6.5) | circle(11, 14.5, 4.8) | circle(21, 14.5, 4.8) | circle(16, 16, 5));
        p.white(rect(14.6, 18, 17.4, 26.5));
        p.white(rect(10, 25.5, 22, 27));
        break;
    case 33: // stadium: football
        p.white(circle(16, 16, 10.5));
        p.cut(star(16, 16, 4, 3.25));
        for (int i = 0; i < 5; ++i) {
            const double a = -std::numbers::pi / 2 + i * 2 * std::numbers::pi / 5;
            const Pt in{16 + 3.5 * std::cos(a), 16 + 3.5 * std::sin(a)},
                out{16 + 7 * std::cos(a), 16 + 7 * std::sin(a)};
            p.cut(line(in, out, 1));
            p.cut(star(16 + 8 * std::cos(a), 16 + 8 * std::sin(a), 1.9, 1.55));
        }
        break;
    case 34: // swimming: swimmer over waves
        p.white(circle(22.5, 10, 2.6));
        p.white(polyline({{7, 16}, {13, 12}, {18, 16}}, 2.6));
        for (double y : {20.0, 25.0})
            p.white(polyline(
                {{4.5, y}, {8.5, y - 2}, {12.5, y}, {16.5, y - 2}, {20.5, y}, {24.5, y - 2}, {27.5, y - 0.5}},
                1.8));
        break;
    case 35: // zoo: paw print
        p.white(ellipse(16, 20.5, 6, 5));
        p.white(ellipse(9, 13.5, 2.3, 3) | ellipse(13.6, 8.8, 2.4, 3.1) | ellipse(18.4, 8.8, 2.4, 3.1) |
                ellipse(23, 13.5, 2.3, 3));
        break;
    case 36: // monument: obelisk on a plinth
        p.white(polygon({{13.5, 8.5}, {16, 4}, {18.5, 8.5}, {19.5, 22}, {12.5, 22}}));
        p.white(rect(10, 22, 22, 24.5));
        p.white(rect(8, 24.5, 24, 27));
        break;
    case 37: // viewpoint: binoculars
        p.white(roundRect(7, 8, 13, 16, 1.5) | roundRect(19, 8, 25, 16, 1.5));
        p.white(circle(10.5, 19.5, 5.5) | circle(21.5, 19.5, 5.5));
        p.white(rect(13, 15, 19, 20));
        p.cut(circle(10.5, 19.5, 3) | circle(21.5, 19.5, 3));
        break;
    case 38: // information: i
        p.white(circle(16, 8.5, 2.7));
        p.white(rect(14, 13, 18, 24) | rect(11.5, 13, 16, 15) | rect(11.5, 23.5, 20.5, 26));
        break;
    case 39: // point of interest: star
        p.white(star(16, 16.8, 11, 4.6));
        break;
    case 40: // town hall: building with a flag
        p.white(rect(6, 15, 26, 26));
        p.white(polygon({{5, 15.5}, {16, 10.5}, {27, 15.5}}));
        p.white(line({16, 4}, {16, 11}, 1.3));
        p.white(polygon({{16.5, 4}, {22, 5.8}, {16.5, 7.6}}));
        for (double x : {8.5, 13.0, 17.5, 22.0})
            p.cut(rect(x, 17.5, x + 1.8, 23));
        break;
    case 41: // car repair: spanner
        p.white(line({8.5, 23.5}, {18.5, 13.5}, 4));
        p.white(circle(20.5, 11.5, 5.5));
        p.cut(polygon({{20.5, 11.5}, {24.5, 4}, {28.5, 8}}) | circle(20.5, 11.5, 2));
        p.white(circle(8.5, 23.5, 3));
        p.cut(circle(8.5, 23.5, 1.2));
        break;
    case 42: // car wash: car under drops
        for (double x : {9.0, 16.0, 23.0})
            p.white(circle(x, 8.5, 2) | polygon({{x - 1.9, 8}, {x + 1.9, 8}, {x, 4}}));
        p.white(carSide(13));
        carWheels(p, 13);
        p.cut(polygon({{12, 16.5}, {13.3, 14.3}, {19, 14.3}, {21, 16.5}}));
        break;
    case 43: // car rental: key over a car
        p.white(circle(10, 8, 3.5));
        p.cut(circle(10, 8, 1.4));
        p.white(rect(13, 7, 25, 9) | rect(20, 9, 21.8, 11.5) | rect(23.2, 9, 25, 11));
        p.white(carSide(13));
        carWheels(p, 13);
        p.cut(polygon({{12, 16.5}, {13.3, 14.3}, {19, 14.3}, {21, 16.5}}));
        break;
    case 44: // telephone: handset
        p.white(arc(16, 20, 10, 35, 145, 3.2));
        p.white(roundRect(5, 13.5, 11.5, 18.5, 2) | roundRect(20.5, 13.5, 27, 18.5, 2));
        p.white(polygon({{11, 19}, {21, 19}, {23.5, 26}, {8.5, 26}}));
        p.cut(circle(16, 22.5, 2.2));
        break;
    case 45: // toilets: WC
        p.white(polyline({{4.5, 10}, {7, 22}, {10, 14}, {13, 22}, {15.5, 10}}, 2.2));
        p.white(arc(23, 16, 5.2, 45, 315, 2.4));
        break;
    case 46: // camping: tent
        p.white(polygon({{4.5, 25.5}, {16, 6.5}, {27.5, 25.5}}));
        p.cut(polygon({{16, 13}, {11.8, 25.6}, {20.2, 25.6}}));
        p.white(line({16, 6.5}, {16, 4.5}, 1.4));
        break;
    case 47: // picnic table
        p.white(rect(6, 10, 26, 13));
        p.white(rect(4, 18, 28, 20));
        p.white(line({11.5, 12}, {8, 26}, 2) | line({20.5, 12}, {24, 26}, 2));
        break;
    case 48: // beach: sunshade
        p.white(circle(16, 16, 11) & rect(0, 0, 32, 16));
        p.cut(circle(11, 16.5, 3.4) & rect(0, 0, 32, 16));
        p.cut(circle(21, 16.5, 3.4) & rect(0, 0, 32, 16));
        p.white(line({16, 6}, {16, 25}, 1.8));
        p.white(polyline({{5, 26}, {9.5, 24.5}, {14, 26}, {18.5, 24.5}, {23, 26}, {27, 24.5}}, 1.5));
        break;
    case 49: // peak: mountains
        p.white(polygon({{3.5, 25.5}, {13, 8}, {22.5, 25.5}}));
        p.white(polygon({{14, 25.5}, {21.5, 13}, {28.5, 25.5}}));
        p.cut(polygon({{9.4, 14.6}, {13, 8}, {16.6, 14.6}, {14.6, 13.3}, {13, 15}, {11.4, 13.3}}));
        break;
    case 50: // cave: arch in a rock
        p.white(polygon({{3.5, 26}, {8, 12}, {13, 7}, {20, 7}, {25, 11}, {28.5, 26}}));
        p.cut((circle(16, 18, 6) | rect(10, 18, 22, 26.1)) & rect(0, 0, 32, 26.1));
        break;
    case 51: // lighthouse
        p.white(polygon({{13, 11}, {19, 11}, {21, 26.5}, {11, 26.5}}));
        p.cut(polygon({{12.5, 15}, {19.5, 15}, {19.8, 17.5}, {12.2, 17.5}}));
        p.cut(polygon({{11.8, 21}, {20.2, 21}, {20.5, 23.5}, {11.5, 23.5}}));
        p.white(rect(13, 6.5, 19, 10));
        p.white(polygon({{12, 6.8}, {16, 3.5}, {20, 6.8}}));
        p.white(polygon({{20, 8}, {28, 5}, {28, 11}}));
        p.white(polygon({{12, 8}, {4, 5}, {4, 11}}));
        break;
    case 52: // bridge: arch over water
        p.white(rect(3.5, 11, 28.5, 14));
        p.white((rect(5, 14, 27, 21) - circle(16, 24, 8.6)));
        p.white(polyline({{5, 25.5}, {9.5, 24}, {14, 25.5}, {18.5, 24}, {23, 25.5}, {27, 24}}, 1.5));
        break;
    case 53: // dam: wall holding water
        p.white(polygon({{6, 6}, {12, 6}, {16, 26}, {6, 26}}));
        for (double y : {11.0, 16.0, 21.0})
            p.white(polyline({{17, y}, {20, y - 1.5}, {23, y}, {26, y - 1.5}}, 1.6));
        break;
    case 54: // factory: sawtooth roof and chimney
        p.white(
            polygon({{4.5, 26}, {4.5, 15}, {10, 11}, {10, 15}, {15.5, 11}, {15.5, 15}, {21, 11}, {21, 26}}));
        p.white(rect(22, 5, 26, 26));
        p.cut(rect(7, 19, 9.5, 22) | rect(12, 19, 14.5, 22) | rect(17, 19, 19.5, 22));
        break;
    case 55: // spring: drop
        p.white(circle(16, 19, 7.5) | polygon({{8.9, 17}, {23.1, 17}, {16, 4.5}}));
        p.cut(arc(16, 19, 4.3, 190, 250, 1.6));
        break;
    case 56: // border crossing: boom barrier
        p.white(roundRect(6, 11, 10, 27, 1));
        p.white(rect(4, 25, 12, 27.5));
        p.white(roundRect(9, 12.5, 28, 16.5, 1));
        for (double x : {13.0, 19.0, 25.0})
            p.cut(polygon({{x, 12.5}, {x + 2.5, 12.5}, {x + 1, 16.5}, {x - 1.5, 16.5}}));
        break;
    case 57: // speed camera
        p.white(roundRect(5, 9, 23, 20, 2));
        p.white(polygon({{23, 11.5}, {27.5, 9}, {27.5, 19.5}, {23, 17.5}}));
        p.cut(circle(13, 14.5, 3.6));
        p.white(circle(13, 14.5, 1.8));
        p.white(rect(12, 20, 14, 27) | rect(9, 25.5, 17, 27.5));
        break;
    case 58: // wifi
        p.white(circle(16, 24, 2.3));
        for (double r : {6.0, 11.0, 16.0})
            p.white(arc(16, 25, r, 50, 130, 2.6));
        break;
    case 59: // computer shop: monitor
        p.white(roundRect(5, 6, 27, 21, 1.5));
        p.cut(rect(7, 8, 25, 19));
        p.white(rect(14, 21, 18, 24.5));
        p.white(roundRect(10, 24, 22, 26.5, 1));
        break;
    case 60: // traffic police: striped baton
        p.white(line({8, 25}, {24, 8}, 4.4));
        for (double t : {0.22, 0.5, 0.78}) {
            const Pt c{8 + 16 * t, 25 - 17 * t};
            p.cut(line({c.x - 1.6, c.y - 1.7}, {c.x + 1.6, c.y + 1.7}, 1.8) & line({8, 25}, {24, 8}, 4.4));
        }
        p.white(circle(24, 8, 3.4));
        break;
    case 61: // map point: ring with a centre
        p.white(circle(16, 16, 7.5));
        p.cut(circle(16, 16, 5));
        p.white(circle(16, 16, 2.6));
        break;
    default:
        break;
    }
}

Rgb groupColour(int n) {
    static const std::map<int, Rgb> colours = {
        {0, kTransport},  {1, kFood},       {2, kFood},       {3, kFood},       {4, kFood},
        {5, kHealth},     {6, kPharmacy},   {7, kHealth},     {8, kMoney},      {9, kMoney},
        {10, kShop},      {11, kShop},      {12, kEducation}, {13, kEducation}, {14, kEducation},
        {15, kFaith},     {16, kFaith},     {17, kFaith},     {18, kFaith},     {19, kTransport},
        {20, kTransport}, {21, kTransport}, {22, kTransport}, {23, kTransport}, {24, kService},
        {25, kService},   {26, kFire},      {27, kStay},      {28, kCulture},   {29, kCulture},
        {30, kCulture},   {31, kEducation}, {32, kNature},    {33, kSport},     {34, kSport},
        {35, kNature},    {36, kCulture},   {37, kNature},    {38, kService},   {39, kPoi},
        {40, kService},   {41, kTransport}, {42, kTransport}, {43, kTransport}, {44, kService},
        {45, kService},   {46, kNature},    {47, kNature},    {48, kSport},     {49, kNature},
        {50, kNature},    {51, kStructure}, {52, kStructure}, {53, kStructure}, {54, kStructure},
        {55, kSport},     {56, kStructure}, {57, kRoad},      {58, kService},   {59, kShop},
        {60, kService},   {61, kPoint},
    };
    return colours.at(n);
}

// The picture as an 8-bit bitmap: its own colours, fewer than 256, in a full 256-entry table.
std::vector<uint8_t> pictureBytes(int n) {
    Painter p;
    p.body = groupColour(n);
    if (n == 61)
        circleBody(p);
    else
        squareBody(p);
    draw(n, p);
    const auto pixels = p.canvas.resolve(kKey);

    kestrum::BmpImage img;
    img.width = img.height = Canvas::kSize;
    std::vector<uint32_t> palette{0x00FFFFu}; // the key first
    std::map<uint32_t, bool> seen{{0x00FFFFu, true}};
    bool keyMet = false;
    for (const Rgb& c : pixels) {
        uint32_t v = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
        if (c == kKey) keyMet = true;
        img.pixels.push_back(0xFF000000u | v);
        if (!seen.count(v)) seen[v] = true, palette.push_back(v);
    }
    if (!keyMet || palette.size() > 256) {
        std::fprintf(stderr, "make_builtin_icons: picture %d: %zu colours, key %s\n", n, palette.size(),
                     keyMet ? "present" : "missing");
        std::exit(1);
    }
    kestrum::BmpWriteOptions o;
    o.bitsPerPixel = 8;
    o.palette = std::move(palette);
    return kestrum::encodeBmp(img, o);
}

std::vector<uint8_t> library() {
    std::vector<kestrum::IconPicture> pictures;
    for (const kestrum::BuiltinIcon& icon : kestrum::kBuiltinIcons) {
        kestrum::IconPicture pic;
        pic.header.name = std::to_string(icon.number);
        pic.header.transparentColor = kKeyColorRef;
        pic.header.transparent = 1;
        pic.data = pictureBytes(icon.number);
        pictures.push_back(std::move(pic));
    }
    for (kestrum::IconPicture& pic : polishIconPictures())
        pictures.push_back(std::move(pic));
    kestrum::IconLibraryHeader header;
    header.name = "Default";
    return kestrum::writeIconLibrary(header, pictures);
}

} // namespace

int main(int argc, char** argv) {
    const kestrum::tools::GeneratedLibrary g{"make_builtin_icons", "icons/builtin_library.h", "kBuiltinIconBytes", "builtinIconLibrary"};
    return kestrum::tools::runIconGenerator(argc, argv, g, library());
}

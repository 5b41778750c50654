#pragma once
// A tiny raster for drawing 32 x 32 map symbols: shapes are point-in-shape tests over a box,
// painted in order onto a 4 x 4 supersampled canvas. Inside the symbol, edges are averaged
// (white glyphs on a coloured body look smooth); at the outline a pixel is either wholly the
// symbol's or wholly the key colour, since a colour key cannot show partial coverage.

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <numbers>
#include <vector>

namespace iconart {

struct Rgb {
    uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

constexpr Rgb kWhite{255, 255, 255};

inline Rgb shade(Rgb c, double k) {
    auto f = [k](uint8_t v) { return static_cast<uint8_t>(std::clamp(std::lround(v * k), 0L, 255L)); };
    return {f(c.r), f(c.g), f(c.b)};
}

struct Pt {
    double x, y;
};

struct Box {
    double x0, y0, x1, y1;
};

// A region of the plane: the box bounds where `in` can be true.
struct Shape {
    Box box;
    std::function<bool(double, double)> in;
};

inline Shape operator|(Shape a, Shape b) {
    const Box box{std::min(a.box.x0, b.box.x0), std::min(a.box.y0, b.box.y0), std::max(a.box.x1, b.box.x1),
                  std::max(a.box.y1, b.box.y1)};
    return {box, [a, b](double x, double y) { return a.in(x, y) || b.in(x, y); }};
}
inline Shape operator&(Shape a, Shape b) {
    return {a.box, [a, b](double x, double y) { return a.in(x, y) && b.in(x, y); }};
}
inline Shape operator-(Shape a, Shape b) {
    return {a.box, [a, b](double x, double y) { return a.in(x, y) && !b.in(x, y); }};
}

inline Shape rect(double x0, double y0, double x1, double y1) {
    return {{x0, y0, x1, y1}, [=](double x, double y) { return x >= x0 && x < x1 && y >= y0 && y < y1; }};
}

inline Shape ellipse(double cx, double cy, double rx, double ry) {
    return {{cx - rx, cy - ry, cx + rx, cy + ry}, [=](double x, double y) {
                const double dx = (x - cx) / rx, dy = (y - cy) / ry;
                return dx * dx + dy * dy <= 1.0;
            }};
}
inline Shape circle(double cx, double cy, double r) {
    return ellipse(cx, cy, r, r);
}

inline Shape roundRect(double x0, double y0, double x1, double y1, double r) {
    return {{x0, y0, x1, y1}, [=](double x, double y) {
                if (x < x0 || x >= x1 || y < y0 || y >= y1) return false;
                const double cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
                return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
            }};
}

// Even-odd fill of a closed outline.
inline Shape polygon(std::vector<Pt> pts) {
    Box box{pts[0].x, pts[0].y, pts[0].x, pts[0].y};
    for (const Pt& p : pts)
        box = {std::min(box.x0, p.x), std::min(box.y0, p.y), std::max(box.x1, p.x), std::max(box.y1, p.y)};
    return {box, [pts = std::move(pts)](double x, double y) {
                bool in = false;
                for (std::size_t i = 0, j = pts.size() - 1; i < pts.size(); j = i++) {
                    const Pt a = pts[i], b = pts[j];
                    if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) in = !in;
                }
                return in;
            }};
}

// A stroke of width w from a to b with round ends.
inline Shape line(Pt a, Pt b, double w) {
    const double r = w / 2;
    const Box box{std::min(a.x, b.x) - r, std::min(a.y, b.y) - r, std::max(a.x, b.x) + r,
                  std::max(a.y, b.y) + r};
    return {box, [=](double x, double y) {
                const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
                double t = len2 > 0 ? ((x - a.x) * dx + (y - a.y) * dy) / len2 : 0;
                t = std::clamp(t, 0.0, 1.0);
                const double px = a.x + t * dx - x, py = a.y + t * dy - y;
                return px * px + py * py <= r * r;
            }};
}

inline Shape polyline(std::initializer_list<Pt> pts, double w) {
    std::vector<Pt> v(pts);
    Shape s = line(v[0], v[1], w);
    for (std::size_t i = 2; i < v.size(); ++i)
        s = s | line(v[i - 1], v[i], w);
    return s;
}

// Part of a ring of radius r and width w, from angle a0 to a1 in degrees (0 = right, 90 = up,
// counter-clockwise as on a page), with round ends.
inline Shape arc(double cx, double cy, double r, double a0, double a1, double w) {
    const double h = w / 2;
    const double k = std::numbers::pi / 180;
    auto at = [&](double a) { return Pt{cx + r * std::cos(a * k), cy - r * std::sin(a * k)}; };
    Shape band{{cx - r - h, cy - r - h, cx + r + h, cy + r + h}, [=](double x, double y) {
                   const double d = std::hypot(x - cx, y - cy);
                   if (d < r - h || d > r + h) return false;
                   double a = std::atan2(cy - y, x - cx) / k;
                   while (a < a0)
                       a += 360;
                   return a <= a1;
               }};
    return band | circle(at(a0).x, at(a0).y, h) | circle(at(a1).x, at(a1).y, h);
}

// A regular star of n points.
inline Shape star(double cx, double cy, double outer, double inner, int n = 5) {
    std::vector<Pt> pts;
    for (int i = 0; i < 2 * n; ++i) {
        const double a = -std::numbers::pi / 2 + i * std::numbers::pi / n;
        const double r = i % 2 ? inner : outer;
        pts.push_back({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return polygon(std::move(pts));
}

class Canvas {
  public:
    static constexpr int kSize = 32;
    static constexpr int kSub = 4;
    static constexpr int kSamples = kSize * kSub;

    void paint(const Shape& s, Rgb c) {
        const int x0 = std::max(0, static_cast<int>(std::floor(s.box.x0 * kSub)));
        const int y0 = std::max(0, static_cast<int>(std::floor(s.box.y0 * kSub)));
        const int x1 = std::min(kSamples, static_cast<int>(std::ceil(s.box.x1 * kSub)) + 1);
        const int y1 = std::min(kSamples, static_cast<int>(std::ceil(s.box.y1 * kSub)) + 1);
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                if (s.in((x + 0.5) / kSub, (y + 0.5) / kSub)) {
                    Sample& p = m_samples[std::size_t(y) * kSamples + std::size_t(x)];
                    p.c = c;
                    p.covered = true;
                }
    }

    // The 32 x 32 result: a pixel at least half covered takes the average of its covered
    // samples, any other one the key colour.
    std::array<Rgb, kSize * kSize> resolve(Rgb key) const {
        std::array<Rgb, kSize * kSize> out{};
        for (int py = 0; py < kSize; ++py)
            for (int px = 0; px < kSize; ++px) {
                int n = 0, r = 0, g = 0, b = 0;
                for (int sy = 0; sy < kSub; ++sy)
                    for (int sx = 0; sx < kSub; ++sx) {
                        const Sample& s =
                            m_samples[std::size_t(py * kSub + sy) * kSamples + std::size_t(px * kSub + sx)];
                        if (!s.covered) continue;
                        ++n, r += s.c.r, g += s.c.g, b += s.c.b;
                    }
                Rgb c = key;
                if (2 * n >= kSub * kSub) {
                    c = {static_cast<uint8_t>((r + n / 2) / n), static_cast<uint8_t>((g + n / 2) / n),
                         static_cast<uint8_t>((b + n / 2) / n)};
                    if (c == key) c.g = static_cast<uint8_t>(c.g ^ 1); // the symbol never shows through
                }
                out[std::size_t(py) * kSize + std::size_t(px)] = c;
            }
        return out;
    }

  private:
    struct Sample {
        Rgb c;
        bool covered = false;
    };
    std::vector<Sample> m_samples = std::vector<Sample>(std::size_t(kSamples) * kSamples);
};

} // namespace iconart

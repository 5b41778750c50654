#pragma once
// 32-bit images owned by the core: the back buffer, decoded icons and pictures. Pixels are
// 0xAARRGGBB words, rows top to bottom with no padding, which is also what the platform layer
// paints on directly.

#include <cstdint>
#include <vector>

namespace kestrum {

// Windows colour references (0x00BBGGRR) and pixels (0xAARRGGBB) meet here.
constexpr uint32_t pixelOf(int32_t colorRef, uint8_t alpha = 255) {
    const auto c = static_cast<uint32_t>(colorRef);
    return (uint32_t{alpha} << 24) | ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
}
constexpr int32_t colorRefOf(uint32_t pixel) {
    return static_cast<int32_t>(((pixel >> 16) & 0xFF) | (pixel & 0xFF00) | ((pixel & 0xFF) << 16));
}
constexpr uint8_t redOf(int32_t c) { return static_cast<uint8_t>(c & 0xFF); }
constexpr uint8_t greenOf(int32_t c) { return static_cast<uint8_t>((c >> 8) & 0xFF); }
constexpr uint8_t blueOf(int32_t c) { return static_cast<uint8_t>((c >> 16) & 0xFF); }
constexpr int32_t rgbColor(int r, int g, int b) { return r | (g << 8) | (b << 16); }

class TImage {
  public:
    TImage() = default;
    TImage(int width, int height, uint32_t fill = 0xFF000000u) { resize(width, height, fill); }

    int width() const { return m_width; }
    int height() const { return m_height; }
    bool empty() const { return m_width <= 0 || m_height <= 0; }
    // Changes the size; the pixels are kept only where old and new overlap.
    void resize(int width, int height, uint32_t fill = 0xFF000000u);
    void fill(uint32_t pixel) {
        touch();
        std::fill(m_pixels.begin(), m_pixels.end(), pixel);
    }

    // Every way to the pixels that may write them gives the image a new content id.
    uint32_t* data() { return touch(), m_pixels.data(); }
    const uint32_t* data() const { return m_pixels.data(); }
    uint32_t* row(int y) { return touch(), m_pixels.data() + std::size_t(y) * std::size_t(m_width); }
    const uint32_t* row(int y) const { return m_pixels.data() + std::size_t(y) * std::size_t(m_width); }
    uint32_t pixel(int x, int y) const { return row(y)[x]; }
    void setPixel(int x, int y, uint32_t p) {
        if (x >= 0 && y >= 0 && x < m_width && y < m_height) row(y)[x] = p;
    }
    // Names the pixels as they are now: equal ids mean equal pixels, so a back end may keep its
    // own converted copy of an image it draws again and again (icons) under this key.
    uint64_t id() const { return m_id; }
    // Colour reference at (x, y), for tests and probes.
    int32_t colorAt(int x, int y) const { return colorRefOf(pixel(x, y)); }

    // Moves the picture by (dx, dy) pixels; what is uncovered keeps its old pixels until redrawn.
    void shift(int dx, int dy);

    // Pixels of this colour are not drawn when Transparent is set.
    bool Transparent = false;
    int32_t TransparentColor = 0;

  private:
    static uint64_t nextId();
    void touch() { m_id = nextId(); }

    int m_width = 0, m_height = 0;
    std::vector<uint32_t> m_pixels;
    uint64_t m_id = nextId();
};

} // namespace kestrum

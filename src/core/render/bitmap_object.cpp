// Bitmap objects: their pictures decoded once and kept for the redraws and pans that follow,
// drawn into the object's quadrilateral; a bitmap without data shows its frame.

#include "render/map_renderer.h"

#include "render/draw_state.h"

#include <cmath>

namespace kestrum {

namespace {

// Bytes sampled across a picture's data: an object edited in place (same buffer, same length)
// shows its new picture, without hashing megabytes on every redraw.
uint64_t fingerprint(std::span<const uint8_t> bytes) {
    uint64_t h = 0xcbf29ce484222325u;
    auto mix = [&h](uint8_t b) { h = (h ^ b) * 0x100000001b3u; };
    constexpr std::size_t kSamples = 256;
    if (bytes.size() <= 2 * kSamples) {
        for (uint8_t b : bytes) mix(b);
        return h;
    }
    for (std::size_t i = 0; i < kSamples; ++i) mix(bytes[i]);
    const std::size_t step = (bytes.size() - kSamples) / kSamples;
    for (std::size_t i = kSamples; i < bytes.size(); i += step) mix(bytes[i]);
    return h;
}

} // namespace

const TImage* TMapRenderer::decodedPicture(const TQEVMapBitmap& b, double widthPixels) {
    const std::span<const uint8_t> bytes(b.ImageData);
    int scale = 1;
    if (b.ImageFormat == 1) {
        int w = 0, h = 0;
        if (!jpegSize(bytes, w, h)) return nullptr;
        scale = jpegScaleFor(widthPixels / w);
    }
    const uint64_t print = fingerprint(bytes);
    auto own = [&b](DecodedPicture& p) -> const TImage* {
        if (b.ImageFormat != 1) {
            // The picture keeps its object's transparency, as it stands now; JPEG pictures are opaque.
            p.image.Transparent = b.Transparent != 0;
            p.image.TransparentColor = b.TransparentColor;
        }
        return &p.image;
    };
    for (DecodedPicture& p : m_pictures)
        if (p.data == bytes.data() && p.size == bytes.size() && p.scale == scale && p.print == print) return own(p);
    DecodedPicture p{bytes.data(), bytes.size(), scale, print, {}};
    const bool ok = b.ImageFormat == 1 ? decodeJpeg(bytes, scale, p.image)
                                       : (m_imageDecoder && m_imageDecoder->decodeBmp(bytes, p.image));
    if (!ok || p.image.empty()) return nullptr;
    // A few pictures, and not more pixels than one of the largest a file may hold.
    constexpr std::size_t kKept = 16;
    auto pixels = [](const DecodedPicture& d) { return int64_t{d.image.width()} * d.image.height(); };
    int64_t total = pixels(p);
    for (const DecodedPicture& d : m_pictures) total += pixels(d);
    while (!m_pictures.empty() && (m_pictures.size() >= kKept || total > kMaxImagePixels)) {
        total -= pixels(m_pictures.front());
        m_pictures.erase(m_pictures.begin());
    }
    m_pictures.push_back(std::move(p));
    return own(m_pictures.back());
}

void TMapRenderer::DrawBitmapObject(const TQEVMapObjectMem& obj) {
    const TQEVMapBitmap* b = obj.bitmap();
    if (!b) return;
    TDrawObject& d = *m_draw;
    TPoint q[4];
    for (int i = 0; i < 4; ++i) q[i] = m_view.toScreen(b->Corners[std::size_t(i)]);
    uint8_t alpha = obj.Alpha;
    if (m_events.OnPaintObject) m_events.OnPaintObject(obj, alpha, d.Pen, d.Brush);
    TOpacityScope op(d, Options().AlphaBlending(), alpha);
    if (!b->ImageData.empty()) {
        const double width = std::hypot(double(q[1].X - q[0].X), double(q[1].Y - q[0].Y));
        // A picture that cannot be decoded draws nothing.
        if (const TImage* img = decodedPicture(*b, width)) d.DrawBitmapQuad(q[0], q[1], q[2], q[3], img);
        return;
    }
    d.Pen = {0xFFFFFF, 1, psDashDot, false, false, pmCopy};
    const TPoint outline[5] = {q[0], q[1], q[2], q[3], q[0]};
    d.DrawPolyline(outline);
    const TPoint diag1[2] = {q[0], q[2]}, diag2[2] = {q[1], q[3]};
    d.DrawPolyline(diag1);
    d.DrawPolyline(diag2);
}

} // namespace kestrum

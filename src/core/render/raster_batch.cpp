#include "render/raster_batch.h"

#include <algorithm>
#include <exception>
#include <system_error>

namespace kestrum::raster {

RasterBatch::RasterBatch() = default;

RasterBatch::~RasterBatch() {
    if (!m_thread.joinable()) return;
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_one();
    m_thread.join();
}

void RasterBatch::queue(Op op, std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint, int32_t width) {
    m_commands.push_back({op, closed, width, paint, clip, static_cast<uint32_t>(m_points.size()), static_cast<uint32_t>(pts.size())});
    m_points.insert(m_points.end(), pts.begin(), pts.end());
    m_work += pts.size();
    if (m_points.size() >= kMaxPoints) flush();
}

void RasterBatch::blendMask(int32_t x, int32_t y, const uint8_t* mask, int32_t width, int32_t height,
                            std::size_t stride, TRect clip, uint32_t pixel, uint8_t alpha) {
    Paint paint;
    paint.pixel = pixel;
    paint.alpha = alpha;
    m_commands.push_back({Op::Mask, false, 1, paint, clip, static_cast<uint32_t>(m_pictures.size()), 0});
    m_pictures.push_back({mask, x, y, width, height, stride});
    m_work += static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / 8;
}

void RasterBatch::blendImage(int32_t x, int32_t y, const uint32_t* src, int32_t width, int32_t height,
                             std::size_t stride, TRect clip) {
    m_commands.push_back({Op::Image, false, 1, Paint{}, clip, static_cast<uint32_t>(m_pictures.size()), 0});
    m_pictures.push_back({src, x, y, width, height, stride});
    m_work += static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / 8;
}

void RasterBatch::setSurface(Surface surface) {
    flush();
    m_target = surface;
}

void RasterBatch::fillPolygon(std::span<const TPoint> pts, TRect clip, const Paint& paint) {
    queue(Op::Fill, pts, true, clip, paint);
}
void RasterBatch::fillClosedBezier(std::span<const TPoint> pts, TRect clip, const Paint& paint) {
    queue(Op::FillBezier, pts, true, clip, paint);
}
void RasterBatch::strokeHairline(std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint) {
    queue(Op::Stroke, pts, closed, clip, paint);
}
void RasterBatch::strokeBezierHairline(std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint) {
    queue(Op::StrokeBezier, pts, closed, clip, paint);
}

void RasterBatch::strokeSmoothHairline(std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint) {
    queue(Op::SmoothStroke, pts, closed, clip, paint);
}
void RasterBatch::strokeWide(std::span<const TPoint> pts, bool closed, int32_t width, TRect clip, const Paint& paint) {
    queue(Op::Wide, pts, closed, clip, paint, width);
}
void RasterBatch::strokeBezierWide(std::span<const TPoint> pts, bool closed, int32_t width, TRect clip,
                                   const Paint& paint) {
    queue(Op::WideBezier, pts, closed, clip, paint, width);
}

void RasterBatch::draw(Rasterizer& r, Surface surface, int32_t top, int32_t bottom) const {
    for (const Command& c : m_commands) {
        const TRect clip{c.clip.Left, std::max(c.clip.Top, top), c.clip.Right, std::min(c.clip.Bottom, bottom)};
        if (clip.empty()) continue;
        const bool picture = c.op == Op::Mask || c.op == Op::Image;
        const std::span<const TPoint> pts = picture ? std::span<const TPoint>() : std::span(m_points).subspan(c.first, c.count);
        switch (c.op) {
        case Op::Fill:
            r.fillPolygon(surface, pts, clip, c.paint);
            break;
        case Op::FillBezier:
            r.fillClosedBezier(surface, pts, clip, c.paint);
            break;
        case Op::Stroke:
            r.strokeHairline(surface, pts, c.closed, clip, c.paint);
            break;
        case Op::StrokeBezier:
            r.strokeBezierHairline(surface, pts, c.closed, clip, c.paint);
            break;
        case Op::SmoothStroke:
            r.strokeSmoothHairline(surface, pts, c.closed, clip, c.paint);
            break;
        case Op::Wide:
            r.strokeWide(surface, pts, c.closed, c.width, clip, c.paint);
            break;
        case Op::WideBezier:
            r.strokeBezierWide(surface, pts, c.closed, c.width, clip, c.paint);
            break;
        case Op::Mask: {
            const Picture& p = m_pictures[c.first];
            raster::blendMask(surface, clip, p.x, p.y, static_cast<const uint8_t*>(p.bits), p.width, p.height, p.stride,
                              c.paint.pixel, c.paint.alpha);
            break;
        }
        case Op::Image: {
            const Picture& p = m_pictures[c.first];
            raster::blendImage(surface, clip, p.x, p.y, static_cast<const uint32_t*>(p.bits), p.width, p.height,
                               p.stride);
            break;
        }
        }
    }
}

void RasterBatch::helperLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_pending || m_stop; });
        if (m_stop) return;
        lock.unlock();
        bool failed = false;
        try {
            draw(m_there, m_target, m_target.height / 2, m_target.height);
        } catch (...) {
            failed = true; // out of memory on this thread: the caller draws the band itself
        }
        lock.lock();
        m_failed = failed;
        m_pending = false;
        m_done.notify_one();
    }
}

void RasterBatch::flush() {
    if (m_commands.empty()) return;
    const Surface surface = m_target;
    static const bool twoCores = std::thread::hardware_concurrency() > 1;
    const bool parallel = twoCores && m_work >= kParallelPoints && surface.height >= 64 && startHelper();
    if (!parallel) {
        draw(m_here, surface, 0, surface.height);
    } else {
        // The helper reads the commands until it is done: wait for it whatever happens here.
        std::exception_ptr error;
        try {
            draw(m_here, surface, 0, surface.height / 2);
        } catch (...) {
            error = std::current_exception();
        }
        bool failed;
        {
            std::unique_lock lock(m_mutex);
            m_done.wait(lock, [&] { return !m_pending; });
            failed = m_failed;
        }
        if (error) {
            clear();
            std::rethrow_exception(error);
        }
        if (failed) draw(m_here, surface, surface.height / 2, surface.height);
    }
    clear();
}

void RasterBatch::clear() {
    m_commands.clear();
    m_points.clear();
    m_pictures.clear();
    m_work = 0;
}

bool RasterBatch::startHelper() {
    {
        const std::lock_guard lock(m_mutex);
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { helperLoop(); });
            } catch (const std::system_error&) {
                return false; // no thread to be had: one band it is
            }
        }
        m_pending = true;
        m_failed = false;
    }
    m_wake.notify_one();
    return true;
}

} // namespace kestrum::raster

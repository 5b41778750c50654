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
    Queue& q = m_queue;
    const std::size_t first = q.points.size();
    // Dashes are counted along the whole line, and a wide line's joints are rounded by its
    // vertex count: those keep every point.
    const bool solid = paint.dashPeriod == 0;
    const int32_t margin = op == Op::Fill || (solid && op == Op::Stroke) ? 1 : solid && op == Op::SmoothStroke ? 2 : 0;
    if (margin != 0)
        keepNear(pts, q.points, int64_t{clip.Left} - margin, int64_t{clip.Top} - margin, int64_t{clip.Right} + margin,
                 int64_t{clip.Bottom} + margin);
    else
        q.points.insert(q.points.end(), pts.begin(), pts.end());
    const std::size_t count = q.points.size() - first;
    q.commands.push_back({op, closed, width, paint, clip, static_cast<uint32_t>(first), static_cast<uint32_t>(count)});
    // A shape keeps its rows whatever points it lost, and rows are most of a smoothed fill's
    // cost: the work is counted on what came in.
    q.work += pts.size();
    queued();
}

void RasterBatch::blendMask(int32_t x, int32_t y, const uint8_t* mask, int32_t width, int32_t height,
                            std::size_t stride, TRect clip, uint32_t pixel, uint8_t alpha) {
    Paint paint;
    paint.pixel = pixel;
    paint.alpha = alpha;
    m_queue.commands.push_back({Op::Mask, false, 1, paint, clip, static_cast<uint32_t>(m_queue.pictures.size()), 0});
    m_queue.pictures.push_back({mask, x, y, width, height, stride});
    m_queue.work += static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / 8;
    queued();
}

void RasterBatch::blendImage(int32_t x, int32_t y, const uint32_t* src, int32_t width, int32_t height,
                             std::size_t stride, TRect clip) {
    m_queue.commands.push_back({Op::Image, false, 1, Paint{}, clip, static_cast<uint32_t>(m_queue.pictures.size()), 0});
    m_queue.pictures.push_back({src, x, y, width, height, stride});
    m_queue.work += static_cast<std::size_t>(width) * static_cast<std::size_t>(height) / 8;
    queued();
}

void RasterBatch::Queue::clear() {
    commands.clear();
    points.clear();
    pictures.clear();
    work = 0;
}

namespace {
const bool kTwoCores = std::thread::hardware_concurrency() > 1;
}

void RasterBatch::queued() {
    const bool full = m_queue.points.size() >= kMaxPoints;
    if (m_queue.work < kHandOffPoints && !full) return;
    if (!kTwoCores || m_target.height <= 0) {
        if (full) flush();
        return;
    }
    if (handedOff()) {
        // Asked after every command: a lock here would be taken thousands of times a frame.
        if (m_pending.load(std::memory_order_relaxed)) {
            // Drawing outruns queueing: keep queueing while the helper draws, and once the queue
            // is full, share its drawing between both threads.
            if (full) flush();
            return;
        }
        waitForHelper();
    }
    // The helper draws this queue whole, in order, while the caller fills the other.
    std::swap(m_queue, m_handed);
    m_queue.clear();
    if (!startHelper(Job::HandedOff)) waitForHelper();
}

void RasterBatch::setSurface(Surface surface) {
    flush();
    m_target = surface;
}

void RasterBatch::fillPolygon(std::span<const TPoint> pts, TRect clip, const Paint& paint) {
    queue(Op::Fill, pts, true, clip, paint);
}
void RasterBatch::fillBox(TPoint a, TPoint b, TRect clip, const Paint& paint) {
    const TPoint corners[2] = {a, b};
    queue(Op::Box, corners, false, clip, paint);
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

void RasterBatch::draw(Rasterizer& r, const Queue& q, Surface surface, int32_t top, int32_t bottom) const {
    for (const Command& c : q.commands) {
        const TRect clip{c.clip.Left, std::max(c.clip.Top, top), c.clip.Right, std::min(c.clip.Bottom, bottom)};
        if (clip.empty()) continue;
        const bool picture = c.op == Op::Mask || c.op == Op::Image;
        const std::span<const TPoint> pts = picture ? std::span<const TPoint>() : std::span(q.points).subspan(c.first, c.count);
        switch (c.op) {
        case Op::Fill:
            r.fillPolygon(surface, pts, clip, c.paint);
            break;
        case Op::Box:
            raster::fillBox(surface, pts[0], pts[1], clip, c.paint);
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
            const Picture& p = q.pictures[c.first];
            raster::blendMask(surface, clip, p.x, p.y, static_cast<const uint8_t*>(p.bits), p.width, p.height, p.stride,
                              c.paint.pixel, c.paint.alpha);
            break;
        }
        case Op::Image: {
            const Picture& p = q.pictures[c.first];
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
        const Job job = m_job;
        lock.unlock();
        bool failed = false;
        try {
            if (job == Job::HandedOff) draw(m_there, m_handed, m_target, 0, m_target.height);
            else draw(m_there, m_queue, m_target, m_target.height / 2, m_target.height);
        } catch (...) {
            failed = true; // out of memory on this thread: the caller draws it itself
        }
        lock.lock();
        m_failed = failed;
        m_pending = false;
        m_done.notify_one();
    }
}

void RasterBatch::waitForHelper() {
    if (!handedOff()) return;
    bool failed;
    {
        std::unique_lock lock(m_mutex);
        m_done.wait(lock, [&] { return !m_pending; });
        failed = m_failed;
    }
    if (failed) draw(m_here, m_handed, m_target, 0, m_target.height);
    m_handed.clear();
}

void RasterBatch::flush() {
    waitForHelper(); // what was handed off comes first
    if (m_queue.commands.empty()) return;
    const Surface surface = m_target;
    const bool parallel = kTwoCores && m_queue.work >= kParallelPoints && surface.height >= 64 && startHelper(Job::LowerBand);
    if (!parallel) {
        draw(m_here, m_queue, surface, 0, surface.height);
    } else {
        // The helper reads the queue until it is done: wait for it whatever happens here.
        std::exception_ptr error;
        try {
            draw(m_here, m_queue, surface, 0, surface.height / 2);
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
            m_queue.clear();
            std::rethrow_exception(error);
        }
        if (failed) draw(m_here, m_queue, surface, surface.height / 2, surface.height);
    }
    m_queue.clear();
}

bool RasterBatch::startHelper(Job job) {
    {
        const std::lock_guard lock(m_mutex);
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { helperLoop(); });
            } catch (const std::system_error&) {
                m_failed = true; // no thread to be had: the caller draws it all
                return false;
            }
        }
        m_job = job;
        m_pending = true;
        m_failed = false;
    }
    m_wake.notify_one();
    return true;
}

} // namespace kestrum::raster

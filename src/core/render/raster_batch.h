#pragma once
// Scan-converter work kept in order and drawn on two threads.
//
// While the caller goes on collecting and transforming objects, a helper thread draws what was
// queued before, whole, in order. When the picture is needed (the painter is about to draw, or
// the frame ends) the caller waits for the helper, and what is left is drawn in two bands of
// rows at once: the upper band here, the lower on the helper. Each band draws every command
// clipped to its rows, and the converter's answer for a pixel never depends on the clip, so the
// picture is the one a single pass would give. Small batches (a building between two house
// numbers) are drawn in place: waking a thread costs more.

#include "render/raster.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

namespace kestrum::raster {

class RasterBatch {
  public:
    RasterBatch();
    ~RasterBatch();
    RasterBatch(const RasterBatch&) = delete;
    RasterBatch& operator=(const RasterBatch&) = delete;

    // As Rasterizer's, drawn on the next flush. A paint's pattern must live until then.
    void fillPolygon(std::span<const TPoint> pts, TRect clip, const Paint& paint);
    void fillClosedBezier(std::span<const TPoint> pts, TRect clip, const Paint& paint);
    void strokeHairline(std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint);
    void strokeBezierHairline(std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint);
    void strokeSmoothHairline(std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint);
    void strokeWide(std::span<const TPoint> pts, bool closed, int32_t width, TRect clip, const Paint& paint);
    void strokeBezierWide(std::span<const TPoint> pts, bool closed, int32_t width, TRect clip, const Paint& paint);
    // As the free functions; the pictures must live until the next flush.
    void fillBox(TPoint a, TPoint b, TRect clip, const Paint& paint);
    void blendMask(int32_t x, int32_t y, const uint8_t* mask, int32_t width, int32_t height, std::size_t stride,
                   TRect clip, uint32_t pixel, uint8_t alpha);
    void blendImage(int32_t x, int32_t y, const uint32_t* src, int32_t width, int32_t height, std::size_t stride,
                    TRect clip);

    // Where the commands draw; a change draws what was queued for the old surface first.
    void setSurface(Surface surface);
    bool empty() const { return m_queue.commands.empty() && !handedOff(); }
    // Draws everything queued, in order, and empties the batch.
    void flush();
    // Batches with less work than this many points are drawn on the calling thread alone.
    static constexpr std::size_t kParallelPoints = 8192;
    // Queued work of this many points goes to the helper while the caller queues more.
    static constexpr std::size_t kHandOffPoints = std::size_t{1} << 15;
    // A batch is drawn when it holds this many points, so that its memory stays small.
    static constexpr std::size_t kMaxPoints = std::size_t{1} << 19;

  private:
    enum class Op : uint8_t { Fill, Box, FillBezier, Stroke, StrokeBezier, SmoothStroke, Wide, WideBezier, Mask, Image };
    struct Command {
        Op op;
        bool closed;
        int32_t width;
        Paint paint;
        TRect clip;
        uint32_t first, count; // in the queue's points, or the index of its picture
    };
    struct Picture {
        const void* bits;
        int32_t x, y, width, height;
        std::size_t stride;
    };
    void queue(Op op, std::span<const TPoint> pts, bool closed, TRect clip, const Paint& paint, int32_t width = 1);
    struct Queue {
        std::vector<Command> commands;
        std::vector<TPoint> points;
        std::vector<Picture> pictures;
        std::size_t work = 0; // points, and pixels of pictures over eight: what decides on two bands
        void clear();
    };
    enum class Job : uint8_t { LowerBand, HandedOff };
    void queued(); // after every command: hands work off or draws it when there is enough
    void draw(Rasterizer& r, const Queue& q, Surface surface, int32_t top, int32_t bottom) const;
    bool startHelper(Job job);
    void waitForHelper(); // and draws the handed-off queue here if the helper could not
    void helperLoop();

    Surface m_target;
    Queue m_queue, m_handed; // what is being queued; what the helper draws whole
    bool handedOff() const { return !m_handed.commands.empty(); }
    Rasterizer m_here, m_there;

    // The helper thread, started on the first large batch.
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake, m_done;
    Job m_job = Job::LowerBand;
    std::atomic<bool> m_pending = false; // written under the mutex
    bool m_stop = false, m_failed = false;
};

} // namespace kestrum::raster

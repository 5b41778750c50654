#include "image/image.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace kestrum {

uint64_t TImage::nextId() {
    static std::atomic<uint64_t> counter{1};
    return counter.fetch_add(1, std::memory_order_relaxed);
}

void TImage::resize(int width, int height, uint32_t fillPixel) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == m_width && height == m_height) return;
    touch();
    std::vector<uint32_t> next(std::size_t(width) * std::size_t(height), fillPixel);
    const int w = std::min(width, m_width), h = std::min(height, m_height);
    for (int y = 0; y < h; ++y)
        std::memcpy(next.data() + std::size_t(y) * std::size_t(width), row(y), std::size_t(w) * sizeof(uint32_t));
    m_pixels = std::move(next);
    m_width = width;
    m_height = height;
}

void TImage::shift(int dx, int dy) {
    if (empty() || (dx == 0 && dy == 0)) return;
    if (std::abs(dx) >= m_width || std::abs(dy) >= m_height) return;
    touch();
    const int w = m_width - std::abs(dx);
    const int srcX = dx >= 0 ? 0 : -dx, dstX = dx >= 0 ? dx : 0;
    auto copyRow = [&](int y) {
        const int srcY = y - dy;
        std::memmove(row(y) + dstX, row(srcY) + srcX, std::size_t(w) * sizeof(uint32_t));
    };
    // Walk rows against the direction of the move so that no source row is overwritten first.
    if (dy > 0)
        for (int y = m_height - 1; y >= dy; --y) copyRow(y);
    else
        for (int y = 0; y < m_height + dy; ++y) copyRow(y);
}

} // namespace kestrum

#include "render/spatial_index.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <new>

namespace kestrum {

namespace {

// Small lists are read whole faster than an index is kept.
constexpr int kMinObjects = 4096;
// An object over more cells than this (a long winding road) is listed once, for every query.
constexpr int kMaxCellsPerObject = 1024;
constexpr int64_t kListingsPerObject = 16;

bool finite(const TMapRect& b) {
    return std::isfinite(b.MinX) && std::isfinite(b.MinY) && std::isfinite(b.MaxX) && std::isfinite(b.MaxY);
}

TMapRect boxOf(const TQEVMapObjectMem& o) {
    const auto& c = o.Corners;
    TMapRect b{c[0].X, c[0].Y, c[0].X, c[0].Y};
    for (const TMapPoint& p : c) {
        // min and max would pass a NaN over: a box with one is marked as not finite.
        if (std::isnan(p.X) || std::isnan(p.Y)) b.MinX = std::numeric_limits<float>::quiet_NaN();
        b.MinX = std::min(b.MinX, p.X), b.MaxX = std::max(b.MaxX, p.X);
        b.MinY = std::min(b.MinY, p.Y), b.MaxY = std::max(b.MaxY, p.Y);
    }
    return b;
}

} // namespace

int SpatialIndex::column(double x) const {
    const double c = (x - double(m_extent.MinX)) / m_cellWidth;
    if (!(c > 0)) return 0;
    return c >= m_columns - 1 ? m_columns - 1 : static_cast<int>(c);
}

int SpatialIndex::row(double y) const {
    const double r = (y - double(m_extent.MinY)) / m_cellHeight;
    if (!(r > 0)) return 0;
    return r >= m_rows - 1 ? m_rows - 1 : static_cast<int>(r);
}

void SpatialIndex::build(const TQevMapList& list) {
    const auto n = static_cast<std::size_t>(list.count());
    std::vector<TMapRect> boxes(n);
    m_extent = {};
    bool any = false;
    for (std::size_t i = 0; i < n; ++i) {
        const TMapRect b = boxes[i] = boxOf(list[int(i)]);
        if (!finite(b)) continue;
        if (!any) m_extent = b, any = true;
        m_extent = {std::min(m_extent.MinX, b.MinX), std::min(m_extent.MinY, b.MinY), std::max(m_extent.MaxX, b.MaxX),
                    std::max(m_extent.MaxY, b.MaxY)};
    }
    // About four objects a cell, the cells as square as the extent allows.
    const double w = std::max(double(m_extent.MaxX) - m_extent.MinX, 1e-6);
    const double h = std::max(double(m_extent.MaxY) - m_extent.MinY, 1e-6);
    const double cells = double(n) / 4;
    // Clamped before the conversion (fmax takes a NaN to the bound): a flat or broken extent of
    // a damaged map gives ratios past any int.
    auto count = [](double v) { return static_cast<int>(std::fmin(std::fmax(v, 1.0), 2048.0)); };
    m_columns = count(std::sqrt(cells * w / h));
    m_rows = count(cells / m_columns);
    m_cellWidth = w / m_columns;
    m_cellHeight = h / m_rows;

    const std::size_t cellCount = std::size_t(m_columns) * std::size_t(m_rows);
    m_cellStart.assign(cellCount + 1, 0);
    m_everywhere.clear();
    auto span = [&](const TMapRect& b, auto&& each) {
        const int c0 = column(b.MinX), c1 = column(b.MaxX), r0 = row(b.MinY), r1 = row(b.MaxY);
        for (int r = r0; r <= r1; ++r)
            for (int c = c0; c <= c1; ++c) each(std::size_t(r) * std::size_t(m_columns) + std::size_t(c));
    };
    // Cell lists hold at most kListingsPerObject entries an object on average, whatever a
    // (damaged) file's boxes: past that, objects are listed for every query instead.
    std::vector<bool> everywhere(n);
    int64_t listings = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const TMapRect& b = boxes[i];
        const int64_t covered = finite(b) ? int64_t(column(b.MaxX) - column(b.MinX) + 1) * int64_t(row(b.MaxY) - row(b.MinY) + 1) : 0;
        everywhere[i] = !finite(b) || covered > kMaxCellsPerObject || listings + covered > kListingsPerObject * int64_t(n);
        if (everywhere[i]) {
            m_everywhere.push_back(int32_t(i));
            continue;
        }
        listings += covered;
        span(b, [&](std::size_t cell) { ++m_cellStart[cell + 1]; });
    }
    for (std::size_t c = 0; c < cellCount; ++c) m_cellStart[c + 1] += m_cellStart[c];
    m_cellItems.resize(m_cellStart[cellCount]);
    std::vector<uint32_t> fill(m_cellStart.begin(), m_cellStart.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
        if (!everywhere[i]) span(boxes[i], [&](std::size_t cell) { m_cellItems[fill[cell]++] = int32_t(i); });
    m_marks.assign(n / 64 + 1, 0);
}

const std::vector<int>* SpatialIndex::candidates(const TQevMapList& list, const TMapRect& r) {
    const uint64_t generation = list.generation();
    if (m_list != &list || m_built != generation) {
        // Built only for a list that stood still since the previous query.
        const bool settled = m_list == &list && m_lastSeen == generation;
        m_list = &list;
        m_lastSeen = generation;
        m_built = 0;
        if (!settled || list.count() < kMinObjects) return nullptr;
        try {
            build(list);
        } catch (const std::bad_alloc&) {
            m_cellItems = {}, m_cellStart = {}, m_marks = {};
            return nullptr; // the plain scan needs no memory
        }
        m_built = generation;
    }
    if (!finite(r)) return nullptr; // the exact test has its own answer for such a window
    const int c0 = column(r.MinX), c1 = column(r.MaxX), r0 = row(r.MinY), r1 = row(r.MaxY);
    if (int64_t(c1 - c0 + 1) * int64_t(r1 - r0 + 1) * 2 > int64_t(m_columns) * m_rows)
        return nullptr; // most of the map: reading it whole is cheaper
    m_out.clear();
    if (r.MaxX >= m_extent.MinX && r.MinX <= m_extent.MaxX && r.MaxY >= m_extent.MinY && r.MinY <= m_extent.MaxY) {
        for (int y = r0; y <= r1; ++y)
            for (int c = c0; c <= c1; ++c) {
                const std::size_t cell = std::size_t(y) * std::size_t(m_columns) + std::size_t(c);
                for (uint32_t k = m_cellStart[cell]; k < m_cellStart[cell + 1]; ++k) mark(m_cellItems[k]);
            }
    }
    for (const int32_t i : m_everywhere) mark(i);
    for (std::size_t word = 0; word < m_marks.size(); ++word) {
        for (uint64_t bits = m_marks[word]; bits != 0; bits &= bits - 1)
            m_out.push_back(static_cast<int>(word * 64 + std::size_t(std::countr_zero(bits))));
        m_marks[word] = 0;
    }
    return &m_out;
}

} // namespace kestrum

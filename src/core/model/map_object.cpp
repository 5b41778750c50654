#include "model/map_object.h"

#include "model/text_measure.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numbers>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace kestrum {

std::string_view kindName(uint8_t kind) {
    static constexpr std::array<std::string_view, kKindCount> names = {
        "cPolygon", "cLine", "cPixel", "cText", "cBitmap", "cBezier", "cEllipse", "cZametka", "cGroup", "cBezierFill"};
    return kind < kKindCount ? names[kind] : std::string_view{};
}

TQEVMapObjectMem::TQEVMapObjectMem() = default;
TQEVMapObjectMem::TQEVMapObjectMem(TQEVMapObjectMem&&) noexcept = default;
TQEVMapObjectMem& TQEVMapObjectMem::operator=(TQEVMapObjectMem&&) noexcept = default;
TQEVMapObjectMem::~TQEVMapObjectMem() = default;

std::span<const TMapPoint> TQEVMapObjectMem::points() const {
    if (const auto* p = std::get_if<PointArray>(&Data)) return {p->data(), p->size()};
    return {};
}
PointArray* TQEVMapObjectMem::pointArray() { return std::get_if<PointArray>(&Data); }

template <class T>
static T* blockOf(const ObjectData& data) {
    if (const auto* p = std::get_if<std::unique_ptr<T>>(&data)) return p->get();
    return nullptr;
}

const TQEVMapText* TQEVMapObjectMem::text() const { return blockOf<TQEVMapText>(Data); }
const TQEVMapZametka* TQEVMapObjectMem::note() const { return blockOf<TQEVMapZametka>(Data); }
const TQEVMapBitmap* TQEVMapObjectMem::bitmap() const { return blockOf<TQEVMapBitmap>(Data); }
TQEVMapBitmap* TQEVMapObjectMem::bitmap() { return blockOf<TQEVMapBitmap>(Data); }
const TQevMapList* TQEVMapObjectMem::children() const { return blockOf<TQevMapList>(Data); }
TQevMapList* TQEVMapObjectMem::children() { return blockOf<TQevMapList>(Data); }

void TQEVMapObjectMem::setPoints(PointArray pts) {
    DataCount = static_cast<int32_t>(pts.size());
    Data = std::move(pts);
}

void TQEVMapObjectMem::setText(TQEVMapText t) {
    DataCount = static_cast<int32_t>(t.Text.size()) + kTextBlockOverhead;
    Data = std::make_unique<TQEVMapText>(std::move(t));
}

void TQEVMapObjectMem::setNote(TQEVMapZametka n) {
    DataCount = static_cast<int32_t>(n.Text.size()) + kNoteBlockOverhead;
    Data = std::make_unique<TQEVMapZametka>(std::move(n));
}

void TQEVMapObjectMem::setBitmap(TQEVMapBitmap b) {
    DataCount = kBitmapBlockSize;
    Data = std::make_unique<TQEVMapBitmap>(std::move(b));
}

void TQEVMapObjectMem::setChildren(std::unique_ptr<TQevMapList> list) {
    DataCount = list ? list->count() : 0;
    Data = std::move(list);
}

void TQEVMapObjectMem::setAddress(const TAddressCode& code) {
    Address = std::make_unique<TAddressCode>(code);
    HasAddress = 1;
}

void TQEVMapObjectMem::clearAddress() {
    Address.reset();
    HasAddress = 0;
}

void TQEVMapObjectMem::setExtra(const TExtraBlock& extra) {
    Extra = std::make_unique<TExtraBlock>(extra);
    HasExtra = 1;
}

int64_t DataSize(const TQEVMapObjectMem& obj) {
    switch (obj.Kind) {
    case cText:
    case cZametka:
    case cGroup:
        return obj.DataCount;
    case cBitmap:
        return kBitmapBlockSize;
    default:
        return isPointKind(obj.Kind) ? int64_t{obj.DataCount} * 8 : 0;
    }
}

TQEVMapObjectMem DeepCopy(const TQEVMapObjectMem& src) {
    TQEVMapObjectMem dst;
    dst.ID = src.ID;
    dst.Reserved1 = src.Reserved1;
    dst.Reserved2 = src.Reserved2;
    dst.Corners = src.Corners;
    dst.Center = src.Center;
    dst.Ploskost = src.Ploskost;
    dst.ClassCode = src.ClassCode;
    dst.Locked = src.Locked;
    dst.Kind = src.Kind;
    dst.DataCount = src.DataCount;
    dst.Pen = src.Pen;
    dst.Brush = src.Brush;
    dst.HasAddress = src.HasAddress;
    dst.HasExtra = src.HasExtra;
    dst.Height = src.Height;
    dst.Alpha = src.Alpha;
    if (src.Address) dst.Address = std::make_unique<TAddressCode>(*src.Address);
    if (src.Extra) dst.Extra = std::make_unique<TExtraBlock>(*src.Extra);
    std::visit(
        [&dst](const auto& data) {
            using T = std::decay_t<decltype(data)>;
            if constexpr (std::is_same_v<T, std::monostate>) {
            } else if constexpr (std::is_same_v<T, PointArray>) {
                dst.Data = data;
            } else if constexpr (std::is_same_v<T, std::unique_ptr<TQevMapList>>) {
                if (data) dst.Data = std::make_unique<TQevMapList>(DeepCopy(*data));
            } else {
                if (data) dst.Data = std::make_unique<typename T::element_type>(*data);
            }
        },
        src.Data);
    return dst;
}

namespace {

struct Bounds {
    float minX = std::numeric_limits<float>::infinity();
    float minY = std::numeric_limits<float>::infinity();
    float maxX = -std::numeric_limits<float>::infinity();
    float maxY = -std::numeric_limits<float>::infinity();

    // Written as selects, NaN coordinates never win a comparison and so never poison the box.
    // This loop is a large part of reading a map, and compilers turn the selects into branches
    // or scalar chains, so on x86 it takes two points per step with packed min and max, which
    // are the same selects: MINPS(a, b) is a < b ? a : b, lane by lane.
    void add(std::span<const TMapPoint> pts) {
        std::size_t i = 0;
#if defined(__SSE2__) || defined(_M_X64)
        static_assert(sizeof(TMapPoint) == 2 * sizeof(float));
        if (pts.size() >= 2) {
            __m128 lo = _mm_setr_ps(minX, minY, minX, minY), hi = _mm_setr_ps(maxX, maxY, maxX, maxY);
            __m128 lo2 = lo, hi2 = hi; // a second pair hides the latency of each min and max
            const auto* f = reinterpret_cast<const float*>(pts.data());
            for (; i + 4 <= pts.size(); i += 4) {
                const __m128 v = _mm_loadu_ps(f + 2 * i), w = _mm_loadu_ps(f + 2 * i + 4);
                lo = _mm_min_ps(v, lo);
                hi = _mm_max_ps(v, hi);
                lo2 = _mm_min_ps(w, lo2);
                hi2 = _mm_max_ps(w, hi2);
            }
            for (; i + 2 <= pts.size(); i += 2) {
                const __m128 v = _mm_loadu_ps(f + 2 * i);
                lo = _mm_min_ps(v, lo);
                hi = _mm_max_ps(v, hi);
            }
            lo = _mm_min_ps(lo2, lo);
            hi = _mm_max_ps(hi2, hi);
            alignas(16) float l[4], h[4];
            _mm_store_ps(l, lo);
            _mm_store_ps(h, hi);
            minX = l[2] < l[0] ? l[2] : l[0];
            minY = l[3] < l[1] ? l[3] : l[1];
            maxX = h[2] > h[0] ? h[2] : h[0];
            maxY = h[3] > h[1] ? h[3] : h[1];
        }
#endif
        float a = minX, b = minY, c = maxX, d = maxY;
        for (; i < pts.size(); ++i) {
            const TMapPoint& p = pts[i];
            a = p.X < a ? p.X : a;
            b = p.Y < b ? p.Y : b;
            c = p.X > c ? p.X : c;
            d = p.Y > d ? p.Y : d;
        }
        minX = a, minY = b, maxX = c, maxY = d;
    }
    bool valid() const { return minX <= maxX && minY <= maxY; }

    void store(TQEVMapObjectMem& obj, float widen) const {
        if (!valid()) {
            obj.Corners = {};
            return;
        }
        if (!std::isfinite(widen)) widen = 0;
        const float x0 = minX - widen, y0 = minY - widen, x1 = maxX + widen, y1 = maxY + widen;
        obj.Corners = {TMapPoint{x0, y0}, TMapPoint{x1, y0}, TMapPoint{x1, y1}, TMapPoint{x0, y1}};
    }
};

void computeTextCorners(TQEVMapObjectMem& obj, const TextMeasurer& measurer, const FontNames& fonts) {
    const TQEVMapText* t = obj.text();
    if (!t) return;
    // Small sizes are measured a hundred times larger so that integer font heights keep precision.
    const double m = t->FontSize >= 10 ? 1.0 : 100.0;
    double height = std::round(std::fabs(double{t->FontSize}) * m);
    if (!std::isfinite(height) || height > 1e7) height = 0;
    const std::string& face = t->FontIndex == 1 ? fonts.font1 : fonts.font;
    const TextExtent e = height > 0 ? measurer.measure(face, height, 400, t->Text) : TextExtent{};
    obj.Corners = textBox({t->X, t->Y}, static_cast<float>(e.width / m), static_cast<float>(e.height / m), t->Angle);
}

} // namespace

std::array<TMapPoint, 4> textBox(TMapPoint o, float w, float h, int32_t angleTenths) {
    const double a = static_cast<double>(angleTenths) / 10.0 * std::numbers::pi / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    // Screen Y grows downwards, so a counter-clockwise turn on screen lifts +X towards -Y.
    auto rot = [&](double dx, double dy) {
        return TMapPoint{static_cast<float>(o.X + dx * c + dy * s), static_cast<float>(o.Y - dx * s + dy * c)};
    };
    return {o, rot(w, 0), rot(w, h), rot(0, h)};
}

void ComputeCenter(TQEVMapObjectMem& obj) {
    if (obj.Kind == cText || obj.Kind == cZametka) {
        obj.Center = obj.Corners[0];
        return;
    }
    const TMapPoint c0 = obj.Corners[0], c2 = obj.Corners[2];
    obj.Center = {c0.X + std::fabs(c0.X - c2.X) / 2, c0.Y + std::fabs(c0.Y - c2.Y) / 2};
}

void ComputeCorners(TQEVMapObjectMem& obj, const TextMeasurer& measurer, const FontNames& fonts,
                    ChildCorners children) {
    const float halfPen = obj.Pen.Width / 2;
    switch (obj.Kind) {
    case cText:
        computeTextCorners(obj, measurer, fonts);
        break;
    case cZametka:
        if (const TQEVMapZametka* n = obj.note()) obj.Corners.fill({n->X, n->Y});
        break;
    case cBitmap:
        if (const TQEVMapBitmap* b = obj.bitmap()) {
            Bounds box;
            box.add(b->Corners);
            box.store(obj, 0);
        }
        break;
    case cGroup:
        if (TQevMapList* kids = obj.children()) {
            Bounds box;
            for (TQEVMapObjectMem& kid : *kids) {
                if (children == ChildCorners::Recompute) ComputeCorners(kid, measurer, fonts);
                box.add(kid.Corners);
            }
            box.store(obj, halfPen);
        }
        break;
    default:
        if (isPointKind(obj.Kind)) {
            Bounds box;
            box.add(obj.points());
            box.store(obj, halfPen);
        }
        break; // kinds beyond the known ones keep their corners
    }
}

TQevMapList::~TQevMapList() = default;

uint64_t TQevMapList::nextGeneration() {
    static std::atomic<uint64_t> last{0};
    return ++last;
}

int TQevMapList::Add(TQEVMapObjectMem&& obj) {
    touch();
    m_items.push_back(std::move(obj));
    return count() - 1;
}

void TQevMapList::Replace(int index, TQEVMapObjectMem obj) {
    if (index < 0) return;
    touch();
    if (index >= count()) {
        Add(std::move(obj));
        return;
    }
    m_items[static_cast<std::size_t>(index)] = std::move(obj);
}

void TQevMapList::Delete(int index) {
    if (index < 0 || index >= count()) return;
    touch();
    m_items.erase(m_items.begin() + index);
}

void TQevMapList::Move(int from, int to) {
    if (from < 0 || from >= count() || to < 0 || to >= count() || from == to) return;
    touch();
    auto first = m_items.begin();
    if (from < to)
        std::rotate(first + from, first + from + 1, first + to + 1);
    else
        std::rotate(first + to, first + from, first + from + 1);
}

TQevMapList DeepCopy(const TQevMapList& list) {
    TQevMapList copy;
    copy.reserve(static_cast<std::size_t>(list.count()));
    for (const TQEVMapObjectMem& obj : list) copy.Add(DeepCopy(obj));
    return copy;
}

TMapRect CornerBox(const TQEVMapObjectMem& obj) {
    TMapRect box{obj.Corners[0].X, obj.Corners[0].Y, obj.Corners[0].X, obj.Corners[0].Y};
    for (const TMapPoint& c : obj.Corners) {
        box.MinX = std::min(box.MinX, c.X), box.MinY = std::min(box.MinY, c.Y);
        box.MaxX = std::max(box.MaxX, c.X), box.MaxY = std::max(box.MaxY, c.Y);
    }
    return box;
}

TMapRect MapExtent(const TQevMapList& list) {
    if (list.empty()) return {};
    Bounds box;
    for (const TQEVMapObjectMem& obj : list) box.add(obj.Corners);
    if (!box.valid()) return {};
    return {box.minX, box.minY, box.maxX, box.maxY};
}

} // namespace kestrum

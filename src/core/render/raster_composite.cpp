// Laying pictures over the surface: glyph masks coloured at each use, premultiplied pictures.
#include "render/raster.h"
#include "render/raster_internal.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kestrum::raster {

using namespace detail;

namespace {

// Each channel of x times a / 255, two channels per multiply.
uint32_t byteMul(uint32_t x, uint32_t a) {
    uint32_t t = (x & 0xFF00FFu) * a;
    t = ((t + ((t >> 8) & 0xFF00FFu) + 0x800080u) >> 8) & 0xFF00FFu;
    x = ((x >> 8) & 0xFF00FFu) * a;
    x = (x + ((x >> 8) & 0xFF00FFu) + 0x800080u) & 0xFF00FF00u;
    return x | t;
}

// x * a / 255 + y * b / 255 for each channel at once, a + b = 255: the compositor's blend.
uint32_t interpolate(uint32_t x, uint32_t a, uint32_t y, uint32_t b) {
    uint32_t t = (x & 0xFF00FFu) * a + (y & 0xFF00FFu) * b;
    t = ((t + ((t >> 8) & 0xFF00FFu) + 0x800080u) >> 8) & 0xFF00FFu;
    x = ((x >> 8) & 0xFF00FFu) * a + ((y >> 8) & 0xFF00FFu) * b;
    x = (x + ((x >> 8) & 0xFF00FFu) + 0x800080u) & 0xFF00FF00u;
    return x | t;
}

#if defined(__SSE2__)
// byteMul's and interpolate's rounding in eight 16-bit lanes: (t + (t >> 8) + 128) >> 8.
__m128i byteDivide(__m128i t) {
    return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), _mm_set1_epi16(0x80)), 8);
}
#endif

// Calls rows(dst, src, count) for each row of a picture whose top-left corner goes to (x, y),
// cut to the clip: dst and src point at the first pixel of the row's part inside.
template <class T, class Rows>
void eachPictureRow(Surface image, TRect clip, int32_t x, int32_t y, const T* src, int32_t width, int32_t height,
                    std::size_t stride, Rows&& rows) {
    clip = intersect(clip, image);
    const int32_t x0 = std::max(x, clip.Left), x1 = std::min(x + width, clip.Right);
    const int32_t y0 = std::max(y, clip.Top), y1 = std::min(y + height, clip.Bottom);
    if (x0 >= x1) return;
    for (int32_t row = y0; row < y1; ++row)
        rows(image.pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(image.width) + x0,
             src + static_cast<std::size_t>(row - y) * stride + (x0 - x), x1 - x0);
}

} // namespace

void blendMask(Surface image, TRect clip, int32_t x, int32_t y, const uint8_t* mask, int32_t width, int32_t height,
               std::size_t stride, uint32_t pixel, uint8_t alpha) {
    eachPictureRow(image, clip, x, y, mask, width, height, stride, [&](uint32_t* dst, const uint8_t* m, int32_t count) {
        int32_t i = 0;
#if defined(__SSE2__)
        // Four pixels at a time, the same sums as below in 16-bit lanes: a coverage times the
        // opacity over 255 is (v + 1 + (v >> 8)) >> 8 exactly for every v that can occur.
        const __m128i zero = _mm_setzero_si128(), one = _mm_set1_epi16(1);
        const __m128i opacity = _mm_set1_epi16(alpha), rounding = _mm_set1_epi16(127), all = _mm_set1_epi16(255);
        const __m128i ink = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int32_t>(pixel)), zero);
        const __m128i solid = _mm_set1_epi32(static_cast<int32_t>(pixel));
        while (i + 4 <= count) {
            // Most of a caption's box is bare: skip it eight at a time.
            uint64_t eight;
            if (i + 8 <= count && (std::memcpy(&eight, m + i, 8), eight == 0)) {
                i += 8;
                continue;
            }
            uint32_t four;
            std::memcpy(&four, m + i, 4);
            if (four == 0) {
                i += 4;
                continue;
            }
            __m128i* out = reinterpret_cast<__m128i*>(dst + i);
            if (four == 0xFFFFFFFFu && alpha == 255) {
                _mm_storeu_si128(out, solid);
                i += 4;
                continue;
            }
            const __m128i v = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(static_cast<int32_t>(four)), zero), opacity), rounding);
            __m128i a = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(v, one), _mm_srli_epi16(v, 8)), 8);
            a = _mm_unpacklo_epi16(a, a);
            auto mix = [&](__m128i d, __m128i share) {
                return byteDivide(_mm_add_epi16(_mm_mullo_epi16(ink, share), _mm_mullo_epi16(d, _mm_sub_epi16(all, share))));
            };
            const __m128i d = _mm_loadu_si128(out);
            const __m128i lo = mix(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi32(a, a));
            const __m128i hi = mix(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi32(a, a));
            _mm_storeu_si128(out, _mm_packus_epi16(lo, hi));
            i += 4;
        }
#endif
        for (; i < count; ++i) {
            if (m[i] == 0) {
                uint64_t eight;
                while (i + 8 <= count && (std::memcpy(&eight, m + i, 8), eight == 0)) i += 8;
                if (i >= count) break;
                if (m[i] == 0) continue;
            }
            const uint32_t a = m[i] == 255 ? alpha : (uint32_t{m[i]} * alpha + 127) / 255;
            dst[i] = a == 255 ? pixel : interpolate(pixel, a, dst[i], 255 - a);
        }
    });
}

void blendImage(Surface image, TRect clip, int32_t x, int32_t y, const uint32_t* src, int32_t width, int32_t height,
                std::size_t stride) {
    eachPictureRow(image, clip, x, y, src, width, height, stride, [](uint32_t* dst, const uint32_t* s, int32_t count) {
        int32_t i = 0;
#if defined(__SSE2__)
        // Four pixels at a time, the same sums as below: each channel times 255 - alpha fits a
        // 16-bit lane with its rounding, and the source is added as whole words.
        const __m128i zero = _mm_setzero_si128(), full = _mm_set1_epi32(255);
        const __m128i opaque = _mm_set1_epi32(static_cast<int32_t>(0xFF000000u));
        for (; i + 4 <= count; i += 4) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(v, zero)) == 0xFFFF) continue; // bare
            if (_mm_movemask_epi8(_mm_cmpeq_epi32(_mm_and_si128(v, opaque), opaque)) == 0xFFFF) {
                _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), v); // solid: an icon's body
                continue;
            }
            __m128i inv = _mm_sub_epi32(full, _mm_srli_epi32(v, 24));
            inv = _mm_or_si128(inv, _mm_slli_epi32(inv, 16));
            const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(dst + i));
            const __m128i lo = byteDivide(_mm_mullo_epi16(_mm_unpacklo_epi8(d, zero), _mm_unpacklo_epi32(inv, inv)));
            const __m128i hi = byteDivide(_mm_mullo_epi16(_mm_unpackhi_epi8(d, zero), _mm_unpackhi_epi32(inv, inv)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_add_epi32(v, _mm_packus_epi16(lo, hi)));
        }
#endif
        for (; i < count; ++i) {
            const uint32_t v = s[i];
            if (v >= 0xFF000000u) dst[i] = v;
            else if (v != 0) dst[i] = v + byteMul(dst[i], 255 - (v >> 24));
        }
    });
}

} // namespace kestrum::raster

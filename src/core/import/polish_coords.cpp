// Coordinates of Polish-format files: "(lat,lon)" pairs in degrees, read as millionths.

#include "import/polish_importer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

namespace kestrum::polish {
namespace {

// The six decimal digits at p in one go, as nearly every coordinate has exactly six decimals;
// false when one of the six bytes is no digit. The bytes make a little-endian word on any machine.
bool sixDigits(const char* p, int32_t& value) {
    uint64_t v = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Two whole loads: six bytes copied into an eight-byte word would be three stores read
        // back by one load, which the processor cannot forward and stalls on.
        uint32_t low = 0;
        uint16_t high = 0;
        std::memcpy(&low, p, 4);
        std::memcpy(&high, p + 4, 2);
        v = low | uint64_t{high} << 32;
    } else {
        for (int i = 5; i >= 0; --i)
            v = v << 8 | static_cast<uint8_t>(p[i]);
    }
    // Every byte 0x30..0x39: high nibble 3, and adding 6 keeps it 3.
    constexpr uint64_t kHigh = 0xF0F0F0F0F0F0;
    if (((v & kHigh) | (((v + 0x060606060606) & kHigh) >> 4)) != 0x333333333333) return false;
    // Digit values, the first one in the third byte so that eight-digit arithmetic reads two
    // leading zeros; then pairs, fours and eights combine in three multiplications.
    v = (v - 0x303030303030) << 16;
    v = (v * 10) + (v >> 8);
    v = (((v & 0x000000FF000000FF) * (100 + (1000000ULL << 32))) +
         (((v >> 16) & 0x000000FF000000FF) * (1 + (10000ULL << 32)))) >>
        32;
    value = static_cast<int32_t>(v);
    return true;
}

// The usual form of a coordinate, "-12.34567": a sign, at most four whole digits and at most
// six decimals, read exactly as an integer number of millionths. Returns where the number ends
// (the caller checks what follows), or nullptr when there is no digit.
const char* readPlainMicro(const char* p, const char* const e, int64_t& micro) {
    static constexpr int32_t kScale[7] = {1000000, 100000, 10000, 1000, 100, 10, 1};
    const bool negative = p < e && *p == '-';
    if (negative) ++p;
    const char* const start = p;
    int32_t whole = 0, fraction = 0;
    for (const char* stop = p + std::min<std::ptrdiff_t>(e - p, 4); p < stop; ++p) {
        const auto d = static_cast<unsigned>(*p - '0');
        if (d > 9) break;
        whole = whole * 10 + static_cast<int32_t>(d);
    }
    bool digits = p != start;
    if (p < e && *p == '.') {
        const char* const first = ++p;
        if (e - p >= 6 && sixDigits(p, fraction)) {
            p += 6;
        } else {
            for (const char* stop = p + std::min<std::ptrdiff_t>(e - p, 6); p < stop; ++p) {
                const auto d = static_cast<unsigned>(*p - '0');
                if (d > 9) break;
                fraction = fraction * 10 + static_cast<int32_t>(d);
            }
        }
        digits = digits || p != first;
        fraction *= kScale[p - first];
    }
    if (!digits) return nullptr;
    micro = int64_t{whole} * 1000000 + fraction;
    if (negative) micro = -micro;
    return p;
}

} // namespace

// Millionths of a degree from a number of degrees. The usual form is read exactly (it is nearly
// all of a file's bytes); other forms go through from_chars and are rounded to the nearest
// millionth.
bool readMicroDegrees(std::string_view s, float& out) {
    s = trimSpaces(s);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty()) return false;
    const char* const e = s.data() + s.size();
    int64_t micro = 0;
    if (readPlainMicro(s.data(), e, micro) != e) {
        double degrees = 0;
        const auto [end, ec] = std::from_chars(s.data(), e, degrees);
        if (ec != std::errc{} || end != e || !std::isfinite(degrees) || std::fabs(degrees) > kMaxDegrees)
            return false;
        micro = static_cast<int64_t>(std::nearbyint(degrees * 1e6));
    }
    if (micro > kMaxMicro || micro < -kMaxMicro) return false;
    out = static_cast<float>(micro);
    return true;
}

// "(lat,lon)" of two plain numbers with nothing around them, as nearly every writer puts it:
// returns the end of the pair, or nullptr for any other spelling, which the general reader takes.
const char* readPlainPair(const char* p, const char* const e, float& lat, float& lon) {
    int64_t la = 0, lo = 0;
    p = readPlainMicro(p + 1, e, la);
    if (!p || p == e || *p != ',') return nullptr;
    p = readPlainMicro(p + 1, e, lo);
    if (!p || p == e || *p != ')') return nullptr;
    if (la > kMaxMicro || la < -kMaxMicro || lo > kMaxMicro || lo < -kMaxMicro) return nullptr;
    lat = static_cast<float>(la), lon = static_cast<float>(lo);
    return p + 1;
}

void PolishImporter::dataLine(int level, std::string_view value) {
    // The most detailed level the section has gives its points: usually Data0, but a feature
    // shown only at coarser zoom levels has only Data1, Data2 ...
    if (level > m_level) return;
    if (level < m_level) {
        m_level = level;
        m_points.clear();
        m_dataLines.clear();
    }
    const std::size_t first = m_points.size();
    parseCoordinates(value);
    // Every line of the level is one object: a polygon with holes or a feature in several parts
    // has one Data0 line per ring or part.
    m_dataLines.push_back({first, m_points.size() - first, m_line});
}

void PolishImporter::parseCoordinates(std::string_view value) {
    const char* p = value.data();
    const char* const e = p + value.size();
    int bad = 0;
    std::string_view firstBad;
    while (p < e) {
        while (p < e && (*p == ' ' || *p == '\t' || *p == ','))
            ++p;
        if (p == e) break;
        std::string_view lat, lon, pair;
        bool complete = false;
        const char* next = e;
        float la = 0, lo = 0;
        if (*p == '(') {
            if (const char* end = readPlainPair(p, e, la, lo)) {
                m_points.push_back({lo, -la});
                p = end;
                continue;
            }
            const auto* close =
                static_cast<const char*>(std::memchr(p + 1, ')', static_cast<std::size_t>(e - p - 1)));
            const std::string_view group(p + 1, static_cast<std::size_t>((close ? close : e) - p - 1));
            next = close ? close + 1 : e;
            const std::size_t comma = group.find(',');
            if (comma != std::string_view::npos)
                lat = group.substr(0, comma), lon = group.substr(comma + 1), complete = true;
        } else {
            // A bare list "lat,lon,lat,lon": some writers leave the parentheses out.
            const char* c1 = std::find(p, e, ',');
            lat = std::string_view(p, static_cast<std::size_t>(c1 - p));
            if (c1 != e) {
                next = std::find(c1 + 1, e, ',');
                lon = std::string_view(c1 + 1, static_cast<std::size_t>(next - c1 - 1));
                complete = true;
            }
        }
        pair = std::string_view(p, static_cast<std::size_t>(next - p));
        if (complete && readMicroDegrees(lat, la) && readMicroDegrees(lon, lo)) {
            m_points.push_back({lo, -la});
        } else if (bad++ == 0) {
            firstBad = pair;
        }
        p = next;
    }
    if (bad > 0)
        problem(m_line, std::to_string(bad) + (bad == 1 ? " coordinate pair" : " coordinate pairs") +
                            " could not be read and " + (bad == 1 ? "was" : "were") + " dropped, the first " +
                            quote(firstBad));
}

} // namespace kestrum::polish

#pragma once
// Plain value types shared by the whole map document. Field names follow the
// map file: they are what other tools and the file format call them.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace kestrum {

struct TMapPoint {
    float X;
    float Y;
    friend bool operator==(const TMapPoint&, const TMapPoint&) = default;
};

enum TObjectKind : uint8_t {
    cPolygon = 0,
    cLine = 1,
    cPixel = 2,
    cText = 3,
    cBitmap = 4,
    cBezier = 5,
    cEllipse = 6,
    cZametka = 7,
    cGroup = 8,
    cBezierFill = 9,
};

constexpr int kKindCount = 10;

// Kinds whose data block is a plain array of points.
constexpr bool isPointKind(uint8_t kind) {
    return kind == cPolygon || kind == cLine || kind == cPixel || kind == cBezier || kind == cEllipse ||
           kind == cBezierFill;
}

// "cPolygon" ... "cBezierFill"; empty for codes that are not kinds.
std::string_view kindName(uint8_t kind);

// Pen style order is the platform's: solid, dash, dot, dash-dot, dash-dot-dot, clear, inside-frame.
struct TQEVMapPen {
    int32_t Color = 0;
    uint8_t Style = 0;
    float Width = 0;
    uint32_t Flags = 0;
    friend bool operator==(const TQEVMapPen&, const TQEVMapPen&) = default;
};

constexpr uint32_t kPenSquareEnds = 1u << 0;
constexpr uint32_t kPenBorder = 1u << 1;
// The whole value on a cLine marks a line drawn pixel by pixel.
constexpr uint32_t kPenPixelLine = 0xFFFFFFFFu;
// Width is in screen pixels, not map units: the same at every zoom (MapInfo's pens).
constexpr uint32_t kPenWidthPixels = 1u << 2;

inline bool penWidthInPixels(const TQEVMapPen& pen) {
    return pen.Flags != kPenPixelLine && (pen.Flags & kPenWidthPixels) != 0;
}

// Brush style order: solid, clear, horizontal, vertical, forward diagonal, backward diagonal,
// cross, diagonal cross.
struct TQEVMapBrush {
    int32_t Color = 0;
    uint8_t Style = 0;
    friend bool operator==(const TQEVMapBrush&, const TQEVMapBrush&) = default;
};

// A length byte followed by N character bytes of which only the first `length` count. The
// bytes past the length are carried as they were read, so a file written back is unchanged.
template <std::size_t N>
struct ShortString {
    std::array<uint8_t, N + 1> bytes{};

    static constexpr std::size_t capacity = N;

    std::string_view view() const {
        const std::size_t n = std::min<std::size_t>(bytes[0], N);
        return {reinterpret_cast<const char*>(bytes.data() + 1), n};
    }
    std::string str() const { return std::string(view()); }
    bool empty() const { return bytes[0] == 0; }
    // Text longer than N is cut: the format has no room for more.
    void assign(std::string_view s) {
        bytes.fill(0);
        const std::size_t n = std::min(s.size(), N);
        bytes[0] = static_cast<uint8_t>(n);
        std::copy_n(s.data(), n, reinterpret_cast<char*>(bytes.data() + 1));
    }
    friend bool operator==(const ShortString&, const ShortString&) = default;
};

struct TAddressCode {
    int16_t TownCode = -1;
    int16_t StreetCode = -1;
    ShortString<12> House;
    int16_t Street1Code = -1;
    ShortString<12> House1;
    friend bool operator==(const TAddressCode&, const TAddressCode&) = default;
};

constexpr std::size_t kAddressCodeSize = 32;
constexpr std::size_t kExtraSize = 51;
using TExtraBlock = std::array<uint8_t, kExtraSize>;

// Decoded address: names looked up in the dictionaries (map code page bytes).
struct TAdres {
    std::string Town, Street, House, Street1, House1;
    friend bool operator==(const TAdres&, const TAdres&) = default;
};

struct TMapRect {
    float MinX = 0, MinY = 0, MaxX = 0, MaxY = 0;
    friend bool operator==(const TMapRect&, const TMapRect&) = default;
};

} // namespace kestrum

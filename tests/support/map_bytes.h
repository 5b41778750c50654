#pragma once
// Builds ".MAP" files byte by byte for the reader tests. Every layout here is written out field
// by field from the format description, independently of the reader and writer, so that a
// wrong offset in either shows up as a failing test instead of cancelling out.

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kestrum::test {

class Bytes {
  public:
    Bytes& i8(int8_t v) { return raw(&v, 1); }
    Bytes& u8(uint8_t v) { return raw(&v, 1); }
    Bytes& i16(int16_t v) { return le(v); }
    Bytes& i32(int32_t v) { return le(v); }
    Bytes& u32(uint32_t v) { return le(v); }
    Bytes& f32(float v) { return le(v); }
    Bytes& f64(double v) { return le(v); }
    // A ShortString[n]: length byte, then n bytes of which only `s.size()` count. The unused
    // tail gets `fill` so that tests notice a reader that looks past the length.
    Bytes& shortStr(std::string_view s, std::size_t n, uint8_t fill = 0) {
        u8(static_cast<uint8_t>(s.size()));
        raw(s.data(), s.size());
        for (std::size_t i = s.size(); i < n; ++i)
            u8(fill);
        return *this;
    }
    Bytes& zeros(std::size_t n) { return fillBytes(n, 0); }
    Bytes& fillBytes(std::size_t n, uint8_t v) {
        m_b.insert(m_b.end(), n, v);
        return *this;
    }
    Bytes& raw(const void* p, std::size_t n) {
        const auto* c = static_cast<const uint8_t*>(p);
        m_b.insert(m_b.end(), c, c + n);
        return *this;
    }
    Bytes& append(const std::vector<uint8_t>& v) { return raw(v.data(), v.size()); }

    template <class T> void patch(std::size_t offset, T v) {
        uint8_t tmp[sizeof(T)];
        std::memcpy(tmp, &v, sizeof(T));
        for (std::size_t i = 0; i < sizeof(T); ++i)
            m_b.at(offset + i) = tmp[i];
    }

    std::size_t size() const { return m_b.size(); }
    const std::vector<uint8_t>& vec() const { return m_b; }

  private:
    template <class T> Bytes& le(T v) {
        static_assert(std::endian::native == std::endian::little, "the test builder writes host order");
        return raw(&v, sizeof v);
    }
    std::vector<uint8_t> m_b;
};

struct Pt {
    float x = 0, y = 0;
};

struct HeaderFields {
    int32_t version = 14;
    std::string signature = "KESTRUM TEST MAP";
    std::string name = "test";
    std::string createdBy = "tests";
    std::array<uint8_t, 5> kept557{1, 2, 3, 4, 5};
    int32_t mashtab = 2000;
    double date = 45000.5;
    int32_t objectCount = 0;
    int32_t nextID = 1;
    double scale = 250.0; // stored only from version 10 on
    float xWind = -12.5f, yWind = 33.25f;
    int32_t streetCount = 0, nextStreetCode = 0;
    int32_t townCount = 0, nextTownCode = 0; // stored in versions 9 to 14
    uint8_t kept614 = 0x5A;
    uint8_t stringFill = 0xEE; // what the unused tails of the header strings hold
};

inline std::size_t headerSize(int32_t version) {
    return version >= 10 ? 615 : version == 9 ? 610 : 602;
}

inline void putHeader(Bytes& b, const HeaderFields& h) {
    b.shortStr(h.signature, 40, h.stringFill).i32(h.version);
    b.shortStr(h.name, 255, h.stringFill).shortStr(h.createdBy, 255, h.stringFill);
    b.raw(h.kept557.data(), 5).i32(h.mashtab).f64(h.date).i32(h.objectCount).i32(h.nextID);
    if (h.version >= 10) {
        b.f64(h.scale).f32(h.xWind).f32(h.yWind).i32(h.streetCount).i32(h.nextStreetCode);
        b.i32(h.townCount).i32(h.nextTownCode).u8(h.kept614);
    } else {
        // Four bytes that older files leave unused, then the view and the street counters.
        b.fillBytes(4, 0x7F).f32(h.xWind).f32(h.yWind).i32(h.streetCount).i32(h.nextStreetCode);
        if (h.version == 9) b.i32(h.townCount).i32(h.nextTownCode);
    }
}

inline void putDictEntry(Bytes& b, int16_t code, std::string_view name, uint8_t fill = 0xAB) {
    b.i16(code).shortStr(name, 40, fill);
}

// Everything an object record of any version can hold; each layout takes what it has room for.
struct Rec {
    int32_t id = 1;
    int32_t reserved1 = 0;
    uint8_t reserved2 = 0;
    std::array<Pt, 4> corners{}; // stored by versions 1 to 7 only
    Pt center{};                 // stored from version 4 on
    int32_t ploskost = 0;
    int32_t classCode = 0;
    uint8_t locked = 0;
    uint8_t kind = 0;
    int32_t dataCount = 0;
    uint8_t alpha = 255; // stored from version 12 on
    int32_t penColor = 0;
    uint8_t penStyle = 0;
    float penWidth = 0; // a whole number before version 13
    uint32_t penFlags = 0;
    int32_t brushColor = 0;
    uint8_t brushStyle = 0;
    uint8_t hasAddress = 0;
    uint8_t hasExtra = 0;
    float height = 0; // stored from version 11 on
};

inline std::size_t recordSize(int32_t version) {
    return version <= 3 ? 70 : version <= 7 ? 83 : version <= 10 ? 51 : version == 11 ? 55 : 56;
}

inline void putRecord(Bytes& b, int32_t version, const Rec& r) {
    const auto penWidthInt = static_cast<int32_t>(r.penWidth);
    auto corners = [&] {
        for (const Pt& p : r.corners)
            b.f32(p.x).f32(p.y);
    };
    if (version <= 3) { // R70
        b.i32(r.id);
        corners();
        b.i32(r.ploskost).i32(r.classCode).u8(r.locked).u8(r.kind).i32(r.dataCount);
        b.i32(r.penColor).u8(r.penStyle).i32(penWidthInt).u32(r.penFlags);
        b.i32(r.brushColor).u8(r.brushStyle).u8(r.hasAddress).u8(r.hasExtra);
    } else if (version <= 7) { // R83: the in-memory record up to HasExtra
        b.i32(r.id).i32(r.reserved1).u8(r.reserved2);
        corners();
        b.f32(r.center.x).f32(r.center.y);
        b.i32(r.ploskost).i32(r.classCode).u8(r.locked).u8(r.kind).i32(r.dataCount);
        b.i32(r.penColor).u8(r.penStyle).i32(penWidthInt).u32(r.penFlags);
        b.i32(r.brushColor).u8(r.brushStyle).u8(r.hasAddress).u8(r.hasExtra);
    } else {
        b.i32(r.id).i32(r.reserved1).u8(r.reserved2).f32(r.center.x).f32(r.center.y);
        b.i32(r.ploskost).i32(r.classCode).u8(r.locked).u8(r.kind).i32(r.dataCount);
        if (version >= 12) b.u8(r.alpha);
        b.i32(r.penColor).u8(r.penStyle);
        if (version >= 13)
            b.f32(r.penWidth);
        else
            b.i32(penWidthInt);
        b.u32(r.penFlags).i32(r.brushColor).u8(r.brushStyle).u8(r.hasAddress).u8(r.hasExtra);
        if (version >= 11) b.f32(r.height);
    }
}

struct Addr {
    int16_t town = -1, street = -1, street1 = -1;
    std::string house, house1;
};

inline std::size_t addressSize(int32_t version) {
    return version <= 3 ? 7 : version <= 6 ? 9 : version <= 8 ? 18 : version <= 13 ? 20 : 32;
}

inline void putAddress(Bytes& b, int32_t version, const Addr& a) {
    if (version <= 3) {
        b.i16(a.street).shortStr(a.house, 4, 0xCC);
    } else if (version <= 6) {
        b.i16(a.street).shortStr(a.house, 6, 0xCC);
    } else if (version <= 8) {
        b.i16(a.street).shortStr(a.house, 6, 0xCC).i16(a.street1).shortStr(a.house1, 6, 0xCC);
    } else if (version <= 13) {
        b.i16(a.town).i16(a.street).shortStr(a.house, 6, 0xCC).i16(a.street1).shortStr(a.house1, 6, 0xCC);
    } else {
        b.i16(a.town).i16(a.street).shortStr(a.house, 12).i16(a.street1).shortStr(a.house1, 12);
    }
}

inline std::array<uint8_t, 51> extraPattern(uint8_t seed) {
    std::array<uint8_t, 51> e{};
    for (std::size_t i = 0; i < e.size(); ++i)
        e[i] = static_cast<uint8_t>(seed + i * 7);
    return e;
}

// Fixed 88-byte text of versions 1 to 7.
inline void putFixedText(Bytes& b, float x, float y, int32_t angle, uint8_t fontIndex, int32_t fontSize,
                         std::string_view text) {
    b.f32(x).f32(y).i32(angle).u8(fontIndex).i32(fontSize).shortStr(text, 70, 'Q');
}

// Variable text block; DataCount must be text.size() + 22. FontSize is an int32 before version 13.
inline void putTextBlock(Bytes& b, int32_t version, float x, float y, int32_t angle, uint8_t fontIndex,
                         float fontSize, std::string_view text) {
    b.f32(x).f32(y).i32(angle).u8(fontIndex);
    if (version >= 13)
        b.f32(fontSize);
    else
        b.i32(static_cast<int32_t>(fontSize));
    b.i32(static_cast<int32_t>(text.size())).raw(text.data(), text.size()).u8(0);
}

inline void putNoteN1(Bytes& b, float x, float y, int32_t icon, std::string_view text) {
    b.f32(x).f32(y).i32(icon).fillBytes(4, 0x99).shortStr(text, 255, 'Z');
}

inline void putNoteN2(Bytes& b, float x, float y, std::string_view lib, std::string_view icon,
                      std::string_view text) {
    b.f32(x)
        .f32(y)
        .shortStr(lib, 30, 'L')
        .shortStr(icon, 30, 'I')
        .fillBytes(4, 0x99)
        .shortStr(text, 255, 'Z');
}

// Variable note block; DataCount must be text.size() + 75.
inline void putNoteBlock(Bytes& b, float x, float y, std::string_view lib, std::string_view icon,
                         std::string_view text) {
    b.f32(x).f32(y).shortStr(lib, 30).shortStr(icon, 30).i32(static_cast<int32_t>(text.size()));
    b.raw(text.data(), text.size()).u8(0);
}

// Bitmap header of versions 13 and 14 (42 bytes) or 12 (37 bytes), then the image.
inline void putBitmap(Bytes& b, int32_t version, const std::array<Pt, 4>& c, uint8_t format,
                      uint8_t transparent, int32_t transparentColor, const std::vector<uint8_t>& image) {
    for (const Pt& p : c)
        b.f32(p.x).f32(p.y);
    b.u8(format);
    if (version != 12) b.u8(transparent).i32(transparentColor); // only version 12 went without
    b.i32(static_cast<int32_t>(image.size())).append(image);
}

inline void putPoints(Bytes& b, const std::vector<Pt>& pts) {
    for (const Pt& p : pts)
        b.f32(p.x).f32(p.y);
}

using DictList = std::vector<std::pair<int16_t, std::string>>;

// Header (with the given counts) and both dictionaries; towns need version 9 or later.
inline Bytes mapStart(int32_t version, int32_t objectCount, const DictList& streets = {},
                      const DictList& towns = {}) {
    Bytes b;
    HeaderFields h;
    h.version = version;
    h.objectCount = objectCount;
    h.streetCount = static_cast<int32_t>(streets.size());
    h.nextStreetCode = 100;
    h.townCount = static_cast<int32_t>(towns.size());
    h.nextTownCode = 50;
    putHeader(b, h);
    for (const auto& [code, name] : streets)
        putDictEntry(b, code, name);
    for (const auto& [code, name] : towns)
        putDictEntry(b, code, name);
    return b;
}

// A plain outline with no blocks but its points, in the layout of `version`.
inline void putPolygon(Bytes& b, int32_t version, int32_t id, const std::vector<Pt>& pts = {{0, 0}, {1, 1}}) {
    Rec r;
    r.id = id;
    r.kind = 0;
    r.dataCount = static_cast<int32_t>(pts.size());
    putRecord(b, version, r);
    putPoints(b, pts);
}

} // namespace kestrum::test

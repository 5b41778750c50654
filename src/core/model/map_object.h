#pragma once
// The map object record and its owned data blocks.
//
// On disk an object is a fixed record followed by up to three blocks (address, extra, data).
// In memory the record keeps the same fields, and the blocks are owned values: a point array,
// a decoded text or note, a bitmap with its image bytes, or a child list for groups. Copies are
// explicit (deepCopy) so that no two objects ever share a block.

#include "model/types.h"

#include <memory>
#include <span>
#include <variant>
#include <vector>

namespace kestrum {

class TextMeasurer;
class TQevMapList;

// Points are overwritten right after allocation when read from a file; skipping the
// value-initialisation saves a pass over the largest part of a map.
template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    using std::allocator<T>::allocator;
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using PointArray = std::vector<TMapPoint, DefaultInitAllocator<TMapPoint>>;

struct TQEVMapText {
    float X = 0;
    float Y = 0;
    int32_t Angle = 0; // tenths of a degree, counter-clockwise on screen
    uint8_t FontIndex = 0;
    float FontSize = 0; // character height in map units
    std::string Text;   // map code page bytes
    friend bool operator==(const TQEVMapText&, const TQEVMapText&) = default;
};

// Fixed part of a text block before its characters: X, Y, Angle, FontIndex, FontSize, length.
constexpr int32_t kTextBlockFixed = 21;
// A text block holds the fixed part, the characters and one spare byte.
constexpr int32_t kTextBlockOverhead = kTextBlockFixed + 1;

struct TQEVMapZametka {
    float X = 0;
    float Y = 0;
    ShortString<30> LibName;
    ShortString<30> IconName;
    std::string Text;
    friend bool operator==(const TQEVMapZametka&, const TQEVMapZametka&) = default;
};

constexpr int32_t kNoteBlockFixed = 74;
constexpr int32_t kNoteBlockOverhead = kNoteBlockFixed + 1;

enum class ImageFormat : uint8_t { Bmp = 0, Jpeg = 1 };

struct TQEVMapBitmap {
    std::array<TMapPoint, 4> Corners{};
    uint8_t ImageFormat = 0;
    uint8_t Transparent = 0;
    int32_t TransparentColor = 0xFFFFFF;
    std::vector<uint8_t> ImageData; // the encoded image file; empty when there is none
    friend bool operator==(const TQEVMapBitmap&, const TQEVMapBitmap&) = default;
};

constexpr int32_t kBitmapBlockSize = 42;

using ObjectData = std::variant<std::monostate, PointArray, std::unique_ptr<TQEVMapText>,
                                std::unique_ptr<TQEVMapZametka>, std::unique_ptr<TQEVMapBitmap>,
                                std::unique_ptr<TQevMapList>>;

struct TQEVMapObjectMem {
    int32_t ID = 0;
    int32_t Reserved1 = 0;
    uint8_t Reserved2 = 0;
    std::array<TMapPoint, 4> Corners{};
    TMapPoint Center{};
    int32_t Ploskost = 0;
    int32_t ClassCode = 0;
    uint8_t Locked = 0;
    uint8_t Kind = cPolygon;
    int32_t DataCount = 0;
    TQEVMapPen Pen;
    TQEVMapBrush Brush;
    uint8_t HasAddress = 0;
    uint8_t HasExtra = 0;
    float Height = 0;
    uint8_t Alpha = 255;

    ObjectData Data;
    std::unique_ptr<TAddressCode> Address; // present exactly when HasAddress is 1
    std::unique_ptr<TExtraBlock> Extra;    // present exactly when HasExtra is 1

    TQEVMapObjectMem();
    TQEVMapObjectMem(TQEVMapObjectMem&&) noexcept;
    TQEVMapObjectMem& operator=(TQEVMapObjectMem&&) noexcept;
    ~TQEVMapObjectMem();

    // Accessors answer empty/null for data of another kind, so callers never branch twice.
    std::span<const TMapPoint> points() const;
    PointArray* pointArray();
    const TQEVMapText* text() const;
    const TQEVMapZametka* note() const;
    const TQEVMapBitmap* bitmap() const;
    TQEVMapBitmap* bitmap();
    const TQevMapList* children() const;
    TQevMapList* children();

    // Replace the data with points / text / note / bitmap / children and set DataCount to match.
    void setPoints(PointArray pts);
    void setText(TQEVMapText text);
    void setNote(TQEVMapZametka note);
    void setBitmap(TQEVMapBitmap bitmap);
    void setChildren(std::unique_ptr<TQevMapList> list);
    void setAddress(const TAddressCode& code);
    void clearAddress();
    void setExtra(const TExtraBlock& extra);
};

// Number of bytes of the object's data block (for a group: its child count).
int64_t DataSize(const TQEVMapObjectMem& obj);

// A copy owning its own blocks (children, image bytes, address, extra).
TQEVMapObjectMem DeepCopy(const TQEVMapObjectMem& obj);

// Corners from the object's data (Center is ComputeCenter's). Texts need font metrics, hence the measurer.
struct FontNames {
    std::string font;  // FontIndex other than 1
    std::string font1; // FontIndex 1
};
// A reader that has just computed every child's corners asks for the group's own box only.
enum class ChildCorners { Recompute, Keep };
void ComputeCorners(TQEVMapObjectMem& obj, const TextMeasurer& measurer, const FontNames& fonts,
                    ChildCorners children = ChildCorners::Recompute);
// Center from Corners as every kind defines it.
void ComputeCenter(TQEVMapObjectMem& obj);

// Text box of a text: Corners[0] at the origin, the others rotated by Angle about it.
std::array<TMapPoint, 4> textBox(TMapPoint origin, float w, float h, int32_t angleTenths);

// The ordered list of objects; drawing order is list order within a plane. Owns its objects.
class TQevMapList {
  public:
    TQevMapList() = default;
    TQevMapList(TQevMapList&& other) noexcept : m_items(std::move(other.m_items)) { other.touch(); }
    TQevMapList& operator=(TQevMapList&& other) noexcept {
        m_items = std::move(other.m_items);
        touch(), other.touch();
        return *this;
    }
    ~TQevMapList();

    // Changes whenever the objects may have changed: every write access, whether or not it
    // writes, gives the list a value never seen before in this process. What is derived from
    // the objects (a spatial index) stays valid while it stays the same.
    uint64_t generation() const { return m_generation; }

    int count() const { return static_cast<int>(m_items.size()); }
    bool empty() const { return m_items.empty(); }
    void reserve(std::size_t n) { m_items.reserve(n); }
    std::size_t capacity() const { return m_items.capacity(); }

    // Takes an rvalue: a by-value parameter would move every object twice on its way in.
    int Add(TQEVMapObjectMem&& obj);
    // Overwrites the object at i, or appends when i is at or beyond the end.
    void Replace(int index, TQEVMapObjectMem obj);
    // A deep copy of the object at index; the list keeps its own.
    TQEVMapObjectMem Get(int index) const { return DeepCopy(m_items.at(static_cast<std::size_t>(index))); }
    void Delete(int index);
    // Moves the object at `from` to position `to`, keeping the order of the others.
    void Move(int from, int to);
    void Clear() { m_items.clear(), touch(); }

    TQEVMapObjectMem& operator[](int i) { return touch(), m_items[static_cast<std::size_t>(i)]; }
    const TQEVMapObjectMem& operator[](int i) const { return m_items[static_cast<std::size_t>(i)]; }
    auto begin() { return touch(), m_items.begin(); }
    auto end() { return touch(), m_items.end(); }
    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

  private:
    void touch() { m_generation = nextGeneration(); }
    static uint64_t nextGeneration();
    std::vector<TQEVMapObjectMem> m_items;
    uint64_t m_generation = nextGeneration();
};

TQevMapList DeepCopy(const TQevMapList& list);

// Axis-aligned box of the four corners: a rotated text's Corners[2] need not be its far corner.
TMapRect CornerBox(const TQEVMapObjectMem& obj);

// Union of all objects' corners; zero when the list is empty.
TMapRect MapExtent(const TQevMapList& list);

} // namespace kestrum

#include "io/map_reader.h"

#include "io/byte_source.h"
#include "io/le.h"

#include <algorithm>
#include <cmath>
#include <string_view>

namespace kestrum {

namespace {

// Real maps nest groups a few levels deep; the cap keeps a hostile file from exhausting the stack.
constexpr int kMaxGroupDepth = 256;
constexpr std::size_t kDictionaryEntrySize = 43;
constexpr std::size_t kMaxInitialReserve = 1 << 16;

// Damage after which the stream position no longer tells where the next object starts.
struct StopReading {
    uint64_t offset;
    std::string message;
};

// Damage confined to one object whose blocks were all consumed: the next object can be read.
struct SkipObject {
    uint64_t offset;
    std::string message;
};

enum class RecordLayout { R70, R83, R51, R51H, R56, R14 };

struct VersionFormat {
    RecordLayout layout;
    std::size_t recordSize;
    int addressForm; // 1..4, or 0 for the 32-byte code stored verbatim
    bool fixedText;  // 88-byte text form
    int noteForm;    // 1: 272 bytes, 2: 330 bytes, 0: variable block
    bool fontSizeInt;
    bool angleInDegrees;
    bool trimText;
    bool cornersStored;
};

VersionFormat formatOf(int32_t v) {
    VersionFormat f{};
    if (v <= 3) {
        f.layout = RecordLayout::R70, f.recordSize = 70;
    } else if (v <= 7) {
        f.layout = RecordLayout::R83, f.recordSize = 83;
    } else if (v <= 10) {
        f.layout = RecordLayout::R51, f.recordSize = 51;
    } else if (v == 11) {
        f.layout = RecordLayout::R51H, f.recordSize = 55;
    } else if (v == 12) {
        f.layout = RecordLayout::R56, f.recordSize = 56;
    } else {
        f.layout = RecordLayout::R14, f.recordSize = 56;
    }
    f.addressForm = v <= 3 ? 1 : v <= 6 ? 2 : v <= 8 ? 3 : v <= 13 ? 4 : 0;
    f.fixedText = v <= 7;
    f.noteForm = v <= 4 ? 1 : v <= 7 ? 2 : 0;
    f.fontSizeInt = v <= 12;
    f.angleInDegrees = v <= 5;
    f.trimText = v <= 4 || v == 7;
    f.cornersStored = v <= 7;
    return f;
}

template <class T>
T at(const uint8_t* rec, std::size_t offset) {
    return le::load<T>(rec + offset);
}

template <std::size_t N>
void loadShort(ShortString<N>& dst, const uint8_t* p, std::size_t storedCapacity) {
    // Strings of older layouts are shorter than the in-memory ones: copy what the length covers.
    const std::size_t n = std::min<std::size_t>(p[0], std::min(storedCapacity, N));
    dst.assign(std::string_view(reinterpret_cast<const char*>(p + 1), n));
    if (storedCapacity == N) std::copy_n(p, N + 1, dst.bytes.begin()); // keep the bytes verbatim
}

std::string shortText(const uint8_t* p, std::size_t capacity) {
    const std::size_t n = std::min<std::size_t>(p[0], capacity);
    return std::string(reinterpret_cast<const char*>(p + 1), n);
}

void decodeHeaderV10(const uint8_t* h, MapHeader& out) {
    loadShort(out.Signature, h + 0, 40);
    out.Version = at<int32_t>(h, 41);
    loadShort(out.NameMap, h + 45, 255);
    loadShort(out.CreatedBy, h + 301, 255);
    std::copy_n(h + 557, 5, out.Kept557.begin());
    out.Mashtab = at<int32_t>(h, 562);
    out.Date = at<double>(h, 566);
    out.ObjectCount = at<int32_t>(h, 574);
    out.NextID = at<int32_t>(h, 578);
    out.Scale = at<double>(h, 582);
    out.XWind = at<float>(h, 590);
    out.YWind = at<float>(h, 594);
    out.StreetCount = at<int32_t>(h, 598);
    out.NextStreetCode = at<int32_t>(h, 602);
    out.TownCount = at<int32_t>(h, 606);
    out.NextTownCode = at<int32_t>(h, 610);
    out.Kept614 = h[614];
}

void decodeHeaderV1(const uint8_t* h, int32_t version, MapHeader& out) {
    loadShort(out.Signature, h + 0, 40);
    out.Version = at<int32_t>(h, 41);
    loadShort(out.NameMap, h + 45, 255);
    loadShort(out.CreatedBy, h + 301, 255);
    std::copy_n(h + 557, 4, out.Kept557.begin()); // the byte at 561 is not carried over
    out.Mashtab = at<int32_t>(h, 562);
    out.Date = at<double>(h, 566);
    out.ObjectCount = at<int32_t>(h, 574);
    out.NextID = at<int32_t>(h, 578);
    out.Scale = 100.0;
    out.XWind = at<float>(h, 586);
    out.YWind = at<float>(h, 590);
    out.StreetCount = at<int32_t>(h, 594);
    out.NextStreetCode = at<int32_t>(h, 598);
    if (version == 9) {
        out.TownCount = at<int32_t>(h, 602);
        out.NextTownCode = at<int32_t>(h, 606);
    }
}

class Reader {
  public:
    Reader(ByteSource& src, MapDocument& doc, const MapReadOptions& options)
        : m_src(src), m_doc(doc), m_options(options),
          m_measurer(options.measurer ? *options.measurer : defaultTextMeasurer()) {}

    MapReadResult run();

  private:
    void readExact(void* dst, std::size_t n, std::string_view what);
    void need(uint64_t n, std::string_view what, int64_t count);
    void readDictionary(TMapDictionary& dict, int32_t count, std::string_view what);
    void readObjects(int32_t count, bool untilEnd);
    void readObject(TQEVMapObjectMem& obj, int depth);
    void decodeRecord(const uint8_t* rec, TQEVMapObjectMem& obj) const;
    void readAddress(TQEVMapObjectMem& obj);
    void readData(TQEVMapObjectMem& obj, int depth, uint64_t recordStart);
    void readPoints(TQEVMapObjectMem& obj, uint64_t recordStart);
    void readGroup(TQEVMapObjectMem& obj, int depth, uint64_t recordStart);
    void readText(TQEVMapObjectMem& obj, uint64_t recordStart);
    void readNote(TQEVMapObjectMem& obj, uint64_t recordStart);
    void readBitmap(TQEVMapObjectMem& obj, uint64_t recordStart);
    // A negative count: fatal in the older versions, one lost object in 13 and 14.
    [[noreturn]] void badCount(uint64_t offset, std::string message) const;
    void noteDamage(uint64_t offset, std::string message);
    void reportProgress(bool force);

    ByteSource& m_src;
    MapDocument& m_doc;
    const MapReadOptions& m_options;
    const TextMeasurer& m_measurer;
    MapReadResult m_result;
    VersionFormat m_format{};
    int32_t m_version = 0;
    int64_t m_counter = 0; // top-level objects read
    int64_t m_expected = 0;
};

void Reader::noteDamage(uint64_t offset, std::string message) {
    if (!m_result.damage) m_result.damage = ReadDiagnostic{offset, std::move(message)};
}

void Reader::badCount(uint64_t offset, std::string message) const {
    if (m_version >= 13) throw SkipObject{offset, std::move(message)};
    throw StopReading{offset, std::move(message)};
}

void Reader::readExact(void* dst, std::size_t n, std::string_view what) {
    // Read first and ask where the stream ends only when it came up short: a virtual call
    // for the position and the size costs as much as a small record read, and a short
    // read stops reading anyway, so what it left in `dst` is never used.
    const std::size_t got = m_src.read(dst, n);
    if (got != n)
        throw StopReading{m_src.position() - got, std::string(what) + " needs " + std::to_string(n) +
                                                      " bytes but the file ends after " + std::to_string(got)};
}

void Reader::need(uint64_t n, std::string_view what, int64_t count) {
    const uint64_t left = m_src.remaining();
    if (n > left)
        throw StopReading{m_src.position(), std::string(what) + " " + std::to_string(count) + " needs " +
                                                std::to_string(n) + " bytes but only " + std::to_string(left) +
                                                " are left"};
}

void Reader::reportProgress(bool force) {
    if (!force && m_counter % 100 != 0) return;
    if (m_options.progress) {
        int percent = 100;
        if (m_expected > 0)
            percent = static_cast<int>(std::lround(static_cast<double>(m_counter) * 100.0 / static_cast<double>(m_expected)));
        // Versions 1 to 3 read past a header count that may be too small: the bar stops at the end.
        m_options.progress(std::clamp(percent, 0, 100));
    }
}

MapReadResult Reader::run() {
    m_doc.clear();
    m_doc.header.Scale = 100.0;
    MapHeader& h = m_doc.header;

    const uint64_t start = m_src.position();
    uint8_t head[kHeaderSize]{};
    const std::size_t got = m_src.read(head, 45);
    m_src.seek(start);
    if (got < 45) {
        noteDamage(start, "file too short for a map header (" + std::to_string(got) + " bytes)");
        return m_result;
    }
    m_version = at<int32_t>(head, kVersionOffset);
    if (m_version < 1 || m_version > kCurrentMapVersion) {
        m_result.unknownVersion = m_version; // loads as an empty map, its header all zero
        return m_result;
    }
    m_format = formatOf(m_version);
    try {
        const std::size_t headerSize =
            m_version >= 10 ? kHeaderSize : m_version == 9 ? kHeaderSizeV9 : kHeaderSizeV1;
        readExact(head, headerSize, "map header");
        if (m_version >= 10)
            decodeHeaderV10(head, h);
        else
            decodeHeaderV1(head, m_version, h);

        const uint64_t roomFor = m_src.remaining() / m_format.recordSize;
        const auto want = static_cast<uint64_t>(std::max<int64_t>(int64_t{h.ObjectCount} + 100, 0));
        m_doc.objects.reserve(static_cast<std::size_t>(std::min(want, roomFor + 100)));

        if (h.ObjectCount == 0) {
            m_counter = m_expected = 0;
        } else {
            readDictionary(m_doc.streets, h.StreetCount, "street dictionary");
            readDictionary(m_doc.towns, h.TownCount, "town dictionary");
            m_expected = h.ObjectCount;
            int32_t count = h.ObjectCount;
            if (m_version == kCurrentMapVersion && m_options.limit > 0) count = std::min(count, m_options.limit);
            readObjects(count, m_version <= 3);
        }
    } catch (const StopReading& e) {
        noteDamage(e.offset, e.message);
    }
    reportProgress(true);
    if (m_version == kCurrentMapVersion) h.ObjectCount = m_doc.objects.count();
    return m_result;
}

void Reader::readDictionary(TMapDictionary& dict, int32_t count, std::string_view what) {
    if (count <= 0) return;
    need(uint64_t(count) * kDictionaryEntrySize, std::string(what) + " of", count);
    dict.reserve(static_cast<std::size_t>(count));
    uint8_t entry[kDictionaryEntrySize];
    for (int32_t i = 0; i < count; ++i) {
        readExact(entry, sizeof entry, what);
        dict.addLoaded(shortText(entry + 2, 40), at<int16_t>(entry, 0));
    }
}

void Reader::readObjects(int32_t count, bool untilEnd) {
    for (int64_t i = 0; untilEnd ? m_src.remaining() > 0 : i < count; ++i) {
        const uint64_t objectStart = m_src.position();
        TQEVMapObjectMem obj;
        try {
            readObject(obj, 0);
            m_doc.objects.Add(std::move(obj));
        } catch (const SkipObject& e) {
            ++m_result.droppedObjects;
            noteDamage(e.offset, "object " + std::to_string(i) + " dropped: " + e.message);
        } catch (const StopReading& e) {
            throw StopReading{e.offset, "object " + std::to_string(i) + " (record at byte " +
                                            std::to_string(objectStart) + "): " + e.message};
        }
        ++m_counter;
        reportProgress(false);
        if (m_counter % 100 == 0 && m_options.cancelled && m_options.cancelled()) {
            m_result.cancelled = true;
            return;
        }
    }
}

void Reader::decodeRecord(const uint8_t* r, TQEVMapObjectMem& o) const {
    switch (m_format.layout) {
    case RecordLayout::R70:
        o.ID = at<int32_t>(r, 0);
        o.Reserved1 = -1;
        o.Reserved2 = 0;
        for (int k = 0; k < 4; ++k)
            o.Corners[k] = {at<float>(r, 4 + 8 * std::size_t(k)), at<float>(r, 8 + 8 * std::size_t(k))};
        o.Ploskost = at<int32_t>(r, 36);
        o.ClassCode = at<int32_t>(r, 40);
        o.Locked = r[44];
        o.Kind = r[45];
        o.DataCount = at<int32_t>(r, 46);
        o.Pen = {at<int32_t>(r, 50), r[54], static_cast<float>(at<int32_t>(r, 55)), at<uint32_t>(r, 59)};
        o.Brush = {at<int32_t>(r, 63), r[67]};
        o.HasAddress = r[68];
        o.HasExtra = r[69];
        ComputeCenter(o);
        break;
    case RecordLayout::R83:
        o.ID = at<int32_t>(r, 0);
        o.Reserved1 = at<int32_t>(r, 4);
        o.Reserved2 = r[8];
        for (int k = 0; k < 4; ++k)
            o.Corners[k] = {at<float>(r, 9 + 8 * std::size_t(k)), at<float>(r, 13 + 8 * std::size_t(k))};
        o.Center = {at<float>(r, 41), at<float>(r, 45)};
        o.Ploskost = at<int32_t>(r, 49);
        o.ClassCode = at<int32_t>(r, 53);
        o.Locked = r[57];
        o.Kind = r[58];
        o.DataCount = at<int32_t>(r, 59);
        o.Pen = {at<int32_t>(r, 63), r[67], static_cast<float>(at<int32_t>(r, 68)), at<uint32_t>(r, 72)};
        o.Brush = {at<int32_t>(r, 76), r[80]};
        o.HasAddress = r[81];
        o.HasExtra = r[82];
        break;
    case RecordLayout::R51:
    case RecordLayout::R51H:
    case RecordLayout::R56:
    case RecordLayout::R14:
        o.ID = at<int32_t>(r, 0);
        o.Reserved1 = at<int32_t>(r, 4);
        o.Reserved2 = r[8];
        o.Center = {at<float>(r, 9), at<float>(r, 13)};
        o.Ploskost = at<int32_t>(r, 17);
        o.ClassCode = at<int32_t>(r, 21);
        o.Locked = r[25];
        o.Kind = r[26];
        o.DataCount = at<int32_t>(r, 27);
        if (m_format.layout == RecordLayout::R51 || m_format.layout == RecordLayout::R51H) {
            o.Pen = {at<int32_t>(r, 31), r[35], static_cast<float>(at<int32_t>(r, 36)), at<uint32_t>(r, 40)};
            o.Brush = {at<int32_t>(r, 44), r[48]};
            o.HasAddress = r[49];
            o.HasExtra = r[50];
            if (m_format.layout == RecordLayout::R51H) o.Height = at<float>(r, 51);
        } else {
            o.Alpha = r[31];
            const float width = m_format.layout == RecordLayout::R14 ? at<float>(r, 37)
                                                                     : static_cast<float>(at<int32_t>(r, 37));
            o.Pen = {at<int32_t>(r, 32), r[36], width, at<uint32_t>(r, 41)};
            o.Brush = {at<int32_t>(r, 45), r[49]};
            o.HasAddress = r[50];
            o.HasExtra = r[51];
            o.Height = at<float>(r, 52);
        }
        break;
    }
}

void Reader::readAddress(TQEVMapObjectMem& obj) {
    TAddressCode code;
    uint8_t b[kAddressCodeSize];
    switch (m_format.addressForm) {
    case 1:
        readExact(b, 7, "address");
        code.StreetCode = at<int16_t>(b, 0);
        code.House.assign(shortText(b + 2, 4));
        break;
    case 2:
        readExact(b, 9, "address");
        code.StreetCode = at<int16_t>(b, 0);
        code.House.assign(shortText(b + 2, 6));
        break;
    case 3:
        readExact(b, 18, "address");
        code.StreetCode = at<int16_t>(b, 0);
        code.House.assign(shortText(b + 2, 6));
        code.Street1Code = at<int16_t>(b, 9);
        code.House1.assign(shortText(b + 11, 6));
        break;
    case 4:
        readExact(b, 20, "address");
        code.TownCode = at<int16_t>(b, 0);
        code.StreetCode = at<int16_t>(b, 2);
        code.House.assign(shortText(b + 4, 6));
        code.Street1Code = at<int16_t>(b, 11);
        code.House1.assign(shortText(b + 13, 6));
        break;
    default:
        readExact(b, kAddressCodeSize, "address");
        code.TownCode = at<int16_t>(b, 0);
        code.StreetCode = at<int16_t>(b, 2);
        loadShort(code.House, b + 4, 12);
        code.Street1Code = at<int16_t>(b, 17);
        loadShort(code.House1, b + 19, 12);
        break;
    }
    obj.Address = std::make_unique<TAddressCode>(code);
}

void Reader::readObject(TQEVMapObjectMem& obj, int depth) {
    const uint64_t recordStart = m_src.position();
    uint8_t rec[83];
    readExact(rec, m_format.recordSize, "object record");
    decodeRecord(rec, obj);
    if (obj.HasAddress == 1) readAddress(obj);
    if (obj.HasExtra == 1) {
        TExtraBlock extra;
        readExact(extra.data(), extra.size(), "extra block");
        obj.Extra = std::make_unique<TExtraBlock>(extra);
    }
    readData(obj, depth, recordStart);
    if (!m_format.cornersStored)
        ComputeCorners(obj, m_measurer, m_options.fonts, ChildCorners::Keep);
}

void Reader::readData(TQEVMapObjectMem& obj, int depth, uint64_t recordStart) {
    switch (obj.Kind) {
    case cGroup:
        readGroup(obj, depth, recordStart);
        break;
    case cText:
        readText(obj, recordStart);
        break;
    case cZametka:
        readNote(obj, recordStart);
        break;
    case cBitmap:
        readBitmap(obj, recordStart);
        break;
    default:
        if (isPointKind(obj.Kind)) readPoints(obj, recordStart);
        break; // codes beyond the kinds carry no data
    }
}

void Reader::readPoints(TQEVMapObjectMem& obj, uint64_t recordStart) {
    const int32_t n = obj.DataCount;
    if (n < 0) badCount(recordStart, "negative point count " + std::to_string(n));
    need(uint64_t(n) * sizeof(TMapPoint), "point count", n);
    PointArray pts(static_cast<std::size_t>(n));
    if constexpr (std::endian::native == std::endian::little) {
        readExact(pts.data(), pts.size() * sizeof(TMapPoint), "points");
    } else {
        uint8_t b[8];
        for (TMapPoint& p : pts) {
            readExact(b, 8, "points");
            p = {at<float>(b, 0), at<float>(b, 4)};
        }
    }
    // Old files kept an ellipse as two opposite corners.
    if (obj.Kind == cEllipse && m_version <= 11 && pts.size() == 2) {
        const TMapPoint a = pts[0], b = pts[1];
        pts.assign({a, {b.X, a.Y}, b, {a.X, b.Y}});
    }
    obj.setPoints(std::move(pts));
}

void Reader::readGroup(TQEVMapObjectMem& obj, int depth, uint64_t recordStart) {
    const int32_t n = obj.DataCount;
    if (n < 0) badCount(recordStart, "negative child count " + std::to_string(n));
    if (m_version <= 3) {
        // These versions know no child lists: the bytes after the record are skipped unread.
        need(uint64_t(n), "group data of", n);
        m_src.seek(m_src.position() + uint64_t(n));
        obj.setChildren(std::make_unique<TQevMapList>()); // no children: a count of zero
        return;
    }
    need(uint64_t(n) * m_format.recordSize, "child count", n);
    if (depth >= kMaxGroupDepth)
        throw StopReading{recordStart, "groups nested deeper than " + std::to_string(kMaxGroupDepth) + " levels"};
    auto kids = std::make_unique<TQevMapList>();
    kids->reserve(std::min<std::size_t>(static_cast<std::size_t>(n), kMaxInitialReserve));
    for (int32_t i = 0; i < n; ++i) {
        TQEVMapObjectMem kid;
        try {
            readObject(kid, depth + 1);
            kids->Add(std::move(kid));
        } catch (const SkipObject& e) {
            // The child's bytes were all consumed: its siblings still follow in order.
            ++m_result.droppedObjects;
            noteDamage(e.offset, "child " + std::to_string(i) + " of a group dropped: " + e.message);
        }
    }
    obj.setChildren(std::move(kids));
}

void Reader::readText(TQEVMapObjectMem& obj, uint64_t recordStart) {
    TQEVMapText t;
    if (m_format.fixedText) {
        uint8_t b[88];
        readExact(b, sizeof b, "text");
        t.X = at<float>(b, 0);
        t.Y = at<float>(b, 4);
        t.Angle = at<int32_t>(b, 8);
        t.FontIndex = b[12];
        t.FontSize = static_cast<float>(at<int32_t>(b, 13));
        t.Text = shortText(b + 17, 70);
        if (m_format.trimText) t.Text = std::string(trimmed(t.Text));
    } else {
        const int32_t n = obj.DataCount;
        if (n < 0) badCount(recordStart, "negative text block size " + std::to_string(n));
        if (n == 0) return; // an object written before its text was given: no block
        need(uint64_t(n), "text block of", n);
        std::string block(static_cast<std::size_t>(n), '\0');
        readExact(block.data(), block.size(), "text");
        uint8_t fixed[kTextBlockFixed]{};
        std::copy_n(block.data(), std::min<std::size_t>(block.size(), sizeof fixed), fixed);
        t.X = at<float>(fixed, 0);
        t.Y = at<float>(fixed, 4);
        t.Angle = at<int32_t>(fixed, 8);
        t.FontIndex = fixed[12];
        t.FontSize = m_format.fontSizeInt ? static_cast<float>(at<int32_t>(fixed, 13)) : at<float>(fixed, 13);
        const int32_t length = at<int32_t>(fixed, 17);
        const std::size_t room = block.size() > kTextBlockFixed ? block.size() - kTextBlockFixed : 0;
        // No block at all is an object not filled yet; a block too short for its own fields is cut.
        if (n > 0 && n < kTextBlockFixed)
            noteDamage(recordStart, "text block of " + std::to_string(n) + " bytes is shorter than its fixed fields");
        else if (length < 0 || static_cast<std::size_t>(length) > room)
            noteDamage(recordStart, "text length " + std::to_string(length) + " does not fit its block of " +
                                        std::to_string(n) + " bytes; text cut");
        // A block shorter than its fixed part has no characters; substr would throw past its end.
        const std::size_t take = std::min<std::size_t>(room, static_cast<std::size_t>(std::max(length, 0)));
        if (take > 0) t.Text = block.substr(kTextBlockFixed, take);
    }
    // Wraps as the 32-bit field would rather than overflowing on an absurd stored angle.
    if (m_format.angleInDegrees) t.Angle = static_cast<int32_t>(static_cast<uint32_t>(t.Angle) * 10u);
    obj.setText(std::move(t));
}

void Reader::readNote(TQEVMapObjectMem& obj, uint64_t recordStart) {
    TQEVMapZametka z;
    if (m_format.noteForm == 1) {
        uint8_t b[272];
        readExact(b, sizeof b, "note");
        z.X = at<float>(b, 0);
        z.Y = at<float>(b, 4);
        z.LibName.assign("DEFAULT");
        z.IconName.assign(std::to_string(at<int32_t>(b, 8)));
        z.Text = shortText(b + 16, 255);
    } else if (m_format.noteForm == 2) {
        uint8_t b[330];
        readExact(b, sizeof b, "note");
        z.X = at<float>(b, 0);
        z.Y = at<float>(b, 4);
        loadShort(z.LibName, b + 8, 30);
        loadShort(z.IconName, b + 39, 30);
        z.Text = shortText(b + 74, 255);
    } else {
        const int32_t n = obj.DataCount;
        if (n < 0) badCount(recordStart, "negative note block size " + std::to_string(n));
        if (n == 0) return; // an object written before its note was given: no block
        need(uint64_t(n), "note block of", n);
        std::string block(static_cast<std::size_t>(n), '\0');
        readExact(block.data(), block.size(), "note");
        uint8_t fixed[kNoteBlockFixed]{};
        std::copy_n(block.data(), std::min<std::size_t>(block.size(), sizeof fixed), fixed);
        z.X = at<float>(fixed, 0);
        z.Y = at<float>(fixed, 4);
        loadShort(z.LibName, fixed + 8, 30);
        loadShort(z.IconName, fixed + 39, 30);
        const int32_t length = at<int32_t>(fixed, 70);
        const std::size_t room = block.size() > kNoteBlockFixed ? block.size() - kNoteBlockFixed : 0;
        if (n > 0 && n < kNoteBlockFixed)
            noteDamage(recordStart, "note block of " + std::to_string(n) + " bytes is shorter than its fixed fields");
        else if (length < 0 || static_cast<std::size_t>(length) > room)
            noteDamage(recordStart, "note length " + std::to_string(length) + " does not fit its block of " +
                                        std::to_string(n) + " bytes; text cut");
        const std::size_t take = std::min<std::size_t>(room, static_cast<std::size_t>(std::max(length, 0)));
        if (take > 0) z.Text = block.substr(kNoteBlockFixed, take);
    }
    obj.setNote(std::move(z));
}

void Reader::readBitmap(TQEVMapObjectMem& obj, uint64_t recordStart) {
    TQEVMapBitmap bm;
    uint8_t b[kBitmapBlockSize];
    int32_t length = 0;
    auto corners = [&] {
        for (int k = 0; k < 4; ++k)
            bm.Corners[k] = {at<float>(b, 8 * std::size_t(k)), at<float>(b, 4 + 8 * std::size_t(k))};
    };
    if (m_version >= 13 || (m_version >= 4 && m_version <= 11)) {
        // Versions 4 to 11 share the latest layout; only version 12 had its own.
        readExact(b, 42, "bitmap header");
        corners();
        bm.ImageFormat = b[32];
        bm.Transparent = b[33];
        bm.TransparentColor = at<int32_t>(b, 34);
        length = at<int32_t>(b, 38);
    } else if (m_version == 12) {
        readExact(b, 37, "bitmap header");
        corners();
        bm.ImageFormat = b[32];
        bm.Transparent = 0;
        bm.TransparentColor = 0xFFFFFF;
        length = at<int32_t>(b, 33);
    } else {
        // Versions 1 to 3 had no pictures: the block is the placement alone.
        readExact(b, 42, "bitmap block");
        corners();
        bm.ImageFormat = b[32];
        bm.Transparent = b[33];
        bm.TransparentColor = at<int32_t>(b, 34);
    }
    if (length < 0) badCount(recordStart, "negative image length " + std::to_string(length));
    need(uint64_t(length), "image length", length);
    bm.ImageData.resize(static_cast<std::size_t>(length));
    if (length > 0) readExact(bm.ImageData.data(), bm.ImageData.size(), "image");
    obj.setBitmap(std::move(bm));
}

} // namespace

std::optional<int32_t> sniffMapVersion(std::span<const uint8_t> head) {
    if (head.size() < kVersionOffset + 4) return std::nullopt;
    return le::load<int32_t>(head.data() + kVersionOffset);
}

MapReadResult readMap(ByteSource& src, MapDocument& doc, const MapReadOptions& options) {
    Reader reader(src, doc, options);
    return reader.run();
}

} // namespace kestrum

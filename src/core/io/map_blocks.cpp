// The blocks that follow each ".MAP" object record: address, extra block and the kind's data.

#include "io/map_reader_p.h"

#include <bit>

namespace kestrum::map_reading {

namespace L = map_layout;

void Reader::readAddress(TQEVMapObjectMem& obj) {
    const L::AddressFields& f = *m_format.address;
    TAddressCode code;
    uint8_t b[kAddressCodeSize];
    readExact(b, f.size, "address");
    if (L::stored(f.TownCode)) code.TownCode = at<int16_t>(b, f.TownCode);
    code.StreetCode = at<int16_t>(b, f.StreetCode);
    loadShort(code.House, b + f.House, f.HouseCapacity);
    if (L::stored(f.Street1Code)) {
        code.Street1Code = at<int16_t>(b, f.Street1Code);
        loadShort(code.House1, b + f.House1, f.House1Capacity);
    }
    obj.Address = std::make_unique<TAddressCode>(code);
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
    if (!m_format.childLists) {
        // These versions know no child lists: the bytes after the record are skipped unread.
        need(uint64_t(n), "group data of", n);
        m_src.seek(m_src.position() + uint64_t(n));
        obj.setChildren(std::make_unique<TQevMapList>()); // no children: a count of zero
        return;
    }
    need(uint64_t(n) * m_format.record->size, "child count", n);
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

namespace {

// A variable block, its fixed fields padded with zeros when the block is shorter than they are.
template <std::size_t Fixed>
struct VariableBlock {
    std::string bytes;
    uint8_t fixed[Fixed]{};
    std::size_t room = 0; // bytes after the fixed fields

    void split() {
        std::copy_n(bytes.data(), std::min(bytes.size(), Fixed), fixed);
        room = bytes.size() > Fixed ? bytes.size() - Fixed : 0;
    }
};

} // namespace

bool Reader::readVariableBlock(std::string& bytes, const TQEVMapObjectMem& obj, uint64_t recordStart,
                               std::string_view kind) {
    const int32_t n = obj.DataCount;
    if (n < 0) badCount(recordStart, "negative " + std::string(kind) + " block size " + std::to_string(n));
    if (n == 0) return false;
    need(uint64_t(n), std::string(kind) + " block of", n);
    bytes.assign(static_cast<std::size_t>(n), '\0');
    readExact(bytes.data(), bytes.size(), kind);
    return true;
}

void Reader::readText(TQEVMapObjectMem& obj, uint64_t recordStart) {
    TQEVMapText t;
    if (m_format.fixedText) {
        namespace F = L::text_form_t;
        uint8_t b[F::size];
        readExact(b, sizeof b, "text");
        t.X = at<float>(b, F::X);
        t.Y = at<float>(b, F::Y);
        t.Angle = at<int32_t>(b, F::Angle);
        t.FontIndex = b[F::FontIndex];
        t.FontSize = static_cast<float>(at<int32_t>(b, F::FontSize));
        t.Text = shortText(b + F::Text, F::TextCapacity);
        if (m_format.trimText) t.Text = std::string(trimmed(t.Text));
    } else {
        namespace F = L::text_block;
        VariableBlock<F::fixed> block;
        // An object written before its text was given has no block.
        if (!readVariableBlock(block.bytes, obj, recordStart, "text")) return;
        block.split();
        const int32_t n = obj.DataCount;
        t.X = at<float>(block.fixed, F::X);
        t.Y = at<float>(block.fixed, F::Y);
        t.Angle = at<int32_t>(block.fixed, F::Angle);
        t.FontIndex = block.fixed[F::FontIndex];
        t.FontSize = m_format.fontSizeInt ? static_cast<float>(at<int32_t>(block.fixed, F::FontSize))
                                          : at<float>(block.fixed, F::FontSize);
        const int32_t length = at<int32_t>(block.fixed, F::Length);
        // No block at all is an object not filled yet; a block too short for its own fields is cut.
        if (n < kTextBlockFixed)
            noteDamage(recordStart, "text block of " + std::to_string(n) + " bytes is shorter than its fixed fields");
        else if (length < 0 || static_cast<std::size_t>(length) > block.room)
            noteDamage(recordStart, "text length " + std::to_string(length) + " does not fit its block of " +
                                        std::to_string(n) + " bytes; text cut");
        // A block shorter than its fixed part has no characters; substr would throw past its end.
        const std::size_t take = std::min<std::size_t>(block.room, static_cast<std::size_t>(std::max(length, 0)));
        if (take > 0) t.Text = block.bytes.substr(F::fixed, take);
    }
    // Wraps as the 32-bit field would rather than overflowing on an absurd stored angle.
    if (m_format.angleInDegrees) t.Angle = static_cast<int32_t>(static_cast<uint32_t>(t.Angle) * 10u);
    obj.setText(std::move(t));
}

void Reader::readNote(TQEVMapObjectMem& obj, uint64_t recordStart) {
    TQEVMapZametka z;
    if (m_format.noteForm == 1) {
        namespace F = L::note_form_n1;
        uint8_t b[F::size];
        readExact(b, sizeof b, "note");
        z.X = at<float>(b, F::X);
        z.Y = at<float>(b, F::Y);
        z.LibName.assign("DEFAULT");
        z.IconName.assign(std::to_string(at<int32_t>(b, F::IconNumber)));
        z.Text = shortText(b + F::Text, F::TextCapacity);
    } else if (m_format.noteForm == 2) {
        namespace F = L::note_form_n2;
        uint8_t b[F::size];
        readExact(b, sizeof b, "note");
        z.X = at<float>(b, F::X);
        z.Y = at<float>(b, F::Y);
        loadShort(z.LibName, b + F::LibName, F::NameCapacity);
        loadShort(z.IconName, b + F::IconName, F::NameCapacity);
        z.Text = shortText(b + F::Text, F::TextCapacity);
    } else {
        namespace F = L::note_block;
        VariableBlock<F::fixed> block;
        // An object written before its note was given has no block.
        if (!readVariableBlock(block.bytes, obj, recordStart, "note")) return;
        block.split();
        const int32_t n = obj.DataCount;
        z.X = at<float>(block.fixed, F::X);
        z.Y = at<float>(block.fixed, F::Y);
        loadShort(z.LibName, block.fixed + F::LibName, F::NameCapacity);
        loadShort(z.IconName, block.fixed + F::IconName, F::NameCapacity);
        const int32_t length = at<int32_t>(block.fixed, F::Length);
        if (n < kNoteBlockFixed)
            noteDamage(recordStart, "note block of " + std::to_string(n) + " bytes is shorter than its fixed fields");
        else if (length < 0 || static_cast<std::size_t>(length) > block.room)
            noteDamage(recordStart, "note length " + std::to_string(length) + " does not fit its block of " +
                                        std::to_string(n) + " bytes; text cut");
        const std::size_t take = std::min<std::size_t>(block.room, static_cast<std::size_t>(std::max(length, 0)));
        if (take > 0) z.Text = block.bytes.substr(F::fixed, take);
    }
    obj.setNote(std::move(z));
}

void Reader::readBitmap(TQEVMapObjectMem& obj, uint64_t recordStart) {
    const L::BitmapFields& f = *m_format.bitmap;
    TQEVMapBitmap bm;
    uint8_t b[kBitmapBlockSize];
    readExact(b, f.size, L::stored(f.ImageLength) ? "bitmap header" : "bitmap block");
    for (std::size_t k = 0; k < 4; ++k)
        bm.Corners[k] = {at<float>(b, f.Corners + 8 * k), at<float>(b, f.Corners + 4 + 8 * k)};
    bm.ImageFormat = b[f.ImageFormat];
    bm.Transparent = L::stored(f.Transparent) ? b[f.Transparent] : uint8_t{0};
    bm.TransparentColor = L::stored(f.TransparentColor) ? at<int32_t>(b, f.TransparentColor) : 0xFFFFFF;
    const int32_t length = L::stored(f.ImageLength) ? at<int32_t>(b, f.ImageLength) : 0;
    if (length < 0) badCount(recordStart, "negative image length " + std::to_string(length));
    need(uint64_t(length), "image length", length);
    bm.ImageData.resize(static_cast<std::size_t>(length));
    if (length > 0) readExact(bm.ImageData.data(), bm.ImageData.size(), "image");
    obj.setBitmap(std::move(bm));
}

} // namespace kestrum::map_reading

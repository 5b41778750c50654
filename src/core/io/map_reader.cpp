#include "io/map_reader.h"

#include "io/map_reader_p.h"

#include <cmath>

namespace kestrum {

namespace map_reading {

namespace L = map_layout;

namespace {

void decodeHeader(const uint8_t* h, const L::HeaderFields& f, MapHeader& out) {
    loadShort(out.Signature, h + L::kSignature, L::kSignatureCapacity);
    out.Version = at<int32_t>(h, L::kVersion);
    loadShort(out.NameMap, h + L::kNameMap, L::kNameMapCapacity);
    loadShort(out.CreatedBy, h + L::kCreatedBy, L::kNameMapCapacity);
    std::copy_n(h + L::kKept557, f.keptBytes, out.Kept557.begin());
    out.Mashtab = at<int32_t>(h, L::kMashtab);
    out.Date = at<double>(h, L::kDate);
    out.ObjectCount = at<int32_t>(h, L::kObjectCount);
    out.NextID = at<int32_t>(h, L::kNextID);
    out.Scale = L::stored(f.Scale) ? at<double>(h, f.Scale) : 100.0;
    out.XWind = at<float>(h, f.XWind);
    out.YWind = at<float>(h, f.YWind);
    out.StreetCount = at<int32_t>(h, f.StreetCount);
    out.NextStreetCode = at<int32_t>(h, f.NextStreetCode);
    if (L::stored(f.TownCount)) {
        out.TownCount = at<int32_t>(h, f.TownCount);
        out.NextTownCode = at<int32_t>(h, f.NextTownCode);
    }
    if (L::stored(f.Kept614)) out.Kept614 = h[f.Kept614];
}

// One decoder per layout, its offsets and absent fields settled at compile time: records are
// the one thing read a million times in a large map.
template <const L::RecordFields& f>
void decodeRecordAs(const uint8_t* r, TQEVMapObjectMem& o) {
    o.ID = at<int32_t>(r, f.ID);
    if constexpr (L::stored(f.Reserved1)) o.Reserved1 = at<int32_t>(r, f.Reserved1);
    else o.Reserved1 = -1;
    if constexpr (L::stored(f.Reserved2)) o.Reserved2 = r[f.Reserved2];
    else o.Reserved2 = 0;
    if constexpr (L::stored(f.Corners))
        for (std::size_t k = 0; k < 4; ++k)
            o.Corners[k] = {at<float>(r, f.Corners + 8 * k), at<float>(r, f.Corners + 4 + 8 * k)};
    if constexpr (L::stored(f.Center)) o.Center = {at<float>(r, f.Center), at<float>(r, f.Center + 4)};
    o.Ploskost = at<int32_t>(r, f.Ploskost);
    o.ClassCode = at<int32_t>(r, f.ClassCode);
    o.Locked = r[f.Locked];
    o.Kind = r[f.Kind];
    o.DataCount = at<int32_t>(r, f.DataCount);
    if constexpr (L::stored(f.Alpha)) o.Alpha = r[f.Alpha];
    float width;
    if constexpr (f.penWidthInt) width = static_cast<float>(at<int32_t>(r, f.PenWidth));
    else width = at<float>(r, f.PenWidth);
    o.Pen = {at<int32_t>(r, f.PenColor), r[f.PenStyle], width, at<uint32_t>(r, f.PenFlags)};
    o.Brush = {at<int32_t>(r, f.BrushColor), r[f.BrushStyle]};
    o.HasAddress = r[f.HasAddress];
    o.HasExtra = r[f.HasExtra];
    if constexpr (L::stored(f.Height)) o.Height = at<float>(r, f.Height);
    if constexpr (!L::stored(f.Center)) ComputeCenter(o);
}

RecordDecoder decoderFor(const L::RecordFields& f) {
    if (&f == &L::kRecordR70) return &decodeRecordAs<L::kRecordR70>;
    if (&f == &L::kRecordR83) return &decodeRecordAs<L::kRecordR83>;
    if (&f == &L::kRecordR51) return &decodeRecordAs<L::kRecordR51>;
    if (&f == &L::kRecordR51H) return &decodeRecordAs<L::kRecordR51H>;
    if (&f == &L::kRecordR56) return &decodeRecordAs<L::kRecordR56>;
    return &decodeRecordAs<L::kRecordR14>;
}

} // namespace

VersionFormat formatOf(int32_t v) {
    VersionFormat f{};
    f.header = &L::headerFields(v);
    f.record = &L::recordFields(v);
    f.decodeRecord = decoderFor(*f.record);
    f.address = &L::addressFields(v);
    f.bitmap = &L::bitmapFields(v);
    f.fixedText = v <= 7;
    f.noteForm = v <= 4 ? 1 : v <= 7 ? 2 : 0;
    f.fontSizeInt = v <= 12;
    f.angleInDegrees = v <= 5;
    f.trimText = v <= 4 || v == 7;
    f.cornersStored = L::stored(f.record->Corners);
    f.childLists = v >= 4;
    return f;
}

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
    uint8_t head[L::kHeader14.size]{};
    const std::size_t got = m_src.read(head, L::kVersionProbe);
    m_src.seek(start);
    if (got < L::kVersionProbe) {
        noteDamage(start, "file too short for a map header (" + std::to_string(got) + " bytes)");
        return m_result;
    }
    m_version = at<int32_t>(head, L::kVersion);
    if (m_version < 1 || m_version > kCurrentMapVersion) {
        m_result.unknownVersion = m_version; // loads as an empty map, its header all zero
        return m_result;
    }
    m_format = formatOf(m_version);
    try {
        readExact(head, m_format.header->size, "map header");
        decodeHeader(head, *m_format.header, h);

        const uint64_t roomFor = m_src.remaining() / m_format.record->size;
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
    namespace E = L::dictionary_entry;
    if (count <= 0) return;
    need(uint64_t(count) * E::size, std::string(what) + " of", count);
    dict.reserve(static_cast<std::size_t>(count));
    uint8_t entry[E::size];
    for (int32_t i = 0; i < count; ++i) {
        readExact(entry, sizeof entry, what);
        dict.addLoaded(shortText(entry + E::Name, E::NameCapacity), at<int16_t>(entry, E::Code));
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

void Reader::readObject(TQEVMapObjectMem& obj, int depth) {
    const uint64_t recordStart = m_src.position();
    uint8_t rec[L::kLargestRecord];
    readExact(rec, m_format.record->size, "object record");
    m_format.decodeRecord(rec, obj);
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

} // namespace map_reading

std::optional<int32_t> sniffMapVersion(std::span<const uint8_t> head) {
    if (head.size() < map_layout::kVersionProbe) return std::nullopt;
    return le::load<int32_t>(head.data() + map_layout::kVersion);
}

MapReadResult readMap(ByteSource& src, MapDocument& doc, const MapReadOptions& options) {
    map_reading::Reader reader(src, doc, options);
    return reader.run();
}

} // namespace kestrum

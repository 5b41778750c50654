#include "io/map_writer.h"

#include "io/byte_source.h"
#include "io/file_open.h"
#include "io/le.h"
#include "io/map_layout.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kestrum {

namespace {

namespace L = map_layout;

template <class T>
void put(uint8_t* p, std::size_t offset, T v) {
    le::store<T>(p + offset, v);
}

template <std::size_t N>
void putShort(uint8_t* p, const ShortString<N>& s) {
    std::copy(s.bytes.begin(), s.bytes.end(), p);
}

void writeHeader(ByteSink& sink, const MapDocument& doc) {
    const L::HeaderFields& f = L::kHeader14;
    const MapHeader& h = doc.header;
    uint8_t b[L::kHeader14.size]{};
    putShort(b + L::kSignature, h.Signature);
    put<int32_t>(b, L::kVersion, kCurrentMapVersion);
    putShort(b + L::kNameMap, h.NameMap);
    putShort(b + L::kCreatedBy, h.CreatedBy);
    static_assert(std::tuple_size_v<decltype(h.Kept557)> == L::kHeader14.keptBytes);
    std::copy(h.Kept557.begin(), h.Kept557.end(), b + L::kKept557);
    put<int32_t>(b, L::kMashtab, h.Mashtab);
    put<double>(b, L::kDate, h.Date);
    put<int32_t>(b, L::kObjectCount, doc.objects.count());
    put<int32_t>(b, L::kNextID, h.NextID);
    put<double>(b, f.Scale, h.Scale);
    put<float>(b, f.XWind, h.XWind);
    put<float>(b, f.YWind, h.YWind);
    // Without objects no dictionary is written (readers skip it), so the counts must say so.
    const bool dictionaries = doc.objects.count() > 0;
    put<int32_t>(b, f.StreetCount, dictionaries ? doc.streets.count() : 0);
    put<int32_t>(b, f.NextStreetCode, h.NextStreetCode);
    put<int32_t>(b, f.TownCount, dictionaries ? doc.towns.count() : 0);
    put<int32_t>(b, f.NextTownCode, h.NextTownCode);
    b[f.Kept614] = h.Kept614;
    sink.write(b, sizeof b);
}

void writeDictionary(ByteSink& sink, const TMapDictionary& dict) {
    namespace E = L::dictionary_entry;
    for (const TMapDictionary::Entry& e : dict.sorted()) {
        uint8_t b[E::size]{};
        put<int16_t>(b, E::Code, static_cast<int16_t>(e.code));
        ShortString<E::NameCapacity> name;
        name.assign(e.name);
        putShort(b + E::Name, name);
        sink.write(b, sizeof b);
    }
}

void writeRecord(ByteSink& sink, const TQEVMapObjectMem& o, int32_t dataCount, bool hasAddress, bool hasExtra) {
    const L::RecordFields& f = L::kRecordR14;
    uint8_t r[L::kRecordR14.size]{};
    put<int32_t>(r, f.ID, o.ID);
    put<int32_t>(r, f.Reserved1, o.Reserved1);
    r[f.Reserved2] = o.Reserved2;
    put<float>(r, f.Center, o.Center.X);
    put<float>(r, f.Center + 4, o.Center.Y);
    put<int32_t>(r, f.Ploskost, o.Ploskost);
    put<int32_t>(r, f.ClassCode, o.ClassCode);
    r[f.Locked] = o.Locked;
    r[f.Kind] = o.Kind;
    put<int32_t>(r, f.DataCount, dataCount);
    r[f.Alpha] = o.Alpha;
    put<int32_t>(r, f.PenColor, o.Pen.Color);
    r[f.PenStyle] = o.Pen.Style;
    static_assert(!L::kRecordR14.penWidthInt);
    put<float>(r, f.PenWidth, o.Pen.Width);
    put<uint32_t>(r, f.PenFlags, o.Pen.Flags);
    put<int32_t>(r, f.BrushColor, o.Brush.Color);
    r[f.BrushStyle] = o.Brush.Style;
    // A flag other than 1 is carried as it was; only 1 promises a block.
    r[f.HasAddress] = hasAddress ? 1 : (o.HasAddress == 1 ? 0 : o.HasAddress);
    r[f.HasExtra] = hasExtra ? 1 : (o.HasExtra == 1 ? 0 : o.HasExtra);
    put<float>(r, f.Height, o.Height);
    sink.write(r, sizeof r);
}

void writeAddress(ByteSink& sink, const TAddressCode& a) {
    const L::AddressFields& f = L::kAddressCode;
    uint8_t b[L::kAddressCode.size]{};
    put<int16_t>(b, f.TownCode, a.TownCode);
    put<int16_t>(b, f.StreetCode, a.StreetCode);
    putShort(b + f.House, a.House);
    put<int16_t>(b, f.Street1Code, a.Street1Code);
    putShort(b + f.House1, a.House1);
    sink.write(b, sizeof b);
}

void writeText(ByteSink& sink, const TQEVMapText& t) {
    namespace F = L::text_block;
    uint8_t b[F::fixed]{};
    put<float>(b, F::X, t.X);
    put<float>(b, F::Y, t.Y);
    put<int32_t>(b, F::Angle, t.Angle);
    b[F::FontIndex] = t.FontIndex;
    put<float>(b, F::FontSize, t.FontSize);
    put<int32_t>(b, F::Length, static_cast<int32_t>(t.Text.size()));
    sink.write(b, sizeof b);
    sink.write(t.Text.data(), t.Text.size());
    const uint8_t spare = 0;
    sink.write(&spare, 1);
}

void writeNote(ByteSink& sink, const TQEVMapZametka& z) {
    namespace F = L::note_block;
    uint8_t b[F::fixed]{};
    put<float>(b, F::X, z.X);
    put<float>(b, F::Y, z.Y);
    putShort(b + F::LibName, z.LibName);
    putShort(b + F::IconName, z.IconName);
    put<int32_t>(b, F::Length, static_cast<int32_t>(z.Text.size()));
    sink.write(b, sizeof b);
    sink.write(z.Text.data(), z.Text.size());
    const uint8_t spare = 0;
    sink.write(&spare, 1);
}

void writeBitmap(ByteSink& sink, const TQEVMapBitmap& bm) {
    const L::BitmapFields& f = L::kBitmap14;
    uint8_t b[L::kBitmap14.size]{};
    for (std::size_t k = 0; k < 4; ++k) {
        put<float>(b, f.Corners + 8 * k, bm.Corners[k].X);
        put<float>(b, f.Corners + 4 + 8 * k, bm.Corners[k].Y);
    }
    b[f.ImageFormat] = bm.ImageFormat;
    b[f.Transparent] = bm.Transparent;
    put<int32_t>(b, f.TransparentColor, bm.TransparentColor);
    put<int32_t>(b, f.ImageLength, static_cast<int32_t>(bm.ImageData.size()));
    sink.write(b, sizeof b);
    sink.write(bm.ImageData.data(), bm.ImageData.size());
}

void writeObject(ByteSink& sink, const TQEVMapObjectMem& o) {
    // DataCount follows the data actually held, so the file always describes its own blocks.
    int32_t dataCount = o.DataCount;
    if (isPointKind(o.Kind)) dataCount = static_cast<int32_t>(o.points().size());
    else if (o.Kind == cText) dataCount = o.text() ? static_cast<int32_t>(o.text()->Text.size()) + kTextBlockOverhead : 0;
    else if (o.Kind == cZametka) dataCount = o.note() ? static_cast<int32_t>(o.note()->Text.size()) + kNoteBlockOverhead : 0;
    else if (o.Kind == cGroup) dataCount = o.children() ? o.children()->count() : 0;
    else if (o.Kind == cBitmap) dataCount = kBitmapBlockSize;

    const bool hasAddress = o.HasAddress == 1 && o.Address;
    const bool hasExtra = o.HasExtra == 1 && o.Extra;
    writeRecord(sink, o, dataCount, hasAddress, hasExtra);
    if (hasAddress) writeAddress(sink, *o.Address);
    if (hasExtra) sink.write(o.Extra->data(), o.Extra->size());

    switch (o.Kind) {
    case cGroup:
        if (const TQevMapList* kids = o.children())
            for (const TQEVMapObjectMem& kid : *kids) writeObject(sink, kid);
        break;
    case cText:
        if (const TQEVMapText* t = o.text()) writeText(sink, *t);
        break;
    case cZametka:
        if (const TQEVMapZametka* z = o.note()) writeNote(sink, *z);
        break;
    case cBitmap:
        writeBitmap(sink, o.bitmap() ? *o.bitmap() : TQEVMapBitmap{});
        break;
    default:
        if (isPointKind(o.Kind)) {
            const auto pts = o.points();
            if constexpr (std::endian::native == std::endian::little) {
                sink.write(pts.data(), pts.size_bytes());
            } else {
                for (const TMapPoint& p : pts) {
                    uint8_t b[8];
                    put<float>(b, 0, p.X);
                    put<float>(b, 4, p.Y);
                    sink.write(b, 8);
                }
            }
        }
        break;
    }
}

class FileSink final : public ByteSink {
  public:
    FileSink(std::FILE* f, const std::string& path) : m_file(f), m_path(path) {}
    void write(const void* data, std::size_t n) override {
        if (n && std::fwrite(data, 1, n, m_file) != n)
            throw FileError(m_path + ": write error: " + std::strerror(errno));
    }

  private:
    std::FILE* m_file;
    const std::string& m_path;
};

} // namespace

void writeMap(ByteSink& sink, const MapDocument& doc) {
    writeHeader(sink, doc);
    if (doc.objects.count() == 0) return; // readers skip the dictionaries of an empty map
    writeDictionary(sink, doc.streets);
    writeDictionary(sink, doc.towns);
    for (const TQEVMapObjectMem& o : doc.objects) writeObject(sink, o);
}

std::vector<uint8_t> writeMapToBytes(const MapDocument& doc) {
    VectorSink sink;
    writeMap(sink, doc);
    return std::move(sink.bytes);
}

void writeMapFile(const std::string& path, const MapDocument& doc) {
    const std::string temp = path + ".part";
    std::FILE* f = openFile(temp, "wb");
    if (!f) throw FileError(path + ": cannot create: " + std::strerror(errno));
    std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
    std::error_code ec;
    const std::filesystem::path tempName = pathFromUtf8(temp);
    try {
        FileSink sink(f, temp);
        writeMap(sink, doc);
    } catch (...) {
        std::fclose(f);
        std::filesystem::remove(tempName, ec);
        throw;
    }
    if (std::fclose(f) != 0) {
        const std::string reason = std::strerror(errno);
        std::filesystem::remove(tempName, ec);
        throw FileError(path + ": write error: " + reason);
    }
    replaceFile(tempName, pathFromUtf8(path), ec);
    if (ec) {
        const std::string reason = ec.message();
        std::filesystem::remove(tempName, ec);
        throw FileError(path + ": cannot replace: " + reason);
    }
}

} // namespace kestrum

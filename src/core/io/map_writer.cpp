#include "io/map_writer.h"

#include "io/byte_source.h"
#include "io/file_open.h"
#include "io/le.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace kestrum {

namespace {

template <class T>
void put(uint8_t* p, std::size_t offset, T v) {
    le::store<T>(p + offset, v);
}

template <std::size_t N>
void putShort(uint8_t* p, const ShortString<N>& s) {
    std::copy(s.bytes.begin(), s.bytes.end(), p);
}

void writeHeader(ByteSink& sink, const MapDocument& doc) {
    const MapHeader& h = doc.header;
    uint8_t b[kHeaderSize]{};
    putShort(b + 0, h.Signature);
    put<int32_t>(b, 41, kCurrentMapVersion);
    putShort(b + 45, h.NameMap);
    putShort(b + 301, h.CreatedBy);
    std::copy(h.Kept557.begin(), h.Kept557.end(), b + 557);
    put<int32_t>(b, 562, h.Mashtab);
    put<double>(b, 566, h.Date);
    put<int32_t>(b, 574, doc.objects.count());
    put<int32_t>(b, 578, h.NextID);
    put<double>(b, 582, h.Scale);
    put<float>(b, 590, h.XWind);
    put<float>(b, 594, h.YWind);
    // Without objects no dictionary is written (readers skip it), so the counts must say so.
    const bool dictionaries = doc.objects.count() > 0;
    put<int32_t>(b, 598, dictionaries ? doc.streets.count() : 0);
    put<int32_t>(b, 602, h.NextStreetCode);
    put<int32_t>(b, 606, dictionaries ? doc.towns.count() : 0);
    put<int32_t>(b, 610, h.NextTownCode);
    b[614] = h.Kept614;
    sink.write(b, sizeof b);
}

void writeDictionary(ByteSink& sink, const TMapDictionary& dict) {
    for (const TMapDictionary::Entry& e : dict.sorted()) {
        uint8_t b[43]{};
        put<int16_t>(b, 0, static_cast<int16_t>(e.code));
        ShortString<40> name;
        name.assign(e.name);
        putShort(b + 2, name);
        sink.write(b, sizeof b);
    }
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
    uint8_t r[56]{};
    put<int32_t>(r, 0, o.ID);
    put<int32_t>(r, 4, o.Reserved1);
    r[8] = o.Reserved2;
    put<float>(r, 9, o.Center.X);
    put<float>(r, 13, o.Center.Y);
    put<int32_t>(r, 17, o.Ploskost);
    put<int32_t>(r, 21, o.ClassCode);
    r[25] = o.Locked;
    r[26] = o.Kind;
    put<int32_t>(r, 27, dataCount);
    r[31] = o.Alpha;
    put<int32_t>(r, 32, o.Pen.Color);
    r[36] = o.Pen.Style;
    put<float>(r, 37, o.Pen.Width);
    put<uint32_t>(r, 41, o.Pen.Flags);
    put<int32_t>(r, 45, o.Brush.Color);
    r[49] = o.Brush.Style;
    // A flag other than 1 is carried as it was; only 1 promises a block.
    r[50] = hasAddress ? 1 : (o.HasAddress == 1 ? 0 : o.HasAddress);
    r[51] = hasExtra ? 1 : (o.HasExtra == 1 ? 0 : o.HasExtra);
    put<float>(r, 52, o.Height);
    sink.write(r, sizeof r);

    if (hasAddress) {
        const TAddressCode& a = *o.Address;
        uint8_t b[kAddressCodeSize]{};
        put<int16_t>(b, 0, a.TownCode);
        put<int16_t>(b, 2, a.StreetCode);
        putShort(b + 4, a.House);
        put<int16_t>(b, 17, a.Street1Code);
        putShort(b + 19, a.House1);
        sink.write(b, sizeof b);
    }
    if (hasExtra) sink.write(o.Extra->data(), o.Extra->size());

    switch (o.Kind) {
    case cGroup:
        if (const TQevMapList* kids = o.children())
            for (const TQEVMapObjectMem& kid : *kids) writeObject(sink, kid);
        break;
    case cText:
        if (const TQEVMapText* t = o.text()) {
            uint8_t b[kTextBlockFixed]{};
            put<float>(b, 0, t->X);
            put<float>(b, 4, t->Y);
            put<int32_t>(b, 8, t->Angle);
            b[12] = t->FontIndex;
            put<float>(b, 13, t->FontSize);
            put<int32_t>(b, 17, static_cast<int32_t>(t->Text.size()));
            sink.write(b, sizeof b);
            sink.write(t->Text.data(), t->Text.size());
            const uint8_t spare = 0;
            sink.write(&spare, 1);
        }
        break;
    case cZametka:
        if (const TQEVMapZametka* z = o.note()) {
            uint8_t b[kNoteBlockFixed]{};
            put<float>(b, 0, z->X);
            put<float>(b, 4, z->Y);
            putShort(b + 8, z->LibName);
            putShort(b + 39, z->IconName);
            put<int32_t>(b, 70, static_cast<int32_t>(z->Text.size()));
            sink.write(b, sizeof b);
            sink.write(z->Text.data(), z->Text.size());
            const uint8_t spare = 0;
            sink.write(&spare, 1);
        }
        break;
    case cBitmap: {
        TQEVMapBitmap empty;
        const TQEVMapBitmap& bm = o.bitmap() ? *o.bitmap() : empty;
        uint8_t b[kBitmapBlockSize]{};
        for (std::size_t k = 0; k < 4; ++k) {
            put<float>(b, 8 * k, bm.Corners[k].X);
            put<float>(b, 4 + 8 * k, bm.Corners[k].Y);
        }
        b[32] = bm.ImageFormat;
        b[33] = bm.Transparent;
        put<int32_t>(b, 34, bm.TransparentColor);
        put<int32_t>(b, 38, static_cast<int32_t>(bm.ImageData.size()));
        sink.write(b, sizeof b);
        sink.write(bm.ImageData.data(), bm.ImageData.size());
        break;
    }
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

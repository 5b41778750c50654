#include "image/bmp_codec.h"

#include "io/le.h"

#include <bit>
#include <unordered_map>

namespace kestrum {

namespace {

constexpr std::size_t kFileHeader = 14;
constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5, kAlphaBitFields = 6;

// Everything the pixel loop needs, worked out and checked from the headers.
struct Layout {
    BmpInfo info;
    std::size_t paletteStart = 0;
    uint32_t paletteCount = 0;
    std::size_t paletteEntry = 4; // the core header's colour table has 3-byte entries
    uint32_t masks[3] = {0, 0, 0};
    std::size_t pixelStart = 0;
    uint64_t stride = 0;
};

bool fail(std::string& why, std::string message) {
    why = std::move(message);
    return false;
}

std::string compressionName(uint32_t c) {
    switch (c) {
    case kRle8:
        return "RLE8";
    case kRle4:
        return "RLE4";
    case kJpeg:
        return "JPEG";
    case kPng:
        return "PNG";
    default:
        return "method " + std::to_string(c);
    }
}

bool readLayout(std::span<const uint8_t> b, Layout& l, std::string& why) {
    if (b.size() < kFileHeader + 12 || b[0] != 'B' || b[1] != 'M')
        return fail(why, "not a Windows bitmap (no \"BM\" header)");
    const uint32_t offBits = le::load<uint32_t>(&b[10]);
    const uint32_t headerSize = le::load<uint32_t>(&b[14]);
    if (headerSize != 12 && headerSize < 40)
        return fail(why, "unknown bitmap header size " + std::to_string(headerSize));
    if (headerSize > b.size() - kFileHeader)
        return fail(why, "bitmap header of " + std::to_string(headerSize) + " bytes runs past the end");
    BmpInfo& info = l.info;
    int64_t width = 0, height = 0;
    uint32_t colorsUsed = 0;
    std::size_t tableStart = kFileHeader + headerSize;
    if (headerSize == 12) {
        // OS/2 1.x core header: 16-bit sizes, no compression, 3-byte colour table entries.
        width = le::load<uint16_t>(&b[18]);
        height = le::load<uint16_t>(&b[20]);
        info.bitsPerPixel = le::load<uint16_t>(&b[24]);
        l.paletteEntry = 3;
    } else {
        width = le::load<int32_t>(&b[18]);
        height = le::load<int32_t>(&b[22]);
        info.bitsPerPixel = le::load<uint16_t>(&b[28]);
        info.compression = le::load<uint32_t>(&b[30]);
        colorsUsed = le::load<uint32_t>(&b[46]);
    }
    if (info.compression == kBitFields || info.compression == kAlphaBitFields) {
        if (info.bitsPerPixel != 16 && info.bitsPerPixel != 32)
            return fail(why,
                        "bit-field layout with " + std::to_string(info.bitsPerPixel) + " bits per pixel");
        // A 40-byte header is followed by the masks; longer headers hold them.
        const std::size_t maskBytes = info.compression == kAlphaBitFields ? 16 : 12;
        if (b.size() < kFileHeader + 40 + maskBytes) return fail(why, "bit masks run past the end");
        for (int i = 0; i < 3; ++i)
            l.masks[i] = le::load<uint32_t>(&b[kFileHeader + 40 + 4 * std::size_t(i)]);
        if (headerSize == 40) tableStart += maskBytes;
    } else if (info.compression != kRgb) {
        return fail(why, "compressed bitmaps (" + compressionName(info.compression) + ") are not supported");
    }
    switch (info.bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        break;
    default:
        return fail(why, "unsupported depth of " + std::to_string(info.bitsPerPixel) + " bits per pixel");
    }
    info.topDown = height < 0;
    height = height < 0 ? -height : height;
    if (width <= 0 || height <= 0)
        return fail(why,
                    "bitmap size " + std::to_string(width) + " x " + std::to_string(height) + " is empty");
    if (width > kMaxBmpSide || height > kMaxBmpSide || width * height > kMaxBmpPixels)
        return fail(why, "bitmap size " + std::to_string(width) + " x " + std::to_string(height) +
                             " is too large");
    info.width = static_cast<int32_t>(width);
    info.height = static_cast<int32_t>(height);

    l.paletteStart = tableStart;
    if (info.bitsPerPixel <= 8) {
        const uint32_t full = 1u << info.bitsPerPixel;
        l.paletteCount = colorsUsed == 0 || colorsUsed > full ? full : colorsUsed;
        if (tableStart > b.size() || l.paletteCount * l.paletteEntry > b.size() - tableStart)
            return fail(why,
                        "colour table of " + std::to_string(l.paletteCount) + " entries runs past the end");
    }
    const std::size_t tableEnd = tableStart + l.paletteCount * l.paletteEntry;
    // Some writers leave the pixel offset zero: the pixels then follow the colour table.
    l.pixelStart = offBits == 0 ? tableEnd : offBits;
    if (l.pixelStart > b.size())
        return fail(why, "pixel data offset " + std::to_string(offBits) + " lies past the end (" +
                             std::to_string(b.size()) + " bytes)");
    const uint64_t rowBits = uint64_t(width) * uint64_t(info.bitsPerPixel);
    l.stride = (rowBits + 31) / 32 * 4;
    // The last row may come without its padding: some writers stop at the last pixel.
    const uint64_t need = l.stride * uint64_t(height - 1) + (rowBits + 7) / 8;
    if (need > b.size() - l.pixelStart)
        return fail(why, "pixel data ends early: " + std::to_string(need) + " bytes needed, " +
                             std::to_string(b.size() - l.pixelStart) + " there");
    return true;
}

// A bit-field channel scaled to 8 bits.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    explicit Channel(uint32_t m) : mask(m) {
        if (m == 0) return;
        shift = std::countr_zero(m);
        bits = std::popcount(m >> shift);
    }
    uint32_t operator()(uint32_t v) const {
        if (bits == 0) return 0;
        const uint32_t x = (v & mask) >> shift;
        if (bits >= 8) return x >> (bits - 8);
        const uint32_t top = (1u << bits) - 1;
        return (x * 255 + top / 2) / top;
    }
};

constexpr uint32_t opaque(uint32_t r, uint32_t g, uint32_t bl) {
    return 0xFF000000u | (r << 16) | (g << 8) | bl;
}

} // namespace

bool readBmpInfo(std::span<const uint8_t> bytes, BmpInfo& info, std::string& why) {
    Layout l;
    if (!readLayout(bytes, l, why)) return false;
    info = l.info;
    return true;
}

bool decodeBmp(std::span<const uint8_t> b, BmpImage& out, std::string& why) {
    out = {};
    Layout l;
    if (!readLayout(b, l, why)) return false;
    const int w = l.info.width, h = l.info.height, bpp = l.info.bitsPerPixel;

    std::vector<uint32_t> palette(l.paletteCount);
    for (uint32_t i = 0; i < l.paletteCount; ++i) {
        const uint8_t* e = &b[l.paletteStart + i * l.paletteEntry];
        palette[i] = opaque(e[2], e[1], e[0]);
    }
    Channel red(l.masks[0]), green(l.masks[1]), blue(l.masks[2]);
    if (l.info.compression == kRgb && bpp == 16)
        red = Channel(0x7C00), green = Channel(0x03E0), blue = Channel(0x001F);

    out.width = w;
    out.height = h;
    out.bitsPerPixel = bpp;
    out.pixels.resize(std::size_t(w) * std::size_t(h));
    for (int y = 0; y < h; ++y) {
        const std::size_t fileRow = std::size_t(l.info.topDown ? y : h - 1 - y);
        const uint8_t* src = &b[static_cast<std::size_t>(l.pixelStart + fileRow * l.stride)]; // inside the checked size
        uint32_t* dst = out.pixels.data() + std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x) {
            const auto ux = std::size_t(x);
            switch (bpp) {
            case 1:
            case 4:
            case 8: {
                const std::size_t bit = ux * std::size_t(bpp);
                const uint32_t index = (src[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
                // An index past a short colour table shows black, as the system draws it.
                dst[x] = index < palette.size() ? palette[index] : 0xFF000000u;
                break;
            }
            case 16: {
                const uint32_t v = le::load<uint16_t>(src + 2 * ux);
                dst[x] = opaque(red(v), green(v), blue(v));
                break;
            }
            case 24:
                dst[x] = opaque(src[3 * ux + 2], src[3 * ux + 1], src[3 * ux]);
                break;
            default: {
                if (l.info.compression == kRgb) {
                    dst[x] = opaque(src[4 * ux + 2], src[4 * ux + 1], src[4 * ux]);
                } else {
                    const uint32_t v = le::load<uint32_t>(src + 4 * ux);
                    dst[x] = opaque(red(v), green(v), blue(v));
                }
                break;
            }
            }
        }
    }
    return true;
}

bool decodeBmp(std::span<const uint8_t> bytes, BmpImage& out) {
    std::string why;
    return decodeBmp(bytes, out, why);
}

std::vector<uint8_t> encodeBmp(const BmpImage& img, const BmpWriteOptions& o) {
    const int bpp = o.bitsPerPixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return {};
    if (img.width <= 0 || img.height <= 0 ||
        img.pixels.size() != std::size_t(img.width) * std::size_t(img.height))
        return {};
    const std::size_t tableEntries = bpp <= 8 ? std::size_t{1} << bpp : 0;
    if (o.palette.size() > tableEntries) return {};
    std::unordered_map<uint32_t, uint8_t> indexOf;
    for (std::size_t i = 0; i < o.palette.size(); ++i)
        indexOf.emplace(o.palette[i] & 0xFFFFFFu, static_cast<uint8_t>(i));

    const std::size_t stride = (std::size_t(img.width) * std::size_t(bpp) + 31) / 32 * 4;
    const std::size_t pixelStart = kFileHeader + 40 + tableEntries * 4;
    const std::size_t total = pixelStart + stride * std::size_t(img.height);
    std::vector<uint8_t> out(total, 0);
    out[0] = 'B', out[1] = 'M';
    le::store<uint32_t>(&out[2], static_cast<uint32_t>(total));
    le::store<uint32_t>(&out[10], static_cast<uint32_t>(pixelStart));
    le::store<uint32_t>(&out[14], 40);
    le::store<int32_t>(&out[18], img.width);
    le::store<int32_t>(&out[22], o.topDown ? -img.height : img.height);
    le::store<uint16_t>(&out[26], 1);
    le::store<uint16_t>(&out[28], static_cast<uint16_t>(bpp));
    le::store<uint32_t>(&out[34], static_cast<uint32_t>(stride * std::size_t(img.height)));
    for (std::size_t i = 0; i < o.palette.size(); ++i) {
        uint8_t* e = &out[kFileHeader + 40 + 4 * i];
        e[0] = static_cast<uint8_t>(o.palette[i]);
        e[1] = static_cast<uint8_t>(o.palette[i] >> 8);
        e[2] = static_cast<uint8_t>(o.palette[i] >> 16);
    }
    for (int y = 0; y < img.height; ++y) {
        const std::size_t fileRow = std::size_t(o.topDown ? y : img.height - 1 - y);
        uint8_t* dst = &out[pixelStart + fileRow * stride];
        for (int x = 0; x < img.width; ++x) {
            const uint32_t p = img.at(x, y);
            const auto ux = std::size_t(x);
            if (bpp <= 8) {
                const auto it = indexOf.find(p & 0xFFFFFFu);
                if (it == indexOf.end()) return {};
                const std::size_t bit = ux * std::size_t(bpp);
                dst[bit / 8] = static_cast<uint8_t>(dst[bit / 8] | (it->second << (8 - bpp - bit % 8)));
            } else {
                uint8_t* q = dst + ux * std::size_t(bpp / 8);
                q[0] = static_cast<uint8_t>(p), q[1] = static_cast<uint8_t>(p >> 8),
                q[2] = static_cast<uint8_t>(p >> 16);
            }
        }
    }
    return out;
}

} // namespace kestrum

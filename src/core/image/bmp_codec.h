#pragma once
// Uncompressed Windows bitmaps (".bmp" file images): our own reader and writer, so that icon
// pictures decode without a toolkit (in the core, in the tests, in the build-time generator).
//
// Read: 1, 4, 8, 16, 24 and 32 bits per pixel, bottom-up and top-down, the core (OS/2) header
// and every Windows info header, plain and bit-field layouts. Compressed bitmaps (RLE, JPEG,
// PNG inside BMP) are refused with a message, as are sizes no icon or picture can have.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace kestrum {

// Refused: more pixels than this, or a side longer than kMaxBmpSide.
constexpr int64_t kMaxBmpPixels = int64_t{1} << 26;
constexpr int32_t kMaxBmpSide = 1 << 15;

struct BmpImage {
    int width = 0;
    int height = 0;
    // 0xFFRRGGBB, rows top to bottom. Bitmaps carry no usable alpha: every pixel is opaque.
    std::vector<uint32_t> pixels;
    int bitsPerPixel = 0; // as stored in the file

    uint32_t at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

// Header facts, read without touching the pixels.
struct BmpInfo {
    int32_t width = 0;
    int32_t height = 0; // always positive; topDown tells the row order
    bool topDown = false;
    int bitsPerPixel = 0;
    uint32_t compression = 0;
};

// False with the reason in `why` when the bytes hold no bitmap we can read.
bool readBmpInfo(std::span<const uint8_t> bytes, BmpInfo& info, std::string& why);

// Decodes a whole bitmap. False (with `out` emptied and the reason in `why`) on any failure.
bool decodeBmp(std::span<const uint8_t> bytes, BmpImage& out, std::string& why);
bool decodeBmp(std::span<const uint8_t> bytes, BmpImage& out);

struct BmpWriteOptions {
    int bitsPerPixel = 24; // 1, 4, 8, 24 or 32
    bool topDown = false;
    // Colours (0x00RRGGBB) of the colour table for 1, 4 and 8 bits per pixel; the table is
    // written with all 2^bits entries, unused ones zero.
    std::vector<uint32_t> palette;
};

// Encodes `image` (its alpha is dropped). Empty when the options cannot hold it: a depth we do
// not write, a palette longer than the depth allows, or a pixel whose colour is not in it.
std::vector<uint8_t> encodeBmp(const BmpImage& image, const BmpWriteOptions& options = {});

} // namespace kestrum

#pragma once
// Decoding the pictures that bitmap objects carry. JPEG is decoded by the platform's codec
// (libjpeg on Linux, WIC on Windows), scaled in the decoder itself where it can (a picture shown
// small is never decoded large); BMP goes to the decoder the map is given, which may be the
// core's own codec.

#include "image/image.h"

#include <cstdint>
#include <span>

namespace kestrum {

// Refused: pictures whose header promises more pixels than this (a damaged or hostile file).
constexpr int64_t kMaxImagePixels = int64_t{1} << 26;

class TImageDecoder {
  public:
    virtual ~TImageDecoder() = default;
    // Decodes a Windows bitmap file; false when it cannot.
    virtual bool decodeBmp(std::span<const uint8_t> bytes, TImage& out) const = 0;
};

// Bitmaps through the core's own BMP codec: the same pixels on every platform, no toolkit.
class CoreImageDecoder final : public TImageDecoder {
  public:
    bool decodeBmp(std::span<const uint8_t> bytes, TImage& out) const override;
};

// scaleDenom 1, 2, 4 or 8; the picture comes out ceil(width / scaleDenom) wide and as high. False (with `out` emptied) on any decoding failure.
bool decodeJpeg(std::span<const uint8_t> bytes, int scaleDenom, TImage& out);

// Width and height from the JPEG header alone; false when there is no readable header.
bool jpegSize(std::span<const uint8_t> bytes, int& width, int& height);

// The decoder scale for a picture drawn `ratio` times its width: full size above one half, then
// one half, one quarter, one eighth.
int jpegScaleFor(double ratio);

} // namespace kestrum

#pragma once
// Decoding the pictures that bitmap objects carry. JPEG is decoded here with libjpeg, scaled in
// the decoder itself (a picture shown small is never decoded large); BMP and anything else
// goes to the platform's decoder.

#include "render/image.h"

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

// scaleDenom 1, 2, 4 or 8. False (with `out` emptied) on any decoding failure.
bool decodeJpeg(std::span<const uint8_t> bytes, int scaleDenom, TImage& out);

// Width and height from the JPEG header alone; false when there is no readable header.
bool jpegSize(std::span<const uint8_t> bytes, int& width, int& height);

// The decoder scale for a picture drawn `ratio` times its width: full size above one half, then
// one half, one quarter, one eighth.
int jpegScaleFor(double ratio);

} // namespace kestrum

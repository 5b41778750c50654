#include "image/image_decoder.h"

#include "image/bmp_codec.h"

#include <algorithm>

namespace kestrum {

int jpegScaleFor(double ratio) {
    if (ratio > 0.5) return 1;
    if (ratio > 0.25) return 2;
    if (ratio > 0.125) return 4;
    return 8;
}

bool CoreImageDecoder::decodeBmp(std::span<const uint8_t> bytes, TImage& out) const {
    BmpImage bmp;
    if (!kestrum::decodeBmp(bytes, bmp) || bmp.width <= 0 || bmp.height <= 0) {
        out.resize(0, 0);
        return false;
    }
    out.resize(bmp.width, bmp.height);
    std::copy(bmp.pixels.begin(), bmp.pixels.end(), out.data());
    return true;
}

} // namespace kestrum

#include "qt_image_decoder.h"

#include "io/le.h"

#include <QImage>

#include <cstdlib>
#include <cstring>

namespace kestrum::qt {

bool QtImageDecoder::decodeBmp(std::span<const uint8_t> bytes, TImage& out) const {
    // Look at the promised size before the reader allocates for it.
    if (bytes.size() < 26 || bytes[0] != 'B' || bytes[1] != 'M') return false;
    const int64_t w = std::llabs(le::load<int32_t>(bytes.data() + 18));
    const int64_t h = std::llabs(le::load<int32_t>(bytes.data() + 22));
    if (w == 0 || h == 0 || w * h > kMaxImagePixels) return false;
    QImage img;
    if (!img.loadFromData(bytes.data(), static_cast<int>(bytes.size()), "BMP")) return false;
    img = img.convertToFormat(QImage::Format_ARGB32);
    out.resize(img.width(), img.height());
    for (int y = 0; y < img.height(); ++y)
        std::memcpy(out.row(y), img.constScanLine(y), std::size_t(img.width()) * 4);
    return true;
}

} // namespace kestrum::qt

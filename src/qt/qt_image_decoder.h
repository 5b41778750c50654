#pragma once

#include "image/image_decoder.h"

namespace kestrum::qt {

// Windows bitmaps through Qt's own reader.
class QtImageDecoder final : public TImageDecoder {
  public:
    bool decodeBmp(std::span<const uint8_t> bytes, TImage& out) const override;
};

} // namespace kestrum::qt

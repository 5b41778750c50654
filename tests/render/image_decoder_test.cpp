// The pictures of bitmap objects through the platform's JPEG codec (libjpeg on Linux, WIC on
// Windows: the same test runs on both) and bitmaps through the core's own codec.

#include "image/bmp_codec.h"
#include "io/byte_source.h"
#include "image/image_decoder.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

namespace kestrum {
namespace {

// 42 x 26 pixels in quadrants: red, green (0x00C000) / blue, white. Neither side divides by
// 4 or 8, so the scaled sizes show that both decoders round up as libjpeg does.
std::vector<uint8_t> quadrants() {
    return readWholeFile((std::filesystem::path(KESTRUM_TEST_DATA_DIR) / "images" / "quadrants.jpg").string());
}

bool closeTo(uint32_t pixel, uint32_t want) {
    for (int shift : {0, 8, 16}) {
        const int a = int(pixel >> shift & 0xFF), b = int(want >> shift & 0xFF);
        if (std::abs(a - b) > 24) return false;
    }
    return (pixel >> 24) == 0xFF;
}

TEST(JpegDecoder, DecodesAtEveryScaleToLibjpegsSizes) {
    const std::vector<uint8_t> jpeg = quadrants();
    int w = 0, h = 0;
    ASSERT_TRUE(jpegSize(jpeg, w, h));
    EXPECT_EQ(w, 42);
    EXPECT_EQ(h, 26);
    struct Case {
        int denom, width, height;
    };
    for (const Case c : {Case{1, 42, 26}, Case{2, 21, 13}, Case{4, 11, 7}, Case{8, 6, 4}}) {
        SCOPED_TRACE(c.denom);
        TImage img;
        ASSERT_TRUE(decodeJpeg(jpeg, c.denom, img));
        ASSERT_EQ(img.width(), c.width);
        ASSERT_EQ(img.height(), c.height);
        // A pixel well inside each quadrant keeps its colour at every scale.
        const int qx = std::max(1, c.width / 4), qy = std::max(1, c.height / 4);
        EXPECT_TRUE(closeTo(img.pixel(qx - 1, qy - 1), 0xFFFF0000u)) << std::hex << img.pixel(qx - 1, qy - 1);
        EXPECT_TRUE(closeTo(img.pixel(c.width - qx, qy - 1), 0xFF00C000u)) << std::hex << img.pixel(c.width - qx, qy - 1);
        EXPECT_TRUE(closeTo(img.pixel(qx - 1, c.height - qy), 0xFF0000FFu)) << std::hex << img.pixel(qx - 1, c.height - qy);
        EXPECT_TRUE(closeTo(img.pixel(c.width - qx, c.height - qy), 0xFFFFFFFFu));
    }
}

TEST(JpegDecoder, RefusesDamageOtherFormatsAndOddScales) {
    const std::vector<uint8_t> jpeg = quadrants();
    TImage img(3, 3);
    EXPECT_FALSE(decodeJpeg(jpeg, 3, img));
    EXPECT_TRUE(img.empty());
    const std::vector<uint8_t> head(jpeg.begin(), jpeg.begin() + 40);
    EXPECT_FALSE(decodeJpeg(head, 1, img));
    EXPECT_TRUE(img.empty());
    BmpImage bmp{2, 2, {0xFF000000u, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFF000000u}, 24};
    const std::vector<uint8_t> bmpBytes = encodeBmp(bmp);
    int w = 0, h = 0;
    EXPECT_FALSE(jpegSize(bmpBytes, w, h));
    EXPECT_FALSE(decodeJpeg(bmpBytes, 1, img));
    EXPECT_FALSE(decodeJpeg({}, 1, img));
}

TEST(CoreImageDecoder, DecodesBitmapsWithTheCoreCodec) {
    BmpImage bmp{3, 2, {0xFF102030u, 0xFFFFFFFFu, 0xFF000000u, 0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}, 24};
    const CoreImageDecoder decoder;
    TImage img;
    ASSERT_TRUE(decoder.decodeBmp(encodeBmp(bmp), img));
    ASSERT_EQ(img.width(), 3);
    ASSERT_EQ(img.height(), 2);
    EXPECT_EQ(img.pixel(0, 0), 0xFF102030u);
    EXPECT_EQ(img.pixel(2, 1), 0xFF0000FFu);
    const std::vector<uint8_t> damaged(10, 0x42);
    EXPECT_FALSE(decoder.decodeBmp(damaged, img));
    EXPECT_TRUE(img.empty());
}

} // namespace
} // namespace kestrum

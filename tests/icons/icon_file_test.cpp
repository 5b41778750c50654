// Icon library files and our BMP codec: every layout read as Qt's own reader reads it, the
// library format written and read back, and damaged files answered with what they hold.

#include "image/bmp_codec.h"
#include "icons/icon_file.h"
#include "io/le.h"

#include <QBuffer>
#include <QImage>
#include <gtest/gtest.h>

using namespace kestrum;

namespace {

// A picture with a few distinct colours, asymmetric so that flipped rows or columns show.
BmpImage testPicture(int w, int h, int colours) {
    static const uint32_t palette[] = {0xFF00FFFF, 0xFFFF0000, 0xFF0000FF,
                                       0xFF00FF00, 0xFF202020, 0xFFFFFFFF};
    BmpImage img;
    img.width = w, img.height = h;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            img.pixels.push_back(palette[(x * 3 + y * y + (x > y)) % colours]);
    return img;
}

std::vector<uint32_t> paletteOf(int colours) {
    std::vector<uint32_t> p;
    for (uint32_t c : {0x00FFFFu, 0xFF0000u, 0x0000FFu, 0x00FF00u, 0x202020u, 0xFFFFFFu})
        if (p.size() < std::size_t(colours)) p.push_back(c);
    return p;
}

// Qt's BMP reader, as an independent judge of what a file shows.
std::vector<uint32_t> qtPixels(const std::vector<uint8_t>& bytes, int& w, int& h) {
    QImage img;
    if (!img.loadFromData(bytes.data(), int(bytes.size()), "BMP")) return {};
    img = img.convertToFormat(QImage::Format_RGB32);
    w = img.width(), h = img.height();
    std::vector<uint32_t> out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            out.push_back(img.pixel(x, y) | 0xFF000000u);
    return out;
}

std::vector<uint8_t> bitmapFile(int w = 5, int h = 3) {
    BmpWriteOptions o;
    o.bitsPerPixel = 8;
    o.palette = paletteOf(4);
    return encodeBmp(testPicture(w, h, 4), o);
}

IconPicture picture(std::string name, std::vector<uint8_t> data, int32_t key = 0x00FFFF00, uint8_t flag = 1) {
    IconPicture p;
    p.header.name = std::move(name);
    p.header.transparentColor = key;
    p.header.transparent = flag;
    p.data = std::move(data);
    return p;
}

std::vector<uint8_t> threePictureLibrary() {
    IconLibraryHeader h;
    h.name = "Three";
    const std::vector<IconPicture> pics = {picture("a", bitmapFile()), picture("b", bitmapFile(7, 2)),
                                           picture("c", bitmapFile(3, 3))};
    return writeIconLibrary(h, pics);
}

} // namespace

TEST(BmpCodec, EveryDepthAndRowOrderReadsAsQtReadsIt) {
    for (int bpp : {1, 4, 8, 24, 32})
        for (bool topDown : {false, true}) {
            SCOPED_TRACE(std::to_string(bpp) + (topDown ? " bpp top-down" : " bpp bottom-up"));
            const int colours = bpp == 1 ? 2 : 6;
            // Odd widths leave padding at every row end.
            const BmpImage img = testPicture(13, 5, colours);
            BmpWriteOptions o;
            o.bitsPerPixel = bpp;
            o.topDown = topDown;
            if (bpp <= 8) o.palette = paletteOf(colours);
            const std::vector<uint8_t> bytes = encodeBmp(img, o);
            ASSERT_FALSE(bytes.empty());
            BmpImage ours;
            ASSERT_TRUE(decodeBmp(bytes, ours));
            EXPECT_EQ(ours.bitsPerPixel, bpp);
            EXPECT_EQ(ours.pixels, img.pixels);
            int w = 0, h = 0;
            EXPECT_EQ(qtPixels(bytes, w, h), img.pixels);
        }
}

TEST(BmpCodec, BitmapsWrittenByQtDecodeToTheSamePixels) {
    QImage rgb(11, 7, QImage::Format_RGB32);
    QImage indexed(11, 7, QImage::Format_Indexed8);
    indexed.setColorTable({qRgb(0, 255, 255), qRgb(200, 10, 10), qRgb(10, 10, 200)});
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 11; ++x) {
            rgb.setPixel(x, y, qRgb(x * 20, y * 30, (x + y) * 10));
            indexed.setPixel(x, y, uint((x + 2 * y) % 3));
        }
    for (const QImage& src : {rgb, indexed}) {
        QByteArray raw;
        QBuffer buf(&raw);
        buf.open(QIODevice::WriteOnly);
        ASSERT_TRUE(src.save(&buf, "BMP"));
        const std::vector<uint8_t> bytes(raw.begin(), raw.end());
        BmpImage ours;
        ASSERT_TRUE(decodeBmp(bytes, ours));
        int w = 0, h = 0;
        EXPECT_EQ(ours.pixels, qtPixels(bytes, w, h));
        EXPECT_EQ(ours.width, 11);
        EXPECT_EQ(ours.height, 7);
    }
}

TEST(BmpCodec, BitFieldsSixteenBitsAndTheCoreHeader) {
    // 2 x 1 pixels, 16 bits in 5-6-5 bit fields: pure red and pure green.
    std::vector<uint8_t> fields(14 + 40 + 12 + 4, 0);
    fields[0] = 'B', fields[1] = 'M';
    le::store<uint32_t>(&fields[10], 66);
    le::store<uint32_t>(&fields[14], 40);
    le::store<int32_t>(&fields[18], 2);
    le::store<int32_t>(&fields[22], 1);
    le::store<uint16_t>(&fields[28], 16);
    le::store<uint32_t>(&fields[30], 3);
    le::store<uint32_t>(&fields[54], 0xF800), le::store<uint32_t>(&fields[58], 0x07E0),
        le::store<uint32_t>(&fields[62], 0x001F);
    le::store<uint16_t>(&fields[66], 0xF800), le::store<uint16_t>(&fields[68], 0x07E0);
    BmpImage img;
    ASSERT_TRUE(decodeBmp(fields, img));
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFFFF0000u, 0xFF00FF00u}));

    // OS/2 core header: 16-bit sizes and a colour table of 3-byte entries; 1 x 2, 1 bit.
    // clang-format off
    const std::vector<uint8_t> core = {'B', 'M', 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0, 0,
                                       12, 0, 0, 0, 1, 0, 2, 0, 1, 0, 1, 0,
                                       /* table */ 0, 0, 255, 255, 0, 0,
                                       /* rows, bottom first */ 0x80, 0, 0, 0, 0x00, 0, 0, 0};
    // clang-format on
    ASSERT_TRUE(decodeBmp(core, img));
    EXPECT_EQ(img.pixels, (std::vector<uint32_t>{0xFFFF0000u /* top: index 0 */, 0xFF0000FFu}));
}

TEST(BmpCodec, RefusesWhatItCannotReadWithAReason) {
    const std::vector<uint8_t> good = bitmapFile();
    auto refused = [](std::vector<uint8_t> bytes, const std::string& expected) {
        BmpImage img;
        std::string why;
        EXPECT_FALSE(decodeBmp(bytes, img, why)) << expected;
        EXPECT_NE(why.find(expected), std::string::npos) << why;
        EXPECT_TRUE(img.pixels.empty());
    };
    refused({'P', 'K', 3, 4}, "no \"BM\"");
    auto rle = good;
    le::store<uint32_t>(&rle[30], 1);
    refused(rle, "RLE8");
    auto huge = good;
    le::store<int32_t>(&huge[18], 1 << 20);
    refused(huge, "too large");
    auto wide = good;
    le::store<int32_t>(&wide[18], 5000); // plausible, but the file holds 3 rows of 8 bytes
    refused(wide, "pixel data ends early");
    auto cut = good;
    cut.resize(cut.size() - 9);
    refused(cut, "pixel data ends early");
    auto offset = good;
    le::store<uint32_t>(&offset[10], 1u << 30);
    refused(offset, "lies past the end");
    auto empty = good;
    le::store<int32_t>(&empty[22], 0);
    refused(empty, "empty");
    auto depth = good;
    le::store<uint16_t>(&depth[28], 7);
    refused(depth, "depth of 7");
    auto table = good;
    table.resize(14 + 40 + 8);
    refused(table, "colour table");
    auto header = good;
    le::store<uint32_t>(&header[14], 20);
    refused(header, "header size 20");
}

TEST(BmpCodec, ToleratesQuirksOfRealWriters) {
    // The last row without its padding, and a pixel offset left zero.
    std::vector<uint8_t> bytes = bitmapFile(5, 3);
    bytes.resize(bytes.size() - 3);
    le::store<uint32_t>(&bytes[10], 0);
    BmpImage img;
    ASSERT_TRUE(decodeBmp(bytes, img));
    EXPECT_EQ(img.pixels, testPicture(5, 3, 4).pixels);
    // An index past a short colour table shows black rather than failing.
    std::vector<uint8_t> shortTable = bitmapFile(5, 3);
    le::store<uint32_t>(&shortTable[46], 1); // only the first entry counts
    ASSERT_TRUE(decodeBmp(shortTable, img));
    EXPECT_EQ(img.at(0, 2), 0xFF00FFFFu);
    EXPECT_EQ(img.at(1, 2), 0xFF000000u);
}

TEST(IconFile, WrittenLibrariesReadBackWholeWithTextsCutToTheirFields) {
    IconLibraryHeader h;
    h.name = std::string(40, 'N');
    h.banner = std::string(90, 'B');
    h.reserved[3] = 7;
    const std::vector<IconPicture> pics = {picture("first", bitmapFile()),
                                           picture(std::string(35, 'p'), bitmapFile(7, 2), 0x123456, 0),
                                           picture("", {})};
    const std::vector<uint8_t> bytes = writeIconLibrary(h, pics);
    EXPECT_EQ(bytes.size(), 181 + 3 * 40 + pics[0].data.size() + pics[1].data.size());
    const IconLibraryFile f = readIconLibrary(bytes);
    ASSERT_TRUE(f.header);
    EXPECT_FALSE(f.damage);
    EXPECT_EQ(f.bytesUsed, bytes.size());
    EXPECT_EQ(f.header->name, std::string(30, 'N'));
    EXPECT_EQ(f.header->banner, std::string(70, 'B'));
    EXPECT_EQ(f.header->reserved[3], 7);
    EXPECT_EQ(f.header->pictureCount, 3);
    ASSERT_EQ(f.pictures.size(), 3u);
    EXPECT_EQ(f.pictures[1].header.name, std::string(30, 'p'));
    EXPECT_EQ(f.pictures[1].header.transparentColor, 0x123456);
    EXPECT_EQ(f.pictures[1].header.transparent, 0);
    EXPECT_EQ(f.pictures[1].data, pics[1].data);
    EXPECT_TRUE(f.pictures[2].data.empty());
}

TEST(IconFile, DamagedFilesKeepThePicturesBeforeTheDamage) {
    const std::vector<uint8_t> good = threePictureLibrary();
    const IconLibraryFile whole = readIconLibrary(good);
    ASSERT_EQ(whole.pictures.size(), 3u);
    const std::size_t second = 181 + 40 + whole.pictures[0].data.size(); // start of picture 1
    const std::size_t third = second + 40 + whole.pictures[1].data.size();

    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        std::size_t pictures;
        uint64_t offset;
        const char* message;
    };
    auto cut = [&](std::size_t n) {
        return std::vector<uint8_t>(good.begin(), good.begin() + std::ptrdiff_t(n));
    };
    auto patched = [&](std::size_t at, int32_t v) {
        auto b = good;
        le::store<int32_t>(&b[at], v);
        return b;
    };
    const Case cases[] = {
        {"inside the header", cut(100), 0, 0, "inside the library header (100 of 181"},
        {"inside a picture header", cut(second + 20), 1, second,
         "inside the header of picture number 1 of 3"},
        {"inside picture data", cut(third - 5), 1, second + 36, "but only"},
        {"after a whole picture", cut(third), 2, third, "file ends after 2 of 3 pictures"},
        {"count larger than the file", patched(177, 1000000), 3, good.size(), "after 3 of 1000000"},
        {"negative count", patched(177, -4), 0, 177, "picture count -4 is negative"},
        {"size larger than the file", patched(second + 36, 0x7FFFFFF0), 1, second + 36,
         "data size 2147483632"},
        {"negative size", patched(second + 36, -1), 1, second + 36, "data size -1 is negative"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const IconLibraryFile f = readIconLibrary(c.bytes);
        EXPECT_EQ(f.pictures.size(), c.pictures);
        ASSERT_TRUE(f.damage);
        EXPECT_EQ(f.damage->offset, c.offset);
        EXPECT_NE(f.damage->message.find(c.message), std::string::npos) << f.damage->message;
        for (std::size_t i = 0; i < f.pictures.size(); ++i)
            EXPECT_EQ(f.pictures[i].data, whole.pictures[i].data);
    }
}

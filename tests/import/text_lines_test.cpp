// The line reader every text importer reads through: where each line starts, what an overlong
// line becomes in either mode, the byte-order mark, and the reads a caller polls a cancel by;
// the same at every block boundary. (Line ends themselves: mif_lines_test.cpp.)

#include "import/text_lines.h"
#include "io/byte_source.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrum {
namespace {

struct Line {
    std::string text;
    uint64_t start;
    bool cut;
    friend bool operator==(const Line&, const Line&) = default;
};

std::vector<Line> read(std::string_view text, std::size_t block, std::size_t maxLine, LineReader::Overlong mode,
                       bool* bom = nullptr) {
    MemorySource src({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    LineReader reader(src, block, maxLine, mode);
    std::vector<Line> out;
    std::string_view line;
    while (reader.next(line)) out.push_back({std::string(line), reader.lineStart(), reader.lastWasCut()});
    EXPECT_EQ(reader.consumed(), text.size());
    if (bom) *bom = reader.hadByteOrderMark();
    return out;
}

TEST(TextLines, LinesStartWhereTheirBytesDoAtEveryBlockSize) {
    const std::string text = "\xEF\xBB\xBF" "ab\r\ncd\ref\n\n" + std::string(30, 'x') + "\r\nlast";
    const std::vector<Line> want = {{"ab", 3, false}, {"cd", 7, false},  {"ef", 10, false},
                                    {"", 13, false},  {"", 14, true},    {"last", 46, false}};
    for (std::size_t block = 16; block <= text.size() + 1; ++block) {
        bool bom = false;
        EXPECT_EQ(read(text, block, 20, LineReader::Overlong::Skip, &bom), want) << block;
        EXPECT_TRUE(bom);
    }
    // Cut mode keeps the front of the long line; the others are the same.
    std::vector<Line> cutWant = want;
    cutWant[4].text = std::string(20, 'x');
    EXPECT_EQ(read(text, 16, 20, LineReader::Overlong::Cut), cutWant);
    bool bom = true;
    read("plain\n", 16, 20, LineReader::Overlong::Cut, &bom);
    EXPECT_FALSE(bom);
}

TEST(TextLines, AnOverlongLineLongerThanTheBufferIsDroppedWithoutGrowingIt) {
    // Far beyond every block: the buffer stays bounded by the cap, and the next line is whole.
    const std::string text = "a\n" + std::string(100000, 'y') + "\nb\r\n";
    for (std::size_t block : {16u, 100u, 4096u}) {
        const auto lines = read(text, block, 64, LineReader::Overlong::Skip);
        ASSERT_EQ(lines.size(), 3u) << block;
        EXPECT_TRUE(lines[1].cut);
        EXPECT_TRUE(lines[1].text.empty());
        EXPECT_EQ(lines[2], (Line{"b", 100003, false}));
    }
}

TEST(TextLines, EveryReadOfTheSourceIsCounted) {
    const std::string text(1000, '\n');
    MemorySource src({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    LineReader reader(src, 100, 1000);
    std::string_view line;
    uint64_t lines = 0;
    while (reader.next(line)) ++lines;
    EXPECT_EQ(lines, 1000u);
    EXPECT_GE(reader.blocksRead(), 10u); // 1000 bytes in blocks of 100, and the read that finds the end
    EXPECT_LE(reader.blocksRead(), 12u);
}

} // namespace
} // namespace kestrum

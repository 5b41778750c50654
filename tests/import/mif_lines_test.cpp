// The line and token layer under the MIF/MID importer: line ends of every system and at every
// block boundary, numbers read exactly as from_chars reads them, and the conversion of text
// into the map's code page.

#include "import/mif_charset.h"
#include "import/mif_lines.h"
#include "io/byte_source.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

namespace kestrum::mif {
namespace {

std::vector<std::string> linesOf(std::string_view text, std::size_t block, std::size_t maxLine = 1 << 20,
                                 std::vector<bool>* cut = nullptr) {
    MemorySource src({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
    LineReader reader(src, block, maxLine);
    std::vector<std::string> out;
    std::string_view line;
    while (reader.next(line)) {
        out.emplace_back(line);
        if (cut) cut->push_back(reader.lastWasCut());
    }
    EXPECT_EQ(reader.consumed(), text.size());
    EXPECT_EQ(reader.lineNumber(), static_cast<int64_t>(out.size()));
    return out;
}

TEST(MifLineReader, EveryLineEndAtEveryBlockBoundary) {
    // LF, CR LF and lone CR mixed; blank lines are lines (a MID row may be blank); the last
    // line has no line end.
    const std::string text = "\xEF\xBB\xBFVersion 300\r\nColumns 0\rData\n\nPoint 1 2\r\r\nPoint 3 4";
    const std::vector<std::string> want = {"Version 300", "Columns 0", "Data", "", "Point 1 2", "", "Point 3 4"};
    for (std::size_t block = 16; block <= text.size() + 1; ++block) EXPECT_EQ(linesOf(text, block), want) << block;
}

TEST(MifLineReader, OverlongLinesAreCutAndTheNextLineIsIntact) {
    const std::string text = "short\n" + std::string(40, 'a') + "\r\n" + std::string(40, 'b') + "\rtail\n";
    for (std::size_t block : {16u, 17u, 64u, 4096u}) {
        std::vector<bool> cut;
        const auto lines = linesOf(text, block, 20, &cut);
        ASSERT_EQ(lines.size(), 4u) << block;
        EXPECT_EQ(lines[1], std::string(20, 'a'));
        EXPECT_EQ(lines[2], std::string(20, 'b'));
        EXPECT_EQ(lines[3], "tail");
        EXPECT_EQ(cut, (std::vector<bool>{false, true, true, false}));
    }
}

TEST(MifTokens, NumbersAreReadExactlyAsFromChars) {
    // The plain-decimal shortcut must give the very double from_chars gives, and hand the
    // rest to it: exponents, more than 19 digits, integers beyond 2^53, long fractions.
    const char* cases[] = {"0", "-0", "0.1", "-37.612345", "2470841.56265077", "7404648.72", "123456789012345678",
                           "9007199254740993", "0.3000000000000000000004", "0.0000000000000000000001", "1e5",
                           "1.5E-3", ".5", "-.5", "5.", "179.99999999999999", "12345678901234567890123"};
    for (const char* c : cases) {
        std::string_view s = c;
        double got = -1;
        ASSERT_TRUE(takeNumber(s, got)) << c;
        EXPECT_TRUE(s.empty()) << c;
        double want = 0;
        std::string_view plain = c;
        std::from_chars(plain.data(), plain.data() + plain.size(), want);
        EXPECT_EQ(got, want) << c;
        EXPECT_EQ(std::signbit(got), std::signbit(want)) << c;
    }
    std::string_view rest = "  +2.5,7)";
    double v = 0;
    ASSERT_TRUE(takeNumber(rest, v));
    EXPECT_EQ(v, 2.5);
    EXPECT_EQ(rest, ",7)");
    for (const char* bad : {"inf", "-inf", "nan", "-", ".", "abc", "", "  "}) {
        std::string_view s = bad;
        EXPECT_FALSE(takeNumber(s, v)) << bad;
        EXPECT_EQ(s, bad);
    }

    int64_t n = 0;
    std::string_view count = " 12 ";
    EXPECT_TRUE(takeInteger(count, n));
    EXPECT_EQ(n, 12);
    for (const char* notCount : {"3.0", "2e3", "x", "99999999999999999999"}) {
        std::string_view s = notCount;
        EXPECT_FALSE(takeInteger(s, n)) << notCount;
    }
}

TEST(MifText, Utf8IsDecodedStrictly) {
    TextDecoder d;
    ASSERT_TRUE(d.setCharset("utf-8"));
    std::string out;
    EXPECT_EQ(d.convert("\xD0\x94\xD0\xBE\xD0\xBC \xE2\x84\x96", out), TextDecoder::Outcome::Exact);
    EXPECT_EQ(out, "\xC4\xEE\xEC \xB9"); // Дом №
    // A cut sequence, an overlong form of '/', a surrogate and a character 1251 lacks.
    EXPECT_EQ(d.convert("a\xD0", out), TextDecoder::Outcome::Replaced);
    EXPECT_EQ(out, "a?");
    EXPECT_EQ(d.convert("\xC0\xAF", out), TextDecoder::Outcome::Replaced);
    EXPECT_EQ(out, "??");
    EXPECT_EQ(d.convert("\xED\xA0\x80", out), TextDecoder::Outcome::Replaced);
    EXPECT_EQ(out, "???");
    EXPECT_EQ(d.convert("\xE4\xB8\xAD", out), TextDecoder::Outcome::Replaced);
    EXPECT_EQ(out, "?");

    // Windows-1251 into a Windows-1251 map is taken byte for byte.
    ASSERT_TRUE(d.setCharset("WINDOWSCYRILLIC"));
    EXPECT_EQ(d.convert("\x98\xC4", out), TextDecoder::Outcome::Exact);
    EXPECT_EQ(out, "\x98\xC4");
    EXPECT_FALSE(d.setCharset("PackedEUCJapanese"));
}

} // namespace
} // namespace kestrum::mif

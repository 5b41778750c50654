#pragma once
// Line-level reading shared by the MIF and MID halves of the importer: a block-buffered line
// reader over a ByteSource, and the small scanners that take keywords, numbers and quoted
// strings off the front of a line. Nothing here allocates per line.

#include "io/byte_source.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum::mif {

// Lines of a text file, read in large blocks. A line is handed out as a view into the block
// buffer, valid until the next call of next().
class LineReader {
  public:
    // Lines longer than `maxLine` are cut there and the rest of them dropped: no real MIF or
    // MID line comes near, and it bounds memory on input that is not text at all.
    explicit LineReader(ByteSource& src, std::size_t blockSize = std::size_t{1} << 20,
                        std::size_t maxLine = std::size_t{16} << 20);

    // The next line without its line end; false at the end of the input.
    bool next(std::string_view& line);
    // The line last returned comes back from the next call of next().
    void pushBack() { m_repeat = true; }

    // Number of the line last returned, from 1.
    int64_t lineNumber() const { return m_line; }
    // Bytes of the input consumed up to the end of the line last returned.
    uint64_t consumed() const { return m_consumed; }
    // Bytes of the input not yet handed out as lines.
    uint64_t remaining() const { return m_total > m_consumed ? m_total - m_consumed : 0; }
    uint64_t total() const { return m_total; }
    // Whether the line last returned was cut at the maximum length.
    bool lastWasCut() const { return m_lastCut; }

  private:
    bool refill();
    bool swallowLf();
    void dropRestOfLine();

    ByteSource& m_src;
    std::vector<char> m_buf;
    std::size_t m_begin = 0, m_end = 0;
    std::size_t m_maxLine;
    bool m_lastCut = false;
    std::string m_cutLine;
    bool m_eof = false;
    bool m_repeat = false;
    bool m_skipLf = false; // the last line ended in CR: an LF next belongs to it
    std::string_view m_last;
    uint64_t m_lastConsumed = 0;
    int64_t m_line = 0;
    uint64_t m_consumed = 0;
    uint64_t m_total = 0;
};

inline bool isBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

inline std::string_view skipBlanks(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && isBlank(s[i])) ++i;
    return s.substr(i);
}

inline bool isBlankLine(std::string_view s) { return skipBlanks(s).empty(); }

// ASCII case-blind equality; keywords of the format are ASCII.
bool equalsNoCase(std::string_view a, std::string_view b);

// The leading word of `s` (letters, digits and '_' after leading blanks) and the rest after it.
std::string_view takeWord(std::string_view& s);

// Whether the text (after blanks) starts like a number: a digit, or a sign or '.' before one.
bool startsWithNumber(std::string_view s);

// Reads a decimal number off the front of `s` (after blanks), advancing past it. Accepts a
// leading '+'; refuses infinities and NaN. False, with `s` unchanged, when none is there.
bool takeNumber(std::string_view& s, double& value);
// As takeNumber for a whole number; a fraction or a value outside int64 is refused.
bool takeInteger(std::string_view& s, int64_t& value);

// Reads a double-quoted string off the front of `s` (after blanks) into `out` (its capacity is
// reused). A doubled quote inside stands for one quote. A string whose closing quote is missing
// runs to the end of the line and sets `unterminated`. False when `s` does not start with a quote.
bool takeQuoted(std::string_view& s, std::string& out, bool& unterminated);

} // namespace kestrum::mif

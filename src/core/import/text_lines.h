#pragma once
// Lines of a text file for the importers of text formats (MIF, MID, Polish): read in large
// blocks, ended by LF, CR LF or a lone CR, numbered for the messages, and bounded in length.
// A line is handed out as a view into the block buffer, valid until the next call of next().

#include "io/byte_source.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrum {

class LineReader {
  public:
    // What becomes of a line longer than the maximum: no real line of these formats comes near,
    // and the cap bounds memory on input that is not text at all.
    enum class Overlong : uint8_t {
        Cut,  // its first `maxLine` bytes are handed out
        Skip, // it is handed out empty
    };

    explicit LineReader(ByteSource& src, std::size_t blockSize = std::size_t{1} << 20,
                        std::size_t maxLine = std::size_t{16} << 20, Overlong overlong = Overlong::Cut);

    // The next line without its line end; false at the end of the input. A UTF-8 byte-order
    // mark before the first line is no part of it.
    bool next(std::string_view& line);
    // The line last returned comes back from the next call of next().
    void pushBack() { m_repeat = true; }

    // Number of the line last returned, from 1.
    int64_t lineNumber() const { return m_line; }
    // Bytes of the input consumed up to the end of the line last returned.
    uint64_t consumed() const { return m_consumed; }
    // Offset in the input where the line last returned starts.
    uint64_t lineStart() const { return m_lineStart; }
    // Bytes of the input not yet handed out as lines.
    uint64_t remaining() const { return m_total > m_consumed ? m_total - m_consumed : 0; }
    uint64_t total() const { return m_total; }
    // Whether the line last returned was longer than the maximum (and cut or emptied).
    bool lastWasCut() const { return m_lastCut; }
    // Whether the input began with a UTF-8 byte-order mark.
    bool hadByteOrderMark() const { return m_bom; }
    // Reads from the source so far: callers that poll for a cancel do so once per block.
    uint64_t blocksRead() const { return m_reads; }

  private:
    bool refill();
    bool swallowLf();
    void dropRestOfLine();
    std::size_t findLineEnd(std::size_t n, bool& cr);
    std::size_t read(char* to, std::size_t n);

    ByteSource& m_src;
    std::vector<char> m_buf;
    std::size_t m_begin = 0, m_end = 0;
    // m_buf[m_begin, m_noCrBefore) holds no CR: one search per block instead of one per line
    // in files with plain LF line ends, whose lines may be long coordinate lists.
    std::size_t m_noCrBefore = 0;
    std::size_t m_maxLine;
    Overlong m_overlong;
    bool m_lastCut = false;
    std::string m_cutLine;
    bool m_eof = false;
    bool m_repeat = false;
    bool m_skipLf = false; // the last line ended in CR: an LF next belongs to it
    bool m_bom = false;
    std::string_view m_last;
    uint64_t m_lastConsumed = 0, m_lastStart = 0;
    int64_t m_line = 0;
    uint64_t m_consumed = 0;
    uint64_t m_lineStart = 0;
    uint64_t m_total = 0;
    uint64_t m_reads = 0;
};

} // namespace kestrum

#include "import/text_lines.h"

#include <algorithm>
#include <cstring>

namespace kestrum {

LineReader::LineReader(ByteSource& src, std::size_t blockSize, std::size_t maxLine, Overlong overlong)
    : m_src(src), m_maxLine(std::max<std::size_t>(maxLine, 16)), m_overlong(overlong), m_total(src.remaining()) {
    // A small file needs no full block: one byte more than the file lets the first read see its end.
    const uint64_t want = std::min<uint64_t>(std::max<std::size_t>(blockSize, 16), m_total + 1);
    m_buf.resize(static_cast<std::size_t>(std::max<uint64_t>(want, 16)));
}

std::size_t LineReader::read(char* to, std::size_t n) {
    ++m_reads;
    return m_src.read(to, n);
}

bool LineReader::refill() {
    if (m_eof) return false;
    // Keep the unfinished line: move it to the front, and grow the buffer only when that line
    // alone fills it (up to the longest line kept, see next()).
    if (m_begin > 0) {
        std::memmove(m_buf.data(), m_buf.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_noCrBefore = m_noCrBefore > m_begin ? m_noCrBefore - m_begin : 0;
        m_begin = 0;
    }
    if (m_end == m_buf.size()) m_buf.resize(m_buf.size() * 2);
    const std::size_t got = read(m_buf.data() + m_end, m_buf.size() - m_end);
    if (got == 0) {
        m_eof = true;
        return false;
    }
    m_end += got;
    return true;
}

// Length of the line at m_begin among the n bytes there and whether it ended in a CR; npos when
// no line end is there yet. LF, CR LF and a lone CR all end a line: Windows writers use CR LF,
// classic Mac OS programs a lone CR, and files edited on several systems mix them.
std::size_t LineReader::findLineEnd(std::size_t n, bool& cr) {
    const char* b = m_buf.data() + m_begin;
    const void* lf = std::memchr(b, '\n', n);
    const std::size_t limit = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - b) : n;
    if (m_noCrBefore < m_begin + limit) {
        const std::size_t from = std::max(m_begin, m_noCrBefore);
        const void* r = std::memchr(m_buf.data() + from, '\r', m_end - from);
        m_noCrBefore = r ? static_cast<std::size_t>(static_cast<const char*>(r) - m_buf.data()) : m_end;
    }
    if (m_noCrBefore < m_begin + limit) {
        cr = true;
        return m_noCrBefore - m_begin;
    }
    cr = false;
    return lf ? limit : std::string_view::npos;
}

bool LineReader::swallowLf() {
    // The LF of a CR LF pair may arrive with the next block.
    if (!m_skipLf) return true;
    if (m_begin == m_end && !refill()) return false;
    m_skipLf = false;
    if (m_buf[m_begin] == '\n') ++m_begin, ++m_consumed;
    return true;
}

bool LineReader::next(std::string_view& line) {
    if (m_repeat) {
        m_repeat = false;
        line = m_last;
        m_consumed = m_lastConsumed;
        m_lineStart = m_lastStart;
        return true;
    }
    m_lastCut = false;
    swallowLf();
    const uint64_t start = m_consumed;
    for (;;) {
        const char* b = m_buf.data() + m_begin;
        const std::size_t n = m_end - m_begin;
        bool cr = false;
        const std::size_t len = n ? findLineEnd(n, cr) : std::string_view::npos;
        if (len != std::string_view::npos) {
            m_begin += len + 1;
            m_consumed += len + 1;
            m_skipLf = cr;
            m_lastCut = len > m_maxLine;
            line = std::string_view(b, !m_lastCut ? len : m_overlong == Overlong::Cut ? m_maxLine : 0);
            break;
        }
        if (n > m_maxLine) {
            // The buffer is reused while the rest is dropped: a cut line lives on in a copy.
            if (m_overlong == Overlong::Cut) {
                m_cutLine.assign(b, m_maxLine);
                line = m_cutLine;
            } else {
                line = {};
            }
            m_begin += n;
            m_consumed += n;
            m_lastCut = true;
            dropRestOfLine();
            break;
        }
        if (!refill()) {
            if (m_begin == m_end) return false;
            // The last line has no line end.
            line = std::string_view(m_buf.data() + m_begin, m_end - m_begin);
            m_consumed += m_end - m_begin;
            m_begin = m_end;
            break;
        }
    }
    // Windows editors save UTF-8 with a byte-order mark; it is no part of the first line.
    m_lineStart = start;
    if (m_line == 0 && line.substr(0, 3) == "\xEF\xBB\xBF") {
        line.remove_prefix(3);
        m_bom = true;
        m_lineStart += 3;
    }
    ++m_line;
    m_last = line;
    m_lastConsumed = m_consumed;
    m_lastStart = m_lineStart;
    return true;
}

void LineReader::dropRestOfLine() {
    for (;;) {
        const std::size_t n = m_end - m_begin;
        bool cr = false;
        const std::size_t len = n ? findLineEnd(n, cr) : std::string_view::npos;
        if (len != std::string_view::npos) {
            m_begin += len + 1;
            m_consumed += len + 1;
            m_skipLf = cr;
            return;
        }
        m_consumed += n;
        m_begin = m_end = m_noCrBefore = 0;
        if (m_eof) return;
        const std::size_t got = read(m_buf.data(), m_buf.size());
        if (got == 0) {
            m_eof = true;
            return;
        }
        m_end = got;
    }
}

} // namespace kestrum

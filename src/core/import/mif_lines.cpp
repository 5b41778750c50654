#include "import/mif_lines.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace kestrum::mif {

LineReader::LineReader(ByteSource& src, std::size_t blockSize, std::size_t maxLine)
    : m_src(src), m_maxLine(std::max<std::size_t>(maxLine, 16)), m_total(src.remaining()) {
    // A small file needs no full block: one byte more than the file lets the first read see its end.
    const uint64_t want = std::min<uint64_t>(std::max<std::size_t>(blockSize, 16), m_total + 1);
    m_buf.resize(static_cast<std::size_t>(std::max<uint64_t>(want, 16)));
}

bool LineReader::refill() {
    if (m_eof) return false;
    // Keep the unfinished line: move it to the front, and grow the buffer only when that line
    // alone fills it (up to the longest line kept, see next()).
    if (m_begin > 0) {
        std::memmove(m_buf.data(), m_buf.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    if (m_end == m_buf.size()) m_buf.resize(m_buf.size() * 2);
    const std::size_t got = m_src.read(m_buf.data() + m_end, m_buf.size() - m_end);
    if (got == 0) {
        m_eof = true;
        return false;
    }
    m_end += got;
    return true;
}

namespace {

// Length of the line at the front of [b, b + n) and whether it ended in a CR; npos when no
// line end is there yet. LF, CR LF and a lone CR all end a line: Windows writers use CR LF,
// classic Mac OS programs a lone CR, and files edited on several systems mix them.
std::size_t findLineEnd(const char* b, std::size_t n, bool& cr) {
    const void* lf = std::memchr(b, '\n', n);
    const std::size_t limit = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - b) : n;
    if (const void* r = std::memchr(b, '\r', limit)) {
        cr = true;
        return static_cast<std::size_t>(static_cast<const char*>(r) - b);
    }
    cr = false;
    return lf ? limit : std::string_view::npos;
}

} // namespace

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
        return true;
    }
    m_lastCut = false;
    swallowLf();
    for (;;) {
        const char* b = m_buf.data() + m_begin;
        const std::size_t n = m_end - m_begin;
        bool cr = false;
        const std::size_t len = n ? findLineEnd(b, n, cr) : std::string_view::npos;
        if (len != std::string_view::npos) {
            m_begin += len + 1;
            m_consumed += len + 1;
            m_skipLf = cr;
            m_lastCut = len > m_maxLine;
            line = std::string_view(b, m_lastCut ? m_maxLine : len);
            break;
        }
        if (n > m_maxLine) {
            // The buffer is reused while the rest is dropped: the cut line lives on in a copy.
            m_cutLine.assign(b, m_maxLine);
            line = m_cutLine;
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
    if (m_line == 0 && line.substr(0, 3) == "\xEF\xBB\xBF") line.remove_prefix(3);
    ++m_line;
    m_last = line;
    m_lastConsumed = m_consumed;
    return true;
}

void LineReader::dropRestOfLine() {
    for (;;) {
        const char* b = m_buf.data() + m_begin;
        const std::size_t n = m_end - m_begin;
        bool cr = false;
        const std::size_t len = n ? findLineEnd(b, n, cr) : std::string_view::npos;
        if (len != std::string_view::npos) {
            m_begin += len + 1;
            m_consumed += len + 1;
            m_skipLf = cr;
            return;
        }
        m_consumed += n;
        m_begin = m_end = 0;
        if (m_eof) return;
        const std::size_t got = m_src.read(m_buf.data(), m_buf.size());
        if (got == 0) {
            m_eof = true;
            return;
        }
        m_end = got;
    }
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
        if (x != y) return false;
    }
    return true;
}

namespace {
bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}
bool isDigit(char c) { return c >= '0' && c <= '9'; }
} // namespace

std::string_view takeWord(std::string_view& s) {
    s = skipBlanks(s);
    std::size_t i = 0;
    while (i < s.size() && isWordChar(s[i])) ++i;
    const std::string_view word = s.substr(0, i);
    s.remove_prefix(i);
    return word;
}

bool startsWithNumber(std::string_view s) {
    s = skipBlanks(s);
    if (s.empty()) return false;
    std::size_t i = 0;
    if (s[i] == '-' || s[i] == '+') ++i;
    if (i < s.size() && s[i] == '.') ++i;
    return i < s.size() && isDigit(s[i]);
}

namespace {

// Plain decimals ("-37.612345") are nearly every number of a MIF. With at most 19 digits they
// fit an integer, and while that integer stays below 2^53 and the fraction within 22 digits,
// one division by an exact power of ten is correctly rounded: the very double from_chars
// would give, at a fraction of its cost. Anything else is left to from_chars.
bool plainDecimal(std::string_view t, double& v, std::size_t& used) {
    static constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    std::size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (negative) ++i;
    uint64_t m = 0;
    int digits = 0, fraction = 0;
    bool any = false;
    for (; i < t.size() && isDigit(t[i]); ++i, any = true) {
        if (++digits > 19) return false;
        m = m * 10 + static_cast<uint64_t>(t[i] - '0');
    }
    if (i < t.size() && t[i] == '.') {
        for (++i; i < t.size() && isDigit(t[i]); ++i, ++fraction, any = true) {
            if (++digits > 19) return false;
            m = m * 10 + static_cast<uint64_t>(t[i] - '0');
        }
    }
    if (!any || (i < t.size() && (t[i] == 'e' || t[i] == 'E')) || m > (uint64_t{1} << 53) || fraction > 22)
        return false;
    const double d = static_cast<double>(m) / kPow10[fraction];
    v = negative ? -d : d;
    used = i;
    return true;
}

} // namespace

bool takeNumber(std::string_view& s, double& value) {
    std::string_view t = skipBlanks(s);
    if (!t.empty() && t[0] == '+') t.remove_prefix(1); // from_chars refuses a plus sign
    // from_chars would read "inf" and "nan": a map coordinate is never one.
    if (t.empty() || !(isDigit(t[0]) || t[0] == '.' || t[0] == '-')) return false;
    std::size_t used = 0;
    if (plainDecimal(t, value, used)) {
        s = t.substr(used);
        return true;
    }
    double v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Too large for a double: the file is broken there, but the text is a number all the same.
        value = HUGE_VAL;
        s = t.substr(static_cast<std::size_t>(r.ptr - t.data()));
        return true;
    }
    if (r.ec != std::errc{} || !std::isfinite(v)) return false;
    value = v;
    s = t.substr(static_cast<std::size_t>(r.ptr - t.data()));
    return true;
}

bool takeInteger(std::string_view& s, int64_t& value) {
    std::string_view t = skipBlanks(s);
    if (!t.empty() && t[0] == '+') t.remove_prefix(1);
    int64_t v = 0;
    const auto r = std::from_chars(t.data(), t.data() + t.size(), v);
    if (r.ec != std::errc{}) return false;
    // "3.0" is no count; "3," or "3 " are.
    if (r.ptr != t.data() + t.size() && (*r.ptr == '.' || *r.ptr == 'e' || *r.ptr == 'E')) return false;
    value = v;
    s = t.substr(static_cast<std::size_t>(r.ptr - t.data()));
    return true;
}

bool takeQuoted(std::string_view& s, std::string& out, bool& unterminated) {
    std::string_view t = skipBlanks(s);
    unterminated = false;
    if (t.empty() || t[0] != '"') return false;
    out.clear();
    std::size_t i = 1;
    for (;;) {
        const std::size_t q = t.find('"', i);
        if (q == std::string_view::npos) {
            out.append(t.substr(i));
            unterminated = true;
            i = t.size();
            break;
        }
        out.append(t.substr(i, q - i));
        if (q + 1 < t.size() && t[q + 1] == '"') {
            out += '"';
            i = q + 2;
            continue;
        }
        i = q + 1;
        break;
    }
    s = t.substr(i);
    return true;
}

} // namespace kestrum::mif

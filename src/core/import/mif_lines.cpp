#include "import/mif_lines.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

namespace kestrum::mif {

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

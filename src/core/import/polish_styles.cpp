#include "import/polish_styles.h"

#include <algorithm>
#include <charconv>

namespace kestrum {

// Defined by the source generated from polish_styles.txt.
std::string_view builtinPolishStylesText();

namespace {

std::string_view trimBlanks(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r'))
        --e;
    return s.substr(b, e - b);
}

char upperAscii(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string upperKey(std::string_view key) {
    std::string k(key);
    for (char& c : k)
        c = upperAscii(c);
    return k;
}

// A decimal integer column; an empty or non-numeric one reads as 0, as the table's format says.
int32_t column(std::string_view text) {
    text = trimBlanks(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    int32_t v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc{} || end != text.data() + text.size()) return 0;
    return v;
}

} // namespace

bool StyleTable::parseValue(std::string_view value, PolishStyle& out) {
    int32_t numbers[6] = {};
    for (int32_t& n : numbers) {
        const std::size_t comma = value.find(',');
        if (comma == std::string_view::npos) return false;
        n = column(value.substr(0, comma));
        value.remove_prefix(comma + 1);
    }
    out.penColor = numbers[0];
    out.penWidth = numbers[1];
    out.penStyle = numbers[2];
    out.brushColor = numbers[3];
    out.brushStyle = numbers[4];
    out.textSize = numbers[5];
    const std::size_t comma = value.find(',');
    if (comma == std::string_view::npos) {
        out.column7 = column(value);
        out.typeName.clear();
    } else {
        out.column7 = column(value.substr(0, comma));
        out.typeName.assign(value.substr(comma + 1));
    }
    return true;
}

void StyleTable::addLine(std::string_view line, int lineNumber) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (trimBlanks(line).empty()) return;
    const std::size_t eq = line.find('=');
    Row row;
    const std::string_view key =
        eq == std::string_view::npos ? std::string_view{} : trimBlanks(line.substr(0, eq));
    if (key.empty() || !parseValue(line.substr(eq + 1), row.style)) {
        m_bad.push_back({lineNumber, std::string(line)});
        return;
    }
    row.key.assign(key);
    m_rows.push_back(std::move(row));
}

void StyleTable::buildIndex() {
    m_index.clear();
    m_index.reserve(m_rows.size());
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        m_index.emplace_back(upperKey(m_rows[i].key), static_cast<int>(i));
    std::sort(m_index.begin(), m_index.end());
}

StyleTable StyleTable::parse(std::string_view text) {
    StyleTable t;
    int lineNumber = 0;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        t.addLine(text.substr(0, nl), ++lineNumber);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    t.buildIndex();
    return t;
}

StyleTable StyleTable::fromLines(std::span<const std::string> lines) {
    StyleTable t;
    int lineNumber = 0;
    for (const std::string& line : lines)
        t.addLine(line, ++lineNumber);
    t.buildIndex();
    return t;
}

int StyleTable::indexOf(std::string_view key) const {
    // Keys are short: an upper-cased copy on the stack avoids allocating per lookup.
    char buf[32];
    std::string longKey;
    std::string_view upper;
    if (key.size() <= sizeof buf) {
        for (std::size_t i = 0; i < key.size(); ++i)
            buf[i] = upperAscii(key[i]);
        upper = std::string_view(buf, key.size());
    } else {
        longKey = upperKey(key);
        upper = longKey;
    }
    const auto it = std::lower_bound(m_index.begin(), m_index.end(), upper,
                                     [](const std::pair<std::string, int>& e, std::string_view k) {
                                         return std::string_view(e.first) < k;
                                     });
    if (it == m_index.end() || it->first != upper) return -1;
    return it->second;
}

const PolishStyle* StyleTable::find(std::string_view key) const {
    const int i = indexOf(key);
    return i < 0 ? nullptr : &m_rows[static_cast<std::size_t>(i)].style;
}

const StyleTable& builtinPolishStyles() {
    static const StyleTable table = StyleTable::parse(builtinPolishStylesText());
    return table;
}

} // namespace kestrum

#include "import/mif_charset.h"

#include "import/mif_lines.h"

#include <algorithm>

namespace kestrum::mif {

namespace {

constexpr char32_t kNone = 0xFFFD;

char32_t fromCp1250(uint8_t b) { return toUnicode(CodePage::Cp1250, b); }
char32_t fromCp1251(uint8_t b) { return toUnicode(CodePage::Cp1251, b); }
char32_t fromCp1252(uint8_t b) { return toUnicode(CodePage::Cp1252, b); }
char32_t fromLatin1(uint8_t b) { return b; }

// ISO 8859-5: the Cyrillic alphabet in one run from 0xB0, the other letters around it.
char32_t fromIso8859_5(uint8_t b) {
    if (b < 0xA1) return b;
    if (b == 0xAD) return 0x00AD;
    if (b == 0xF0) return 0x2116;
    if (b == 0xFD) return 0x00A7;
    return 0x0401 + (b - 0xA1u);
}

// One UTF-8 sequence starting at in[i] (a byte above 0x7F): its code point and length, or
// false for a malformed or overlong sequence.
bool decodeSequence(std::string_view in, std::size_t i, char32_t& cp, std::size_t& len) {
    const auto c = static_cast<uint8_t>(in[i]);
    std::size_t more = 0;
    if (c >= 0xC2 && c < 0xE0) more = 1, cp = c & 0x1Fu;
    else if (c >= 0xE0 && c < 0xF0) more = 2, cp = c & 0x0Fu;
    else if (c >= 0xF0 && c < 0xF5) more = 3, cp = c & 0x07u;
    else return false;
    if (in.size() - i <= more) return false;
    for (std::size_t k = 1; k <= more; ++k) {
        const auto cc = static_cast<uint8_t>(in[i + k]);
        if ((cc & 0xC0) != 0x80) return false;
        cp = (cp << 6) | (cc & 0x3Fu);
    }
    if ((more == 2 && cp < 0x800) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)) ||
        (cp >= 0xD800 && cp <= 0xDFFF))
        return false;
    len = more + 1;
    return true;
}

bool validUtf8WithHighBytes(std::string_view s, bool& high) {
    high = false;
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<uint8_t>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        high = true;
        char32_t cp = 0;
        std::size_t len = 0;
        if (!decodeSequence(s, i, cp, len)) return false;
        i += len;
    }
    return true;
}

} // namespace

std::optional<CodePage> codePageOfCharset(std::string_view name) {
    struct Known {
        std::string_view name;
        CodePage page;
    };
    static constexpr Known kPages[] = {
        {"WindowsCyrillic", CodePage::Cp1251}, {"ISO8859_5", CodePage::Cp1251}, {"CodePage1251", CodePage::Cp1251},
        {"WindowsLatin1", CodePage::Cp1252},   {"ISO8859_1", CodePage::Cp1252}, {"CodePage1252", CodePage::Cp1252},
        {"WindowsLatin2", CodePage::Cp1250},   {"CodePage1250", CodePage::Cp1250},
    };
    for (const Known& k : kPages)
        if (equalsNoCase(name, k.name)) return k.page;
    return std::nullopt;
}

bool isUtf8Charset(std::string_view name) { return equalsNoCase(name, "UTF-8") || equalsNoCase(name, "UTF8"); }

void countUtf8(ByteSource& src, Utf8Census& census) {
    const uint64_t saved = src.position();
    src.seek(0);
    const auto lacks = [](CodePage cp, char32_t ch) { return !fromUnicode(cp, ch).has_value(); };
    std::vector<char> buf(std::size_t{1} << 14); // small: this runs beside the importer's own blocks
    std::size_t kept = 0; // bytes of a sequence cut by the end of the last block
    for (;;) {
        const std::size_t got = src.read(buf.data() + kept, buf.size() - kept);
        const std::size_t n = kept + got;
        const bool last = got == 0;
        const std::string_view block(buf.data(), n);
        std::size_t i = 0;
        while (i < n) {
            const auto c = static_cast<uint8_t>(block[i]);
            if (c < 0x80) {
                ++i;
                continue;
            }
            // A sequence that may go on in the next block waits for it.
            if (!last && n - i < 4) break;
            char32_t cp = 0;
            std::size_t len = 0;
            if (!decodeSequence(block, i, cp, len)) {
                ++census.invalid;
                ++i;
                continue;
            }
            ++census.high;
            census.missing1250 += lacks(CodePage::Cp1250, cp);
            census.missing1251 += lacks(CodePage::Cp1251, cp);
            census.missing1252 += lacks(CodePage::Cp1252, cp);
            i += len;
        }
        kept = n - i;
        if (last) break;
        std::copy(buf.begin() + static_cast<std::ptrdiff_t>(i), buf.begin() + static_cast<std::ptrdiff_t>(n), buf.begin());
    }
    src.seek(saved);
}

CodePage bestCodePage(const Utf8Census& c) {
    CodePage best = CodePage::Cp1251;
    uint64_t least = c.missing1251;
    if (c.missing1252 < least) best = CodePage::Cp1252, least = c.missing1252;
    if (c.missing1250 < least) best = CodePage::Cp1250, least = c.missing1250;
    return best;
}

TextDecoder::TextDecoder(CodePage target) : m_target(target) {
    for (int b = 0x80; b < 0x100; ++b) {
        const char32_t u = toUnicode(target, static_cast<uint8_t>(b));
        if (u != kNone) m_reverse.emplace_back(u, static_cast<uint8_t>(b));
    }
    std::sort(m_reverse.begin(), m_reverse.end());
}

int16_t TextDecoder::byteFor(char32_t ch) const {
    if (ch < 0x80) return static_cast<int16_t>(ch);
    const auto it = std::lower_bound(m_reverse.begin(), m_reverse.end(), std::pair<char32_t, uint8_t>{ch, 0});
    return it != m_reverse.end() && it->first == ch ? it->second : int16_t{-1};
}

void TextDecoder::setTable(char32_t (*toUni)(uint8_t)) {
    m_kind = Kind::Table;
    m_identity = true;
    for (int b = 0; b < 256; ++b) {
        const char32_t u = toUni(static_cast<uint8_t>(b));
        // A byte its code page leaves undefined stays as it is where the map's leaves it
        // undefined too (the same code page): there is nothing to convert.
        const bool bothUndefined = u == kNone && toUnicode(m_target, static_cast<uint8_t>(b)) == kNone;
        const int16_t to = bothUndefined ? static_cast<int16_t>(b) : u == kNone ? int16_t{-1} : byteFor(u);
        m_table[static_cast<std::size_t>(b)] = to;
        if (to != b) m_identity = false;
    }
}

bool TextDecoder::setCharset(std::string_view name) {
    struct Known {
        std::string_view name;
        char32_t (*toUni)(uint8_t);
    };
    static constexpr Known kTables[] = {
        {"WindowsCyrillic", fromCp1251}, {"WindowsLatin1", fromCp1252}, {"WindowsLatin2", fromCp1250},
        {"ISO8859_1", fromLatin1},       {"ISO8859_5", fromIso8859_5}, {"CodePage1250", fromCp1250},
        {"CodePage1251", fromCp1251},    {"CodePage1252", fromCp1252},
    };
    for (const Known& k : kTables) {
        if (equalsNoCase(name, k.name)) {
            setTable(k.toUni);
            return true;
        }
    }
    if (isUtf8Charset(name)) {
        m_kind = Kind::Utf8;
        return true;
    }
    m_kind = Kind::Guess;
    return false;
}

void TextDecoder::decodeUtf8(std::string_view in, std::string& out, bool& replaced) const {
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size();) {
        const auto c = static_cast<uint8_t>(in[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        char32_t cp = 0;
        std::size_t len = 0;
        if (!decodeSequence(in, i, cp, len)) {
            // A broken sequence: its first byte is lost, the rest is read afresh.
            out += '?';
            replaced = true;
            ++i;
            continue;
        }
        const int16_t b = byteFor(cp);
        out += b < 0 ? '?' : static_cast<char>(b);
        replaced |= b < 0;
        i += len;
    }
}

TextDecoder::Outcome TextDecoder::convert(std::string_view in, std::string& out) const {
    out.clear();
    bool replaced = false;
    switch (m_kind) {
    case Kind::Table:
        if (m_identity) {
            out.assign(in);
            return Outcome::Exact;
        }
        out.reserve(in.size());
        for (char ch : in) {
            const int16_t b = m_table[static_cast<uint8_t>(ch)];
            if (b < 0) {
                out += '?';
                replaced = true;
            } else {
                out += static_cast<char>(b);
            }
        }
        return replaced ? Outcome::Replaced : Outcome::Exact;
    case Kind::Utf8:
        decodeUtf8(in, out, replaced);
        return replaced ? Outcome::Replaced : Outcome::Exact;
    case Kind::Guess:
        break;
    }
    // Unknown encoding: valid UTF-8 with letters beyond ASCII is almost never an accident of a
    // single-byte code page, so it is read as UTF-8; anything else is taken to be in the map's
    // code page already (the usual case for Russian files marked "Neutral").
    bool high = false;
    if (validUtf8WithHighBytes(in, high) && high) {
        decodeUtf8(in, out, replaced);
        return Outcome::Guessed;
    }
    out.assign(in);
    return high ? Outcome::Guessed : Outcome::Exact;
}

} // namespace kestrum::mif

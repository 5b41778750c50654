#include "model/codepage.h"

#include <array>

namespace kestrum {

namespace {

constexpr char32_t kUndefined = 0xFFFD;

// Bytes 0x80..0xFF of each code page; below 0x80 every one is ASCII.
constexpr std::array<char32_t, 128> kCp1251 = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, kUndefined,
    0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490,
    0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406,
    0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
    // 0xC0..0xFF: А..я in order
    0x0410, 0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429,
    0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436,
    0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443,
    0x0444, 0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F};

constexpr std::array<char32_t, 128> kCp1250 = {
    0x20AC, kUndefined, 0x201A, kUndefined, 0x201E, 0x2026, 0x2020, 0x2021, kUndefined, 0x2030, 0x0160,
    0x2039, 0x015A, 0x0164, 0x017D, 0x0179, kUndefined, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013,
    0x2014, kUndefined, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8,
    0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D,
    0x02DD, 0x013E, 0x017C, 0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9,
    0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6,
    0x00D7, 0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103,
    0x00E4, 0x013A, 0x0107, 0x00E7, 0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111,
    0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD,
    0x0163, 0x02D9};

constexpr std::array<char32_t, 128> makeCp1252() {
    std::array<char32_t, 128> t{};
    constexpr char32_t high[32] = {0x20AC, kUndefined, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                   0x02C6, 0x2030,     0x0160, 0x2039, 0x0152, kUndefined, 0x017D, kUndefined,
                                   kUndefined, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                   0x02DC, 0x2122,     0x0161, 0x203A, 0x0153, kUndefined, 0x017E, 0x0178};
    for (int i = 0; i < 32; ++i) t[static_cast<std::size_t>(i)] = high[i];
    for (int i = 32; i < 128; ++i) t[static_cast<std::size_t>(i)] = static_cast<char32_t>(0x80 + i);
    return t;
}
constexpr std::array<char32_t, 128> kCp1252 = makeCp1252();

const std::array<char32_t, 128>& table(CodePage cp) {
    switch (cp) {
    case CodePage::Cp1250:
        return kCp1250;
    case CodePage::Cp1252:
        return kCp1252;
    case CodePage::Cp1251:
        break;
    }
    return kCp1251;
}

char32_t upperUnicode(char32_t c) {
    if (c >= U'a' && c <= U'z') return c - 32;
    if (c >= 0x0430 && c <= 0x044F) return c - 32;  // а..я
    if (c >= 0x0450 && c <= 0x045F) return c - 80;  // ѐ..џ
    if (c >= 0x00E0 && c <= 0x00FE && c != 0x00F7) return c - 32;
    if (c == 0x00FF) return 0x0178;
    if (c == 0x0491) return 0x0490;
    if (c >= 0x0100 && c <= 0x017F) {
        // Latin Extended-A pairs capital/small on even/odd code points, shifted by one in two runs.
        const bool oddCapitals = (c >= 0x0139 && c <= 0x0148) || (c >= 0x0179 && c <= 0x017E);
        if (oddCapitals ? (c % 2 == 0) : (c % 2 == 1 && c != 0x0131 && c != 0x0138 && c != 0x0149 && c != 0x017F)) return c - 1;
    }
    return c;
}

// The small letter whose capital is c, or c.
char32_t lowerUnicode(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 32;
    if (c >= 0x0410 && c <= 0x042F) return c + 32;
    if (c >= 0x0400 && c <= 0x040F) return c + 80;
    if (c >= 0x00C0 && c <= 0x00DE && c != 0x00D7) return c + 32;
    if (c == 0x0178) return 0x00FF;
    if (c == 0x0490) return 0x0491;
    if (c >= 0x0100 && c < 0x017F && upperUnicode(c + 1) == c) return c + 1;
    return c;
}

struct LowerTables {
    std::array<std::array<uint8_t, 256>, 3> t{};
    LowerTables() {
        const CodePage cps[3] = {CodePage::Cp1250, CodePage::Cp1251, CodePage::Cp1252};
        for (int k = 0; k < 3; ++k)
            for (int b = 0; b < 256; ++b) {
                const auto back = fromUnicode(cps[k], lowerUnicode(toUnicode(cps[k], static_cast<uint8_t>(b))));
                t[static_cast<std::size_t>(k)][static_cast<std::size_t>(b)] = back ? *back : static_cast<uint8_t>(b);
            }
    }
};

struct UpperTables {
    std::array<std::array<uint8_t, 256>, 3> t{};
    UpperTables() {
        const CodePage cps[3] = {CodePage::Cp1250, CodePage::Cp1251, CodePage::Cp1252};
        for (int k = 0; k < 3; ++k) {
            for (int b = 0; b < 256; ++b) {
                const char32_t up = upperUnicode(toUnicode(cps[k], static_cast<uint8_t>(b)));
                const auto back = fromUnicode(cps[k], up);
                t[static_cast<std::size_t>(k)][static_cast<std::size_t>(b)] =
                    back ? *back : static_cast<uint8_t>(b);
            }
        }
    }
    const std::array<uint8_t, 256>& of(CodePage cp) const {
        return t[cp == CodePage::Cp1250 ? 0 : cp == CodePage::Cp1251 ? 1 : 2];
    }
};

const UpperTables& upperTables() {
    static const UpperTables tables;
    return tables;
}

} // namespace

char32_t toUnicode(CodePage cp, uint8_t byte) { return byte < 0x80 ? byte : table(cp)[byte - 0x80u]; }

std::optional<uint8_t> fromUnicode(CodePage cp, char32_t ch) {
    if (ch < 0x80) return static_cast<uint8_t>(ch);
    if (ch == kUndefined) return std::nullopt;
    const auto& t = table(cp);
    for (std::size_t i = 0; i < t.size(); ++i)
        if (t[i] == ch) return static_cast<uint8_t>(0x80 + i);
    return std::nullopt;
}

void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string toUtf8(CodePage cp, std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) appendUtf8(out, toUnicode(cp, static_cast<uint8_t>(ch)));
    return out;
}

std::string fromUtf8(CodePage cp, std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        char32_t ch = c;
        std::size_t len = 1;
        if (c >= 0xF0) ch = c & 0x07, len = 4;
        else if (c >= 0xE0) ch = c & 0x0F, len = 3;
        else if (c >= 0xC0) ch = c & 0x1F, len = 2;
        for (std::size_t k = 1; k < len && i + k < utf8.size(); ++k)
            ch = (ch << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += len;
        out += static_cast<char>(fromUnicode(cp, ch).value_or('?'));
    }
    return out;
}

uint8_t toUpper(CodePage cp, uint8_t byte) { return upperTables().of(cp)[byte]; }

uint8_t toLower(CodePage cp, uint8_t byte) {
    static const LowerTables tables;
    return tables.t[cp == CodePage::Cp1250 ? 0 : cp == CodePage::Cp1251 ? 1 : 2][byte];
}

std::string toUpper(CodePage cp, std::string_view bytes) {
    const auto& t = upperTables().of(cp);
    std::string out(bytes);
    for (char& ch : out) ch = static_cast<char>(t[static_cast<uint8_t>(ch)]);
    return out;
}

void toUpperInto(CodePage cp, std::string_view bytes, char* out) {
    const auto& t = upperTables().of(cp);
    for (const char ch : bytes)
        *out++ = static_cast<char>(t[static_cast<uint8_t>(ch)]);
}

std::string_view trimmed(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<uint8_t>(s[b]) <= ' ') ++b;
    while (e > b && static_cast<uint8_t>(s[e - 1]) <= ' ') --e;
    return s.substr(b, e - b);
}

} // namespace kestrum

#include "import/polish_text.h"

#include "import/object_sink.h"

#include <algorithm>
#include <cctype>

namespace kestrum::polish {

namespace {

// ASCII spellings of U+00C0..U+017F (Latin-1 Supplement letters and Latin Extended-A).
// Kept one row per sixteen code points.
// clang-format off
constexpr std::array<std::string_view, 0x180 - 0xC0> kLatin = {
    // U+00C0
    "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I", "I",
    // U+00D0
    "D", "N", "O", "O", "O", "O", "O", "x", "O", "U", "U", "U", "U", "Y", "Th", "ss",
    // U+00E0
    "a", "a", "a", "a", "a", "a", "ae", "c", "e", "e", "e", "e", "i", "i", "i", "i",
    // U+00F0
    "d", "n", "o", "o", "o", "o", "o", ":", "o", "u", "u", "u", "u", "y", "th", "y",
    // U+0100
    "A", "a", "A", "a", "A", "a", "C", "c", "C", "c", "C", "c", "C", "c", "D", "d",
    // U+0110
    "D", "d", "E", "e", "E", "e", "E", "e", "E", "e", "E", "e", "G", "g", "G", "g",
    // U+0120
    "G", "g", "G", "g", "H", "h", "H", "h", "I", "i", "I", "i", "I", "i", "I", "i",
    // U+0130
    "I", "i", "IJ", "ij", "J", "j", "K", "k", "k", "L", "l", "L", "l", "L", "l", "L",
    // U+0140
    "l", "L", "l", "N", "n", "N", "n", "N", "n", "n", "N", "n", "O", "o", "O", "o",
    // U+0150
    "O", "o", "OE", "oe", "R", "r", "R", "r", "R", "r", "S", "s", "S", "s", "S", "s",
    // U+0160
    "S", "s", "T", "t", "T", "t", "T", "t", "U", "u", "U", "u", "U", "u", "U", "u",
    // U+0170
    "U", "u", "U", "u", "W", "w", "Y", "y", "Y", "Z", "z", "Z", "z", "Z", "z", "s",
};

// Latin spellings of А..я, for the Russian type names of the style table in maps of Latin text.
constexpr std::array<std::string_view, 64> kCyrillic = {
    "A", "B", "V", "G", "D", "E", "Zh", "Z", "I", "Y", "K", "L", "M", "N", "O", "P",
    "R", "S", "T", "U", "F", "Kh", "Ts", "Ch", "Sh", "Shch", "\"", "Y", "'", "E", "Yu", "Ya",
    "a", "b", "v", "g", "d", "e", "zh", "z", "i", "y", "k", "l", "m", "n", "o", "p",
    "r", "s", "t", "u", "f", "kh", "ts", "ch", "sh", "shch", "\"", "y", "'", "e", "yu", "ya",
};
// clang-format on

} // namespace

LabelEncoding encodingOfCodePage(int64_t codePage) {
    switch (codePage) {
    case 0:
        return LabelEncoding::MapCodePage;
    case 1250:
        return LabelEncoding::Cp1250;
    case 1251:
        return LabelEncoding::Cp1251;
    case 1252:
        return LabelEncoding::Cp1252;
    case 65001:
        return LabelEncoding::Utf8;
    default:
        return LabelEncoding::Unsupported;
    }
}

std::string_view transliterate(char32_t ch) {
    if (ch >= 0xC0 && ch < 0x180) return kLatin[ch - 0xC0];
    if (ch >= 0x410 && ch < 0x450) return kCyrillic[ch - 0x410];
    if (ch == 0x401) return "E";
    if (ch == 0x451) return "e";
    switch (ch) {
    case 0x00A0:
        return " ";
    case 0x00AB:
    case 0x00BB:
    case 0x201C:
    case 0x201D:
    case 0x201E:
        return "\"";
    case 0x2018:
    case 0x2019:
    case 0x201A:
    case 0x00B4:
        return "'";
    case 0x2013:
    case 0x2014:
    case 0x2212:
        return "-";
    case 0x2026:
        return "...";
    case 0x0192:
        return "f";
    case 0x02C6:
        return "^";
    case 0x02DC:
        return "~";
    // Romanian letters with comma below, written instead of the cedilla forms.
    case 0x0218:
        return "S";
    case 0x0219:
        return "s";
    case 0x021A:
        return "T";
    case 0x021B:
        return "t";
    default:
        return {};
    }
}

LabelRecoder::LabelRecoder(CodePage target) {
    setTarget(target);
    setSource(LabelEncoding::MapCodePage);
}

void LabelRecoder::setTarget(CodePage target) {
    m_target = target;
    m_reverse.clear();
    for (int b = 0x80; b < 0x100; ++b) {
        const char32_t ch = toUnicode(target, static_cast<uint8_t>(b));
        if (ch != 0xFFFD) m_reverse.emplace_back(ch, static_cast<uint8_t>(b));
    }
    std::sort(m_reverse.begin(), m_reverse.end());
    setSource(m_source);
}

void LabelRecoder::setSource(LabelEncoding source) {
    m_source = source;
    CodePage cp = m_target;
    switch (source) {
    case LabelEncoding::Cp1250:
        cp = CodePage::Cp1250;
        break;
    case LabelEncoding::Cp1251:
        cp = CodePage::Cp1251;
        break;
    case LabelEncoding::Cp1252:
        cp = CodePage::Cp1252;
        break;
    default:
        break;
    }
    for (int b = 0; b < 0x100; ++b)
        m_sourceChar[static_cast<std::size_t>(b)] = toUnicode(cp, static_cast<uint8_t>(b));
    for (std::size_t b = 0; b < 0x100; ++b) {
        m_direct[b] = b < 0x80 ? static_cast<int16_t>(b) : -1;
        if (b < 0x80 || source == LabelEncoding::Unsupported) continue;
        std::string one;
        Outcome o;
        appendChar(m_sourceChar[b], one, o);
        if (!o.approximated && one.size() == 1) m_direct[b] = static_cast<uint8_t>(one[0]);
    }
}

void LabelRecoder::appendChar(char32_t ch, std::string& out, Outcome& o) const {
    if (ch < 0x80) {
        out += static_cast<char>(ch);
        return;
    }
    const auto it = std::lower_bound(m_reverse.begin(), m_reverse.end(), std::pair<char32_t, uint8_t>{ch, 0});
    if (it != m_reverse.end() && it->first == ch) {
        out += static_cast<char>(it->second);
        return;
    }
    o.approximated = true;
    const std::string_view ascii = transliterate(ch);
    if (!ascii.empty())
        out += ascii;
    else
        out += '?';
}

namespace {

// Length and value of the UTF-8 sequence at the start of `s`; 0 when it is ill-formed
// (truncated, overlong, a surrogate or beyond U+10FFFF).
std::size_t utf8Sequence(std::string_view s, char32_t& ch) {
    const auto b0 = static_cast<uint8_t>(s[0]);
    std::size_t n = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        ch = b0;
        return 1;
    }
    if (b0 >= 0xC2 && b0 <= 0xDF)
        n = 2, ch = b0 & 0x1Fu, min = 0x80;
    else if (b0 >= 0xE0 && b0 <= 0xEF)
        n = 3, ch = b0 & 0x0Fu, min = 0x800;
    else if (b0 >= 0xF0 && b0 <= 0xF4)
        n = 4, ch = b0 & 0x07u, min = 0x10000;
    else
        return 0;
    if (s.size() < n) return 0;
    for (std::size_t i = 1; i < n; ++i) {
        const auto b = static_cast<uint8_t>(s[i]);
        if ((b & 0xC0u) != 0x80u) return 0;
        ch = (ch << 6) | (b & 0x3Fu);
    }
    if (ch < min || ch > 0x10FFFF || (ch >= 0xD800 && ch <= 0xDFFF)) return 0;
    return n;
}

bool allAscii(std::string_view s) {
    for (const char c : s)
        if (static_cast<uint8_t>(c) >= 0x80) return false;
    return true;
}

} // namespace

bool withoutLabelCodes(std::string_view in, std::string& out) {
    if (in.find("~[") == std::string_view::npos) return false;
    std::string r;
    r.reserve(in.size());
    bool found = false;
    for (std::size_t i = 0; i < in.size();) {
        // "~[0x" and one or more hexadecimal digits, then "]".
        if (in.compare(i, 2, "~[") == 0 && i + 4 < in.size() && in[i + 2] == '0' && (in[i + 3] == 'x' || in[i + 3] == 'X')) {
            std::size_t j = i + 4;
            unsigned code = 0;
            while (j < in.size() && j < i + 12 && std::isxdigit(static_cast<unsigned char>(in[j])))
                code = code * 16 + static_cast<unsigned>(std::isdigit(static_cast<unsigned char>(in[j]))
                                                             ? in[j] - '0'
                                                             : (in[j] | 0x20) - 'a' + 10),
                ++j;
            if (j > i + 4 && j < in.size() && in[j] == ']') {
                found = true;
                if (code >= 0x1B && code <= 0x1F) r += ' ';
                i = j + 1;
                continue;
            }
        }
        r += in[i++];
    }
    if (!found) return false;
    out.clear();
    for (const char c : r) {
        if (c == ' ' && (out.empty() || out.back() == ' ')) continue;
        out += c;
    }
    while (!out.empty() && out.back() == ' ') out.pop_back();
    return true;
}

int recodeMap(TObjectSink& sink, CodePage to) {
    MapDocument& doc = sink.Document();
    const CodePage from = doc.codePage;
    if (to == from) return 0;
    LabelRecoder convert(to);
    convert.setSource(from == CodePage::Cp1250   ? LabelEncoding::Cp1250
                      : from == CodePage::Cp1252 ? LabelEncoding::Cp1252
                                                 : LabelEncoding::Cp1251);
    convert.trustSource();
    int lossy = 0;
    std::string t;
    auto recoded = [&](std::string_view s) -> const std::string& {
        lossy += convert.recode(s, t).approximated ? 1 : 0;
        return t;
    };
    doc.setCodePage(to);
    // Groups hold objects of their own.
    auto walk = [&](auto& self, TQevMapList& list) -> void {
        for (TQEVMapObjectMem& o : list) {
            if (const TQEVMapText* text = o.text()) {
                TQEVMapText copy = *text;
                copy.Text = recoded(copy.Text);
                sink.EncodeText(o, copy);
                sink.UpdateCorners(o);
            } else if (const TQEVMapZametka* note = o.note()) {
                TQEVMapZametka copy = *note;
                copy.Text = recoded(copy.Text);
                sink.EncodeNote(o, copy);
            } else if (TQevMapList* kids = o.children()) {
                self(self, *kids);
            }
        }
    };
    walk(walk, doc.objects);
    for (TMapDictionary* dict : {&doc.streets, &doc.towns}) {
        const std::vector<TMapDictionary::Entry> entries = dict->entries();
        dict->clear();
        for (const TMapDictionary::Entry& e : entries)
            dict->addLoaded(recoded(e.name), e.code);
    }
    for (auto* field : {&doc.header.NameMap, &doc.header.CreatedBy})
        if (!field->view().empty()) field->assign(recoded(field->view()));
    return lossy;
}

bool isMultibyteUtf8(std::string_view s) {
    bool multi = false;
    while (!s.empty()) {
        char32_t ch = 0;
        const std::size_t n = utf8Sequence(s, ch);
        if (n == 0) return false;
        multi |= n > 1;
        s.remove_prefix(n);
    }
    return multi;
}

bool LabelRecoder::decodeUtf8(std::string_view in, std::string& out, Outcome& o) const {
    bool wellFormed = true;
    while (!in.empty()) {
        char32_t ch = 0;
        std::size_t n = utf8Sequence(in, ch);
        if (n == 0) {
            wellFormed = false;
            o.approximated = true;
            out += '?';
            n = 1;
        } else {
            appendChar(ch, out, o);
        }
        in.remove_prefix(n);
    }
    return wellFormed;
}

LabelRecoder::Outcome LabelRecoder::recode(std::string_view in, std::string& out) const {
    Outcome o;
    out.clear();
    // Most labels are plain ASCII, the same in every code page this importer knows.
    if (allAscii(in)) {
        out.assign(in);
        return o;
    }
    if (m_source == LabelEncoding::Utf8) {
        decodeUtf8(in, out, o);
        return o;
    }
    // Several writers put UTF-8 under a header that still says 1252 (or says nothing). A text in
    // a single-byte code page is almost never well-formed UTF-8 with a multi-byte character; once
    // one label is not, the file is taken to be what its header says, so that a short label that
    // happens to read as UTF-8 is not taken for it.
    if (m_utf8Possible) {
        if (isMultibyteUtf8(in)) {
            o.utf8Found = true;
            decodeUtf8(in, out, o);
            return o;
        }
        m_utf8Possible = false;
    }
    if (m_source == LabelEncoding::MapCodePage) {
        out.assign(in);
        return o;
    }
    out.resize(in.size());
    std::size_t i = 0;
    for (; i < in.size(); ++i) {
        const int16_t mapped = m_direct[static_cast<uint8_t>(in[i])];
        if (mapped < 0) break;
        out[i] = static_cast<char>(mapped);
    }
    if (i == in.size()) return o;
    out.resize(i);
    for (const char c : in.substr(i)) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x80) {
            out += c;
        } else if (m_source == LabelEncoding::Unsupported) {
            o.approximated = true;
            out += '?';
        } else {
            appendChar(m_sourceChar[b], out, o);
        }
    }
    return o;
}

} // namespace kestrum::polish

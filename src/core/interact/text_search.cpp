#include "interact/text_search.h"

#include "model/codepage.h"

#include <algorithm>

namespace kestrum {

char32_t foldCase(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;   // Latin-1
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;               // А..Я
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;               // Ѐ..Џ, Ё among them
    if (c >= 0x100 && c <= 0x17E && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x178) {
        // Latin Extended-A pairs letters as upper then lower, on even or odd code points.
        const bool evenUpper = (c <= 0x137) || (c >= 0x14A && c <= 0x177);
        if (evenUpper ? c % 2 == 0 : c % 2 == 1) return c + 1;
        return c;
    }
    if (c == 0x178) return 0xFF;
    return c;
}

namespace {

std::u32string decode(CodePage cp, std::string_view bytes, bool fold) {
    std::u32string out;
    out.reserve(bytes.size());
    for (const char b : bytes) {
        const char32_t c = toUnicode(cp, static_cast<uint8_t>(b));
        out.push_back(fold ? foldCase(c) : c);
    }
    return out;
}

std::u32string decodeUtf8(std::string_view s, bool fold) {
    std::u32string out;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<uint8_t>(s[i]);
        char32_t c = 0xFFFD;
        std::size_t n = 1;
        if (b < 0x80) c = b;
        else if ((b & 0xE0) == 0xC0) c = b & 0x1Fu, n = 2;
        else if ((b & 0xF0) == 0xE0) c = b & 0x0Fu, n = 3;
        else if ((b & 0xF8) == 0xF0) c = b & 0x07u, n = 4;
        if (n > 1) {
            if (i + n > s.size()) {
                c = 0xFFFD, n = 1;
            } else {
                for (std::size_t k = 1; k < n; ++k) {
                    const auto t = static_cast<uint8_t>(s[i + k]);
                    if ((t & 0xC0) != 0x80) {
                        c = 0xFFFD, n = 1;
                        break;
                    }
                    c = (c << 6) | (t & 0x3Fu);
                }
            }
        }
        out.push_back(fold ? foldCase(c) : c);
        i += n;
    }
    return out;
}

// The object itself or, for a group, the first member whose words hold the needle.
const TQEVMapObjectMem* matching(const MapDocument& doc, const TQEVMapObjectMem& obj, const std::u32string& needle,
                                 bool fold, int depth) {
    if (const TQevMapList* members = obj.children()) {
        if (depth > 64) return nullptr; // deeper nesting than any real map: not searched
        for (const TQEVMapObjectMem& m : *members)
            if (const TQEVMapObjectMem* hit = matching(doc, m, needle, fold, depth + 1)) return hit;
        return nullptr;
    }
    for (const std::string& text : SearchableTexts(doc, obj))
        if (decode(doc.codePage, text, fold).find(needle) != std::u32string::npos) return &obj;
    return nullptr;
}

} // namespace

std::vector<std::string> SearchableTexts(const MapDocument& doc, const TQEVMapObjectMem& obj) {
    std::vector<std::string> texts;
    if (obj.HasAddress && obj.Address) {
        const TAdres a = doc.DecodeAddress(obj);
        for (const std::string* s : {&a.Town, &a.Street, &a.House, &a.Street1, &a.House1})
            if (!s->empty()) texts.push_back(*s);
        if (!a.Street.empty() && !a.House.empty()) texts.push_back(a.Street + " " + a.House);
        if (!a.Street1.empty() && !a.House1.empty()) texts.push_back(a.Street1 + " " + a.House1);
    }
    if (const TQEVMapText* t = obj.text(); t && !t->Text.empty()) texts.push_back(t->Text);
    if (const TQEVMapZametka* n = obj.note(); n && !n->Text.empty()) texts.push_back(n->Text);
    return texts;
}

std::optional<TextMatch> FindText(const MapDocument& doc, std::string_view needleUtf8, int from,
                                  const TextSearchOptions& options) {
    const bool fold = !options.matchCase;
    const std::u32string needle = decodeUtf8(needleUtf8, fold);
    if (needle.empty()) return std::nullopt;
    const TQevMapList& list = doc.objects;
    const int n = list.count();
    int i;
    if (options.fromStart || from < 0 || from >= n) i = options.backwards ? n - 1 : 0;
    else i = options.backwards ? from - 1 : from + 1;
    const int step = options.backwards ? -1 : 1;
    for (; i >= 0 && i < n; i += step)
        if (const TQEVMapObjectMem* hit = matching(doc, list[i], needle, fold, 0)) return TextMatch{i, CornerBox(*hit)};
    return std::nullopt;
}

} // namespace kestrum

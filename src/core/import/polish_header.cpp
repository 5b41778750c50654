// The [IMG ID] section of Polish-format files and the code page of their text.

#include "import/polish_importer.h"

#include <algorithm>
#include <charconv>
#include <climits>

namespace kestrum::polish {

bool PolishImporter::startOfFile(const LineReader& lines, std::string_view first) {
    if (lines.hadByteOrderMark()) {
        // Editors that add the mark have saved the text as UTF-8, whatever CodePage says.
        m_bom = true;
        m_recoder.setSource(LabelEncoding::Utf8);
    } else if (first.starts_with("\xFF\xFE") || first.starts_with("\xFE\xFF")) {
        problem(1, "the file is UTF-16 text, which this importer does not read; save it as UTF-8 or ANSI");
        m_stop = true;
        return false;
    }
    return true;
}

void PolishImporter::headerKey(std::string_view name, std::string_view value) {
    if (equalsNoCase(name, "Name")) {
        if (!m_hasMapName) m_mapName.assign(value.substr(0, kMaxLabelBytes)), m_hasMapName = true;
        return;
    }
    if (!equalsNoCase(name, "CodePage")) return;
    int64_t cp = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), cp);
    if (ec != std::errc{} || end != value.data() + value.size()) {
        problem(m_line, "CodePage " + quote(value) + " is not a number; labels are taken as they are");
        return;
    }
    if (cp >= 0 && cp <= INT_MAX) m_declaredCodePage = static_cast<int>(cp);
    if (m_bom) return; // the byte order mark decides
    const LabelEncoding enc = polish::encodingOfCodePage(cp);
    m_recoder.setSource(enc);
    // A map made from the file has the code page its header names; UTF-8 text takes the one
    // its letters need (betterCodePage).
    if (m_codePageFree && (cp == 1250 || cp == 1251 || cp == 1252)) switchCodePage(static_cast<CodePage>(cp));
    if (enc == LabelEncoding::Unsupported)
        warning(m_line,
                "code page " + std::to_string(cp) + " is not supported; letters outside ASCII become '?'");
}

void PolishImporter::headerEnd() {
    if (!m_hasMapName) return;
    MapHeader& h = m_sink.Document().header;
    if (!h.NameMap.view().empty()) return; // a map imported into keeps its own name
    recode(m_mapName, m_scratch, m_line);
    h.NameMap.assign(std::string_view(m_scratch).substr(0, 255));
}

void PolishImporter::textSource() {
    MapDocument::TextSource s;
    s.declaredCodePage = m_declaredCodePage;
    if (m_utf8Seen) {
        s.foundEncoding = "UTF-8";
    } else if (m_singleByteSeen) {
        int cp = static_cast<int>(m_sink.Document().codePage);
        switch (m_recoder.source()) {
        case LabelEncoding::Cp1250: cp = 1250; break;
        case LabelEncoding::Cp1251: cp = 1251; break;
        case LabelEncoding::Cp1252: cp = 1252; break;
        case LabelEncoding::Unsupported: cp = m_declaredCodePage; break;
        default: break;
        }
        s.foundEncoding = "Windows-" + std::to_string(cp);
    } else {
        s.foundEncoding = "ASCII";
    }
    m_sink.Document().textSource = std::move(s);
}

void PolishImporter::noteText(std::string_view in, const std::string& out, const LabelRecoder::Outcome& o) {
    bool nonAscii = false;
    for (const char c : in)
        nonAscii |= static_cast<uint8_t>(c) >= 0x80;
    if (!nonAscii) return;
    if (o.utf8Found || m_recoder.source() == LabelEncoding::Utf8)
        m_utf8Seen = true;
    else
        m_singleByteSeen = true;
    for (const char c : out)
        m_usedBytes[static_cast<uint8_t>(c)] = true;
}

bool PolishImporter::betterCodePage(std::string_view in) {
    const CodePage current = m_sink.Document().codePage;
    CodePage order[4] = {CodePage::Cp1252, CodePage::Cp1252, CodePage::Cp1250, CodePage::Cp1251};
    if (m_declaredCodePage == 1250 || m_declaredCodePage == 1251) order[0] = static_cast<CodePage>(m_declaredCodePage);
    std::string scratch;
    for (const CodePage cp : order) {
        if (cp == current) continue;
        bool keepsAll = true;
        for (int b = 0x80; b < 0x100 && keepsAll; ++b)
            keepsAll = !m_usedBytes[static_cast<std::size_t>(b)] ||
                       fromUnicode(cp, toUnicode(current, static_cast<uint8_t>(b))).has_value();
        if (!keepsAll) continue;
        LabelRecoder trial = m_recoder;
        trial.setTarget(cp);
        if (trial.recode(in, scratch).approximated) continue;
        switchCodePage(cp);
        return true;
    }
    return false;
}

void PolishImporter::switchCodePage(CodePage cp) {
    const CodePage old = m_sink.Document().codePage;
    if (cp == old) return;
    // Every letter of the file's own text exists in the new code page (betterCodePage); our
    // Russian type names are spelt in Latin where it has no Cyrillic.
    recodeMap(m_sink, cp);
    std::array<bool, 256> used{};
    for (int b = 0x80; b < 0x100; ++b)
        if (m_usedBytes[static_cast<std::size_t>(b)])
            if (const auto nb = fromUnicode(cp, toUnicode(old, static_cast<uint8_t>(b)))) used[*nb] = true;
    m_usedBytes = used;
    m_recoder.setTarget(cp);
    std::fill(m_typeNameReady.begin(), m_typeNameReady.end(), false);
}

} // namespace kestrum::polish

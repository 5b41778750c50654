// The [IMG ID] section of Polish-format files and the code page of their text.

#include "import/polish_importer.h"

#include <charconv>

namespace kestrum::polish {

bool PolishImporter::startOfFile(std::vector<char>& buf, std::size_t& begin, std::size_t end) {
    const auto byte = [&](std::size_t i) { return i < end ? static_cast<uint8_t>(buf[i]) : 0; };
    if (byte(0) == 0xEF && byte(1) == 0xBB && byte(2) == 0xBF) {
        // Editors that add the mark have saved the text as UTF-8, whatever CodePage says.
        m_bom = true;
        m_recoder.setSource(LabelEncoding::Utf8);
        begin = 3;
    } else if ((byte(0) == 0xFF && byte(1) == 0xFE) || (byte(0) == 0xFE && byte(1) == 0xFF)) {
        problem(1, "the file is UTF-16 text, which this importer does not read; save it as UTF-8 or ANSI");
        m_stop = true;
        return false;
    }
    return true;
}

void PolishImporter::headerKey(std::string_view name, std::string_view value) {
    if (!equalsNoCase(name, "CodePage")) return;
    int64_t cp = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), cp);
    if (ec != std::errc{} || end != value.data() + value.size()) {
        problem(m_line, "CodePage " + quote(value) + " is not a number; labels are taken as they are");
        return;
    }
    if (m_bom) return; // the byte order mark decides
    const LabelEncoding enc = polish::encodingOfCodePage(cp);
    m_recoder.setSource(enc);
    if (enc == LabelEncoding::Unsupported)
        warning(m_line,
                "code page " + std::to_string(cp) + " is not supported; letters outside ASCII become '?'");
}

} // namespace kestrum::polish

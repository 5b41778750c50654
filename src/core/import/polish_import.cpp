#include "import/polish_importer.h"
#include "io/file_open.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace kestrum {

namespace polish {

ImportResult PolishImporter::run() {
    m_total = m_src.remaining();
    const MapDocument& doc = m_map.Document();
    m_codePageFree = doc.objects.count() == 0 && doc.streets.count() == 0 && doc.towns.count() == 0;
    try {
        readBlocks();
    } catch (const FileError& e) {
        problem(m_line, std::string("the file could not be read further: ") + e.what());
        m_stop = true;
    }
    if (!m_stop && m_section != Section::None) {
        // A truncated file: its last section may end anywhere, so it is dropped.
        if (m_section != Section::Other)
            problem(m_sectionLine,
                    "section " + m_sectionName + " is not closed before the end of the file; dropped");
        m_section = Section::None;
    }
    textSource();
    return std::move(m_result);
}

void PolishImporter::readBlocks() {
    const std::size_t maxLine = m_options.maxLineBytes;
    std::vector<char> buf(std::max<std::size_t>(m_options.blockBytes, 16));
    std::size_t begin = 0, end = 0;
    uint64_t base = 0; // offset of buf[0] in the input
    bool eof = false, first = true, skipping = false;
    // buf[begin, noCrBefore) holds no CR: one search per block instead of one per line in
    // files with plain LF line ends (nearly all of their bytes are long coordinate lines).
    std::size_t noCrBefore = 0;
    // A line longer than the cap is skipped whole, wherever the block reads cut it.
    auto lineOf = [&](std::string_view text) {
        if (text.size() > maxLine) {
            overlongLine();
            return;
        }
        m_lineOffset = base + begin;
        const std::size_t lineEnd = begin + text.size();
        if (lineEnd > noCrBefore) {
            const std::size_t from = std::max(begin, noCrBefore);
            const auto* cr = static_cast<const char*>(std::memchr(buf.data() + from, '\r', end - from));
            noCrBefore = cr ? static_cast<std::size_t>(cr - buf.data()) : end;
        }
        if (lineEnd > noCrBefore)
            rawLine(text);
        else
            line(text);
    };
    while (!m_stop) {
        while (begin < end && !m_stop) {
            const char* p = buf.data() + begin;
            const auto* nl = static_cast<const char*>(std::memchr(p, '\n', end - begin));
            if (!nl) break;
            const auto len = static_cast<std::size_t>(nl - p);
            if (skipping)
                skipping = false;
            else
                lineOf({p, len});
            begin += len + 1;
        }
        if (m_stop) break;
        if (eof) {
            // The last line may lack its line end.
            if (begin < end && !skipping) lineOf({buf.data() + begin, end - begin});
            break;
        }
        if (begin > 0) {
            std::memmove(buf.data(), buf.data() + begin, end - begin);
            base += begin;
            end -= begin;
            begin = 0;
            noCrBefore = 0;
        }
        if (!skipping && end > maxLine) {
            overlongLine();
            skipping = true;
        }
        if (skipping) base += end, end = 0, noCrBefore = 0;
        // The bytes of a long line are in the file already: growing is bounded by the file and
        // by the cap.
        if (end == buf.size())
            buf.resize(std::min(buf.size() * 2, maxLine < SIZE_MAX ? maxLine + 1 : maxLine));
        const std::size_t n = m_src.read(buf.data() + end, buf.size() - end);
        end += n;
        if (n == 0) eof = true;
        if (first && (end >= 3 || eof)) {
            first = false;
            if (!startOfFile(buf, begin, end)) return;
        }
        if (m_map.CancelRequested) {
            m_result.cancelled = true;
            m_stop = true;
        }
    }
}

void PolishImporter::overlongLine() {
    ++m_line;
    problem(m_line, "line longer than " + std::to_string(m_options.maxLineBytes) + " bytes; skipped");
}

void PolishImporter::rawLine(std::string_view text) {
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    // A lone CR ends a line too (files from old Mac editors, or mixed by copy and paste).
    for (std::size_t cr; (cr = text.find('\r')) != std::string_view::npos && !m_stop;) {
        line(text.substr(0, cr));
        text.remove_prefix(cr + 1);
    }
    if (!m_stop) line(text);
}

void PolishImporter::line(std::string_view text) {
    ++m_line;
    // Keys indented by tabs or blanks come from hand editing, and the Ctrl-Z that old DOS editors
    // put at the end of a file is a control character: all of them trim away.
    text = trimmed(text);
    if (text.empty() || text.front() == ';') return; // ';' starts a comment only at the line start
    if (text.front() == '[') {
        header(text);
        return;
    }
    switch (m_section) {
    case Section::None:
        problem(m_line, "text outside any section ignored: " + quote(text));
        break;
    case Section::Header: {
        const std::size_t eq = text.find('=');
        if (eq != std::string_view::npos)
            headerKey(trimSpaces(text.substr(0, eq)), trimSpaces(text.substr(eq + 1)));
        break;
    }
    case Section::Point:
    case Section::Polyline:
    case Section::Polygon:
        sectionLine(text);
        break;
    case Section::Other:
        break;
    }
}

void PolishImporter::header(std::string_view text) {
    // Any "[END...]" closes the open section: GPSMapEdit writes [END-IMG ID], [END-RGN10] and the
    // like, other writers a plain [END], and hand-made files mix them up.
    if (startsWithNoCase(text, "[END")) {
        closeSection();
        return;
    }
    if (m_section != Section::None) {
        // A missing [END]: the section ends where the next one starts, and keeps its objects.
        problem(m_line, "section " + m_sectionName + " from line " + std::to_string(m_sectionLine) +
                            " has no [END] before this section; closed here");
        closeSection();
    }
    const std::string_view name = headerName(text);
    m_section = sectionOf(name);
    m_sectionLine = m_labelLine = m_line;
    m_sectionName.assign("[").append(name.substr(0, kQuoteBytes)).append("]");
    m_hasType = m_hasLabel = m_hasStreetDesc = m_hasHouseNumber = false;
    m_type.clear(), m_label.clear(), m_streetDesc.clear(), m_houseNumber.clear();
    m_level = INT_MAX;
    m_points.clear();
    m_dataLines.clear();
    progressAndCancel();
    if (m_stop) m_section = Section::None;
}

void PolishImporter::progressAndCancel() {
    if (m_map.OnProgress) {
        const int percent =
            m_total == 0 ? 100
                         : static_cast<int>((std::min(m_lineOffset, m_total) * 100 + m_total / 2) / m_total);
        if (percent != m_lastPercent) {
            m_lastPercent = percent;
            m_map.OnProgress(m_map, percent);
        }
    }
    if (m_map.CancelRequested) {
        m_result.cancelled = true;
        m_stop = true;
    }
}

void PolishImporter::sectionLine(std::string_view text) {
    const std::size_t eq = text.find('=');
    if (eq == std::string_view::npos) {
        problem(m_line, "line is neither name=value nor a section: " + quote(text));
        return;
    }
    const std::string_view name = trimSpaces(text.substr(0, eq));
    const std::string_view value = trimSpaces(text.substr(eq + 1));
    if (name.empty()) return;
    // Names are matched regardless of case; the first of equal names wins.
    switch (lowerAscii(name.front())) {
    case 'd':
    case 'o':
        if (const int level = dataLevel(name); level >= 0) dataLine(level, value);
        break;
    case 't':
        if (!m_hasType && equalsNoCase(name, "Type")) m_type.assign(value), m_hasType = true;
        break;
    case 'l':
        if (!m_hasLabel && equalsNoCase(name, "Label")) {
            if (value.size() > kMaxLabelBytes)
                problem(m_line, "label longer than " + std::to_string(kMaxLabelBytes) + " bytes; cut");
            m_label.assign(value.substr(0, kMaxLabelBytes)), m_hasLabel = true, m_labelLine = m_line;
        }
        break;
    case 's':
        if (!m_hasStreetDesc && equalsNoCase(name, "StreetDesc"))
            m_streetDesc.assign(value.substr(0, kMaxLabelBytes)), m_hasStreetDesc = true;
        break;
    case 'h':
        if (!m_hasHouseNumber && equalsNoCase(name, "HouseNumber"))
            m_houseNumber.assign(value.substr(0, kMaxLabelBytes)), m_hasHouseNumber = true;
        break;
    default:
        break;
    }
}

void PolishImporter::closeSection() {
    if (m_section == Section::Point || m_section == Section::Polyline || m_section == Section::Polygon)
        makeObjects();
    else if (m_section == Section::Header)
        headerEnd();
    m_section = Section::None;
}

} // namespace polish

using polish::PolishImporter;
using polish::Section;
using polish::headerName;
using polish::sectionOf;
using polish::startsWithNoCase;

ImportResult ImportPolish(TKorvane& map, ByteSource& src, const StyleTable& styles,
                          const std::string& fileName, const PolishImportOptions& options) {
    PolishImporter importer(map, src, styles, fileName, options);
    return importer.run();
}

ImportResult ImportPolishFile(TKorvane& map, const std::string& path, const StyleTable& styles,
                              const PolishImportOptions& options) {
    std::error_code ec;
    if (!std::filesystem::exists(pathFromUtf8(path), ec)) return {}; // a Cyrillic name too, on Windows
    FileSource src(path);
    return ImportPolish(map, src, styles, path, options);
}

bool sniffPolish(std::span<const uint8_t> head) {
    std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view lineText = trimmed(text.substr(0, nl));
        // Writers put comments and blank lines before the first section.
        if (!lineText.empty() && lineText.front() != ';') {
            if (lineText.front() != '[') return false;
            const std::string_view name = headerName(lineText);
            return sectionOf(name) != Section::Other || startsWithNoCase(name, "RGN");
        }
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return false;
}

} // namespace kestrum

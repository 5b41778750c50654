#include "import/polish_importer.h"
#include "io/file_open.h"

#include <algorithm>
#include <filesystem>

namespace kestrum {

namespace polish {

ImportResult PolishImporter::run() {
    m_total = m_src.remaining();
    const MapDocument& doc = m_sink.Document();
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
    // An overlong line is skipped whole, wherever the block reads cut it.
    LineReader lines(m_src, m_options.blockBytes, m_options.maxLineBytes, LineReader::Overlong::Skip);
    uint64_t blocks = 0;
    std::string_view text;
    while (!m_stop && lines.next(text)) {
        m_line = lines.lineNumber() - 1; // line() and overlongLine() count it
        m_lineOffset = lines.lineStart();
        if (lines.lineNumber() == 1 && !startOfFile(lines, text)) return;
        if (lines.blocksRead() != blocks) {
            blocks = lines.blocksRead();
            if (m_sink.Cancelled()) {
                m_result.cancelled = true;
                m_stop = true;
                return;
            }
        }
        if (lines.lastWasCut())
            overlongLine();
        else
            line(text);
    }
}

void PolishImporter::overlongLine() {
    ++m_line;
    problem(m_line, "line longer than " + std::to_string(m_options.maxLineBytes) + " bytes; skipped");
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
    if (m_sink.progress) {
        const int percent =
            m_total == 0 ? 100
                         : static_cast<int>((std::min(m_lineOffset, m_total) * 100 + m_total / 2) / m_total);
        if (percent != m_lastPercent) {
            m_lastPercent = percent;
            m_sink.Progress(percent);
        }
    }
    if (m_sink.Cancelled()) {
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

ImportResult ImportPolish(TObjectSink& sink, ByteSource& src, const StyleTable& styles,
                          const std::string& fileName, const PolishImportOptions& options) {
    PolishImporter importer(sink, src, styles, fileName, options);
    return importer.run();
}

ImportResult ImportPolishFile(TObjectSink& sink, const std::string& path, const StyleTable& styles,
                              const PolishImportOptions& options) {
    std::error_code ec;
    if (!std::filesystem::exists(pathFromUtf8(path), ec)) return {}; // a Cyrillic name too, on Windows
    FileSource src(path);
    return ImportPolish(sink, src, styles, path, options);
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

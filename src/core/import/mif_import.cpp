// The MIF/MID importer's run: line fetching, progress, problems and the header up to DATA.
// Object clauses are read in mif_geometry.cpp, style clauses in mif_styles.cpp, and the map
// objects are made in mif_posting.cpp.

#include "import/mif_importer.h"

#include "io/byte_source.h"

#include <algorithm>
#include <cmath>

namespace kestrum {

namespace mif {

namespace {

// A column declaration ("a Char(1)" and a line end) is longer than a ring count line.
constexpr uint64_t kMinBytesPerPart = 2;

} // namespace

MifImporter::MifImporter(TObjectSink& sink, ByteSource& mif, ByteSource* mid, std::string mifName, std::string midName,
                         const MifImportOptions& options)
    : m_sink(sink), m_mifSource(mif), m_midSource(mid), m_mifName(std::move(mifName)), m_midName(std::move(midName)),
      m_lines(mif, options.blockBytes, options.maxLineBytes), m_text(sink.Document().codePage) {
    if (mid) m_mid.emplace(*mid, options.blockBytes, options.maxLineBytes);
    resetStyles();
}

ImportResult MifImporter::run() {
    try {
        fireProgress(0);
        const bool data = readHeader();
        chooseCodePage();
        if (data) readData();
        if (!m_cancelled) {
            emit();
            finishRecord();
            checkMidTail();
            if (m_lastPercent < 100) fireProgress(100);
        }
    } catch (const FileError& e) {
        m_result.addProblem(m_mifName, m_lines.lineNumber(), e.what());
    }
    m_result.cancelled = m_cancelled;
    return std::move(m_result);
}

// --- lines ---------------------------------------------------------------------------------

bool MifImporter::fetch(std::string_view& line) {
    if (m_cancelled) return false;
    if (m_sink.Cancelled()) {
        m_cancelled = true;
        return false;
    }
    if (!m_lines.next(line)) return false;
    if (m_lines.consumed() >= m_nextProgressAt) updateProgress();
    if (m_lines.lastWasCut()) problem([] { return std::string("an overlong line was cut (not a text file?)"); });
    return true;
}

// Blank lines between the lines of a clause carry nothing; some writers leave them.
bool MifImporter::fetchNonBlank(std::string_view& line) {
    while (fetch(line))
        if (!isBlankLine(line)) return true;
    return false;
}

void MifImporter::updateProgress() {
    const uint64_t total = m_lines.total();
    const int percent =
        total ? static_cast<int>(static_cast<double>(m_lines.consumed()) * 100.0 / static_cast<double>(total) + 0.5)
              : 100;
    if (percent > m_lastPercent) fireProgress(std::min(percent, 100));
    m_nextProgressAt = static_cast<uint64_t>((m_lastPercent + 0.5) * static_cast<double>(total) / 100.0) + 1;
}

void MifImporter::fireProgress(int percent) {
    m_lastPercent = percent;
    m_sink.Progress(percent);
}
void MifImporter::noteText(TextDecoder::Outcome o, const std::string& file, int64_t line) {
    if (o == TextDecoder::Outcome::Replaced) {
        warning(file, line, [] {
            return std::string("characters the map's code page lacks were replaced by '?'");
        });
    } else if (o == TextDecoder::Outcome::Guessed && !m_guessNoted) {
        // One guess per file: the same assumption serves all its text.
        m_guessNoted = true;
        warning(file, line, [&] {
            const std::string what = m_charsetName.empty() ? std::string("no CHARSET is declared")
                                                           : "CHARSET \"" + m_charsetName + "\" is not convertible";
            return what + ": text read as UTF-8 where it is valid, else as in the map's code page";
        });
    }
}

// --- header --------------------------------------------------------------------------------

bool MifImporter::isObjectWord(std::string_view w) {
    for (std::string_view k : {"Point", "Line", "Pline", "Region", "Arc", "Text", "Rect", "RoundRect", "Ellipse",
                               "MultiPoint", "Collection", "None"})
        if (equalsNoCase(w, k)) return true;
    return false;
}

// Reads up to the Data line; false at the end of the file.
bool MifImporter::readHeader() {
    std::string_view line;
    m_text.setUnknown();
    while (fetch(line)) {
        std::string_view rest = line;
        const std::string_view word = takeWord(rest);
        if (word.empty()) continue;
        if (equalsNoCase(word, "Data")) return true;
        if (equalsNoCase(word, "Charset")) {
            readCharset(rest);
        } else if (equalsNoCase(word, "Delimiter")) {
            readDelimiter(rest);
        } else if (equalsNoCase(word, "CoordSys")) {
            readCoordSys(rest);
        } else if (equalsNoCase(word, "Columns")) {
            readColumns(rest);
        } else if (isObjectWord(word)) {
            problem([] { return std::string("objects begin without a DATA line"); });
            m_lines.pushBack();
            return true;
        }
        // Version, Unique, Index, Transform and whatever other tools add: nothing to take.
    }
    if (!m_cancelled) problem([] { return std::string("no DATA line: the file holds no objects"); });
    return false;
}

void MifImporter::readCharset(std::string_view rest) {
    bool unterminated = false;
    std::string name;
    if (!takeQuoted(rest, name, unterminated)) name = std::string(takeWord(rest));
    m_charsetName = name;
    m_text.setCharset(name);
    m_names.setCharset(name);
}

// The map's code page for an import into an empty map: the one the Charset names, else (UTF-8,
// or no or an unknown Charset with text that is all valid UTF-8) the one that keeps the most
// of the letters both files use, else Windows-1251, the map's own default (Russian "Neutral"
// files are in it already). A map that holds objects keeps its code page, and the text comes
// into it.
void MifImporter::chooseCodePage() {
    MapDocument& doc = m_sink.Document();
    const bool empty = doc.objects.count() == 0 && doc.streets.count() == 0 && doc.towns.count() == 0;
    CodePage target = doc.codePage;
    if (empty) {
        if (const auto named = codePageOfCharset(m_charsetName)) {
            target = *named;
        } else {
            Utf8Census census;
            countUtf8(m_mifSource, census);
            if (m_midSource) countUtf8(*m_midSource, census);
            const bool utf8 = isUtf8Charset(m_charsetName) || census.invalid == 0;
            target = census.high > 0 && utf8 ? bestCodePage(census) : CodePage::Cp1251;
        }
        doc.setCodePage(target);
    }
    m_text = TextDecoder(target);
    if (m_charsetName.empty()) m_text.setUnknown();
    else m_text.setCharset(m_charsetName);
}

void MifImporter::readDelimiter(std::string_view rest) {
    bool unterminated = false;
    std::string d;
    if (takeQuoted(rest, d, unterminated) && d.size() == 1 && d[0] != '"' && d[0] != '\n' && d[0] != '\r') {
        m_address.setDelimiter(d[0]);
        return;
    }
    problem([&] {
        return "DELIMITER names no single character; the MID is split at tabs, MapInfo's default";
    });
}

void MifImporter::readCoordSys(std::string_view rest) {
    std::string_view r = rest;
    const std::string_view kind = takeWord(r);
    if (equalsNoCase(kind, "Earth")) {
        std::string_view p = r;
        int64_t projection = 0;
        if (equalsNoCase(takeWord(p), "Projection") && takeInteger(p, projection)) {
            m_scale = projection == 1 ? 1e6 : 1.0;
        } else {
            m_scale = 1e6; // an Earth system without a projection is longitude/latitude
        }
        return;
    }
    if (equalsNoCase(kind, "NonEarth") || equalsNoCase(kind, "Layout")) {
        m_scale = 1.0;
        return;
    }
    // The wayfinder world-borders export writes "Coordsys wgs84_latlon_deg" and, as the name
    // says, puts the latitude first on every coordinate line.
    std::string lower(trimmed(rest));
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    if (lower.find("latlon") != std::string::npos) {
        m_scale = 1e6;
        m_latFirst = true;
        return;
    }
    if (lower.find("lonlat") != std::string::npos || lower.find("longlat") != std::string::npos) {
        m_scale = 1e6;
        return;
    }
    // Unknown: the first coordinate decides (see toMap).
    m_scale = 0;
    m_coordSysText = std::string(trimmed(rest));
}

void MifImporter::readColumns(std::string_view rest) {
    int64_t declared = 0;
    if (!takeInteger(rest, declared) || declared < 0) {
        problem([] { return std::string("COLUMNS without a valid count"); });
        declared = 0;
    }
    const uint64_t room = m_lines.remaining() / kMinBytesPerPart;
    if (static_cast<uint64_t>(declared) > room) {
        problem([&] {
            return "COLUMNS declares " + std::to_string(declared) + " columns; the rest of the file holds at most " +
                   std::to_string(room);
        });
        declared = static_cast<int64_t>(room);
    }
    std::string_view line;
    for (int64_t i = 0; i < declared;) {
        if (!fetch(line)) return;
        if (isBlankLine(line)) continue;
        if (equalsNoCase(trimmed(line), "Data")) {
            problem([&] {
                return "COLUMNS declares " + std::to_string(declared) + " columns; " + std::to_string(i) +
                       " found";
            });
            m_lines.pushBack();
            return;
        }
        m_names.convert(columnName(line), m_scratch);
        m_address.addColumn(m_scratch);
        ++i;
    }
}

} // namespace mif

ImportResult ImportMIF(TObjectSink& sink, ByteSource& mif, ByteSource* mid, const std::string& mifName,
                       const std::string& midName, const MifImportOptions& options) {
    std::string midLabel = midName;
    if (midLabel.empty()) {
        const std::size_t dot = mifName.rfind('.');
        const std::size_t slash = mifName.find_last_of("/\\");
        const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
        midLabel = (hasExt ? mifName.substr(0, dot) : mifName) + ".mid";
    }
    mif::MifImporter importer(sink, mif, mid, mifName, midLabel, options);
    return importer.run();
}

} // namespace kestrum

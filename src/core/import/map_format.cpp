#include "import/map_format.h"

#include "import/mif_import.h"
#include "import/polish_import.h"
#include "io/byte_source.h"
#include "io/file_open.h"
#include "io/le.h"
#include "model/map_header.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

namespace kestrum {

namespace {

constexpr std::size_t kVersionAt = 41;
constexpr std::size_t kSignatureMax = 40; // the signature is a ShortString[40]

std::string upper(std::string_view s) {
    std::string u(s);
    std::transform(u.begin(), u.end(), u.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return u;
}

bool startsWithWord(std::string_view line, std::string_view word) {
    if (line.size() < word.size()) return false;
    for (std::size_t i = 0; i < word.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(line[i])) != std::toupper(static_cast<unsigned char>(word[i])))
            return false;
    return line.size() == word.size() || line[word.size()] == ' ' || line[word.size()] == '\t' ||
           line[word.size()] == '\r';
}

// MapInfo writes "Version 300" first; some converters put blank lines before it or leave it
// out, so a "Columns" line followed later by a "Data" line counts too.
bool looksLikeMif(std::string_view text) {
    if (sniffMIF(text)) return true;
    bool first = true, columns = false;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
        if (!line.empty() && line != "\r") {
            if (first && startsWithWord(line, "Version")) {
                std::string_view rest = line.substr(7);
                while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t')) rest.remove_prefix(1);
                if (!rest.empty() && std::isdigit(static_cast<unsigned char>(rest.front()))) return true;
            }
            first = false;
            if (startsWithWord(line, "Columns")) columns = true;
            if (columns && startsWithWord(line, "Data")) return true;
        }
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    return false;
}

// Text in any single-byte code page or UTF-8: no NUL and hardly any other control bytes.
bool looksLikeText(std::span<const uint8_t> head) {
    if (head.empty()) return false;
    std::size_t control = 0;
    for (uint8_t b : head) {
        if (b == 0) return false;
        if (b < 0x20 && b != '\n' && b != '\r' && b != '\t' && b != '\f') ++control;
    }
    return control * 100 <= head.size();
}

std::optional<int32_t> storedVersion(std::span<const uint8_t> head) {
    if (head.size() < kVersionAt + 4) return std::nullopt;
    return le::load<int32_t>(head.data() + kVersionAt);
}

} // namespace

std::string_view describeMapFormat(MapFormat f) {
    switch (f) {
    case MapFormat::Map: return "a .MAP map";
    case MapFormat::Polish: return "a Polish-format map";
    case MapFormat::Mif: return "a MIF file";
    case MapFormat::Unknown: break;
    }
    return "not a map";
}

MapFormat mapFormatFromExtension(std::string_view path) {
    const std::string ext = upper(pathToUtf8(pathFromUtf8(path).extension()));
    if (ext == ".MAP") return MapFormat::Map;
    if (ext == ".MP") return MapFormat::Polish;
    if (ext == ".MIF") return MapFormat::Mif;
    return MapFormat::Unknown;
}

MapFormat sniffMapFormat(std::span<const uint8_t> head) {
    // Bytes 42 to 44 of a known version are zero, which no text has.
    if (const auto v = storedVersion(head); v && *v >= 1 && *v <= kCurrentMapVersion) return MapFormat::Map;
    if (sniffPolish(head)) return MapFormat::Polish;
    if (looksLikeMif(std::string_view(reinterpret_cast<const char*>(head.data()), head.size())))
        return MapFormat::Mif;
    return MapFormat::Unknown;
}

MapFileKind identifyMapFile(const std::string& path) {
    namespace fs = std::filesystem;
    MapFileKind kind;
    std::error_code ec;
    if (fs::is_directory(pathFromUtf8(path), ec)) {
        kind.problem = "is a folder, not a map file";
        return kind;
    }
    FileSource src(path); // throws for a file that is missing or cannot be opened
    kind.size = src.size();
    std::vector<uint8_t> head(static_cast<std::size_t>(std::min<uint64_t>(kind.size, kMapSniffBytes)));
    head.resize(src.read(head.data(), head.size()));
    kind.format = sniffMapFormat(head);
    if (kind.format != MapFormat::Unknown) return kind;

    const MapFormat byName = mapFormatFromExtension(path);
    const bool text = looksLikeText(head);
    if (byName == MapFormat::Map && head.size() < kVersionAt + 4 && (head.empty() || head[0] <= kSignatureMax) &&
        !(text && head.size() > 1)) {
        kind.format = MapFormat::Map; // a header cut short: its reader names the damage
        return kind;
    }
    if (head.empty()) {
        kind.problem = "is empty, not a map file";
    } else if (const auto v = storedVersion(head); v && !text && *v > kCurrentMapVersion && *v <= 0xFF) {
        kind.problem = "is a .MAP of format version " + std::to_string(*v) + ", which this program cannot read (it reads 1 to " +
                       std::to_string(kCurrentMapVersion) + ")";
    } else if (text) {
        kind.problem = "is a text file, not a map: it has no Polish-format section such as [IMG ID] and no MIF header";
    } else {
        kind.problem = "is not a map file: it has no .MAP header (a format version from 1 to " +
                       std::to_string(kCurrentMapVersion) + " at byte 41), and it is not Polish-format or MIF text";
    }
    return kind;
}

} // namespace kestrum

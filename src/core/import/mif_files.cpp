#include "import/mif_import.h"

#include "import/mif_lines.h"
#include "io/byte_source.h"
#include "io/file_open.h"

#include <system_error>

namespace kestrum {

using mif::equalsNoCase;
using mif::takeWord;

std::optional<std::filesystem::path> findMidBeside(const std::filesystem::path& mifPath) {
    namespace fs = std::filesystem;
    // Names as UTF-8: Windows would turn them into its ANSI code page, where Cyrillic is lost.
    const std::string name = pathToUtf8(mifPath.filename());
    const std::size_t dot = name.rfind('.');
    const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
    const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    // The MIF's own letter case first ("MIF" -> "MID", "Mif" -> "Mid"), then the usual two.
    std::string mirrored = "mid";
    for (std::size_t i = 0; i < 3 && i < ext.size(); ++i)
        if (ext[i] >= 'A' && ext[i] <= 'Z') mirrored[i] = static_cast<char>(mirrored[i] - 32);
    const fs::path dir = mifPath.parent_path();
    std::error_code ec;
    for (const std::string& e : {mirrored, std::string("mid"), std::string("MID")}) {
        const fs::path p = dir / pathFromUtf8(stem + "." + e);
        if (fs::is_regular_file(p, ec)) return p;
    }
    // Any other mixture of cases ("a.mId"): look through the folder.
    const std::string want = stem + ".mid";
    for (fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string n = pathToUtf8(it->path().filename());
        if (n.size() == want.size() && equalsNoCase(n.substr(stem.size()), ".mid") &&
            n.compare(0, stem.size(), stem) == 0 && it->is_regular_file(ec))
            return it->path();
    }
    return std::nullopt;
}

ImportResult ImportMIFFile(TObjectSink& sink, const std::filesystem::path& mifPath) {
    const std::string mifName = pathToUtf8(mifPath);
    FileSource mif(mifName);
    std::optional<FileSource> mid;
    std::string midName;
    std::optional<ImportProblem> midFailure;
    if (const auto midPath = findMidBeside(mifPath)) {
        midName = pathToUtf8(*midPath);
        try {
            mid.emplace(midName);
        } catch (const FileError& e) {
            midFailure = ImportProblem{midName, 0, e.what()};
        }
    }
    ImportResult r = ImportMIF(sink, mif, mid ? &*mid : nullptr, mifName, midName);
    if (midFailure) {
        if (!r.firstProblem) r.firstProblem = *midFailure;
        ++r.problems;
    }
    return r;
}

bool sniffMIF(std::string_view head) {
    if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
    std::string_view rest = head;
    return equalsNoCase(takeWord(rest), "Version");
}

} // namespace kestrum

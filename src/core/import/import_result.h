#pragma once
// What an importer of a foreign map file reports to its caller. Importers never throw on bad
// content: they keep what they could read and describe the first thing that went wrong.

#include <cstdint>
#include <optional>
#include <string>

namespace kestrum {

struct ImportProblem {
    std::string file;   // the file the problem was found in, as the caller named it
    int64_t line = 0;   // 1-based line; 0 when the problem belongs to no single line
    std::string message;
};

struct ImportResult {
    int objects = 0;  // map objects posted to the document
    int records = 0;  // objects of the source file read (one may give several map objects, or none)
    int skipped = 0;  // records of kinds the map does not show, or without any point
    bool cancelled = false;

    // Damage: something in the file was broken and what it described is lost or incomplete.
    std::optional<ImportProblem> firstProblem;
    int problems = 0;
    // Content changed to fit the map (characters the map's code page lacks, an unknown
    // character set guessed at); nothing was lost from the structure of the file.
    std::optional<ImportProblem> firstWarning;
    int warnings = 0;

    void addProblem(std::string file, int64_t line, std::string message) {
        if (!firstProblem) firstProblem = ImportProblem{std::move(file), line, std::move(message)};
        ++problems;
    }
    void addWarning(std::string file, int64_t line, std::string message) {
        if (!firstWarning) firstWarning = ImportProblem{std::move(file), line, std::move(message)};
        ++warnings;
    }
};

} // namespace kestrum

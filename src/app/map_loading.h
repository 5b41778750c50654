#pragma once
// Reading any map file the tool accepts: ".MAP" through the reader, ".MP" and ".MIF" through
// their importers.

#include "component/korvane.h"
#include "import/map_format.h"

#include <string>

namespace kestrum::app {

struct LoadOutcome {
    bool damaged = false;
    std::string damage;   // "FILE: ..." naming the byte or line, when damaged
    std::string warning;  // content changed to fit the map (characters, a guessed encoding)
};

enum class LoadPurpose { Inspect, View };

// The file's format by its content (its name only where content cannot tell). Throws FileError
// naming the file and what it is not when it is no map at all, or cannot be opened.
MapFormat checkMapFile(const std::string& path);

// Throws FileError when the file cannot be opened at all or is no map (checkMapFile). With
// LoadPurpose::View the map is set up as the viewer shows it (filter, nominal scale, whole map
// fitted).
LoadOutcome loadAnyMap(TKorvane& map, const std::string& path, LoadPurpose purpose);

// Prints the outcome's lines to stderr; returns the exit code (0 or 2).
int reportOutcome(const LoadOutcome& outcome);

} // namespace kestrum::app

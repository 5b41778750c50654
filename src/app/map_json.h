#pragma once
// The JSON form of a map that `kestrum info --json` prints: a contract other tools parse.

#include "model/map_document.h"

#include <ostream>

namespace kestrum {

// `header` stands for the document's own: the header as the file gave it.
void writeMapJson(std::ostream& out, const MapDocument& doc, const MapHeader& header);

} // namespace kestrum

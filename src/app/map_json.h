#pragma once
// The JSON form of a map that `kestrum info --json` prints: a contract other tools parse.

#include "model/map_document.h"

#include <ostream>

namespace kestrum {

void writeMapJson(std::ostream& out, const MapDocument& doc);

} // namespace kestrum

#pragma once
// What a map file holds: header, dictionaries and objects, plus the extent of the objects.
// Components linked to one map share one document.

#include "model/dictionary.h"
#include "model/map_header.h"
#include "model/map_object.h"

namespace kestrum {

struct MapDocument {
    MapHeader header;
    TQevMapList objects;
    TMapDictionary streets;
    TMapDictionary towns;
    TMapRect extent;
    CodePage codePage = CodePage::Cp1251;

    // Address names of an object (empty strings when it has none).
    TAdres DecodeAddress(const TQEVMapObjectMem& obj) const;
    // Empties objects, dictionaries and extent; the header is reset to a new map's.
    void clear();
};

} // namespace kestrum

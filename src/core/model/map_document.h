#pragma once
// What a map file holds: header, dictionaries and objects, plus the extent of the objects.
// Components linked to one map share one document.

#include "model/dictionary.h"
#include "model/map_header.h"
#include "model/map_object.h"

#include <optional>
#include <string>

namespace kestrum {

struct MapDocument {
    MapHeader header;
    TQevMapList objects;
    TMapDictionary streets;
    TMapDictionary towns;
    TMapRect extent;
    // The code page of every text of the map; a ".MAP" file is always Windows-1251.
    CodePage codePage = CodePage::Cp1251;
    // Of a map imported from a text file: the code page its header declared (0 for none) and
    // the encoding its text turned out to be in ("UTF-8", "Windows-1252", "ASCII").
    struct TextSource {
        int declaredCodePage = 0;
        std::string foundEncoding;
    };
    std::optional<TextSource> textSource;

    // The code page of the texts, the dictionaries' letter case rules included.
    void setCodePage(CodePage cp);

    // Address names of an object (empty strings when it has none).
    TAdres DecodeAddress(const TQEVMapObjectMem& obj) const;
    // Empties objects, dictionaries and extent; the header is reset to a new map's.
    void clear();
};

} // namespace kestrum

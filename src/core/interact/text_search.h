#pragma once
// Finding map objects by their words: street names and addresses, text labels and note texts.
// Texts stay in the map's code page; they are compared as Unicode, folded to one case when the
// search ignores case (Latin, Latin-1 and Cyrillic letters).

#include "model/map_document.h"
#include "model/types.h"

#include <optional>
#include <string>
#include <string_view>

namespace kestrum {

struct TextSearchOptions {
    bool matchCase = false;
    bool backwards = false;
    // From the first object (the last one backwards) instead of after `from`.
    bool fromStart = false;
};

struct TextMatch {
    int index = -1; // top-level object; a group is found by the words of its members
    TMapRect box;   // of the object (or the group's member) whose words matched
};

// The next object after `from` (before it, backwards) whose words contain `needleUtf8`; -1 or
// `fromStart` begins at the end of the list the search walks from. Nothing for an empty needle.
std::optional<TextMatch> FindText(const MapDocument& doc, std::string_view needleUtf8, int from,
                                  const TextSearchOptions& options = {});

// The words a search looks at, in the map's code page: the address (town, street and house,
// each alone and the street with its house), a label's text, a note's text.
std::vector<std::string> SearchableTexts(const MapDocument& doc, const TQEVMapObjectMem& obj);

// One case for comparing, by Unicode letter.
char32_t foldCase(char32_t ch);

} // namespace kestrum

#pragma once
// Writing an object into a document: what the map component's edit buffer and an importer
// filling a bare document both do, kept here once so that the two cannot drift apart.

#include "model/map_document.h"
#include "model/text_measure.h"

#include <cstdint>
#include <functional>
#include <string_view>

namespace kestrum {

// The parts of a document a post changes. A component linked to another's document keeps a
// header and an extent of its own beside the shared objects and dictionaries, hence references
// rather than one document.
struct PostTarget {
    MapHeader& header;
    TQevMapList& objects;
    TMapDictionary& streets;
    TMapDictionary& towns;
    TMapRect& extent;

    explicit PostTarget(MapDocument& doc)
        : header(doc.header), objects(doc.objects), streets(doc.streets), towns(doc.towns), extent(doc.extent) {}
    PostTarget(MapHeader& h, TQevMapList& o, TMapDictionary& s, TMapDictionary& t, TMapRect& e)
        : header(h), objects(o), streets(s), towns(t), extent(e) {}
};

// Code of a name in the street or town dictionary (-1 for an empty name); a new name is added,
// the header's next code and count follow, and `added` is set.
int32_t streetCodeOf(PostTarget& target, std::string_view name, bool& added);
int32_t townCodeOf(PostTarget& target, std::string_view name, bool& added);

// The address names a post encodes, as views: the edit buffer's strings are not copied per post.
struct AddressViews {
    std::string_view Town, Street, House, Street1, House1;
    AddressViews() = default;
    explicit AddressViews(const TAdres& a)
        : Town(a.Town), Street(a.Street), House(a.House), Street1(a.Street1), House1(a.House1) {}
};

// Whether a post stores the object: it has data, and a text has text.
bool isPostable(const TQEVMapObjectMem& obj);

// The address names as codes into the object; names new to a dictionary are added. A house
// number alone is no address: without town and streets the object's address is cleared. A
// second street without a first takes the first's place. True when a dictionary grew.
bool encodeAddress(PostTarget& target, TQEVMapObjectMem& obj, const AddressViews& names);

// The object's corners (texts measured, a group's members too). The font names are copied for
// texts and groups alone, not for every object an importer posts.
void updateCorners(TQEVMapObjectMem& obj, const TextMeasurer& measurer, const FontNames& fonts);

// The text or note block of an object of that kind; false (nothing changed) for another kind.
bool encodeTextBlock(TQEVMapObjectMem& obj, const TQEVMapText& text);
bool encodeNoteBlock(TQEVMapObjectMem& obj, const TQEVMapZametka& note);

enum class PostCopy : uint8_t {
    Move, // the object moves into the document; what is left of it is empty
    Copy, // the document gets the one copy made; the object stays as it is
};

struct PostOutcome {
    int index = -1; // of the object in the list
    bool appended = false;
    bool dictionaryGrew = false;
};

// Writes a postable object over the one at `index`, or appends it when `index` is negative or
// at or beyond the end: the address names become codes, `corners` computes the corners (texts
// measured as the caller draws them; see updateCorners), and only an
// append sets Center (a post over an object keeps the Center its user placed) and advances
// NextID. The extent grows by the corners (it is the object's box when it is the only one);
// the header counts the objects.
PostOutcome postObject(PostTarget target, TQEVMapObjectMem& obj, const AddressViews& names, int index, PostCopy copy,
                       const std::function<void(TQEVMapObjectMem&)>& corners);

} // namespace kestrum

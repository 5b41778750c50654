#include "model/object_post.h"

#include <algorithm>

namespace kestrum {

int32_t streetCodeOf(PostTarget& target, std::string_view name, bool& added) {
    bool grew = false;
    const int32_t code = target.streets.codeOf(name, target.header.NextStreetCode, &grew);
    if (grew) target.header.StreetCount = target.streets.count(), added = true;
    return code;
}

int32_t townCodeOf(PostTarget& target, std::string_view name, bool& added) {
    bool grew = false;
    const int32_t code = target.towns.codeOf(name, target.header.NextTownCode, &grew);
    if (grew) target.header.TownCount = target.towns.count(), added = true;
    return code;
}

bool isPostable(const TQEVMapObjectMem& obj) {
    const bool emptyText = obj.Kind == cText && (!obj.text() || obj.text()->Text.empty());
    return obj.DataCount > 0 && !emptyText;
}

bool encodeAddress(PostTarget& target, TQEVMapObjectMem& obj, const AddressViews& names) {
    const std::string_view town = trimmed(names.Town);
    std::string_view street = trimmed(names.Street), street1 = trimmed(names.Street1);
    std::string_view house = trimmed(names.House), house1 = trimmed(names.House1);
    if (town.empty() && street.empty() && street1.empty()) {
        obj.clearAddress();
        return false;
    }
    if (street.empty() && !street1.empty()) {
        street = street1, house = house1;
        street1 = {}, house1 = {};
    }
    bool added = false;
    TAddressCode code;
    code.TownCode = static_cast<int16_t>(townCodeOf(target, town, added));
    code.StreetCode = static_cast<int16_t>(streetCodeOf(target, street, added));
    code.House.assign(house);
    if (!street1.empty()) {
        code.Street1Code = static_cast<int16_t>(streetCodeOf(target, street1, added));
        code.House1.assign(house1);
    }
    obj.setAddress(code);
    return added;
}

void updateCorners(TQEVMapObjectMem& obj, const TextMeasurer& measurer, const FontNames& fonts) {
    static const FontNames unused;
    ComputeCorners(obj, measurer, obj.Kind == cText || obj.Kind == cGroup ? fonts : unused);
}

bool encodeTextBlock(TQEVMapObjectMem& obj, const TQEVMapText& text) {
    if (obj.Kind != cText) return false;
    obj.setText(text);
    return true;
}

bool encodeNoteBlock(TQEVMapObjectMem& obj, const TQEVMapZametka& note) {
    if (obj.Kind != cZametka) return false;
    obj.setNote(note);
    return true;
}

PostOutcome postObject(PostTarget target, TQEVMapObjectMem& obj, const AddressViews& names, int index, PostCopy copy,
                       const std::function<void(TQEVMapObjectMem&)>& corners) {
    PostOutcome out;
    out.dictionaryGrew = encodeAddress(target, obj, names);
    corners(obj);
    const TMapRect grow = CornerBox(obj);
    out.appended = index < 0 || index >= target.objects.count();
    if (out.appended) ComputeCenter(obj);
    TQEVMapObjectMem stored = copy == PostCopy::Copy ? DeepCopy(obj) : std::move(obj);
    if (out.appended) {
        out.index = target.objects.Add(std::move(stored));
        ++target.header.NextID;
    } else {
        out.index = index;
        target.objects.Replace(index, std::move(stored));
    }
    TMapRect& e = target.extent;
    if (target.objects.count() == 1) {
        e = grow;
    } else {
        e.MinX = std::min(e.MinX, grow.MinX), e.MinY = std::min(e.MinY, grow.MinY);
        e.MaxX = std::max(e.MaxX, grow.MaxX), e.MaxY = std::max(e.MaxY, grow.MaxY);
    }
    target.header.ObjectCount = target.objects.count();
    return out;
}

} // namespace kestrum

#pragma once
// Finding the objects under a map point, and the address at a point as the viewer asks for it.
// The search sees the map as it is drawn: through the view's scale, in the 3D view with the
// buildings' walls and roofs, with the filter and the note pictures in force; the component
// answers for those through THitScene.

#include "image/image.h"
#include "model/class_set.h"
#include "model/map_document.h"
#include "model/map_options.h"

#include <span>
#include <string>
#include <vector>

namespace kestrum {

// What a point search found: the address names and, for a note, its text.
struct TFoundAddress {
    bool found = false;
    bool hasAddress = false;
    TAdres adres;
    std::string noteText;
};

// What hit testing asks of the map it searches.
class THitScene {
  public:
    virtual ~THitScene() = default;
    virtual const MapDocument& HitDocument() const = 0;
    // Objects of other classes are never hit.
    virtual const TClassSet& PickSet() const = 0;
    virtual const tQevMapOptions& HitOptions() const = 0;
    virtual double HitScale() const = 0;
    // The 3D view is drawn at this scale.
    virtual bool HitIn3D() const = 0;
    // The height an object is drawn with in the 3D view (after the application's hook).
    virtual float DrawnHeight(const TQEVMapObjectMem& obj) = 0;
    // The picture drawn for a note: its size on screen is what a click can hit.
    virtual const TImage& NotePicture(const TQEVMapObjectMem& note) = 0;
    // The filter in force lets the object be drawn.
    virtual bool PassesHitFilter(const TQEVMapObjectMem& obj) const = 0;
    // An extruded object's distance from the eye line, as the drawing orders the buildings.
    virtual double DrawnEyeDistance(const TQEVMapObjectMem& obj) const = 0;
};

class THitTester {
  public:
    explicit THitTester(THitScene& scene) : m_scene(scene) {}

    // Indices of the objects under a world point, in drawing order: the topmost last.
    std::vector<int> HitTest(TMapPoint p) const;
    bool HitObject(const TQEVMapObjectMem& obj, TMapPoint p) const;

    // Walks `hits` (as HitTest gives them) from the topmost down to the first that carries an
    // address or a note's text. `walkedTo` is the index where the walk stopped (the last hit
    // looked at), -1 for no hits.
    struct AddressHit {
        TFoundAddress found;
        int walkedTo = -1;
    };
    AddressHit AddressAt(std::span<const int> hits) const;

  private:
    // What a search reads once, not for every object.
    struct View {
        const TClassSet& pick;
        const tQevMapOptions& options;
        double scale;
        bool threeD;
    };
    View CurrentView() const;
    bool Hit(const TQEVMapObjectMem& obj, TMapPoint p, const View& view) const;

    THitScene& m_scene;
};

} // namespace kestrum

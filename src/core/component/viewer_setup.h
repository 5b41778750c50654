#pragma once
// How the viewer configures the general-purpose map component: a read-mostly map on white, with
// house numbers, 3D buildings and the whole map fitted after every load.

#include "component/korvane.h"
#include "render/street_label.h"

#include <string>

namespace kestrum {

// The view set-up the viewer applies once when it creates its map.
void ApplyViewerSetup(TKorvane& map);

// The viewer's ".MAP" load: drawing suspended, the file read, the boxes of large texts measured,
// the class filter on with every class visible and the nominal scale 1:5000. A missing file
// leaves an empty map. Stream failures (FileError) propagate; the caller decides what to show.
MapReadResult LoadMapForViewing(TKorvane& map, const std::string& path);

// After an import: large text boxes, the class filter on with every class visible, 1:5000, the
// extent recomputed and the whole map fitted.
void FinishImportForViewing(TKorvane& map);

// Corners of texts of FontSize 1000 and more, measured on the drawing back end at height 1000.
void RecomputeLargeTextBoxes(TKorvane& map);

// The viewer's drawing adjustments, installed as the map's hooks: oversized texts hidden, lines
// drawn with their own pen and height, notes captioned with their first line, pixel lines in an
// 11:5 rhythm of pen and brush colour, house numbers in black, street names along addressed lines
// (on top of everything, while the map's Tag is 1), a redraw after every scroll.
struct ViewerHooks {
    int pixelCounter = 0; // shared by all pixel lines, as the rhythm runs on across them
    TStreetLabels streetLabels;
};
void InstallViewerHooks(TKorvane& map, ViewerHooks& state);

// The balloon text of a point search: the five address lines (each ended by a line feed) and a
// note's text; then pairs of line feeds squeezed to one in a single pass and zero bytes made
// blanks. Empty when nothing was found.
std::string AddressText(const TFoundAddress& found);
std::string BalloonText(std::string text);

} // namespace kestrum

#pragma once
// How the viewer configures the general-purpose map component: a read-mostly map on white, with
// house numbers, 3D buildings and the whole map fitted after every load.

#include "component/korvane.h"

#include <string>

namespace kestrum {

// The view set-up the viewer applies once when it creates its map.
void ApplyViewerSetup(TKorvane& map);

// The viewer's ".MAP" load: drawing suspended, the file read, the boxes of large texts measured,
// the class filter on with every class visible and the nominal scale 1:5000. A missing file
// leaves an empty map. Stream failures (FileError) propagate; the caller decides what to show.
MapReadResult LoadMapForViewing(TKorvane& map, const std::string& path);

// Corners of texts of FontSize 1000 and more, measured on the drawing back end at height 1000.
void RecomputeLargeTextBoxes(TKorvane& map);

} // namespace kestrum

#pragma once
// Thumbnails of whole maps for file panels: drawn without a window, at most as large as asked,
// with the map's own proportions (the host centres the picture and fills around it).

#include <QImage>

#include <string>

namespace kestrum::plugin {

// Null when the file is no map this viewer shows, cannot be read or holds nothing, or when the
// process has no GUI application to draw with. Never throws.
QImage RenderThumbnail(const std::string& path, int maxWidth, int maxHeight);

} // namespace kestrum::plugin

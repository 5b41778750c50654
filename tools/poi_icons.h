#pragma once
// The pictures drawn for points of Polish-format maps that no built-in picture shows (see
// src/core/import/polish_icons.h): appended to the built-in library after its own pictures.

#include "icons/icon_file.h"

#include <vector>

std::vector<kestrum::IconPicture> polishIconPictures();

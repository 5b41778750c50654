#pragma once
#include "render/draw.h"

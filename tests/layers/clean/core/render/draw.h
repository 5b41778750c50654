#pragma once
#include "model/point.h"

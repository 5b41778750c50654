#include "back_end.h"
#include "model/point.h"

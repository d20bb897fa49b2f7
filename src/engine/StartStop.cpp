#include "engine/StartStop.h"

#include "engine/TestEngine.h"

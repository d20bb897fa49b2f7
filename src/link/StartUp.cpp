#include "link/StartUp.h"

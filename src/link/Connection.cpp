#include "link/Connection.h"

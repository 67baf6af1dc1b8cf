#include "sim/SimHost.h"

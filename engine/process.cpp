#include "engine/geq15.h"

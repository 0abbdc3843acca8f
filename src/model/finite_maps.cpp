// The finite maps are templates over their key and element types and live in the header;
// this unit makes sure the header stands on its own.
#include "model/finite_maps.h"

// The finite maps are templates over their key and element types and live in the header;
// this unit makes sure the header stands on its own.
#include "support/finite_maps.h"

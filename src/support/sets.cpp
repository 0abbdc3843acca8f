// The sets are templates over their element type and live in the header; this unit makes
// sure the header stands on its own.
#include "support/sets.h"

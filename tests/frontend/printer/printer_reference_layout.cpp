// The exhaustive layout library of the text tests, built into the printer's tests too.
#include "layout/frozen_reference.cpp"  // NOLINT(bugprone-suspicious-include)

// The exhaustive layout library of the text tests, built into the printer's tests too.
#include "text/pretty_reference.cpp"  // NOLINT(bugprone-suspicious-include)

// The exhaustive layout library of the text tests, built into the printer's tests too.
#include "layout/lazy_rules.cpp"  // NOLINT(bugprone-suspicious-include)

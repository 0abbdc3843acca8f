// The printer: types, expressions, constants, declarations, equations, theories and
// programs turned into layout documents, and the string renderers built on them.
#pragma once

#include "frontend/printer/expressions.h"
#include "frontend/printer/layouts.h"
#include "frontend/printer/programs.h"
#include "frontend/printer/theories.h"
#include "frontend/printer/types.h"

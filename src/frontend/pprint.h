// The printer: types, expressions, constants, declarations, equations, theories and
// programs turned into layout documents, and the string renderers built on them.
#pragma once

#include "frontend/pprint_expr.h"
#include "frontend/pprint_layout.h"
#include "frontend/pprint_program.h"
#include "frontend/pprint_theory.h"
#include "frontend/pprint_types.h"

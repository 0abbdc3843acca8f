// The loading commands: `loadprogram`, `loadtheory`, `choosetheory` and `applytransform`.
#pragma once

#include <string>

#include "interp/state.h"
#include "model/syntax.h"

namespace plim {

// The parsed program file of the loaded program; "no program loaded" when there is none.
const SourceFile& programSource(const CmdState& s);

// Each takes the file or transformation name and the state and returns the next state.  The
// file names arrive with their ending (".p", ".eq") and get the state's path in front.
CmdState loadProgram(const std::string& fileName, const CmdState& s);
CmdState loadTheory(const std::string& fileName, const CmdState& s);
CmdState chooseTheory(const std::string& transformation, const CmdState& s);
CmdState applyTransform(const std::string& transformation, const CmdState& s);

}  // namespace plim

// The loading commands: `loadprogram`, `loadtheory`, `choosetheory` and `applytransform`, and
// what they share with the rewriting commands: the loaded program, the environment that
// theories and command arguments are checked against, and the writing of reports.
#pragma once

#include <string>

#include "frontend/assembly/assembly.h"
#include "frontend/typecheck/checker.h"
#include "shell/state.h"
#include "lang/syntax.h"

namespace plim {

// The program as loaded, or as rebuilt by `applytransform`.
struct LoadedProgram {
    ProgramInfo info;
};

// The parsed program file of the loaded program; "no program loaded" when there is none.
SourceFile programSource(const CmdState& s);
// The loaded program's names as the checker's environment, read when the checker first looks
// a name up: "no program loaded" then when there is none.
Lazy<CheckEnv> checkEnvOf(const CmdState& s);
// The definition-rule table of a theory checked on its own: there is none, and a DEFINITION
// header that would consult it is the user's error.
Lazy<DefnRules> noDefinitionRules();
// The reports, each written as soon as it is computed.
void writeMessages(const Messages& messages);

// Each takes the file or transformation name and the state and returns the next state.  The
// file names arrive with their ending (".p", ".eq") and get the state's path in front.
CmdState loadProgram(const std::string& fileName, const CmdState& s);
CmdState loadTheory(const std::string& fileName, const CmdState& s);
CmdState chooseTheory(const std::string& transformation, const CmdState& s);
CmdState applyTransform(const std::string& transformation, const CmdState& s);

}  // namespace plim

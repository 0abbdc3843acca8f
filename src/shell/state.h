// The interpreter state: everything one run remembers between commands.  Every command builds
// a new state from the old one; nothing is changed in place.
//
// The four fields that come from a loaded program (its name environment, its transformation
// theories and entries, and its source) are set together by `loadprogram` and
// `applytransform`, so they are held together in one `LoadedProgram` (loading.h); before the
// first load that handle is empty and reading any of them raises "no program loaded".
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/matching/matcher.h"
#include "frontend/printer/theories.h"
#include "lang/syntax.h"

namespace plim {

struct LoadedProgram;  // loading.h

using Theory_ = std::vector<Rule>;

struct CmdState {
    std::string path;                                 // "" or ends in "/"
    std::shared_ptr<const LoadedProgram> program;     // empty: no program loaded
    std::shared_ptr<const std::vector<Rule>> theory;  // empty: no theory loaded
    bool inScript = false;
    std::string debugFile;  // "" means no page
    MatcherRef matcher;
    std::int32_t width = 80;
};

// Empty path, no program, no theory, not in a script, no debugging file, the fast matcher,
// width 80.
CmdState initialState();

// The current theory; "no theory loaded" when none was loaded or chosen.
const std::vector<Rule>& currentTheory(const CmdState& s);
// The loaded program; "no program loaded" when there is none.
const LoadedProgram& loadedProgram(const CmdState& s);

// "" stays ""; a path without a final "/" gains one; anything else is kept as it is.
std::string normalisePath(const std::string& p);

// Every constructor constant of e turned into a variable of the same name and type; abstraction
// patterns are kept, let definitions and body are treated alike.
Expr unfreeze(const Expr& e);

}  // namespace plim

// Program assembly: a parsed program file becomes the program the interpreter holds.
//
//   Assembly a = assembleProgram(file);             // nothing is computed yet
//   std::cout << concatProgramErrors(a.messages);   // type reports, in order (or
//   writeTheoryErrors(a.messages, std::cout);       // one at a time, before an error cell)
//   ProgramInfo info = a.info;
//   checkTheory(theo.elems, delay([info] { return info.programCheckEnv(); }), table);
//   if (auto entry = info.transformOfName("fuse"))
//       SourceFile merged = applyRedefine(*entry, rewriteOne);   // frontend/assembly/redefine.h
//
// Assembly walks the source elements twice.  The element view, in file order and without
// types, collects the definition rules (merged with the three built-in definitions), the
// transformation table and the program items, and what each element defines and uses; the
// elements are then grouped by mutual recursion (frontend/typecheck/recursion_groups.h) into blocks, and the block view
// types the blocks in that order.  Each result is computed once, when first read, and shared.
//
// Errors that belong to one entry fire only when that entry is read: looking up a name that
// two TRANSFORM blocks share, reading the rules of a name that a program definition and a
// built-in definition both define, checking a group in which a transformation block and a
// definition use each other.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "frontend/printer/theories.h"
#include "frontend/typecheck/builtins.h"
#include "frontend/typecheck/checker.h"
#include "frontend/typecheck/programs.h"
#include "lang/syntax.h"
#include "lang/types.h"
#include "support/lazy.h"

namespace plim {

// From a transformation name to the rules of its USING theory, if it has one.
using TheoryLookup = std::function<std::optional<RuleList>(const std::string&)>;

// What applying one transformation needs (the arguments of applyRedefine in order).
struct TrafoEntry {
    std::string name;                          // the transformation's name
    std::vector<std::string> redefinedNames;   // the names its REDEFINE part defines
    DList redefinitions;                       // its REDEFINE definitions
    std::vector<std::string> specifiedNames;   // the names its SPECIFYING part defines
    ProgramItems items;                        // the program's items, in source order
    TypeEnv env;                               // the program's type environment
    TheoryLookup theoryOf;                     // the program's theory of each transformation
};

// The assembled program.  A cheap handle; every field is computed when first read.
class ProgramInfo {
public:
    struct State;
    explicit ProgramInfo(std::shared_ptr<State> state) : state_(std::move(state)) {}

    // The top-level names with their generalised types, block by block; what theories and
    // command arguments are checked against.
    const TypeEnv& programEnv() const;
    // The same names as the checker's environment, for checkTheory.
    const CheckEnv& programCheckEnv() const;
    // The source file that was assembled: as read until the element view is built, then with
    // each definition in its plain form, which prints the same.
    SourceFile sourceFile() const;
    // A placeholder that nothing fills: reading it raises "sourcefile text not inserted".
    const std::string& sourceText() const;
    // The checked program, its blocks in grouping order.
    const Prog& program() const;
    // The names of the transformation blocks without prerequisites, in file order.
    const std::vector<std::string>& elementList() const;
    // The rules of the USING theory of the transformation block of that name (blocks without
    // prerequisite names only); two such blocks of one name raise "two TRANSFORM clauses with
    // the same name".
    std::optional<RuleList> theoryOfTransform(const std::string& name) const;
    // The entry of the transformation block of that name (blocks without prerequisite names
    // only); two such blocks of one name raise "Two transformations with the same name".
    std::optional<TrafoEntry> transformOfName(const std::string& name) const;

private:
    std::shared_ptr<State> state_;
};

// The program and its messages (type reports, each a complete text with its line breaks, in
// program order; the first one read checks the whole program).
struct Assembly {
    ProgramInfo info;
    Messages messages;
};

// Assembles a parsed program file; no work is done before a field or the messages are read.
Assembly assembleProgram(SourceFile file);

// The messages joined in order into one text.
std::string concatProgramErrors(const Messages& messages);

}  // namespace plim

// Checking programs: the two views of a program's source elements.
//
// The element view walks the elements in file order without computing types.  It collects the
// rules of the program's definitions, the transformation blocks by name, the program items
// (what applying a transformation rebuilds) and, for every element, the names it defines and
// uses, the input of the grouping by mutual recursion.
//
// The block view checks the groups in the order the grouping gives: each group of definitions
// is typed as one definition list and its generalised bindings are visible to every later
// group; a transformation block types its SPECIFYING list (visible to everything after it),
// its REDEFINE list (visible to nothing) and its USING theory.  One type pass runs over the
// whole program; the typed trees and the reports are read after it, under its substitution.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include <variant>

#include "frontend/typecheck/builtins.h"
#include "frontend/typecheck/checker.h"
#include "frontend/typecheck/recursion_groups.h"
#include "lang/syntax.h"
#include "support/finite_maps.h"
#include "support/lazy.h"

namespace plim {

// --- the element view ------------------------------------------------------------------------

// The checked rules of a theory, as the rewriting engine applies them.
using RuleList = std::vector<Rule>;

// A program item, the walked form of one source element: a definition with the names it
// defines, or a transformation block with its name.
struct DefinitionProgramItem {
    std::vector<std::string> names;
    Decl decl;
};
struct TransformProgramItem {
    std::string name;
    Rewrite rewrite;
};
using ProgramItem = std::variant<DefinitionProgramItem, TransformProgramItem>;
using ProgramItems = std::shared_ptr<const std::vector<ProgramItem>>;

// One element as the grouping carries it: the element (a transformation block with its
// DEFINITION headers expanded and its SPECIFYING rules in front of its theory), its line, and
// the DEFINITION names that the definition rules do not hold.
struct ElementPayload {
    Elem elem;
    std::int32_t line;
    std::vector<std::string> undefinedDefinitions;
};

// The part of a transformation entry that the block itself gives.
struct TrafoHead {
    std::string name;
    std::vector<std::string> redefinedNames;
    DList redefinitions;
    std::vector<std::string> specifiedNames;
};
// Transformation names to their heads; a name of two blocks raises "Two transformations with
// the same name" when its entry is read.
using TrafoTable = FiniteMap<std::string, Lazy<TrafoHead>>;

struct ElementView {
    // The elements as read, each definition in its plain form (the same text when printed),
    // so that the tree the reader built need not be kept beside the plain one.
    SourceFile source;
    std::vector<std::string> transformationNames;  // blocks without prerequisites, file order
    TrafoTable transformationTable;
    ProgramItems items;
    // The input of the grouping, handed over once (takeGroupInput): not kept beside the groups.
    std::shared_ptr<std::vector<GroupItem<ElementPayload>>> groupInput =
        std::make_shared<std::vector<GroupItem<ElementPayload>>>();
};

// The view's grouping input, moved out of it; the view holds an empty list afterwards.
std::vector<GroupItem<ElementPayload>> takeGroupInput(const ElementView& view);

// The syntactic attributes of the program's definitions, in file order.
using DefinitionSyntax = std::shared_ptr<const std::vector<DeclSyntax>>;
DefinitionSyntax definitionSyntax(const Elems& elems);
// The rules of the program's definitions labelled "definition of "; a name defined by several
// definitions has the rules of the later ones first.
DefnRules programDefinitionRules(const std::vector<DeclSyntax>& definitions);
// The built-in definitions' rules merged with the program's; a name in both raises
// "INTERNAL ERROR: attempt to redefine internal operator succeeded (it shouldn't!)" when its
// rules are read.
DefnRules withBuiltinRules(const DefnRules& programRules);
// The element view over the elements and their definitions' attributes; `table` (the merged
// definition rules) is read when a DEFINITION header of a transformation block is expanded.
ElementView checkElements(const Elems& elems, const std::vector<DeclSyntax>& definitions, const Lazy<DefnRules>& table);

// --- the block view ----------------------------------------------------------------------------

// Transformation names to the rules of their USING theories; a name of two blocks raises "two
// TRANSFORM clauses with the same name" when its entry is read.
using TransformationTheories = FiniteMap<std::string, Lazy<RuleList>>;

struct BlockView {
    Messages messages;      // block by block; the checked trees' texts, read after the pass
    TypeEnv bindings;       // the top-level names, block by block in program order
    TransformationTheories transformations;
    Lazy<Prog> program;     // the typed program
    std::exception_ptr failure;  // the error that stopped the pass, if any

    // Raises the error that stopped the pass; the bindings and tables are then incomplete.
    void requireComplete() const {
        if (failure) std::rethrow_exception(failure);
    }
};

// Type-checks the groups in order.  A group that holds a transformation block among other
// elements raises "Can't have mutually recursive elements involving a transformation block"
// when its turn comes: the pass stops there, the messages hold the reports of the blocks
// before it followed by a cell that raises the error, and every other field raises it.
BlockView checkBlocks(const std::vector<std::vector<ElementPayload>>& groups);

}  // namespace plim

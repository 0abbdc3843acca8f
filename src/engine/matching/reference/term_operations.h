// Operations on the reference matcher's terms that the matching core and the engine are built
// from: subterms with their paths, replacement at a path, variable and constant lists, the
// renaming, freezing and unbinding of locally bound variables, binder matching, eta
// contraction, equality up to renaming and eta, and the two tests that steer the engine.
//
// Walks over terms run on the iterative visitor (support/tree_walk.h) or, where they go down
// two terms side by side or stop early, on work stacks of their own, so long spines and deep
// nesting cost no call depth.  The operations that both matchers answer alike are written
// once (engine/matching/vocabulary_operations.h, renaming_equality.h, term_text.h).
#pragma once

#include <iterator>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <span>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/matching/local_renaming.h"
#include "engine/matching/reference/terms.h"
#include "engine/matching/term_vocabulary.h"
#include "engine/matching/vocabulary_operations.h"
#include "support/lazy.h"
#include "support/tree_walk.h"

namespace plim::ref {

namespace term_detail {

// Rebuilds a term bottom-up on the iterative visitor (support/tree_walk.h), so long spines cost
// no call depth.  skip(t) may give the result for t without entering it; post(t, parts) builds
// the result from the rebuilt subterms (none for a leaf).
template <class Skip, class Post>
Term rebuildTerm(const Term& root, const Skip& skip, const Post& post) {
    struct Visitor {
        const Skip& skip;
        const Post& post;
        std::optional<Term> enter(const Term& t, std::vector<Term>& children) {
            if (auto r = skip(t)) return std::optional<Term>(std::move(*r));
            const std::vector<Term>& parts = subterms(t);
            children.insert(children.end(), parts.begin(), parts.end());
            return std::nullopt;
        }
        Term leave(const Term& t, std::span<Term> parts) {
            return post(t, std::vector<Term>(std::make_move_iterator(parts.begin()), std::make_move_iterator(parts.end())));
        }
    } visitor{skip, post};
    return rebuildTree<Term, Term>(root, visitor);
}

}  // namespace term_detail

// --- positions ------------------------------------------------------------------------------

// A path shared by the positions below it: the steps from the root, held leaf first.
class StepList {
public:
    StepList() = default;
    StepList push(TermStep s) const;
    bool empty() const { return !cell_; }
    // Root first.
    Path toPath() const;

private:
    struct Cell {
        TermStep step;
        mutable std::shared_ptr<const Cell> up;  // unlinked by the destructor
        std::size_t length;
        Cell(TermStep s, std::shared_ptr<const Cell> u, std::size_t n) : step(s), up(std::move(u)), length(n) {}
        Cell(const Cell&) = delete;
        Cell& operator=(const Cell&) = delete;
        ~Cell();
    };
    explicit StepList(std::shared_ptr<const Cell> c) : cell_(std::move(c)) {}
    std::shared_ptr<const Cell> cell_;
};

struct Position {
    Term sub;
    StepList path;
};

// Every subterm with its path, in pre-order (the term itself first, function before
// argument, elements in order), produced as the list is read.
List<Position> positions(const Term& t);
// The local variables free in the subterm at pos of t, in order of occurrence with repetitions,
// each with whether a lambda of t above pos binds it.
std::vector<std::pair<std::string, bool>> freeLocalsAt(const Term& t, const Position& pos);

// --- replacement ----------------------------------------------------------------------------

// The node t with the child that the step enters replaced by c (for replaceAt and the rest,
// which are written once for both matchers: engine/matching/vocabulary_operations.h).
Term withChild(const Term& t, const TermStep& s, Term&& c);
using term_ops::replaceAll;
using term_ops::replaceAt;
using term_ops::replaceAtEta;

// --- names and constants --------------------------------------------------------------------

using term_ops::binderNames;
using term_ops::matchBinders;
using term_ops::occursLVar;
using term_ops::stripLams;
// The LVars not bound by a lambda inside t, in order of occurrence with repetitions.
std::vector<std::string> freeLocalsOf(const Term& t);
bool isFreeLocal(const std::string& x, const Term& t);
std::vector<std::string> patternVars(const Term& t);

// --- locally bound variables ----------------------------------------------------------------

// Written once for both matchers (engine/matching/local_renaming.h).
using local_renaming::freezeLocals;
using local_renaming::freezeLocalsAs;
using local_renaming::leadingLamVars;
using local_renaming::openLeadingLams;
using local_renaming::renameLocal;
using local_renaming::renameLocals;
using local_renaming::thawLocals;
using local_renaming::thawLocalsAs;
using NameMap = std::map<std::string, std::string>;

// --- renaming without capture -------------------------------------------------------------

using local_renaming::collectNames;
using local_renaming::freshVariant;
// The free LVars named as keys renamed to their values at once.  A lambda inside t whose
// binder would capture a renamed variable gets a fresh binder (a variant not in used) first.
Term renameFreeLocals(const NameMap& renaming, const Term& t, std::unordered_set<std::string>& used);
inline LamBinding renameBinder(const LamBinding& b, const NameMap& renaming) {
    return local_renaming::renameBinder<Term>(b, renaming);
}
using term_ops::bindersOnPath;

// --- binders and eta -------------------------------------------------------------------------

std::optional<std::vector<std::pair<std::string, Term>>> bindBinder(const LamBinding& b, const Term& t);
using term_ops::isEtaRedex;
using term_ops::etaReduce;
Term etaNormalise(const Term& t);
bool isEtaNormal(const Term& t);
bool bindersFit(const Term& t);

// --- equality and steering -------------------------------------------------------------------

// Equality up to the renaming of lambda-bound variables (engine/matching/renaming_equality.h),
// ns1 and ns2 bound around t1 and t2, innermost first.
bool termEqUpTo(const std::vector<std::string>& ns1, const std::vector<std::string>& ns2, const Term& t1,
                const Term& t2);
// Equality up to eta contraction and renaming of lambda-bound variables.
bool termEq(const Term& t1, const Term& t2);
// No term without pattern variables matches both t1 and t2, which hold no beta redex: walked
// side by side (through lambdas of one binder shape, applications and tuples of one length),
// they meet somewhere different constants, local variables, tuple lengths or node forms.  A
// lambda against another form is taken as the lambda of its eta step when its binder is one
// variable; lambdas of different binder shapes, and pattern variables, are passed over.  Types
// are not compared.
bool termsClash(const Term& t1, const Term& t2);
// Some application in t has a lambda as its function part.
bool holdsBetaRedex(const Term& t);
// A hash that terms equal under termEqUpTo (from any bound names) share: local variables
// count by their types alone, a binder by its shape.  For eta-contracted terms, as termEq
// compares them.
std::uint64_t termHash(const Term& t);
bool flexibleHead(const Term& t);
bool isTwoStepPattern(const Term& t);

}  // namespace plim::ref

static_assert(plim::TermVocabulary<plim::ref::Term>);

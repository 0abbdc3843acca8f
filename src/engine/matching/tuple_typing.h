// What the types of a flexible application to a tuple, f (x1, ..., xn), allow before the
// one-step candidates for its elements are searched.
//
// Every combination of element candidates closes into an image \ (v1, ..., vn) -> body that f
// must match, typed ((T1, ..., Tn)) -> R.  Each Ti either is xi's type (the constant
// abstraction) or is the type of the term that xi must match next (an abstracted subterm, or
// the argument of a decomposed application whose function's argument type it is).  Every
// type match along the search makes its two sides equal under one growing substitution of
// type variables, so f's type, the image's and each xi's must all meet: when f's type cannot
// meet ((type of x1, ..., type of xn)) -> R whatever R is, no combination can match, and the
// search over them, which grows with the n-th power of the term, is not run.
//
// The argument holds when its premises do, which the check confirms first: two or more
// elements, none a tuple; a pattern variable standing alone as f or as an element has one
// type at all its occurrences still to be solved (the other problems' patterns included), so
// that whichever occurrence is bound first, the rest take that type; and every application
// that the element search may take apart on t's top, following the lambdas applied there,
// has an argument of its function's argument type (a tuple argument typed by its elements).
// An ill-typed pattern (a variable applied to a tuple holding itself) is what the check turns
// away; a well-typed one always passes.
#pragma once

#include <algorithm>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lang/names.h"
#include "lang/types.h"
#include "support/small_vec.h"
#include "engine/matching/term_vocabulary.h"
#include "engine/matching/vocabulary_operations.h"

namespace plim {

// Some substitution of type variables makes a and b equal.  A scheme meets anything.
bool typesMayUnify(const Type& a, const Type& b);

namespace tuple_typing {

// The variable occurs in t, not looking into schemes: the unifier's occurs check while nothing
// is bound.
bool occursUnboundBelow(const Type& t, const std::string& v);
inline bool occursUnbound(const Type& t, const std::string& v) {
    if (t.isTid()) return sameName(t.name(), v);
    if (!t.isTCon() || t.isGround()) return false;
    return occursUnboundBelow(t, v);
}

// An arrow head's type can meet ((elementTypes)) -> R whatever R is.
bool arrowImageMayFit(const Type& head, const std::vector<Type>& elementTypes);

}  // namespace tuple_typing

// f's type can meet the type of an image for the elements' types, `typeOf(e)` giving the type
// of each element e.  A scheme meets anything; a type variable meets the image's type unless it
// is a part of an element's type (the occurs check): what the unification answers for them,
// without building the image's type.
//
// A shortcut (the unifier says the same): BM_FastOneStepOwnTupleHead/100 (bench_fast_matching)
// takes about 0.5 us without it, 0.15 us with it.
template <class Elements, class TypeOf>
bool imageTypeMayFit(const Type& head, const Elements& elements, TypeOf typeOf) {
    if (head.isTAbs()) return true;
    if (head.isTid())
        return std::none_of(std::begin(elements), std::end(elements),
                            [&](const auto& e) { return tuple_typing::occursUnbound(typeOf(e), head.name()); });
    std::vector<Type> types;
    for (const auto& e : elements) types.push_back(typeOf(e));
    return tuple_typing::arrowImageMayFit(head, types);
}
inline bool imageTypeMayFit(const Type& head, const std::vector<Type>& elementTypes) {
    return imageTypeMayFit(head, elementTypes, [](const Type& t) -> const Type& { return t; });
}

// The component k of a tuple type of n components; nothing for any other type (or none).
inline std::optional<Type> tupleTypeComponent(const std::optional<Type>& t, std::size_t k, std::size_t n) {
    if (!t || !t->isTCon() || t->args().size() != n || t->name() != tupleTypeName(static_cast<std::int64_t>(n)))
        return std::nullopt;
    return t->args()[k];
}

// The tuple type t, taken apart down to its parts that are no tuple types, can rule a binder's
// type out: one of those parts is not a type variable, or two are the same one.
bool tupleTypeConstrains(const Type& t);

// One substitution of type variables makes both sides of every pair equal.  A scheme meets
// anything.
bool typePairsMayUnify(const std::vector<std::pair<Type, Type>>& pairs);

// Unification of pairs one after another under one substitution, whose bindings made after a
// mark can be taken back: a search that adds a pair per step and goes back in steps checks
// each pair once, not all pairs again.  A scheme meets anything.  Its storage is kept from
// one use to the next.
class TypeUnifier {
public:
    std::size_t mark() const { return bound_.size(); }
    void undo(std::size_t mark) { bound_.erase(bound_.begin() + static_cast<std::ptrdiff_t>(mark), bound_.end()); }
    // False when a and b cannot be made equal under the bindings so far (some bindings may
    // have been made then: undo to a mark before going on).
    bool unify(const Type& a, const Type& b);

private:
    Type resolve(Type t) const;
    bool holds(const Type& t, const std::string& v) const;

    std::vector<std::pair<std::string, Type>> bound_;
    std::vector<std::pair<Type, Type>> todo_;
};

namespace tuple_typing {

template <TermVocabulary Term>
using KindOf = decltype(std::declval<const Term&>().kind());

// The application's argument has its function's argument type, and, when it is a tuple, the
// tuple of its elements' types (the image's lambda may contract to the function).
template <TermVocabulary Term>
bool argumentTyped(const Term& ap) {
    const Type& f = ap.fun().type();
    const Term& x = ap.arg();
    if (!f.isTCon() || f.name() != arrowName || f.args().size() != 2) return false;
    if (!f.args()[0].sameNode(x.type()) && !eqType(f.args()[0], x.type())) return false;
    if (!x.is(KindOf<Term>::Tupl)) return true;
    std::vector<Type> types;
    for (const Term& e : x.elems()) types.push_back(e.type());
    return eqType(x.type(), mkTupleType(std::move(types)));
}

// Every application the element search may decompose is typed that way: t's top, and, while
// its function is a lambda, the lambda's body in turn.
template <TermVocabulary Term>
bool decompositionsTyped(const Term& t) {
    using K = KindOf<Term>;
    for (const Term* u = &t; u->is(K::Ap); u = &u->fun().body()) {
        if (!argumentTyped(*u)) return false;
        if (!u->fun().is(K::Lam)) break;
    }
    return true;
}

// The pattern variables noted keep the type of their first note at every occurrence in the
// terms visited.  The noted terms must outlive it (it keeps their names and types in place);
// every note comes before the first visit.
template <TermVocabulary Term>
class OccurrenceTypes {
public:
    explicit OccurrenceTypes(std::size_t expectedNotes) { noted_.reserve(expectedNotes); }
    OccurrenceTypes(const OccurrenceTypes&) = delete;
    OccurrenceTypes& operator=(const OccurrenceTypes&) = delete;
    // A pattern variable is noted; any other term is kept for visitNoted.
    void note(const Term& x) {
        if (x.is(KindOf<Term>::PVar)) {
            noted_.push_back(Note{&x.name(), &x.type(), noted_.size()});
        } else if (x.hasPVar()) {
            unnoted_.push_back(&x);
        }
    }
    // Visits the terms noted, as visiting a term made of them would: the noted variables agree
    // with the first note of their names, and the other terms are walked.  After every note.
    void visitNoted() {
        seal();
        for (const Term* u : unnoted_) visit(*u);
    }
    void visit(const Term& t) {
        if (noted_.empty() || !t.hasPVar()) return;
        seal();
        if (!agree_) return;
        // Only the parts that hold a pattern variable are walked.
        term_ops::anyNode(
            t,
            [this](const Term& u) {
                if (u.is(KindOf<Term>::PVar)) agree_ = sameAsNoted(u);
                return !agree_;
            },
            [](const Term& u) { return u.hasPVar(); });
    }
    bool agree() {
        seal();
        return agree_;
    }

private:
    struct Note {
        const std::string* name;
        const Type* type;
        std::size_t order;  // of the notes
    };
    static bool before(const Note& a, const Note& b) { return *a.name < *b.name; }

    // Every note must agree with the first note of its name.  A few notes are then searched in
    // order; more are sorted by name, the first of each name kept.
    void seal() {
        if (sealed_) return;
        sealed_ = true;
        if (noted_.size() <= kFew) {
            for (auto later = noted_.begin(); later != noted_.end() && agree_; ++later) {
                auto first = noted_.begin();
                while (!sameName(*first->name, *later->name)) ++first;
                agree_ = sameType(*first, *later->type);
            }
            return;
        }
        std::sort(noted_.begin(), noted_.end(), [](const Note& a, const Note& b) {
            const int c = a.name->compare(*b.name);
            return c < 0 || (c == 0 && a.order < b.order);
        });
        const Note* first = noted_.begin();
        for (const Note& n : noted_) {
            if (!sameName(*first->name, *n.name)) first = &n;
            agree_ = agree_ && sameType(*first, *n.type);
        }
        noted_.resize(static_cast<std::size_t>(
            std::unique(noted_.begin(), noted_.end(), [](const Note& a, const Note& b) { return *a.name == *b.name; }) -
            noted_.begin()));
    }
    static bool sameType(const Note& n, const Type& t) { return n.type->sameNode(t) || eqType(*n.type, t); }
    bool sameAsNoted(const Term& v) const {
        auto it = noted_.begin();
        if (noted_.size() <= kFew) {
            // The pattern's own occurrences are the noted ones: their names compare in place.
            while (it != noted_.end() && !sameName(*it->name, v.name())) ++it;
        } else {
            it = std::lower_bound(noted_.begin(), noted_.end(), Note{&v.name(), nullptr, 0}, before);
        }
        if (it == noted_.end() || !sameName(*it->name, v.name())) return true;
        return sameType(*it, v.type());
    }
    static constexpr std::size_t kFew = 8;
    SmallVec<Note, kFew> noted_;
    SmallVec<const Term*, 4> unnoted_;  // noted terms that are no pattern variable
    bool sealed_ = false;
    bool agree_ = true;
};

}  // namespace tuple_typing

// The premises above hold and the types rule every combination out, for the pattern
// p = f (x1, ..., xn) against t.  `forEachEarlier` calls its argument on the pattern of every
// problem that may be solved before the image's.
template <TermVocabulary Term, class ForEachEarlier>
bool tupleImagesRuledOut(const Term& p, const Term& t, ForEachEarlier forEachEarlier) {
    using K = tuple_typing::KindOf<Term>;
    const Term& f = p.fun();
    const std::vector<Term>& xs = p.arg().elems();
    if (xs.size() < 2 || std::any_of(xs.begin(), xs.end(), [](const Term& x) { return x.is(K::Tupl); })) return false;
    if (imageTypeMayFit(f.type(), xs, [](const Term& x) -> const Type& { return x.type(); }) ||
        !tuple_typing::decompositionsTyped(t))
        return false;
    tuple_typing::OccurrenceTypes<Term> occurrences(xs.size() + 1);
    occurrences.note(f);
    for (const Term& x : xs) occurrences.note(x);
    occurrences.visitNoted();  // p's own occurrences: p is made of f and the xs
    forEachEarlier([&occurrences](const Term& q) { occurrences.visit(q); });
    return occurrences.agree();
}

// The premises above hold for the pattern p = f x, x a tuple of any shape, against t, with
// `forEachEarlier` as for tupleImagesRuledOut: then every combination of element candidates
// closes into an image whose argument type is the tuple of its binders' types, nested as x
// is, and f's type must meet it.  So the types of the binders opened so far, each against the
// part of f's argument type at its element, must be unifiable all at once, or no combination
// that goes on from them can match.
template <TermVocabulary Term, class ForEachEarlier>
bool imageTypesFollowBinders(const Term& p, const Term& t, ForEachEarlier forEachEarlier) {
    using K = tuple_typing::KindOf<Term>;
    if (!tuple_typing::decompositionsTyped(t)) return false;
    tuple_typing::OccurrenceTypes<Term> occurrences(p.arg().elems().size() + 1);
    occurrences.note(p.fun());
    std::vector<const Term*> elements{&p.arg()};
    while (!elements.empty()) {
        const Term& e = *elements.back();
        elements.pop_back();
        if (!e.is(K::Tupl)) {
            occurrences.note(e);
            continue;
        }
        for (const Term& c : e.elems()) elements.push_back(&c);
    }
    occurrences.visitNoted();  // p's own occurrences: p is made of its head and the leaves
    forEachEarlier([&occurrences](const Term& q) { occurrences.visit(q); });
    return occurrences.agree();
}

}  // namespace plim

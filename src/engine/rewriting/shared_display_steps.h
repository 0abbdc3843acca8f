// Repeated subexpressions of lambda-free expressions written once, with what is found kept
// from one expression to the next (internal to shared_display*.cpp).
//
// The expressions of a calculation share most of their nodes with the one before: a step
// rebuilds the path to its redex and the redex only.  So each node met is given a value once,
// remembered by node -- equal numbers for equal trees (names, constants and types compared) --
// and an expression is then seen as the graph of its values, one vertex per distinct subtree,
// never as the tree of its occurrences.  Everything writeOnce needs follows from that graph:
//
// - how often a value occurs: the root once, and a value as often as its parents together;
// - the order of first occurrences in visiting order (a node, its argument, its function): a
//   depth-first walk of the graph that enters no value twice meets the values in that order;
// - which group holds which: a group's value contains the other's;
// - which groups are covered (found only inside another group's occurrences, one in each):
//   those reached from a group through values that each have a single parent;
//
// and the written form of a value (its kept groups' occurrences replaced by their variables)
// is one node for all its occurrences, kept while the groups keep their names.  So a step
// costs the nodes it made plus one pass over the distinct values, and the nodes of the parts
// it left alone are the same nodes as before, which the printer's caches find.
//
// Read by one thread at a time (one table per thread).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "lang/names.h"
#include "lang/syntax.h"

namespace plim::shared_display_detail {

class StepSharing {
public:
    // The table of the calling thread.
    static StepSharing& mine();

    // As writeOnce(e, groupLambdaFree(e, {}), supply): the let of the groups of a
    // lambda-free, let-free expression written once; nothing when no group repeats.
    std::optional<std::pair<Expr, NameSupply>> share(const Expr& e, NameSupply supply);

private:
    // The facts of a value read in the walks of every call.
    struct Value {
        std::int32_t fun = -1;  // an application's parts, -1 for a leaf
        std::int32_t arg = -1;
        // Of the current expression, valid when `seen` is the current call:
        std::uint32_t seen = 0;
        std::uint32_t parents = 0;  // incoming edges
        std::uint64_t occurrences = 0;
        std::int32_t parent = -1;   // the last parent met
        std::int32_t group = -1;    // its group, or -1
        std::int32_t kept = -1;     // its place among the kept groups, or -1
        std::uint32_t holderMark = 0;
        bool covered = false;       // reached from a group through single parents
        bool keptBelow = false;     // a kept group occurs strictly inside it
    };
    // And those read for the groups and the written forms only.
    struct Form {
        explicit Form(const Expr& first) : node(first) {}
        Expr node;                  // the first node met with this value
        std::int8_t liftable = -1;  // may be written once (-1: not asked yet)
        // Its written form, valid while the names are those of `writtenIn`.
        std::uint32_t writtenIn = 0;
        std::optional<Expr> written;
        std::optional<Expr> var;  // its variable when it was last kept
    };
    struct ValueSlot {
        std::uint64_t hash = 0;
        std::int32_t value = -1;  // -1 for a free slot
    };
    struct Known {
        const void* node = nullptr;
        std::int32_t value = -1;
    };

    int valueOf(const Expr& e);
    int known(const Expr& node) const;
    void remember(const Expr& node, int value);
    int applicationValue(const Expr& node, int fun, int arg);
    int leafValue(const Expr& node);
    template <class Same>
    int findOrAdd(const Expr& node, int fun, int arg, std::uint64_t hash, const Same& same);
    void roomForValue();
    int addValue(const Expr& node, int fun, int arg, std::uint64_t hash, std::size_t slot);
    void reach(int root);
    void countOccurrences(int root);
    bool findGroups();
    void orderGroups();
    void markCovered();
    void nameKept(NameSupply& supply);
    Expr shown(int value);
    Expr inside(int value);
    Expr written(int value, bool asPart = true) const;
    void clearIfLarge();
    void clear();

    std::vector<Value> values_;
    std::vector<Form> forms_;
    std::vector<ValueSlot> valueSlots_;  // open addressing by hash
    std::vector<Known> knownSlots_;  // open addressing by node
    std::vector<Expr> held_;         // the nodes of knownSlots_, kept alive
    std::uint32_t call_ = 0;
    std::uint32_t holderMarks_ = 0;
    std::size_t lastReach_ = 0;
    // The names of the kept groups and the generation of written forms they make.
    std::vector<std::pair<int, std::string>> naming_;
    std::vector<Expr> vars_;
    std::uint32_t namingGeneration_ = 0;
    // This call's: values met in visiting order and in post-order, the groups (by first
    // occurrence), the groups in writing order and the kept ones.
    std::vector<int> visits_, post_, groups_, order_, kept_;
    std::vector<std::vector<int>> holders_;  // per group, the groups directly above it
    std::vector<int> heldCount_;
    // Work stacks, kept for their room.
    std::vector<const Expr*> spine_;  // the applications above the part looked at
    std::vector<const Expr*> nodeStack_;
    std::vector<int> valueStack_;
    std::vector<std::pair<int, bool>> frames_;
};

}  // namespace plim::shared_display_detail

// Fresh names: the endless name sequence "a" .. "z", "aa", "ab", ..., name lists drawn from
// it, name supplies (one list for term variables, one for type variables) and the renaming
// state with which an expression is copied under fresh names.
//
// The sequence is never built: the n-th name is computed from n.  A name list is an immutable
// value (a position in the sequence plus the positions it must skip, or an explicit finite list),
// so it can be copied and handed along several branches; two holders of one list get the same
// names.  Every operation here is a pure function in state-passing style.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/lazy.h"

namespace plim {

// The name at position n (from 0) of the sequence: 0 "a", 25 "z", 26 "aa", 701 "zz", 702 "aaa".
std::string nthName(std::uint64_t n);
// The position of a name in the sequence, or nothing when it is not a non-empty string of the
// letters "a" to "z" (or lies beyond the positions that 64 bits can count).
std::optional<std::uint64_t> namePosition(std::string_view name);
// Order by position in the sequence: shorter names first, then alphabetical.
bool nameBefore(std::string_view a, std::string_view b);
// a == b, compared inline: names are short, and most that differ differ in their length or
// first letter.
inline bool sameName(const std::string& a, const std::string& b) {
    const std::size_t n = a.size();
    return &a == &b || (n == b.size() && (n == 0 || (a[0] == b[0] && std::memcmp(a.data(), b.data(), n) == 0)));
}

// An immutable list of names, consumed from the front.  Either endless (a suffix of the name
// sequence without a finite set of skipped names) or finite (an explicit list).  A list made by
// `comb` from lists it may not examine yet is computed when first examined.
//
// A list is one cheap handle: a position plus a shared node that holds what the position
// indexes (the names of a finite list, the skipped positions of an endless one, or the list
// still to be computed).  The endless sequence with nothing left to skip, and the empty list,
// need no node, so drawing names from a supply past its last skipped name shares nothing.
class NameList {
public:
    // The empty list.
    NameList() = default;
    // The finite list of the given names, in order.
    static NameList fromVector(std::vector<std::string> names);
    // The endless sequence from its start.
    static NameList sequence();
    // A list computed on first examination (an error it raises is raised then).
    static NameList deferred(std::function<NameList()> compute);

    bool empty() const;
    // The first name; an empty list raises an internal error.
    std::string head() const;
    // Whether the first name of this list comes before the first name of `other` in the name
    // sequence (nameBefore of the two heads, without spelling out names drawn from the
    // sequence); an empty list raises an internal error.
    bool headBefore(const NameList& other) const;
    // Both handles stand at the same place of the same list (not a test of equal names).
    bool sameList(const NameList& other) const { return node_ == other.node_ && at_ == other.at_; }
    // The list without its first name; an empty list raises an internal error.
    NameList tail() const;
    // The first n names (fewer when the list is shorter).
    std::vector<std::string> take(std::size_t n) const;
    // The list without n names from its front (all of a finite list's names when it is
    // shorter; an endless list drawn past 2^64 - 2 positions raises an internal error).
    NameList drop(std::size_t n) const;
    // The list without the given names; the remaining names keep their order.
    NameList without(const std::vector<std::string>& names) const;

private:
    friend NameList comb(const NameList& a, const NameList& b);

    struct Node;
    // Marks the empty list among the lists without a node (no sequence position reaches it).
    static constexpr std::uint64_t kNoPosition = ~std::uint64_t{0};

    NameList(std::shared_ptr<const Node> node, std::uint64_t at) : node_(std::move(node)), at_(at) {}
    bool isDeferred() const;
    const NameList& forced() const;
    // The endless list from sequence position `at` on, skipping the positions in `skipping`.
    static NameList skippingFrom(const std::shared_ptr<const Node>& skipping, std::uint64_t at);
    // Sequence position `at` + n; a position that 64 bits cannot hold (or kNoPosition itself)
    // raises an internal error rather than wrapping round or ending the endless list.
    static std::uint64_t sequencePosition(std::uint64_t at, std::uint64_t n);

    // No node: the sequence from position at_ (the empty list when at_ is kNoPosition).
    // A finite list's node: at_ indexes its names.  A skipping node: at_ is a sequence
    // position, never a skipped one.  A deferred node: at_ is unused.
    std::shared_ptr<const Node> node_;
    std::uint64_t at_ = kNoPosition;
};

// The endless list of variable names (a shared constant).
NameList varNames();

// Two name lists: fresh term-variable names and fresh type-variable names.
struct NameSupply {
    NameList vars;
    NameList tyvars;
};

// Every match and every rewriting step leaves the rest of its supply as a lazy value, mostly
// dropped soon after: their cells come from the block pool.
template <>
struct PooledLazyCells<NameSupply> : std::true_type {};

// (varNames, varNames).
NameSupply initialNameSupply();
// Two empty lists.
NameSupply emptySupply();

// (first name of the first list, the supply without it).
std::pair<std::string, NameSupply> nextName(const NameSupply& supply);

// Of two lists, the one further along: b when the first name of a comes before the first name
// of b in the name sequence, a otherwise.  Both must be non-empty ("Names:92|function comb");
// the choice is made, and the failure raised, when the result is first examined.
NameList comb(const NameList& a, const NameList& b);
// (comb a1 a2, comb b1 b2).
NameSupply combPair(const NameSupply& a, const NameSupply& b);

// Old name to new name, newest pair first.
using Renaming = List<std::pair<std::string, std::string>>;

struct RenameState {
    NameSupply supply;
    Renaming firstRenaming;
    Renaming secondRenaming;
};

// Takes the next name of the first (second) supply as the new name of `oldName`.
std::pair<std::string, RenameState> renameFirst(const std::string& oldName, const RenameState& st);
std::pair<std::string, RenameState> renameSecond(const std::string& oldName, const RenameState& st);
// The current first (second) renaming of a name, or the name itself; the state unchanged.
std::pair<std::string, RenameState> renamedFirst(const std::string& name, const RenameState& st);
std::pair<std::string, RenameState> renamedSecond(const std::string& name, const RenameState& st);

// Runs a renaming computation (RenameState -> (result, RenameState)) from the supply with both
// renamings empty; returns the result and the remaining supply, dropping the renamings.
template <class Computation>
auto runRenaming(Computation computation, const NameSupply& supply)
    -> std::pair<decltype(computation(std::declval<RenameState>()).first), NameSupply> {
    auto [result, st] = computation(RenameState{supply, Renaming(), Renaming()});
    return {std::move(result), std::move(st.supply)};
}

}  // namespace plim

#include "lang/names.h"

#include <algorithm>
#include <iterator>
#include <set>

#include "support/errors.h"

namespace plim {

namespace {

constexpr std::uint64_t kLetters = 26;
// Longest name whose position still fits in 64 bits.
constexpr std::size_t kMaxCountedLength = 13;

}  // namespace

std::string nthName(std::uint64_t n) {
    std::size_t length = 1;
    std::uint64_t block = kLetters;  // number of names of this length
    while (n >= block) {
        n -= block;
        ++length;
        // Names one letter longer than the counted ones outnumber every count of 64 bits.
        if (length > kMaxCountedLength) break;
        block *= kLetters;
    }
    std::string name(length, 'a');
    for (std::size_t i = length; i-- > 0;) {
        name[i] = static_cast<char>('a' + n % kLetters);
        n /= kLetters;
    }
    return name;
}

std::optional<std::uint64_t> namePosition(std::string_view name) {
    if (name.empty() || name.size() > kMaxCountedLength) return std::nullopt;
    std::uint64_t shorter = 0;  // names shorter than this one
    std::uint64_t block = 1;
    for (std::size_t len = 1; len < name.size(); ++len) {
        block *= kLetters;
        shorter += block;
    }
    std::uint64_t within = 0;
    for (char c : name) {
        if (c < 'a' || c > 'z') return std::nullopt;
        within = within * kLetters + static_cast<std::uint64_t>(c - 'a');
    }
    return shorter + within;
}

bool nameBefore(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

// --- NameList ---------------------------------------------------------------------------

struct NameList::Node {
    enum class Kind { Finite, Skipping, Deferred };
    Kind kind;
    std::vector<std::string> names;      // Finite: the names
    std::vector<std::uint64_t> skipped;  // Skipping: ascending positions, never empty
    std::optional<Lazy<NameList>> list;  // Deferred: the list to compute

    explicit Node(std::vector<std::string> finite) : kind(Kind::Finite), names(std::move(finite)) {}
    explicit Node(std::vector<std::uint64_t> skip) : kind(Kind::Skipping), skipped(std::move(skip)) {}
    explicit Node(Lazy<NameList> deferred) : kind(Kind::Deferred), list(std::move(deferred)) {}
};

NameList NameList::fromVector(std::vector<std::string> names) {
    if (names.empty()) return NameList();
    return NameList(std::make_shared<const Node>(std::move(names)), 0);
}

NameList NameList::sequence() { return NameList(nullptr, 0); }

NameList NameList::deferred(std::function<NameList()> compute) {
    return NameList(std::make_shared<const Node>(Lazy<NameList>::defer(std::move(compute))), 0);
}

bool NameList::isDeferred() const { return node_ && node_->kind == Node::Kind::Deferred; }

const NameList& NameList::forced() const {
    const NameList* at = this;
    while (at->isDeferred()) at = &at->node_->list->get();
    return *at;
}

NameList NameList::skippingFrom(const std::shared_ptr<const Node>& skipping, std::uint64_t at) {
    const std::vector<std::uint64_t>& skipped = skipping->skipped;
    if (at > skipped.back()) return NameList(nullptr, at);
    auto next = std::lower_bound(skipped.begin(), skipped.end(), at);
    for (; next != skipped.end() && *next == at; ++next) ++at;
    // Past the last skipped position the list is the plain sequence and needs no node.
    if (next == skipped.end()) return NameList(nullptr, at);
    return NameList(skipping, at);
}

bool NameList::empty() const {
    const NameList& l = forced();
    if (!l.node_) return l.at_ == kNoPosition;
    return l.node_->kind == Node::Kind::Finite && l.at_ >= l.node_->names.size();
}

std::string NameList::head() const {
    const NameList& l = forced();
    if (l.empty()) failInternal("internal error: head of an empty list");
    if (l.node_ && l.node_->kind == Node::Kind::Finite) return l.node_->names[l.at_];
    return nthName(l.at_);
}

bool NameList::headBefore(const NameList& other) const {
    const NameList& a = forced();
    const NameList& b = other.forced();
    if (a.empty() || b.empty()) failInternal("internal error: head of an empty list");
    // A list drawn from the sequence is at a sequence position, which orders as its name.
    auto fromSequence = [](const NameList& l) { return !l.node_ || l.node_->kind == Node::Kind::Skipping; };
    if (fromSequence(a) && fromSequence(b)) return a.at_ < b.at_;
    return nameBefore(a.head(), b.head());
}

std::uint64_t NameList::sequencePosition(std::uint64_t at, std::uint64_t n) {
    if (n >= kNoPosition - at) failInternal("internal error: name position beyond 64 bits");
    return at + n;
}

NameList NameList::tail() const {
    const NameList& l = forced();
    if (l.empty()) failInternal("internal error: tail of an empty list");
    if (!l.node_) return NameList(nullptr, sequencePosition(l.at_, 1));
    if (l.node_->kind == Node::Kind::Skipping) return skippingFrom(l.node_, l.at_ + 1);
    return NameList(l.node_, l.at_ + 1);
}

std::vector<std::string> NameList::take(std::size_t n) const {
    std::vector<std::string> out;
    for (NameList at = *this; out.size() < n && !at.empty(); at = at.tail()) out.push_back(at.head());
    return out;
}

NameList NameList::drop(std::size_t n) const {
    NameList at = forced();
    if (at.empty()) return at;
    if (at.node_ && at.node_->kind == Node::Kind::Finite) {
        at.at_ += std::min<std::uint64_t>(n, at.node_->names.size() - at.at_);
        return at;
    }
    for (; n > 0 && at.node_; --n) at = at.tail();  // skipping: step over the skipped names
    at.at_ = sequencePosition(at.at_, n);
    return at;
}

NameList NameList::without(const std::vector<std::string>& names) const {
    const NameList& l = forced();
    if (names.empty() || l.empty()) return l;
    if (l.node_ && l.node_->kind == Node::Kind::Finite) {
        std::set<std::string> drop(names.begin(), names.end());
        std::vector<std::string> kept;
        for (std::size_t i = l.at_; i < l.node_->names.size(); ++i) {
            const std::string& n = l.node_->names[i];
            if (drop.count(n) == 0) kept.push_back(n);
        }
        return fromVector(std::move(kept));
    }
    // Only positions still ahead in the sequence need to be remembered.
    std::vector<std::uint64_t> skip;
    if (l.node_)
        std::copy(std::lower_bound(l.node_->skipped.begin(), l.node_->skipped.end(), l.at_),
                  l.node_->skipped.end(), std::back_inserter(skip));
    for (const auto& n : names)
        if (auto pos = namePosition(n); pos && *pos >= l.at_) skip.push_back(*pos);
    if (skip.empty()) return l;
    std::sort(skip.begin(), skip.end());
    skip.erase(std::unique(skip.begin(), skip.end()), skip.end());
    return skippingFrom(std::make_shared<const Node>(std::move(skip)), l.at_);
}

NameList varNames() {
    static const NameList names = NameList::sequence();
    return names;
}

// --- supplies ---------------------------------------------------------------------------

NameSupply initialNameSupply() { return {varNames(), varNames()}; }

NameSupply emptySupply() { return {NameList(), NameList()}; }

std::pair<std::string, NameSupply> nextName(const NameSupply& supply) {
    return {supply.vars.head(), {supply.vars.tail(), supply.tyvars}};
}

NameList comb(const NameList& a, const NameList& b) {
    auto choose = [a, b]() -> NameList {
        if (a.empty() || b.empty()) patternFail(CodedFailure::NameSequenceEmpty);
        return a.headBefore(b) ? b : a;
    };
    if (!a.isDeferred() && !b.isDeferred() && !a.empty() && !b.empty()) return choose();
    return NameList::deferred(choose);
}

NameSupply combPair(const NameSupply& a, const NameSupply& b) {
    return {comb(a.vars, b.vars), comb(a.tyvars, b.tyvars)};
}

// --- renaming ---------------------------------------------------------------------------

namespace {

std::string lookupRenaming(const std::string& name, const Renaming& renaming) {
    for (Renaming at = renaming; !at.empty(); at = at.tail())
        if (at.head().first == name) return at.head().second;
    return name;
}

}  // namespace

std::pair<std::string, RenameState> renameFirst(const std::string& oldName, const RenameState& st) {
    if (st.supply.vars.empty()) patternFail(CodedFailure::VariableSupplyEmpty);
    std::string n = st.supply.vars.head();
    RenameState next{{st.supply.vars.tail(), st.supply.tyvars},
                     Renaming::cons({oldName, n}, st.firstRenaming),
                     st.secondRenaming};
    return {std::move(n), std::move(next)};
}

std::pair<std::string, RenameState> renameSecond(const std::string& oldName, const RenameState& st) {
    if (st.supply.tyvars.empty()) patternFail(CodedFailure::TypeVariableSupplyEmpty);
    std::string n = st.supply.tyvars.head();
    RenameState next{{st.supply.vars, st.supply.tyvars.tail()},
                     st.firstRenaming,
                     Renaming::cons({oldName, n}, st.secondRenaming)};
    return {std::move(n), std::move(next)};
}

std::pair<std::string, RenameState> renamedFirst(const std::string& name, const RenameState& st) {
    return {lookupRenaming(name, st.firstRenaming), st};
}

std::pair<std::string, RenameState> renamedSecond(const std::string& name, const RenameState& st) {
    return {lookupRenaming(name, st.secondRenaming), st};
}

}  // namespace plim

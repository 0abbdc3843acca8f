#include "lang/names.h"

#include <algorithm>

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

NameList::NameList() : finite_{std::make_shared<const std::vector<std::string>>(), 0} {}

NameList NameList::fromVector(std::vector<std::string> names) {
    NameList out;
    out.finite_ = {std::make_shared<const std::vector<std::string>>(std::move(names)), 0};
    return out;
}

NameList NameList::sequence() {
    NameList out;
    out.endless_ = true;
    out.seq_ = {0, std::make_shared<const std::set<std::string>>()};
    return out;
}

NameList NameList::deferred(std::function<NameList()> compute) {
    NameList out;
    out.deferred_ = std::make_shared<Lazy<NameList>>(Lazy<NameList>::defer(std::move(compute)));
    return out;
}

const NameList& NameList::forced() const {
    const NameList* at = this;
    while (at->deferred_) at = &at->deferred_->get();
    return *at;
}

NameList::Endless NameList::normalised(Endless e) {
    while (!e.skip->empty() && e.skip->count(nthName(e.position)) > 0) ++e.position;
    return e;
}

bool NameList::empty() const {
    const NameList& l = forced();
    return !l.endless_ && l.finite_.index >= l.finite_.names->size();
}

std::string NameList::head() const {
    const NameList& l = forced();
    if (l.endless_) return nthName(l.seq_.position);
    if (l.empty()) failInternal("internal error: head of an empty list");
    return (*l.finite_.names)[l.finite_.index];
}

NameList NameList::tail() const {
    NameList out = forced();
    if (out.endless_) {
        ++out.seq_.position;
        out.seq_ = normalised(out.seq_);
        return out;
    }
    if (out.empty()) failInternal("internal error: tail of an empty list");
    ++out.finite_.index;
    return out;
}

std::vector<std::string> NameList::take(std::size_t n) const {
    std::vector<std::string> out;
    for (NameList at = *this; out.size() < n && !at.empty(); at = at.tail()) out.push_back(at.head());
    return out;
}

NameList NameList::drop(std::size_t n) const {
    NameList at = forced();
    if (!at.endless_) {
        at.finite_.index = std::min(at.finite_.index + n, at.finite_.names->size());
        return at;
    }
    for (; n > 0; --n) at = at.tail();
    return at;
}

NameList NameList::without(const std::vector<std::string>& names) const {
    NameList out = forced();
    if (names.empty()) return out;
    if (!out.endless_) {
        std::set<std::string> drop(names.begin(), names.end());
        std::vector<std::string> kept;
        for (std::size_t i = out.finite_.index; i < out.finite_.names->size(); ++i) {
            const std::string& n = (*out.finite_.names)[i];
            if (drop.count(n) == 0) kept.push_back(n);
        }
        return fromVector(std::move(kept));
    }
    // Only names still ahead in the sequence need to be remembered.
    const std::uint64_t from = out.seq_.position;
    auto ahead = [from](const std::string& n) {
        auto pos = namePosition(n);
        return pos && *pos >= from;
    };
    std::set<std::string> skip;
    for (const auto& n : *out.seq_.skip)
        if (ahead(n)) skip.insert(n);
    for (const auto& n : names)
        if (ahead(n)) skip.insert(n);
    out.seq_.skip = std::make_shared<const std::set<std::string>>(std::move(skip));
    out.seq_ = normalised(out.seq_);
    return out;
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
        return nameBefore(a.head(), b.head()) ? b : a;
    };
    if (!a.deferred_ && !b.deferred_ && !a.empty() && !b.empty()) return choose();
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

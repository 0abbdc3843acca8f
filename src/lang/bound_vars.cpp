#include "lang/bound_vars.h"

#include <algorithm>
#include <functional>
#include <unordered_set>

#include "support/hashing.h"
#include "support/release.h"

namespace plim {

namespace {

std::uint64_t nameHash(const std::string& name) { return mixHash(0, std::hash<std::string>{}(name)); }
std::uint64_t sketchBit(std::uint64_t hash) { return std::uint64_t{1} << (hash >> 58); }

}  // namespace

// --- NameSet -----------------------------------------------------------------------------------

NameSet::Node::~Node() {
    releaseSoleChildren(*this, [](Node& n, auto&& take) { take(n.rest); });
}

NameSet::NameSet(const std::vector<std::string>& names) {
    for (const std::string& n : names) *this = with(n);
}

NameSet::NameSet(std::initializer_list<std::string> names) {
    for (const std::string& n : names) *this = with(n);
}

NameSet NameSet::with(const std::string& name) const {
    if (contains(name)) return *this;
    const std::uint64_t h = nameHash(name);
    NameSet out;
    out.top_ = std::make_shared<const Node>(top_, name, size() + 1, hash() + h, (top_ ? top_->sketch : 0) | sketchBit(h));
    return out;
}

bool NameSet::contains(const std::string& name) const {
    if (!top_ || (top_->sketch & sketchBit(nameHash(name))) == 0) return false;
    for (const Node* at = top_.get(); at; at = at->rest.get())
        if (at->name == name) return true;
    return false;
}

std::vector<std::string> NameSet::sorted() const {
    std::vector<std::string> out;
    out.reserve(size());
    for (const Node* at = top_.get(); at; at = at->rest.get()) out.push_back(at->name);
    std::sort(out.begin(), out.end());
    return out;
}

bool operator==(const NameSet& a, const NameSet& b) {
    if (a.top_ == b.top_) return true;
    if (a.size() != b.size() || a.hash() != b.hash() || a.top_->sketch != b.top_->sketch) return false;
    // Each name of one is looked up in the other: along its nodes while they are few, else in a
    // hash set of its names.
    if (a.size() <= 16) {
        for (const NameSet::Node* at = a.top_.get(); at; at = at->rest.get())
            if (!b.contains(at->name)) return false;
        return true;
    }
    std::unordered_set<std::string> names;
    for (const NameSet::Node* at = b.top_.get(); at; at = at->rest.get()) names.insert(at->name);
    for (const NameSet::Node* at = a.top_.get(); at; at = at->rest.get())
        if (!names.count(at->name)) return false;
    return true;
}

// --- BoundVars ---------------------------------------------------------------------------------

BoundVars::Node::~Node() {
    releaseSoleChildren(*this, [](Node& n, auto&& take) { take(n.outer); });
}

std::shared_ptr<const BoundVars::Node> BoundVars::listed(std::vector<TypedVar> vars) {
    NameSet names;
    for (const TypedVar& v : vars) names = names.with(v.first);
    const std::size_t n = vars.size();
    return std::make_shared<const Node>(nullptr, std::move(vars), n, std::move(names));
}

BoundVars BoundVars::inside(std::vector<TypedVar> vars) const {
    if (vars.empty()) return *this;
    NameSet names = this->names();
    for (const TypedVar& v : vars) names = names.with(v.first);
    const std::size_t n = size() + vars.size();
    BoundVars out;
    out.top_ = std::make_shared<const Node>(top_, std::move(vars), n, std::move(names));
    return out;
}

const NameSet& BoundVars::names() const {
    static const NameSet none;
    return top_ ? top_->names : none;
}

std::vector<TypedVar> BoundVars::vars() const {
    std::vector<TypedVar> out;
    out.reserve(size());
    for (const Node* at = top_.get(); at; at = at->outer.get()) out.insert(out.end(), at->own.begin(), at->own.end());
    return out;
}

std::vector<std::string> BoundVars::nameList() const {
    if (!top_) return {};
    std::vector<std::string> out;
    out.reserve(size());
    for (const Node* at = top_.get(); at; at = at->outer.get())
        for (const TypedVar& v : at->own) out.push_back(v.first);
    return out;
}

}  // namespace plim

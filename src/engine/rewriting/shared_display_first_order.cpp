// Groups of equal subexpressions in expressions without lambdas.
//
// Without lambdas, equality up to bound names and eta is plain equality, which the value
// numbers decide.  Most expressions repeat nothing, which the repeat watch tells from the
// expression looked at before without a walk of the whole; otherwise numbers by shape alone
// (names and constants compared, types not) are given in one walk that reads no type, and
// value numbers only to the sites whose shape repeats.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/rewriting/positions.h"
#include "engine/rewriting/shared_display_repeats.h"
#include "engine/rewriting/shared_display_sites.h"
#include "support/work_room.h"

namespace plim::shared_display_detail {

namespace {

// The nodes of a lambda-free expression in post-order, function before argument (the reverse
// of the visiting order), each numbered by shape: equal numbers for equal trees.
// Its tables are the calling thread's, kept for their room: one Shapes at a time per thread.
class Shapes {
public:
    explicit Shapes(const Expr& e) {
        // The stack holds nodes to visit and, marked by a null entry above them, applications
        // whose children are done.
        std::vector<const Expr*>& stack = room_.stack;
        std::vector<int>& done = room_.done;  // finished subtrees
        stack.assign(1, &e);
        done.clear();
        nodes_.clear();
        firsts_.clear();
        hashes_.clear();
        slots_.assign(std::clamp<std::size_t>(slots_.size(), 64, kMostSlotsKept), -1);
        while (!stack.empty()) {
            const Expr* x = stack.back();
            stack.pop_back();
            int fun = -1, arg = -1;
            if (x == nullptr) {
                x = stack.back();
                stack.pop_back();
                arg = done.back();
                fun = done[done.size() - 2];
                done.resize(done.size() - 2);
            } else if (x->isAp()) {
                stack.push_back(x);
                stack.push_back(nullptr);
                stack.push_back(&x->arg());
                stack.push_back(&x->fun());
                continue;
            }
            done.push_back(static_cast<int>(nodes_.size()));
            nodes_.push_back(Node{x, fun, arg, 0});
            number(nodes_.back());
        }
    }

    // Does a non-atomic shape occur twice?
    bool repeats() const { return repeats_; }
    // The walk of the expression, and the shape numbers by site.
    Walk walk() const;
    std::vector<int> bySite() const {
        std::vector<int> out(nodes_.size());
        for (std::size_t j = 0; j < nodes_.size(); ++j) out[nodes_.size() - 1 - j] = nodes_[j].shape;
        return out;
    }

private:
    struct Node {
        const Expr* expr;
        int fun, arg;  // post-order positions, -1 for a leaf
        int shape;
    };

    std::uint64_t hashOf(const Node& node) const {
        const Expr& x = *node.expr;
        if (x.isAp())
            return mix(mix(3, static_cast<std::uint32_t>(nodes_[node.fun].shape)), static_cast<std::uint32_t>(nodes_[node.arg].shape));
        if (x.isVar()) return mix(0x1234567ULL, std::hash<std::string>{}(x.name()));
        return leafHash(x);
    }
    bool sameShape(const Node& a, const Node& b) const {
        const Expr& x = *a.expr;
        const Expr& y = *b.expr;
        if (x.sameNode(y)) return true;
        if (x.kind() != y.kind()) return false;
        switch (x.kind()) {
        case ExprKind::Var: return x.name() == y.name();
        case ExprKind::Con: return eqConstant(x.constant(), y.constant());
        default: return nodes_[a.fun].shape == nodes_[b.fun].shape && nodes_[a.arg].shape == nodes_[b.arg].shape;
        }
    }
    void number(Node& node) {
        if (2 * (firsts_.size() + 1) > slots_.size()) grow();  // at most half full
        const std::uint64_t h = hashOf(node);
        const std::size_t mask = slots_.size() - 1;
        std::size_t at = h & mask;
        for (; slots_[at] >= 0; at = (at + 1) & mask) {
            const int v = slots_[at];
            if (hashes_[v] == h && sameShape(node, nodes_[firsts_[v]])) {
                node.shape = v;
                repeats_ = repeats_ || node.expr->isAp();
                return;
            }
        }
        node.shape = static_cast<int>(firsts_.size());
        firsts_.push_back(static_cast<int>(&node - nodes_.data()));
        hashes_.push_back(h);
        slots_[at] = node.shape;
    }
    void grow() {
        slots_.assign(std::max<std::size_t>(64, 2 * slots_.size()), -1);
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t v = 0; v < hashes_.size(); ++v) {
            std::size_t at = hashes_[v] & mask;
            while (slots_[at] >= 0) at = (at + 1) & mask;
            slots_[at] = static_cast<int>(v);
        }
    }

    static constexpr std::size_t kMostSlotsKept = std::size_t{1} << 14;
    struct Room {
        std::vector<const Expr*> stack;
        std::vector<int> done;
        std::vector<Node> nodes;
        std::vector<int> slots;
        std::vector<int> firsts;
        std::vector<std::uint64_t> hashes;
    };
    static Room& room() {
        static thread_local Room r;
        return r;
    }

    Room& room_ = room();
    std::vector<Node>& nodes_ = room_.nodes;
    std::vector<int>& slots_ = room_.slots;             // open addressing: a shape, or -1
    std::vector<int>& firsts_ = room_.firsts;           // per shape, its first node
    std::vector<std::uint64_t>& hashes_ = room_.hashes;  // per shape
    bool repeats_ = false;
};

Walk Shapes::walk() const {
    const int n = static_cast<int>(nodes_.size());
    auto site = [n](int j) { return j < 0 ? -1 : n - 1 - j; };
    Walk w;
    w.sites.resize(n, Site{nullptr, -1, Step::First, 0, {-1, -1}});
    for (int j = 0; j < n; ++j) {
        Site& s = w.sites[site(j)];
        s.expr = nodes_[j].expr;
        s.kids[0] = site(nodes_[j].fun);
        s.kids[1] = site(nodes_[j].arg);
    }
    for (int k = 0; k < n; ++k) {
        const Site& s = w.sites[k];
        if (s.kids[0] < 0) continue;
        w.sites[s.kids[0]].parent = k;
        w.sites[s.kids[1]].parent = k;
        w.sites[s.kids[1]].step = Step::Second;
        w.sites[s.kids[0]].depth = w.sites[s.kids[1]].depth = s.depth + 1;
    }
    w.size.assign(n, 1);
    for (int k = n; k-- > 1;) w.size[w.sites[k].parent] += w.size[k];
    return w;
}

// The work space of the numbering and grouping below, kept from one call to the next.
struct GroupRoom {
    std::vector<int> shapeCount;      // per shape, its sites
    std::vector<int> number;          // per site, its value number or -1
    std::unordered_map<std::uint64_t, int> latest;  // per shape and type hash, its newest number
    std::vector<int> previous;        // per number, the one before it of its shape
    std::vector<int> representative;  // per number, a site
    std::vector<int> count;           // per number, its sites
    std::vector<int> groupOfNumber;   // per number, its group; -2: not liftable
    void clear() {}                   // every table is filled afresh by its user
};

// Value numbers, as valueNumbers gives them, of the sites whose shape repeats (-1 for the
// others), into room.number.  Sites of one shape differ at most in their types, so each site
// is compared with the numbers of its shape whose types hash alike, usually none or one.
void typedNumbers(const Walk& w, const std::vector<int>& shape, GroupRoom& room) {
    const std::size_t n = w.sites.size();
    std::vector<int>& number = room.number;
    std::unordered_map<std::uint64_t, int>& latest = room.latest;
    std::vector<int>& previous = room.previous;
    std::vector<int>& representative = room.representative;
    number.assign(n, -1);
    latest.clear();
    previous.clear();
    representative.clear();
    auto equal = [&](const Site& s, const Site& r) {
        const Expr& a = *s.expr;
        const Expr& b = *r.expr;
        if (a.sameNode(b)) return true;
        if (a.isAp() && (number[s.kids[0]] != number[r.kids[0]] || number[s.kids[1]] != number[r.kids[1]])) return false;
        return eqType(a.type(), b.type());
    };
    for (std::size_t k = n; k-- > 0;) {
        if (room.shapeCount[shape[k]] < 2) continue;
        const std::uint64_t key = mix(static_cast<std::uint32_t>(shape[k]), w.sites[k].expr->type().hashCode());
        int& newest = latest.try_emplace(key, -1).first->second;
        for (int v = newest; v >= 0 && number[k] < 0; v = previous[v])
            if (equal(w.sites[k], w.sites[representative[v]])) number[k] = v;
        if (number[k] >= 0) continue;
        number[k] = static_cast<int>(representative.size());
        representative.push_back(static_cast<int>(k));
        previous.push_back(newest);
        newest = number[k];
    }
}

// The groups of a lambda-free walk, from the shape numbers by site.
std::vector<Group> groups(const Walk& w, const std::vector<int>& shape, const std::vector<TypedVar>& ctx) {
    const std::size_t n = w.sites.size();
    BorrowedRoom<GroupRoom> room;
    room->shapeCount.assign(n, 0);
    for (int v : shape) ++room->shapeCount[v];
    typedNumbers(w, shape, *room);
    const std::vector<int>& number = room->number;
    std::vector<int>& count = room->count;
    count.assign(room->representative.size(), 0);
    for (int v : number)
        if (v >= 0) ++count[v];
    const std::vector<char> mentions = ctx.empty() ? std::vector<char>() : mentionsBinders(w, ctx);
    std::vector<int>& groupOfNumber = room->groupOfNumber;
    groupOfNumber.assign(count.size(), -1);
    std::vector<Group> groups;
    for (std::size_t k = 0; k < n; ++k) {
        const int v = number[k];
        if (v < 0 || count[v] < 2 || !w.sites[k].expr->isAp()) continue;
        int& g = groupOfNumber[v];
        if (g == -1) {
            g = liftable(w.sites[k], !mentions.empty() && mentions[k]) ? static_cast<int>(groups.size()) : -2;
            if (g >= 0) {
                groups.push_back(Group{*w.sites[k].expr, {}});
                groups.back().sites.reserve(static_cast<std::size_t>(count[v]));
            }
        }
        if (g >= 0) groups[g].sites.push_back(static_cast<int>(k));
    }
    return groups;
}

}  // namespace

Grouping groupLambdaFree(const Expr& e, const std::vector<TypedVar>& ctx) {
    if (!RepeatWatch::mine().repeats(e)) return {};
    // An application with a leaf on one side and an application on the other has a shape
    // found nowhere else when all above it are such: whatever repeats lies below it.
    auto onSpine = [](const Expr* x) { return x->isAp() && x->fun().isAp() != x->arg().isAp(); };
    auto below = [](const Expr* x) { return x->fun().isAp() ? &x->fun() : &x->arg(); };
    std::size_t length = 0;
    const Expr* part = &e;
    for (; onSpine(part); part = below(part)) ++length;
    Grouping out;
    out.spine.reserve(length);
    for (part = &e; onSpine(part); part = below(part)) out.spine.push_back(part);
    const Shapes shapes(*part);
    if (!shapes.repeats()) return {};
    out.walk = shapes.walk();
    out.groups = groups(out.walk, shapes.bySite(), ctx);
    return out;
}

}  // namespace plim::shared_display_detail

namespace plim {

bool firstOrderRepeatsNothing(const Expr& e) {
    return !e.holdsAny(ExprHolds::Lam | ExprHolds::Let) && !shared_display_detail::RepeatWatch::mine().repeats(e);
}

}  // namespace plim

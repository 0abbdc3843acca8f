// Repeated subexpressions written once: the groups ordered innermost first, those found only
// inside another group's occurrences dropped, and one definition for each of the others.
#include <algorithm>
#include <optional>
#include <queue>
#include <vector>

#include "engine/rewriting/shared_display_sites.h"
#include "support/work_room.h"

namespace plim::shared_display_detail {

namespace {

// The work space of writeOnce, kept from one call to the next: each table is filled afresh
// by its user, its room kept.
struct WriteRoom {
    std::vector<int> groupOf;                // per site, its group or -1
    std::vector<std::vector<int>> holders;   // per group h, groups g (each once) directly above h
    std::vector<int> upper;                  // per grouped site, the nearest grouped site above, or -1
    std::vector<int> stamp, open, held, order, rank, kept, mark;
    std::vector<char> above;
    std::vector<std::optional<Expr>> built;
    std::vector<Expr> vars;
    void clear() {
        built.clear();  // no node held past the call
        vars.clear();
    }
};

// Which group holds which (an occurrence of one stands above an occurrence of the other), as
// the relation of each grouped site's group to the group of the nearest grouped site above it:
// the holding relation follows from it step by step, which is all that the order of the groups
// depends on.  One walk in visiting order keeps the grouped sites above the current one.
// Fills room.holders (the first `groups` entries) and room.upper.
void findHolding(const Walk& w, std::size_t groups, WriteRoom& room) {
    const std::vector<int>& groupOf = room.groupOf;
    std::vector<std::vector<int>>& holders = room.holders;
    if (holders.size() < groups) holders.resize(groups);
    for (std::size_t g = 0; g < groups; ++g) holders[g].clear();
    room.upper.assign(w.sites.size(), -1);
    std::vector<int>& stamp = room.stamp;  // per holder, the last group it was recorded for
    stamp.assign(groups, -1);
    std::vector<int>& open = room.open;    // grouped sites, each above the next
    open.clear();
    for (int k = 0; k < static_cast<int>(w.sites.size()); ++k) {
        const int h = groupOf[k];
        if (h < 0) continue;
        while (!open.empty() && !w.within(open.back(), k)) open.pop_back();
        if (!open.empty()) {
            room.upper[k] = open.back();
            const int g = groupOf[open.back()];
            if (g != h && stamp[g] != h) {
                stamp[g] = h;
                holders[h].push_back(g);
            }
        }
        open.push_back(k);
    }
    // A stamp only keeps the latest group: pairs met again later are dropped here.
    for (std::size_t g = 0; g < groups; ++g) {
        std::vector<int>& hs = holders[g];
        std::sort(hs.begin(), hs.end());
        hs.erase(std::unique(hs.begin(), hs.end()), hs.end());
    }
}

}  // namespace

void innermostFirst(const std::vector<std::vector<int>>& holders, std::vector<int>& held, std::vector<int>& out) {
    std::priority_queue<int, std::vector<int>, std::greater<int>> ready;
    for (std::size_t i = 0; i < held.size(); ++i)
        if (held[i] == 0) ready.push(static_cast<int>(i));
    out.clear();
    while (!ready.empty()) {
        const int i = ready.top();
        ready.pop();
        out.push_back(i);
        for (int h : holders[i])
            if (--held[h] == 0) ready.push(h);
    }
}

namespace {

// The held counts of the groups, and their writing order into room.order.
void writingOrder(std::size_t n, WriteRoom& room) {
    room.held.assign(n, 0);
    for (std::size_t h = 0; h < n; ++h)
        for (int g : room.holders[h]) ++room.held[g];
    shared_display_detail::innermostFirst(room.holders, room.held, room.order);
}

// Is z found only inside the occurrences of c, occurrence by occurrence in path order?
bool coveredBy(const Walk& w, const Group& z, const Group& c) {
    if (z.sites.size() != c.sites.size()) return false;
    for (std::size_t k = 0; k < z.sites.size(); ++k)
        if (!w.within(c.sites[k], z.sites[k])) return false;
    return true;
}

// The groups of `order` that no later group of it covers, into room.kept.  A group covering
// z stands above z's first occurrence.
void dropCovered(const Walk& w, const std::vector<Group>& groups, WriteRoom& room) {
    const std::vector<int>& order = room.order;
    std::vector<int>& rank = room.rank;
    rank.assign(groups.size(), -1);
    for (std::size_t k = 0; k < order.size(); ++k) rank[order[k]] = static_cast<int>(k);
    std::vector<int>& kept = room.kept;
    kept.clear();
    for (std::size_t k = 0; k < order.size(); ++k) {
        const int z = order[k];
        bool covered = false;
        for (int x = room.upper[groups[z].sites.front()]; x >= 0 && !covered; x = room.upper[x]) {
            const int c = room.groupOf[x];
            covered = c != z && rank[c] > static_cast<int>(k) && coveredBy(w, groups[z], groups[c]);
        }
        if (!covered) kept.push_back(z);
    }
}

// The let of definitions, in the order of room.kept, named from the supply in turn, around e
// with every occurrence of a kept group replaced by its variable (the groups found in the walk
// of the whole).  A definition's right side is its group's occurrence first in
// path order, with the kept groups' occurrences inside it replaced.  Only the nodes above an
// occurrence are built anew.
std::pair<Expr, NameSupply> writeKept(const Expr& e, const Walk& w,
                                      const std::vector<Group>& groups, WriteRoom& room, NameSupply supply) {
    const std::size_t n = w.sites.size();
    const std::vector<int>& kept = room.kept;
    std::vector<int>& mark = room.mark;
    mark.assign(n, -1);
    std::vector<Expr>& vars = room.vars;
    vars.clear();
    for (std::size_t k = 0; k < kept.size(); ++k) {
        auto [name, rest] = nextName(supply);
        supply = std::move(rest);
        vars.push_back(mkVar(std::move(name), exprType(groups[kept[k]].expr)));
        for (int site : groups[kept[k]].sites) mark[site] = static_cast<int>(k);
    }
    std::vector<char>& above = room.above;  // an occurrence lies strictly below the site
    above.assign(n, 0);
    for (std::size_t k = n; k-- > 1;)
        if (mark[k] >= 0 || above[k]) above[w.sites[k].parent] = 1;
    // A site's new node is taken once: by its parent, or, at an occurrence, by its definition.
    std::vector<std::optional<Expr>>& built = room.built;
    built.clear();
    built.resize(n);
    auto inside = [&](int k) -> Expr { return above[k] ? std::move(*built[k]) : *w.sites[k].expr; };
    auto shown = [&](int k) -> Expr { return mark[k] >= 0 ? vars[mark[k]] : inside(k); };
    for (std::size_t k = n; k-- > 0;) {
        if (!above[k]) continue;
        const Site& s = w.sites[k];
        const Expr& node = *s.expr;
        if (node.isAp()) {
            Expr fun = shown(s.kids[0]);
            built[k] = mkApAs(node, std::move(fun), shown(s.kids[1]));
        } else {
            built[k] = mkLamAs(node, node.pattern(), shown(s.kids[0]));
        }
    }
    Defs defs = mkNoDef();
    for (std::size_t k = kept.size(); k-- > 0;)
        defs = mkOneDef(mkFun(vars[k], inside(groups[kept[k]].sites.front())), std::move(defs), 0);
    return {mkLet(mkDList(std::move(defs)), shown(0), e.lazyType()), std::move(supply)};
}

}  // namespace

std::pair<Expr, NameSupply> writeOnce(const Expr& e, Grouping found, NameSupply supply) {
    const Walk& w = found.walk;
    std::vector<Group>& groups = found.groups;
    BorrowedRoom<WriteRoom> room;
    room->groupOf.assign(w.sites.size(), -1);
    for (std::size_t g = 0; g < groups.size(); ++g)
        for (int site : groups[g].sites) room->groupOf[site] = static_cast<int>(g);
    findHolding(w, groups.size(), *room);
    writingOrder(groups.size(), *room);
    auto before = [&w](int a, int b) { return w.pathBefore(a, b); };
    for (int g : room->order) {
        // In visiting order; path order reverses that unless occurrences nest.
        std::vector<int>& sites = groups[g].sites;
        std::reverse(sites.begin(), sites.end());
        if (!std::is_sorted(sites.begin(), sites.end(), before)) std::sort(sites.begin(), sites.end(), before);
    }
    dropCovered(w, groups, *room);
    return writeKept(e, w, groups, *room, std::move(supply));
}

}  // namespace plim::shared_display_detail

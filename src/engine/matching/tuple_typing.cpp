#include "engine/matching/tuple_typing.h"

#include <algorithm>

namespace plim {

bool tuple_typing::occursUnboundBelow(const Type& t, const std::string& v) {
    // A work stack of its own: the walk stops at the first occurrence.
    std::vector<const Type*> todo{&t};
    while (!todo.empty()) {
        const Type& u = *todo.back();
        todo.pop_back();
        if (u.isTid() && u.name() == v) return true;
        if (u.isTCon() && !u.isGround())
            for (const Type& a : u.args()) todo.push_back(&a);
    }
    return false;
}

bool typesMayUnify(const Type& a, const Type& b) { return TypeUnifier().unify(a, b); }

bool tupleTypeConstrains(const Type& t) {
    // A work stack of its own: the walk stops at the first constraint.
    std::vector<const Type*> todo{&t};
    std::vector<const std::string*> names;
    while (!todo.empty()) {
        const Type& u = *todo.back();
        todo.pop_back();
        if (u.isTCon() && u.name() == tupleTypeName(static_cast<std::int64_t>(u.args().size()))) {
            for (const Type& c : u.args()) todo.push_back(&c);
            continue;
        }
        if (!u.isTid()) return true;
        if (std::any_of(names.begin(), names.end(), [&u](const std::string* n) { return *n == u.name(); }))
            return true;
        names.push_back(&u.name());
    }
    return false;
}

bool typePairsMayUnify(const std::vector<std::pair<Type, Type>>& pairs) {
    TypeUnifier u;
    return std::all_of(pairs.begin(), pairs.end(), [&u](const auto& ab) { return u.unify(ab.first, ab.second); });
}

bool TypeUnifier::unify(const Type& a, const Type& b) {
    if (a.sameNode(b)) return true;
    if (a.isGround() && b.isGround()) return eqType(a, b);
    // A work stack of its own: the walk goes down two types side by side and stops early.
    todo_.clear();
    todo_.emplace_back(a, b);
    while (!todo_.empty()) {
        auto [x, y] = std::move(todo_.back());
        todo_.pop_back();
        x = resolve(std::move(x));
        y = resolve(std::move(y));
        if (x.sameNode(y) || x.isTAbs() || y.isTAbs()) continue;
        if (y.isTid() && !x.isTid()) std::swap(x, y);
        if (x.isTid()) {
            if (y.isTid() && y.name() == x.name()) continue;
            if (holds(y, x.name())) return false;
            bound_.emplace_back(x.name(), y);
            continue;
        }
        if (x.name() != y.name() || x.args().size() != y.args().size()) return false;
        if (x.isGround() && y.isGround()) {
            if (!eqType(x, y)) return false;
            continue;
        }
        for (std::size_t i = 0; i < x.args().size(); ++i) todo_.emplace_back(x.args()[i], y.args()[i]);
    }
    return true;
}

Type TypeUnifier::resolve(Type t) const {
    while (t.isTid()) {
        auto it = std::find_if(bound_.rbegin(), bound_.rend(), [&t](const auto& b) { return b.first == t.name(); });
        if (it == bound_.rend()) break;
        t = it->second;
    }
    return t;
}

bool TypeUnifier::holds(const Type& t, const std::string& v) const {
    if (t.isGround()) return false;
    // A work stack of its own: the walk stops at the first occurrence.
    std::vector<Type> todo{t};
    while (!todo.empty()) {
        const Type u = resolve(todo.back());
        todo.pop_back();
        if (u.isTid() && u.name() == v) return true;
        if (u.isTCon() && !u.isGround())
            for (const Type& a : u.args()) todo.push_back(a);
    }
    return false;
}

bool tuple_typing::arrowImageMayFit(const Type& head, const std::vector<Type>& elementTypes) {
    // The result type is left open: a name no type variable has.
    return typesMayUnify(head, mkArrow(mkTupleType(elementTypes), mkTid(" result")));
}

}  // namespace plim

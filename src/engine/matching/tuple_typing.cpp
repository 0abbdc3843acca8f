#include "engine/matching/tuple_typing.h"

#include <algorithm>
#include <unordered_map>

namespace plim {

namespace {

// Unification with variables bound as it goes; a pair with a scheme on either side is left
// out, so the answer is no only when the types clash or a variable would hold itself.
class Unifier {
public:
    bool unify(const Type& a, const Type& b) {
        std::vector<std::pair<Type, Type>> todo{{a, b}};
        while (!todo.empty()) {
            auto [x, y] = std::move(todo.back());
            todo.pop_back();
            x = resolve(x);
            y = resolve(y);
            if (x.sameNode(y) || x.isTAbs() || y.isTAbs()) continue;
            if (y.isTid() && !x.isTid()) std::swap(x, y);
            if (x.isTid()) {
                if (y.isTid() && y.name() == x.name()) continue;
                if (holds(y, x.name())) return false;
                bound_.emplace(x.name(), y);
                continue;
            }
            if (x.name() != y.name() || x.args().size() != y.args().size()) return false;
            for (std::size_t i = 0; i < x.args().size(); ++i) todo.emplace_back(x.args()[i], y.args()[i]);
        }
        return true;
    }

private:
    Type resolve(Type t) const {
        while (t.isTid()) {
            auto it = bound_.find(t.name());
            if (it == bound_.end()) break;
            t = it->second;
        }
        return t;
    }

    // The variable occurs in t under the bindings (not looking into schemes).
    bool holds(const Type& t, const std::string& v) const {
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

    std::unordered_map<std::string, Type> bound_;
};

// The variable occurs in t, not looking into schemes: the unifier's occurs check while nothing
// is bound.
bool occursUnbound(const Type& t, const std::string& v) {
    if (t.isTid()) return t.name() == v;
    if (!t.isTCon() || t.isGround()) return false;
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

}  // namespace

bool typesMayUnify(const Type& a, const Type& b) { return Unifier().unify(a, b); }

bool imageTypeMayFit(const Type& head, const std::vector<Type>& elementTypes) {
    // A scheme meets anything; a type variable meets the image's type unless it is a part of an
    // element's type (the occurs check): what the unification below answers for them, without
    // building the image's type.
    if (head.isTAbs()) return true;
    if (head.isTid())
        return std::none_of(elementTypes.begin(), elementTypes.end(),
                            [&head](const Type& t) { return occursUnbound(t, head.name()); });
    // The result type is left open: a name no type variable has.
    return typesMayUnify(head, mkArrow(mkTupleType(elementTypes), mkTid(" result")));
}

}  // namespace plim

// Type terms: builders, equality, text form, accessors, environments and variable queries.
#include "lang/types.h"

#include "support/errors.h"
#include "support/release.h"

namespace plim {

// --- builders -------------------------------------------------------------------------------

// Nodes are created mutable so that destruction may take their children apart.
Type mkTCon(std::string name, std::vector<Type> args) {
    return Type(std::make_shared<TypeNode>(TypeKind::TCon, std::move(name), std::move(args), std::vector<std::string>{}));
}

Type mkTid(std::string name) {
    return Type(std::make_shared<TypeNode>(TypeKind::Tid, std::move(name), std::vector<Type>{}, std::vector<std::string>{}));
}

Type mkTAbs(std::vector<std::string> vars, Type body) {
    return Type(std::make_shared<TypeNode>(TypeKind::TAbs, std::string(), std::vector<Type>{std::move(body)}, std::move(vars)));
}

bool TypeNode::groundArgs(TypeKind k, const std::vector<Type>& args) {
    if (k != TypeKind::TCon) return false;
    for (const Type& a : args)
        if (!a.isGround()) return false;
    return true;
}

TypeNode::~TypeNode() {
    releaseSoleChildren(*this, [](TypeNode& n, auto take) {
        for (Type& c : n.args) take(c.node_);
    });
}

Type mkArrow(Type argument, Type result) {
    return mkTCon(std::string(arrowName), {std::move(argument), std::move(result)});
}

Type arrowTypes(const std::vector<Type>& types) {
    if (types.empty()) failInternal("internal error: function type of no types");
    Type out = types.back();
    for (std::size_t i = types.size() - 1; i-- > 0;) out = mkArrow(types[i], std::move(out));
    return out;
}

Type mkListType(Type element) { return mkTCon(std::string(listName), {std::move(element)}); }

std::string tupleTypeName(std::int64_t n) { return std::string(tupleName) + std::to_string(n); }

Type mkTupleType(std::vector<Type> components) {
    std::string name = tupleTypeName(static_cast<std::int64_t>(components.size()));
    return mkTCon(std::move(name), std::move(components));
}

const Type& intType() {
    static const Type t = mkTCon("Int");
    return t;
}

const Type& floatType() {
    static const Type t = mkTCon("Float");
    return t;
}

const Type& boolType() {
    static const Type t = mkTCon("Bool");
    return t;
}

const Type& placeholderType() {
    static const Type t = mkTAbs({"a"}, mkTid("a"));
    return t;
}

// --- equality -------------------------------------------------------------------------------

bool eqType(const Type& a, const Type& b) {
    if (a.sameNode(b)) return true;
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
    case TypeKind::Tid: return a.name() == b.name();
    case TypeKind::TCon: {
        if (a.name() != b.name() || a.args().size() != b.args().size()) return false;
        for (std::size_t i = 0; i < a.args().size(); ++i)
            if (!eqType(a.args()[i], b.args()[i])) return false;
        return true;
    }
    case TypeKind::TAbs: return a.boundVars() == b.boundVars() && eqType(a.body(), b.body());
    }
    return false;
}

// --- text form ------------------------------------------------------------------------------


void appendTypeText(std::string& out, int prec, const Type& t) {
    const bool parens = prec > 10;
    if (parens) out += '(';
    switch (t.kind()) {
    case TypeKind::TCon:
        out += "TCon ";
        appendStringLiteral(out, t.name());
        out += ' ';
        appendTypeListText(out, t.args());
        break;
    case TypeKind::Tid:
        out += "Tid ";
        appendStringLiteral(out, t.name());
        break;
    case TypeKind::TAbs:
        out += "TAbs ";
        appendStringListLiteral(out, t.boundVars());
        out += ' ';
        appendTypeText(out, 11, t.body());
        break;
    }
    if (parens) out += ')';
}

void appendTypeListText(std::string& out, const std::vector<Type>& types) {
    out += '[';
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (i > 0) out += ',';
        appendTypeText(out, 0, types[i]);
    }
    out += ']';
}

std::string showsPrecType(int prec, const Type& t, const std::string& rest) {
    std::string out;
    appendTypeText(out, prec, t);
    return out + rest;
}

std::string typeText(const Type& t) { return showsPrecType(0, t); }

std::string showsTypeList(const std::vector<Type>& types, const std::string& rest) {
    std::string out;
    appendTypeListText(out, types);
    return out + rest;
}

// --- function types -------------------------------------------------------------------------

namespace {

bool isFunctionType(const Type& t) {
    return t.isTCon() && t.name() == arrowName && t.args().size() == 2;
}

}  // namespace

const Type& argType(const Type& t) {
    if (!isFunctionType(t)) failInternal("cannot take argument type of non-function");
    return t.args()[0];
}

const Type& resType(const Type& t) {
    if (!isFunctionType(t)) failInternal("cannot take result type of non-function");
    return t.args()[1];
}

// --- environments ---------------------------------------------------------------------------

const Type& TypeLookup::type() const { return lazyType().get(); }

const Lazy<Type>& TypeLookup::lazyType() const {
    if (!type_) failInternal("internal error: the type of a name that was not found");
    return *type_;
}

TypeLookup lookupVarType(const TypeEnv& env, const std::string& name) {
    for (const auto& [n, t] : env)
        if (n == name) return TypeLookup::Found(t);
    return TypeLookup::NotFound(name);
}

namespace {

void collectFreeVars(std::vector<std::string>& bound, const Type& t, std::vector<std::string>& out) {
    switch (t.kind()) {
    case TypeKind::Tid: {
        bool isBound = false;
        for (const auto& b : bound) isBound = isBound || b == t.name();
        if (!isBound) out.push_back(t.name());
        break;
    }
    case TypeKind::TCon:
        if (t.isGround()) break;
        for (const auto& a : t.args()) collectFreeVars(bound, a, out);
        break;
    case TypeKind::TAbs: {
        const std::size_t before = bound.size();
        bound.insert(bound.end(), t.boundVars().begin(), t.boundVars().end());
        collectFreeVars(bound, t.body(), out);
        bound.resize(before);
        break;
    }
    }
}

void collectConNames(const Type& t, std::vector<std::string>& out) {
    switch (t.kind()) {
    case TypeKind::Tid: break;
    case TypeKind::TCon:
        out.push_back(t.name());
        for (const auto& a : t.args()) collectConNames(a, out);
        break;
    case TypeKind::TAbs: collectConNames(t.body(), out); break;
    }
}

}  // namespace

std::vector<std::string> distinctNames(const std::vector<std::string>& names) {
    std::vector<std::string> out;
    std::unordered_set<std::string> seen;
    for (const auto& n : names)
        if (seen.insert(n).second) out.push_back(n);
    return out;
}

std::vector<std::string> freeTypeVars(const std::vector<std::string>& bound, const Type& t,
                                      std::vector<std::string> acc) {
    std::vector<std::string> boundNow = bound;
    std::vector<std::string> out;
    collectFreeVars(boundNow, t, out);
    out.insert(out.end(), std::make_move_iterator(acc.begin()), std::make_move_iterator(acc.end()));
    return out;
}

std::vector<std::string> typeVarsOf(const Type& t) { return distinctNames(freeTypeVars({}, t)); }

std::size_t numBoundVars(const Type& t) { return t.isTAbs() ? t.boundVars().size() : 0; }

std::vector<std::string> typeConNames(const std::vector<Type>& types) {
    std::vector<std::string> out;
    for (const auto& t : types) collectConNames(t, out);
    return out;
}

std::vector<Type> envBoundTypes(const TypeEnv& env) {
    std::vector<Type> out;
    std::unordered_set<std::string> seen;
    for (const auto& [name, t] : env)
        if (seen.insert(name).second) out.push_back(t);
    return out;
}

std::vector<std::string> typeListVars(const std::vector<Type>& types) {
    std::vector<std::string> out;
    for (const auto& t : types) {
        auto vs = typeVarsOf(t);
        out.insert(out.end(), vs.begin(), vs.end());
    }
    return out;
}

std::vector<std::string> envTypeVars(const TypeEnv& env) { return distinctNames(typeListVars(envBoundTypes(env))); }

}  // namespace plim

// Type terms: builders, equality, text form, accessors, environments and variable queries.
#include "lang/types.h"

#include <algorithm>

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

void TypeNode::setVarRange() {
    varLow = ~std::uint64_t{0};
    varHigh = 0;
    if (kind == TypeKind::Tid) {
        const std::optional<std::uint64_t> pos = namePosition(name);
        varLow = pos ? *pos : 0;
        varHigh = pos ? *pos : ~std::uint64_t{0};
        return;
    }
    if (ground) return;
    for (const Type& a : args) {
        varLow = std::min(varLow, a.node_->varLow);
        varHigh = std::max(varHigh, a.node_->varHigh);
    }
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
    // The pairs still to compare; kept on the thread, as equality is asked very often.
    thread_local std::vector<std::pair<const Type*, const Type*>> work;
    work.clear();
    work.emplace_back(&a, &b);
    while (!work.empty()) {
        const auto [x, y] = work.back();
        work.pop_back();
        if (x->sameNode(*y)) continue;
        if (x->kind() != y->kind()) return false;
        switch (x->kind()) {
        case TypeKind::Tid:
            if (x->name() != y->name()) return false;
            break;
        case TypeKind::TCon:
            if (x->name() != y->name() || x->args().size() != y->args().size()) return false;
            for (std::size_t i = x->args().size(); i-- > 0;) work.emplace_back(&x->args()[i], &y->args()[i]);
            break;
        case TypeKind::TAbs:
            if (x->boundVars() != y->boundVars()) return false;
            work.emplace_back(&x->body(), &y->body());
            break;
        }
    }
    return true;
}

// --- text form ------------------------------------------------------------------------------

namespace {

// A piece of a text form still to be written: a type at a precedence, or one character.
struct TextPiece {
    const Type* type;
    int prec;
    char ch;
};

// Pushes the pieces of "[t1,t2,...]" so that they are written in order.
void pushTypeList(std::vector<TextPiece>& work, const std::vector<Type>& types) {
    work.push_back({nullptr, 0, ']'});
    for (std::size_t i = types.size(); i-- > 0;) {
        work.push_back({&types[i], 0, 0});
        if (i > 0) work.push_back({nullptr, 0, ','});
    }
    work.push_back({nullptr, 0, '['});
}

void writeTextPieces(std::string& out, std::vector<TextPiece>& work) {
    while (!work.empty()) {
        const TextPiece piece = work.back();
        work.pop_back();
        if (!piece.type) {
            out += piece.ch;
            continue;
        }
        const Type& t = *piece.type;
        const bool parens = piece.prec > 10;
        if (parens) out += '(';
        if (parens) work.push_back({nullptr, 0, ')'});
        switch (t.kind()) {
        case TypeKind::TCon:
            out += "TCon ";
            appendStringLiteral(out, t.name());
            out += ' ';
            pushTypeList(work, t.args());
            break;
        case TypeKind::Tid:
            out += "Tid ";
            appendStringLiteral(out, t.name());
            break;
        case TypeKind::TAbs:
            out += "TAbs ";
            appendStringListLiteral(out, t.boundVars());
            out += ' ';
            work.push_back({&t.body(), 11, 0});
            break;
        }
    }
}

}  // namespace

void appendTypeText(std::string& out, int prec, const Type& t) {
    std::vector<TextPiece> work{{&t, prec, 0}};
    writeTextPieces(out, work);
}

void appendTypeListText(std::string& out, const std::vector<Type>& types) {
    std::vector<TextPiece> work;
    pushTypeList(work, types);
    writeTextPieces(out, work);
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

void collectFreeVars(const std::vector<std::string>& outer, const Type& t, std::vector<std::string>& out) {
    // The names bound around the current place, counted, so that a scheme that binds many
    // names costs no scan of them per variable.
    std::unordered_map<std::string_view, std::size_t> bound;
    for (const auto& b : outer) ++bound[b];
    // Each entry: a type to walk, or (type null) a scheme whose body has been walked, whose
    // names leave the count.
    std::vector<std::pair<const Type*, const Type*>> work{{&t, nullptr}};
    while (!work.empty()) {
        const auto [at, ended] = work.back();
        work.pop_back();
        if (!at) {
            for (const auto& v : ended->boundVars())
                if (--bound[v] == 0) bound.erase(v);
            continue;
        }
        switch (at->kind()) {
        case TypeKind::Tid:
            if (!bound.count(at->name())) out.push_back(at->name());
            break;
        case TypeKind::TCon:
            if (at->isGround()) break;
            for (std::size_t i = at->args().size(); i-- > 0;) work.emplace_back(&at->args()[i], nullptr);
            break;
        case TypeKind::TAbs:
            work.emplace_back(nullptr, at);
            for (const auto& v : at->boundVars()) ++bound[v];
            work.emplace_back(&at->body(), nullptr);
            break;
        }
    }
}

void collectConNames(const Type& t, std::vector<std::string>& out) {
    std::vector<const Type*> work{&t};
    while (!work.empty()) {
        const Type* at = work.back();
        work.pop_back();
        switch (at->kind()) {
        case TypeKind::Tid: break;
        case TypeKind::TCon:
            out.push_back(at->name());
            for (std::size_t i = at->args().size(); i-- > 0;) work.push_back(&at->args()[i]);
            break;
        case TypeKind::TAbs: work.push_back(&at->body()); break;
        }
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
    std::vector<std::string> out;
    collectFreeVars(bound, t, out);
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

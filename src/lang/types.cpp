// Type terms: builders, equality, text form, accessors, environments and variable queries.
#include "lang/types.h"

#include <algorithm>
#include <array>
#include <mutex>
#include <unordered_set>

#include "support/errors.h"
#include "support/block_pool.h"
#include "support/hashing.h"

namespace plim {

// --- nodes ------------------------------------------------------------------------------------

namespace {

// Node blocks: sizes up to kPooledBytes come from this thread's block lists
// (support/block_pool.h), longer constructor terms from the general allocator.
constexpr std::size_t kPooledBytes = 64;

template <std::size_t Size>
void* takeBlock() {
    return pool_detail::BlockList<pool_detail::blockSize(Size)>::take();
}

void* allocateNode(std::size_t bytes) {
    if (!kPoolBlocks || bytes > kPooledBytes) return ::operator new(bytes);
    if (bytes <= 16) return takeBlock<16>();
    if (bytes <= 32) return takeBlock<32>();
    if (bytes <= 48) return takeBlock<48>();
    return takeBlock<64>();
}

void freeNode(void* p, std::size_t bytes) {
    if (!kPoolBlocks || bytes > kPooledBytes) {
        ::operator delete(p);
        return;
    }
    if (bytes <= 16) pool_detail::BlockList<pool_detail::blockSize(16)>::give(p);
    else if (bytes <= 32) pool_detail::BlockList<pool_detail::blockSize(32)>::give(p);
    else if (bytes <= 48) pool_detail::BlockList<pool_detail::blockSize(48)>::give(p);
    else pool_detail::BlockList<pool_detail::blockSize(64)>::give(p);
}

std::size_t conNodeBytes(std::size_t count) { return sizeof(TypeConNode) + count * sizeof(Type); }

// A TCon with kWideCount arguments or more keeps its count in a word before the node.
void* allocateConNode(std::size_t count) {
    if (count < TypeNode::kWideCount) return allocateNode(conNodeBytes(count));
    auto* block = static_cast<std::size_t*>(::operator new(sizeof(std::size_t) + conNodeBytes(count)));
    block[0] = count;
    return block + 1;
}

void freeConNode(void* p, std::size_t count) {
    if (count < TypeNode::kWideCount) return freeNode(p, conNodeBytes(count));
    ::operator delete(static_cast<std::size_t*>(p) - 1);
}

// The interned constructor names: a few distinct names, kept for the life of the process.
const std::string* internConName(const std::string& name) {
        struct Table {
        std::mutex lock;
        std::unordered_set<std::string> names;
    };
    static auto* table = new Table();
    const std::lock_guard<std::mutex> hold(table->lock);
    auto it = table->names.find(name);
    if (it == table->names.end()) it = table->names.emplace(name).first;
    return &*it;
}

void widenRange(TypeNode& n, const TypeNode& child) {
    n.varLow = std::min(n.varLow, child.varLow);
    n.varHigh = std::max(n.varHigh, child.varHigh);
}

}  // namespace

// Builds type handles from nodes; the only code that may.
struct TypeBuilder {
    static TypeNode* node(const Type& t) { return t.node_; }

    // A TCon of `count` arguments, each placed by `place(i, slot)`.
    template <class Place>
    static Type con(const std::string* name, std::size_t count, Place place) {
        auto* n = new (allocateConNode(count)) TypeConNode(name);
        n->count = static_cast<std::uint16_t>(std::min<std::size_t>(count, TypeNode::kWideCount));
        bool ground = true;
        std::uint64_t hash = mixHash(reinterpret_cast<std::uintptr_t>(name), count);
        Type* slots = n->argsStart();
        for (std::size_t i = 0; i < count; ++i) {
            place(i, &slots[i]);
            const TypeNode& child = *slots[i].node_;
            ground = ground && child.ground;
            widenRange(*n, child);
            hash = mixHash(hash, slots[i].hashCode());
        }
        n->ground = ground;
        n->hash = hash;
        if (ground) {
            n->varLow = ~std::uint32_t{0};
            n->varHigh = 0;
        }
        return Type(n);
    }

    static Type var(std::string name) {
        auto* n = new (allocateNode(sizeof(TypeVarNode))) TypeVarNode(std::move(name));
        const std::optional<std::uint64_t> pos = namePosition(n->name);
        if (!pos) {
            n->varLow = 0;
            n->varHigh = TypeNode::kFarPosition;
        } else {
            n->varLow = n->varHigh = *pos < TypeNode::kFarPosition ? static_cast<std::uint32_t>(*pos) : TypeNode::kFarPosition;
        }
        return Type(n);
    }

    static Type abs(std::vector<std::string> vars, Type body) {
        auto* n = new (allocateNode(sizeof(TypeAbsNode))) TypeAbsNode(std::move(vars), std::move(body));
        widenRange(*n, *n->body.node_);
        std::uint64_t hash = mixHash(0x7ab5, n->vars.size());
        for (const auto& v : n->vars) hash = mixHash(hash, std::hash<std::string>{}(v));
        n->hash = mixHash(hash, n->body.hashCode());
        return Type(n);
    }
};

// Releases nodes that nobody holds any more, without nested calls and without asking the
// allocator for anything (a destructor may not fail): the constructor and scheme nodes waiting
// to be released are linked through their hash, which such a node has no more use for, and a
// variable node, which holds nothing, is freed at once.
struct TypeRelease {
    // The nodes waiting on this thread, the newest first; `releasing` while a release runs (a
    // node released meanwhile, one that a type computed on demand held, joins the list).
    static inline thread_local TypeNode* waiting = nullptr;
    static inline thread_local bool releasing = false;

    static std::uint64_t& link(TypeNode* n) {
        return n->kind == TypeKind::TCon ? static_cast<TypeConNode*>(n)->hash : static_cast<TypeAbsNode*>(n)->hash;
    }
    static void wait(TypeNode* n) {
        if (n->kind == TypeKind::Tid) {
            auto* v = static_cast<TypeVarNode*>(n);
            v->~TypeVarNode();
            freeNode(v, sizeof(TypeVarNode));
            return;
        }
        link(n) = reinterpret_cast<std::uintptr_t>(waiting);
        waiting = n;
    }
    static TypeNode* next() {
        TypeNode* n = waiting;
        if (n != nullptr) waiting = reinterpret_cast<TypeNode*>(static_cast<std::uintptr_t>(link(n)));
        return n;
    }

    static void take(Type& child) {
        TypeNode* n = child.node_;
        child.node_ = nullptr;
        if (n && n->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) wait(n);
    }

    // Takes n's children (a constructor's or a scheme's) and frees n.
    static void destroy(TypeNode* n) {
        if (n->kind == TypeKind::TCon) {
            auto* c = static_cast<TypeConNode*>(n);
            const std::size_t count = c->argCount();
            Type* slots = c->argsStart();
            for (std::size_t i = 0; i < count; ++i) {
                take(slots[i]);
                slots[i].~Type();
            }
            c->~TypeConNode();
            freeConNode(c, count);
            return;
        }
        auto* a = static_cast<TypeAbsNode*>(n);
        take(a->body);
        a->~TypeAbsNode();
        freeNode(a, sizeof(TypeAbsNode));
    }
};

void releaseTypeNode(TypeNode* node) noexcept {
    TypeRelease::wait(node);
    if (TypeRelease::releasing) return;
    TypeRelease::releasing = true;
    while (TypeNode* n = TypeRelease::next()) TypeRelease::destroy(n);
    TypeRelease::releasing = false;
}

std::uint64_t typeVarHash(const TypeNode& tid) {
    // A name of the fresh-name sequence by its position there, kept in the node.
    if (tid.varLow == tid.varHigh && tid.varLow != TypeNode::kFarPosition) return mixHash(0x71d, tid.varLow);
    return mixHash(0x71e, std::hash<std::string>{}(static_cast<const TypeVarNode&>(tid).name));
}

// --- builders -------------------------------------------------------------------------------

const std::string& noTypeName() {
    static const std::string none;
    return none;
}

const std::vector<std::string>& noBoundVars() {
    static const std::vector<std::string> none;
    return none;
}

Type mkTCon(std::string name, std::vector<Type> args) {
    return TypeBuilder::con(internConName(name), args.size(), [&args](std::size_t i, Type* slot) { new (slot) Type(std::move(args[i])); });
}

Type mkTConLike(const Type& like, Type* args) {
    const auto* n = static_cast<const TypeConNode*>(TypeBuilder::node(like));
    return TypeBuilder::con(n->name, n->argCount(), [args](std::size_t i, Type* slot) { new (slot) Type(std::move(args[i])); });
}

Type mkTid(std::string name) { return TypeBuilder::var(std::move(name)); }

Type mkTAbs(std::vector<std::string> vars, Type body) { return TypeBuilder::abs(std::move(vars), std::move(body)); }

Type mkArrow(Type argument, Type result) {
    static const std::string* const name = internConName(std::string(arrowName));
    return TypeBuilder::con(name, 2, [&](std::size_t i, Type* slot) { new (slot) Type(std::move(i == 0 ? argument : result)); });
}

Type arrowTypes(const std::vector<Type>& types) {
    if (types.empty()) failInternal("internal error: function type of no types");
    Type out = types.back();
    for (std::size_t i = types.size() - 1; i-- > 0;) out = mkArrow(types[i], std::move(out));
    return out;
}

Type mkListType(Type element) {
    static const std::string* const name = internConName(std::string(listName));
    return TypeBuilder::con(name, 1, [&element](std::size_t, Type* slot) { new (slot) Type(std::move(element)); });
}

std::string tupleTypeName(std::int64_t n) { return std::string(tupleName) + std::to_string(n); }

namespace {

// The interned name of the tuple type of n components; the small arities are looked up once.
const std::string* tupleTypeNameOf(std::size_t n) {
    static const std::array<const std::string*, 16> small = [] {
        std::array<const std::string*, 16> names{};
        for (std::size_t i = 0; i < names.size(); ++i) names[i] = internConName(tupleTypeName(static_cast<std::int64_t>(i)));
        return names;
    }();
    return n < small.size() ? small[n] : internConName(tupleTypeName(static_cast<std::int64_t>(n)));
}

}  // namespace

Type mkTupleType(std::vector<Type> components) {
    return TypeBuilder::con(tupleTypeNameOf(components.size()), components.size(),
                            [&components](std::size_t i, Type* slot) { new (slot) Type(std::move(components[i])); });
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

bool sameConParts(const Type& a, const Type& b) {
    if (!a.sameConName(b) || a.args().size() != b.args().size()) return false;
    for (std::size_t i = 0; i < a.args().size(); ++i)
        if (!a.args()[i].sameNode(b.args()[i])) return false;
    return true;
}

bool eqType(const Type& a, const Type& b) {
    if (a.sameNode(b)) return true;  // the usual answer, without the work list
    // The pairs still to compare; kept on the thread, as equality is asked very often.
    thread_local std::vector<std::pair<const Type*, const Type*>> work;
    work.clear();
    work.emplace_back(&a, &b);
    while (!work.empty()) {
        const auto [x, y] = work.back();
        work.pop_back();
        if (x->sameNode(*y)) continue;
        if (x->kind() != y->kind()) return false;
        // Terms with different hashes differ: two deep types that are not equal are told apart
        // at once, not by a walk down to where they part.
        if (!x->isTid() && x->hashCode() != y->hashCode()) return false;
        switch (x->kind()) {
        case TypeKind::Tid:
            if (x->name() != y->name()) return false;
            break;
        case TypeKind::TCon:
            if (!x->sameConName(*y) || x->args().size() != y->args().size()) return false;
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
void pushTypeList(std::vector<TextPiece>& work, TypeArgs types) {
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
    pushTypeList(work, TypeArgs(types.data(), types.size()));
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
    if (!isFunctionType(t)) failUser("cannot take argument type of non-function");
    return t.args()[0];
}

const Type& resType(const Type& t) {
    if (!isFunctionType(t)) failUser("cannot take result type of non-function");
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

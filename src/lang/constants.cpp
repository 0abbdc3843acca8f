// The operator table and the built-in constants: types, text form and equality.
#include "lang/constants.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "support/list_utils.h"

namespace plim {

// --- operator table -------------------------------------------------------------------------

namespace {

struct OpRow {
    std::string_view name;
    std::string_view symbol;
    int level;
    OpGrouping grouping;
};

constexpr std::array<OpRow, kOpCount> kOpTable = {{
    {"App", "", 100, OpGrouping::Left},
    {"Idx", "!", 9, OpGrouping::Left},
    {"Comp", ".", 9, OpGrouping::Right},
    {"Exp", "^", 10, OpGrouping::Left},
    {"Tim", "*", 7, OpGrouping::Left},
    {"Div", "/", 7, OpGrouping::Left},
    {"Mod", "mod", 7, OpGrouping::Left},
    {"Plus", "+", 6, OpGrouping::Left},
    {"Min", "-", 6, OpGrouping::Left},
    {"FExp", "^.", 10, OpGrouping::Left},
    {"FTim", "*.", 7, OpGrouping::Left},
    {"FDiv", "/.", 7, OpGrouping::Right},
    {"FPlus", "+.", 6, OpGrouping::Left},
    {"FMin", "-.", 6, OpGrouping::Left},
    {"Cat", "++", 5, OpGrouping::Right},
    {"Cons", ":", 5, OpGrouping::Right},
    {"Eq", "==", 4, OpGrouping::Left},
    {"Neq", "/=", 4, OpGrouping::Left},
    {"Le", "<", 4, OpGrouping::Left},
    {"Leq", "<=", 4, OpGrouping::Left},
    {"Ge", ">", 4, OpGrouping::Left},
    {"Geq", ">=", 4, OpGrouping::Left},
    {"And", "&&", 3, OpGrouping::Right},
    {"Or", "||", 2, OpGrouping::Right},
}};

const OpRow& row(Op op) { return kOpTable[static_cast<std::size_t>(op)]; }

const Type& a0() {
    static const Type t = mkTid("a0");
    return t;
}
const Type& b0() {
    static const Type t = mkTid("b0");
    return t;
}
const Type& c0() {
    static const Type t = mkTid("c0");
    return t;
}

// The types of all operators but App, built once.
std::vector<std::optional<Type>> buildOpTypes() {
    const Type ints = arrowTypes({intType(), intType(), intType()});
    const Type floats = arrowTypes({floatType(), floatType(), floatType()});
    const Type bools = arrowTypes({boolType(), boolType(), boolType()});
    const Type listA = mkListType(a0());
    const Type compare = generalise(arrowTypes({a0(), a0(), boolType()}));
    std::vector<std::optional<Type>> t(kOpCount);
    auto set = [&t](Op op, Type type) { t[static_cast<std::size_t>(op)] = std::move(type); };
    set(Op::Idx, generalise(arrowTypes({listA, intType(), a0()})));
    set(Op::Comp, generalise(arrowTypes({mkArrow(a0(), b0()), mkArrow(c0(), a0()), c0(), b0()})));
    for (Op op : {Op::Exp, Op::Tim, Op::Div, Op::Mod, Op::Plus, Op::Min}) set(op, ints);
    for (Op op : {Op::FExp, Op::FTim, Op::FDiv, Op::FPlus, Op::FMin}) set(op, floats);
    set(Op::Cat, generalise(arrowTypes({listA, listA, listA})));
    set(Op::Cons, generalise(arrowTypes({a0(), listA, listA})));
    for (Op op : {Op::Eq, Op::Neq, Op::Le, Op::Leq, Op::Ge, Op::Geq}) set(op, compare);
    set(Op::And, bools);
    set(Op::Or, bools);
    return t;
}

}  // namespace

const std::vector<Op>& allOps() {
    static const std::vector<Op> ops = [] {
        std::vector<Op> out;
        for (int i = 0; i < kOpCount; ++i) out.push_back(static_cast<Op>(i));
        return out;
    }();
    return ops;
}

std::string_view opName(Op op) { return row(op).name; }

std::string showsOp(Op op, const std::string& rest) { return std::string(opName(op)) + rest; }

std::string_view opSymbol(Op op) { return row(op).symbol; }

int opPrecedenceInteger(Op op) { return row(op).level; }

OpGrouping opGrouping(Op op) { return row(op).grouping; }

const Type& optype(Op op) {
    static const std::vector<std::optional<Type>> types = buildOpTypes();
    const auto& t = types[static_cast<std::size_t>(op)];
    if (!t) patternFail(CodedFailure::OperatorTypeMissing);
    return *t;
}

// --- constants ------------------------------------------------------------------------------

void Constant::otherKind() { failInternal("internal error: field of another kind of constant"); }

Constant mkIf() { return Constant(ConstantKind::If); }
Constant mkNumber(std::int32_t n) {
    Constant c(ConstantKind::Number);
    c.int_ = n;
    return c;
}
Constant mkFNumber(float x) {
    Constant c(ConstantKind::FNumber);
    c.float_ = x;
    return c;
}
Constant mkBinop(Op op) {
    Constant c(ConstantKind::Binop);
    c.op_ = op;
    return c;
}
Constant mkBoolean(bool b) {
    Constant c(ConstantKind::Boolean);
    c.bool_ = b;
    return c;
}
Constant mkNul() { return Constant(ConstantKind::Nul); }
Constant mkTuple(std::int32_t arity) {
    Constant c(ConstantKind::Tuple);
    c.int_ = arity;
    return c;
}
namespace {

// The one copy of each constructor name; never destroyed, as constants may outlive it at exit.
const std::string* sharedName(std::string name) {
    static std::mutex lock;
    static auto* names = new std::unordered_set<std::string>();
    const std::lock_guard<std::mutex> hold(lock);
    return &*names->insert(std::move(name)).first;
}

}  // namespace

Constant mkConstr(std::string name) {
    Constant c(ConstantKind::Constr);
    c.name_ = sharedName(std::move(name));
    return c;
}
Constant mkError() { return Constant(ConstantKind::Error); }

bool eqConstant(const Constant& a, const Constant& b) {
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
    case ConstantKind::If:
    case ConstantKind::Nul:
    case ConstantKind::Error: return true;
    case ConstantKind::Number: return a.number() == b.number();
    case ConstantKind::Tuple: return a.arity() == b.arity();
    case ConstantKind::FNumber: return a.fnumber() == b.fnumber();
    case ConstantKind::Binop: return a.op() == b.op();
    case ConstantKind::Boolean: return a.boolean() == b.boolean();
    // Names are shared (see Constant::name_): most equal ones are one copy.
    case ConstantKind::Constr: return &a.constrName() == &b.constrName() || a.constrName() == b.constrName();
    }
    return false;
}

// --- text form ------------------------------------------------------------------------------

namespace {

// The digits and decimal exponent e of a positive finite x, read as 0.d1d2... * 10^e.
std::pair<std::string, int> shortestDigits(float x) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::scientific);
    const std::string text(buf, res.ptr);
    const auto e = text.find('e');
    std::string digits;
    for (char c : text.substr(0, e))
        if (c != '.') digits += c;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    const int exponent = std::atoi(text.c_str() + e + 1);
    return {digits, exponent + 1};
}

std::string unsignedFloatText(float x) {
    if (std::isnan(x)) return "NaN";
    if (std::isinf(x)) return "Infinity";
    if (x == 0.0f) return "0.0";
    auto [ds, e] = shortestDigits(x);
    if (e >= 0 && e <= 7) {
        if (e == 0) return "0." + ds;
        std::string whole = ds.substr(0, std::min<std::size_t>(ds.size(), static_cast<std::size_t>(e)));
        whole.resize(static_cast<std::size_t>(e), '0');
        const std::string frac = ds.size() > static_cast<std::size_t>(e) ? ds.substr(static_cast<std::size_t>(e)) : "0";
        return whole + "." + frac;
    }
    const std::string rest = ds.size() > 1 ? ds.substr(1) : "0";
    return ds.substr(0, 1) + "." + rest + "e" + std::to_string(e - 1);
}

void appendSigned(std::string& out, int prec, bool negative, const std::string& magnitude) {
    if (!negative) {
        out += magnitude;
        return;
    }
    if (prec > 6) out += '(';
    out += '-';
    out += magnitude;
    if (prec > 6) out += ')';
}

}  // namespace

void appendIntText(std::string& out, int prec, std::int32_t n) {
    const std::uint32_t magnitude = n < 0 ? 0u - static_cast<std::uint32_t>(n) : static_cast<std::uint32_t>(n);
    appendSigned(out, prec, n < 0, std::to_string(magnitude));
}

void appendFloatText(std::string& out, int prec, float x) {
    const bool negative = !std::isnan(x) && std::signbit(x);
    appendSigned(out, prec, negative, unsignedFloatText(std::fabs(x)));
}

void appendConstantText(std::string& out, int prec, const Constant& c) {
    const bool parens = prec > 10;
    switch (c.kind()) {
    case ConstantKind::If: out += "If"; return;
    case ConstantKind::Nul: out += "Nul"; return;
    case ConstantKind::Error: out += "Error"; return;
    default: break;
    }
    if (parens) out += '(';
    switch (c.kind()) {
    case ConstantKind::Number:
        out += "Number ";
        appendIntText(out, 11, c.number());
        break;
    case ConstantKind::FNumber:
        out += "FNumber ";
        appendFloatText(out, 11, c.fnumber());
        break;
    case ConstantKind::Binop:
        out += "Binop ";
        out += opName(c.op());
        break;
    case ConstantKind::Boolean: out += c.boolean() ? "Boolean True" : "Boolean False"; break;
    case ConstantKind::Tuple:
        out += "Tuple ";
        appendIntText(out, 11, c.arity());
        break;
    case ConstantKind::Constr:
        out += "Constr ";
        appendStringLiteral(out, c.constrName());
        break;
    default: break;
    }
    if (parens) out += ')';
}

std::string showsPrecConstant(int prec, const Constant& c, const std::string& rest) {
    std::string out;
    appendConstantText(out, prec, c);
    return out + rest;
}

std::string constantText(const Constant& c) { return showsPrecConstant(0, c); }

// --- number literals ------------------------------------------------------------------------

namespace {

float digitValue(char c) {
    return static_cast<float>(static_cast<int>(static_cast<unsigned char>(c)) - static_cast<int>('0'));
}

}  // namespace

float integerDigitsToFloat(float start, std::string_view digits) {
    const float ten = 10.0f;
    float value = start;
    for (char c : digits) {
        const float scaled = value * ten;
        value = digitValue(c) + scaled;
    }
    return value;
}

float fractionDigitsToFloat(std::string_view digits) {
    const float ten = 10.0f;
    float value = 0.0f;
    for (std::size_t i = digits.size(); i-- > 0;) {
        const float sum = digitValue(digits[i]) + value;
        value = sum / ten;
    }
    return value;
}

Constant numberConstant(const std::string& digits, const MaybeFraction& fraction) {
    if (!fraction) return mkNumber(strToInt(digits));
    const float whole = integerDigitsToFloat(0.0f, digits);
    const float part = fractionDigitsToFloat(*fraction);
    return mkFNumber(whole + part);
}

// --- constant types -------------------------------------------------------------------------

namespace {

// forall a b ... . a -> b -> ... -> Tuple<n> a b ...; an empty scheme for n <= 0.
Type tupleConstructorType(std::int32_t n) {
    const std::vector<std::string> names = n > 0 ? typeVarNames().take(static_cast<std::size_t>(n)) : std::vector<std::string>{};
    std::vector<Type> vars;
    vars.reserve(names.size() + 1);
    for (const auto& name : names) vars.push_back(mkTid(name));
    Type result = mkTCon(tupleTypeName(n), vars);
    vars.push_back(std::move(result));
    return mkTAbs(names, arrowTypes(vars));
}

const Type& ifType() {
    static const Type t = generalise(arrowTypes({boolType(), a0(), a0(), a0()}));
    return t;
}
const Type& nulType() {
    static const Type t = generalise(mkListType(a0()));
    return t;
}
const Type& errorType() {
    static const Type t = generalise(a0());
    return t;
}

}  // namespace

TypeLookup constantType(const TypeEnv& env, const Constant& c) {
    switch (c.kind()) {
    case ConstantKind::If: return TypeLookup::Found(ifType());
    case ConstantKind::Number: return TypeLookup::Found(intType());
    case ConstantKind::FNumber: return TypeLookup::Found(floatType());
    case ConstantKind::Binop: {
        const Op op = c.op();
        if (op == Op::App) return TypeLookup::Found(delay([op] { return optype(op); }));
        return TypeLookup::Found(optype(op));
    }
    case ConstantKind::Boolean: return TypeLookup::Found(boolType());
    case ConstantKind::Nul: return TypeLookup::Found(nulType());
    case ConstantKind::Tuple: {
        const std::int32_t n = c.arity();
        return TypeLookup::Found(delay([n] { return tupleConstructorType(n); }));
    }
    case ConstantKind::Constr: return lookupVarType(env, c.constrName());
    case ConstantKind::Error: return TypeLookup::Found(errorType());
    }
    return TypeLookup::Found(errorType());
}

}  // namespace plim

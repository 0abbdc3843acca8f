// The built-in operators and constants of the object language: the operator table (names,
// symbols, precedence levels, grouping, types), the constants with their types, text form and
// equality, and the resolution of operator chains by precedence and grouping.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "lang/types.h"
#include "support/errors.h"
#include "support/release.h"

namespace plim {

// --- operators ------------------------------------------------------------------------------

// The 24 operators in tag order.
enum class Op : std::uint8_t {
    App, Idx, Comp, Exp, Tim, Div, Mod, Plus, Min, FExp, FTim, FDiv,
    FPlus, FMin, Cat, Cons, Eq, Neq, Le, Leq, Ge, Geq, And, Or,
};
inline constexpr int kOpCount = 24;

// All operators in tag order.
const std::vector<Op>& allOps();

// The constructor name: "App", "Idx", ..., "Or".
std::string_view opName(Op op);
// The constructor name in front of `rest`; never parenthesised.
std::string showsOp(Op op, const std::string& rest = {});
// The source symbol ("!", "^.", "mod", ...); empty for App, which is juxtaposition.
std::string_view opSymbol(Op op);

// The precedence level: App 100; Exp, FExp 10; Idx, Comp 9; Tim, Div, Mod, FTim, FDiv 7;
// Plus, Min, FPlus, FMin 6; Cat, Cons 5; the comparisons 4; And 3; Or 2.
int opPrecedenceInteger(Op op);
// The same level in the caller's numeric type.
template <class N>
N opPrecedence(Op op) {
    return static_cast<N>(opPrecedenceInteger(op));
}

// How a run of one and the same operator nests.
enum class OpGrouping : std::uint8_t { Left, Right };
OpGrouping opGrouping(Op op);

// The operator's type, one shared value per operator; the polymorphic ones are schemes over
// "a", "b", "c".  App has none: "Constants:184|function optype".
const Type& optype(Op op);

// --- constants ------------------------------------------------------------------------------

enum class ConstantKind : std::uint8_t { If, Number, FNumber, Binop, Boolean, Nul, Tuple, Constr, Error };

class Constant {
public:
    ConstantKind kind() const { return kind_; }
    // The field of each kind; asked of another kind, an internal error.  In line: the sharing
    // of the display form hashes the constants of every step's expression.
    std::int32_t number() const {
        expect(ConstantKind::Number);
        return int_;
    }
    float fnumber() const {
        expect(ConstantKind::FNumber);
        return float_;
    }
    Op op() const {
        expect(ConstantKind::Binop);
        return op_;
    }
    bool boolean() const {
        expect(ConstantKind::Boolean);
        return bool_;
    }
    std::int32_t arity() const {
        expect(ConstantKind::Tuple);
        return int_;
    }
    const std::string& constrName() const {
        expect(ConstantKind::Constr);
        return *name_;
    }

private:
    friend Constant mkIf();
    friend Constant mkNumber(std::int32_t n);
    friend Constant mkFNumber(float x);
    friend Constant mkBinop(Op op);
    friend Constant mkBoolean(bool b);
    friend Constant mkNul();
    friend Constant mkTuple(std::int32_t arity);
    friend Constant mkConstr(std::string name);
    friend Constant mkError();

    explicit Constant(ConstantKind kind) : kind_(kind) {}
    void expect(ConstantKind k) const {
        if (kind_ != k) otherKind();
    }
    [[noreturn]] static void otherKind();

    ConstantKind kind_;
    Op op_ = Op::App;
    bool bool_ = false;
    union {
        std::int32_t int_ = 0;  // Number, Tuple
        float float_;           // FNumber
    };
    // A constructor's name: the one copy every constant of that name shares (names are few
    // and constants many, so that a constant node stays small).
    const std::string* name_ = nullptr;
};

Constant mkIf();
Constant mkNumber(std::int32_t n);
Constant mkFNumber(float x);
Constant mkBinop(Op op);
Constant mkBoolean(bool b);
Constant mkNul();
Constant mkTuple(std::int32_t arity);
Constant mkConstr(std::string name);
Constant mkError();

// Same constructor and equal field; floats compare as IEEE values (NaN equals nothing, 0.0
// equals -0.0).
bool eqConstant(const Constant& a, const Constant& b);
inline bool operator==(const Constant& a, const Constant& b) { return eqConstant(a, b); }

// The text form: If, Number 5, FNumber 1.0e-2, Binop Plus, Boolean True, Nul, Tuple 2,
// Constr "Cons", Error; a constructor with a field is parenthesised when prec > 10.
std::string showsPrecConstant(int prec, const Constant& c, const std::string& rest = {});
void appendConstantText(std::string& out, int prec, const Constant& c);
std::string constantText(const Constant& c);

// Numbers as fields of a text form: a negative one is written "(-3)" when prec > 6.
void appendIntText(std::string& out, int prec, std::int32_t n);
// The shortest digits that read back as the same single-precision value: fixed notation
// ("0.1", "1234567.0") from 0.1 up to below 10^7, otherwise "1.0e-2", "1.0e7"; "NaN",
// "Infinity"; a negative value written "(-0.5)" when prec > 6.
void appendFloatText(std::string& out, int prec, float x);

// The type of a constant: Found with its scheme, or for Constr what the environment holds
// (NotFound with the name when it holds nothing).  The type of a Binop or a Tuple is computed
// when first examined.
TypeLookup constantType(const TypeEnv& env, const Constant& c);

// --- number literals ------------------------------------------------------------------------

// The digits after the decimal point of a number literal, when it has one.
using MaybeFraction = std::optional<std::string>;

// Number (strToInt digits) without a fraction; with one, FNumber of the integer part plus the
// fraction, every step rounded to single precision.
Constant numberConstant(const std::string& digits, const MaybeFraction& fraction);
// From `start`, each digit d from the left makes the value d + value * 10.0 (single precision).
float integerDigitsToFloat(float start, std::string_view digits);
// From the right: "" gives 0.0, and d followed by r gives (d + value of r) / 10.0.
float fractionDigitsToFloat(std::string_view digits);

// --- operator chains ------------------------------------------------------------------------

// A tree skeleton of an operator expression: ChainEnd (an operand position) or
// ChainCell (left, op, right).
class OpChain {
public:
    // ChainEnd.
    OpChain() = default;
    static OpChain cell(OpChain left, Op op, OpChain right);

    bool isEnd() const { return !cell_; }
    const OpChain& left() const;
    Op op() const;
    const OpChain& right() const;

private:
    struct Cell;
    std::shared_ptr<const Cell> cell_;
};

struct OpChain::Cell {
    OpChain left;
    Op op;
    OpChain right;

    Cell(OpChain l, Op o, OpChain r) : left(std::move(l)), op(o), right(std::move(r)) {}
    Cell(const Cell&) = delete;
    Cell& operator=(const Cell&) = delete;
    // Releases the cells that only this one holds one at a time (long chains, shallow stack).
    ~Cell();
};

inline OpChain chainEnd() { return OpChain(); }
inline OpChain chainCell(OpChain left, Op op, OpChain right) { return OpChain::cell(std::move(left), op, std::move(right)); }
bool eqOpChain(const OpChain& a, const OpChain& b);

// Pairs (operator, chain to its right), front first.
using PendingList = std::vector<std::pair<Op, OpChain>>;

// The operators of an expression in source order, each with the operators of higher precedence
// that bind under it absorbed into the chain to its right.
PendingList orderByPrecedence(const std::vector<Op>& ops);
// One step: x with chain t inserted at the front of the list, absorbing the pairs of strictly
// higher precedence.
PendingList insertByPrecedence(Op x, OpChain t, const PendingList& list);
// Left fold: acc becomes ChainCell acc o t for each pair in order.
OpChain foldOpChain(OpChain start, const PendingList& list);
// Regroups each run of one right-grouping operator (Comp, FDiv, Cat, Cons, And, Or) to the right.
OpChain opChainResolve(const OpChain& chain);
OpChain assl(const OpChain& chain);
OpChain assr(const OpChain& chain);

// The filled tree: OpLeaf (an operand) or OpNode (left, op, right).
template <class T>
class OpTree {
public:
    static OpTree leaf(T operand) {
        return OpTree(std::make_shared<Node>(std::optional<T>(std::move(operand)), Op::App, std::vector<OpTree>{}));
    }
    static OpTree node(OpTree left, Op op, OpTree right) {
        std::vector<OpTree> children;
        children.reserve(2);
        children.push_back(std::move(left));
        children.push_back(std::move(right));
        return OpTree(std::make_shared<Node>(std::nullopt, op, std::move(children)));
    }

    bool isLeaf() const { return node_->operand.has_value(); }
    const T& operand() const { return *node_->operand; }
    Op op() const { return node_->op; }
    const OpTree& left() const { return node_->children[0]; }
    const OpTree& right() const { return node_->children[1]; }

private:
    struct Node {
        std::optional<T> operand;
        Op op;
        std::vector<OpTree> children;

        Node(std::optional<T> x, Op o, std::vector<OpTree> c) : operand(std::move(x)), op(o), children(std::move(c)) {}
        Node(const Node&) = delete;
        Node& operator=(const Node&) = delete;
        // Releases the nodes that only this one holds one at a time.
        ~Node() {
            releaseSoleChildren(*this, [](Node& n, auto take) {
                for (OpTree& c : n.children) take(c.node_);
            });
        }
    };
    explicit OpTree(std::shared_ptr<const Node> node) : node_(std::move(node)) {}
    std::shared_ptr<const Node> node_;
};

// The operands filled into the chain's leaves from left to right; returns the tree and the
// operands left over.  Walks the chain with an explicit stack.
template <class T>
std::pair<OpTree<T>, std::vector<T>> fillOperands(const OpChain& chain, const std::vector<T>& operands) {
    std::size_t next = 0;
    auto leaf = [&]() {
        if (next >= operands.size()) failInternal("internal error: an operator chain with more leaves than operands");
        return OpTree<T>::leaf(operands[next++]);
    };
    struct Frame {
        const OpChain* cell;
        int stage;
        std::optional<OpTree<T>> left;
    };
    std::optional<OpTree<T>> done;
    std::vector<Frame> stack;
    if (chain.isEnd()) done = leaf();
    else stack.push_back({&chain, 0, std::nullopt});
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.stage == 0) {
            f.stage = 1;
            if (!f.cell->left().isEnd()) {
                stack.push_back({&f.cell->left(), 0, std::nullopt});
                continue;
            }
            done = leaf();
        }
        if (f.stage == 1) {
            f.left = std::move(done);
            f.stage = 2;
            if (!f.cell->right().isEnd()) {
                stack.push_back({&f.cell->right(), 0, std::nullopt});
                continue;
            }
            done = leaf();
        }
        done = OpTree<T>::node(std::move(*f.left), f.cell->op(), std::move(*done));
        stack.pop_back();
    }
    return {std::move(*done), std::vector<T>(operands.begin() + static_cast<std::ptrdiff_t>(next), operands.end())};
}

}  // namespace plim

// The record of a rewrite: a `Derivation` is the start expression, the steps (each the
// `Calculation` that justifies it and the expression it leads to) and the failed attempts at
// the final expression.  The rewriting driver builds it; engine/calculations renders it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/matching/substitutions.h"
#include "lang/expressions.h"
#include "support/lazy.h"

namespace plim {

struct Derivation;

enum class CalcKind : std::uint8_t { PlainStep, ConditionalStep };

// PlainStep (label, match) | ConditionalStep (label, match, nested derivations of the
// conditions).  An immutable, freely shared handle.
class Calculation {
public:
    CalcKind kind() const;
    bool isConditional() const { return kind() == CalcKind::ConditionalStep; }
    const std::string& label() const;
    const MatchResult& match() const;
    // ConditionalStep: the nested derivations in order (empty for a PlainStep).
    const std::vector<Derivation>& conditions() const;

private:
    struct Data;
    explicit Calculation(std::shared_ptr<const Data> data) : data_(std::move(data)) {}
    std::shared_ptr<const Data> data_;

    friend Calculation plainStep(std::string label, MatchResult match);
    friend Calculation conditionalStep(std::string label, MatchResult match, std::vector<Derivation> conditions);
};

Calculation plainStep(std::string label, MatchResult match);
Calculation conditionalStep(std::string label, MatchResult match, std::vector<Derivation> conditions);

// One step: its justification and the expression it leads to.
using CalcStep = std::pair<Calculation, Expr>;
using CalcSteps = List<CalcStep>;
using Failures = List<Calculation>;

// (start, steps, failures).
struct Derivation {
    Expr start;
    CalcSteps steps;
    Failures failures;
};

// The start expression when there are no steps, else the expression of the last step
// (reads every step).
Expr finalExpression(const Derivation& d);

}  // namespace plim

#include "engine/rewriting/derivation.h"

namespace plim {

struct Calculation::Data {
    CalcKind kind;
    std::string label;
    MatchResult match;
    std::vector<Derivation> conditions;
};

CalcKind Calculation::kind() const { return data_->kind; }
const std::string& Calculation::label() const { return data_->label; }
const MatchResult& Calculation::match() const { return data_->match; }
const std::vector<Derivation>& Calculation::conditions() const { return data_->conditions; }

Calculation plainStep(std::string label, MatchResult match) {
    return Calculation(std::make_shared<const Calculation::Data>(
        Calculation::Data{CalcKind::PlainStep, std::move(label), std::move(match), {}}));
}

Calculation conditionalStep(std::string label, MatchResult match, std::vector<Derivation> conditions) {
    return Calculation(std::make_shared<const Calculation::Data>(
        Calculation::Data{CalcKind::ConditionalStep, std::move(label), std::move(match), std::move(conditions)}));
}

Expr finalExpression(const Derivation& d) {
    Expr last = d.start;
    for (CalcSteps at = d.steps; !at.empty(); at = at.tail()) last = at.head().second;
    return last;
}

}  // namespace plim

#include "engine/rewriting/rule_preparation.h"

#include <algorithm>
#include <string>

#include "lang/expressions.h"

namespace plim {

Equation unletEquation(const Equation& eq) { return {unlet(eq.first), unlet(eq.second)}; }

Rule unletRule(const Rule& rule) {
    std::vector<Equation> conditions;
    conditions.reserve(rule.conditions.size());
    for (const Equation& c : rule.conditions) conditions.push_back(unletEquation(c));
    return Rule{rule.label, std::move(conditions), unletEquation(rule.equation)};
}

std::vector<Rule> unletRules(const std::vector<Rule>& rules) {
    std::vector<Rule> out;
    out.reserve(rules.size());
    for (const Rule& r : rules) out.push_back(unletRule(r));
    return out;
}

namespace {

// xs followed by the names of ys not among them.
void unionInto(std::vector<std::string>& xs, const std::vector<std::string>& ys) {
    for (const std::string& y : ys)
        if (std::find(xs.begin(), xs.end(), y) == xs.end()) xs.push_back(y);
}

// The equation first, then the conditions.
std::vector<Equation> ruleEquations(const Rule& rule) {
    std::vector<Equation> eqs{rule.equation};
    eqs.insert(eqs.end(), rule.conditions.begin(), rule.conditions.end());
    return eqs;
}

std::vector<std::string> ruleNames(const std::vector<Equation>& eqs) {
    std::vector<std::string> out;
    for (const auto& [l, r] : eqs) {
        unionInto(out, freeNames(l));
        unionInto(out, freeNames(r));
    }
    return out;
}

std::vector<std::string> ruleTypeVars(const std::vector<Equation>& eqs) {
    std::vector<std::string> out;
    for (const auto& [l, r] : eqs) {
        unionInto(out, tyvars(l));
        unionInto(out, tyvars(r));
    }
    return out;
}

std::pair<Equation, RenameState> scrubEquation(const Equation& eq, RenameState st) {
    auto [l, st1] = scrub(eq.first, std::move(st));
    auto [r, st2] = scrub(eq.second, std::move(st1));
    return {Equation{l, r}, std::move(st2)};
}

}  // namespace

std::pair<Rule, NameSupply> renameRule(const Rule& rule, const NameSupply& supply) {
    const std::vector<Equation> eqs = ruleEquations(rule);
    RenameState st{supply, Renaming(), Renaming()};
    for (const std::string& n : ruleNames(eqs)) st = renameFirst(n, st).second;
    for (const std::string& v : ruleTypeVars(eqs)) st = renameSecond(v, st).second;
    std::vector<Equation> conditions;
    for (const Equation& c : rule.conditions) {
        auto [scrubbed, next] = scrubEquation(c, std::move(st));
        conditions.push_back(std::move(scrubbed));
        st = std::move(next);
    }
    auto [eq, last] = scrubEquation(rule.equation, std::move(st));
    return {Rule{rule.label, std::move(conditions), std::move(eq)}, std::move(last.supply)};
}

std::pair<std::vector<Rule>, NameSupply> renameRules(const std::vector<Rule>& rules, const NameSupply& supply) {
    std::vector<Rule> out;
    out.reserve(rules.size());
    NameSupply s = supply;
    for (const Rule& r : rules) {
        auto [renamed, next] = renameRule(r, s);
        out.push_back(std::move(renamed));
        s = std::move(next);
    }
    return {std::move(out), std::move(s)};
}

std::vector<Rule> prepareTheory(const std::vector<Rule>& rules) {
    return renameRules(unletRules(rules), initialNameSupply()).first;
}

}  // namespace plim

// The outcome of trying rules: the results, and beside them the attempts that failed.  Both
// lists are produced on demand; combining values reads only the values themselves, never
// their lists.
#pragma once

#include <vector>

#include "support/lazy.h"

namespace plim {

template <class F, class R>
struct FailList {
    List<F> failures;
    List<R> results;
};

template <class F, class R>
FailList<F, R> mzero() {
    return {};
}

template <class F, class R>
FailList<F, R> mplus(const FailList<F, R>& a, const FailList<F, R>& b) {
    return {append(a.failures, b.failures), append(a.results, b.results)};
}

// The right fold of mplus from mzero: failures and results concatenated in order.  Long runs
// of empty lists are skipped in a loop.
template <class F, class R>
FailList<F, R> msum(const std::vector<FailList<F, R>>& xs) {
    std::vector<List<F>> fs;
    std::vector<List<R>> rs;
    fs.reserve(xs.size());
    rs.reserve(xs.size());
    for (const auto& x : xs) {
        fs.push_back(x.failures);
        rs.push_back(x.results);
    }
    return {concat(fromVector(std::move(fs))), concat(fromVector(std::move(rs)))};
}

// FailList(fs, cs) with cs a list of FailLists: the outer failures, then the inner ones in
// order; the inner results concatenated.
template <class F, class R>
FailList<F, R> joinResults(const FailList<F, FailList<F, R>>& v) {
    using Inner = FailList<F, R>;
    List<F> inner = concatMap([](const Inner& x) { return x.failures; }, v.results);
    return {append(v.failures, inner), concatMap([](const Inner& x) { return x.results; }, v.results)};
}

}  // namespace plim

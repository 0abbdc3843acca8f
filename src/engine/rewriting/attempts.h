// The outcome of trying rules: the results, and beside them the attempts that failed.  Both
// lists are produced on demand; combining values reads only the values themselves, never
// their lists.
#pragma once

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

// FailList(fs, cs) with cs a list of FailLists: the outer failures, then the inner ones in
// order; the inner results concatenated.
template <class F, class R>
FailList<F, R> joinResults(const FailList<F, FailList<F, R>>& v) {
    using Inner = FailList<F, R>;
    List<F> inner = concatMap([](const Inner& x) { return x.failures; }, v.results);
    return {append(v.failures, inner), concatMap([](const Inner& x) { return x.results; }, v.results)};
}

}  // namespace plim

// Small generic list operations shared by several parts of the system.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace plim {

// first, then sep and r for each r of rest in order.
template <class Seq>
Seq joinWith(const Seq& sep, const Seq& first, const std::vector<Seq>& rest) {
    Seq out = first;
    for (const auto& r : rest) {
        out.insert(out.end(), sep.begin(), sep.end());
        out.insert(out.end(), r.begin(), r.end());
    }
    return out;
}

// All sublists, 2^n of them: for [a, b, c] the order is [], [c], [b], [b, c], [a], [a, c],
// [a, b], [a, b, c].  Each sublist keeps the order of its elements.
template <class T>
std::vector<std::vector<T>> powerset(const std::vector<T>& xs) {
    std::vector<std::vector<T>> out{{}};
    for (auto it = xs.rbegin(); it != xs.rend(); ++it) {
        const std::size_t n = out.size();
        out.reserve(2 * n);
        for (std::size_t i = 0; i < n; ++i) {
            std::vector<T> withX;
            withX.reserve(out[i].size() + 1);
            withX.push_back(*it);
            withX.insert(withX.end(), out[i].begin(), out[i].end());
            out.push_back(std::move(withX));
        }
    }
    return out;
}

// value * 10 + (code - '0') for each character, in 32-bit arithmetic that wraps; no character
// is rejected and there is no sign.
std::int32_t strToInt(std::string_view s);

// Grouping by key: each key once, in order of first occurrence, with its values in input order.
template <class K, class V, class Eq>
std::vector<std::pair<K, std::vector<V>>> mapThread(Eq eq, const std::vector<std::pair<K, V>>& pairs) {
    std::vector<std::pair<K, std::vector<V>>> out;
    for (const auto& [k, v] : pairs) {
        bool placed = false;
        for (auto& group : out) {
            if (eq(k, group.first)) {
                group.second.push_back(v);
                placed = true;
                break;
            }
        }
        if (!placed) out.push_back({k, {v}});
    }
    return out;
}

// The position (from 0) of the first element x with eq(x, y), or nothing.
template <class T, class Eq>
std::optional<std::size_t> zipSelect(Eq eq, const std::vector<T>& xs, const T& y) {
    for (std::size_t i = 0; i < xs.size(); ++i)
        if (eq(xs[i], y)) return i;
    return std::nullopt;
}

}  // namespace plim

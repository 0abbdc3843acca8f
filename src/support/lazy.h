// Values built on demand: the one lazy toolkit of plim.
//
//   Lazy<T>   a memoised thunk: computed at most once, on first read.  A computation that
//             throws makes every later read throw the same error; a value that needs itself
//             while it is being computed raises an internal error instead of looping.  Only a
//             computation that ran out of memory (std::bad_alloc) is not remembered: the value
//             stays pending and a later read computes it again, so that values held from before
//             a command that ran out of memory still serve the commands after it.
//   List<T>   a persistent lazy list: cons cells whose tails are memoised thunks.  Safe on
//             endless lists; long chains are destroyed iteratively, never recursively.
//   onFirstRead(action, value)  performs an action when the value is first read.
//
// Dropping the last handle on a cell never destroys other cells in nested calls: a cell freed
// while another is being freed (a pending computation holds the lazy values it reads) waits in
// a list that the outermost release empties, so a chain of any length is freed in a loop.
//
// A lazy value is read by one thread at a time (the threading rule: README.md, "Threads").
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <type_traits>
#include <utility>
#include <vector>

#include "support/block_pool.h"
#include "support/errors.h"

namespace plim {

namespace lazy_detail {
[[noreturn]] void raiseSelfDependency();
// Frees a cell whose last handle is being dropped; see above.
void releaseLast(std::shared_ptr<const void> cell) noexcept;

// Drops a handle on a shared cell, through releaseLast when it is the last one.
template <class Cell>
void dropHandle(std::shared_ptr<Cell>& p) noexcept {
    if (p && p.use_count() == 1) releaseLast(std::move(p));
}
}  // namespace lazy_detail

// ---------------------------------------------------------------------------------------
// Lazy<T>
// ---------------------------------------------------------------------------------------

// Whether the cells of Lazy<T> come from the block pool (support/block_pool.h) rather than the
// general allocator: opted into, next to the value type, by a module that makes many of them,
// mostly dropped soon (every specialisation must be seen before the lazy type is used).
template <class T>
struct PooledLazyCells : std::false_type {};

template <class T>
class Lazy {
public:
    // An already computed value.
    Lazy(T value) : state_(newState()) {  // NOLINT: implicit by design
        state_->value.emplace(std::move(value));
        state_->phase = Phase::Done;
    }
    Lazy(const Lazy&) = default;
    Lazy(Lazy&&) noexcept = default;
    Lazy& operator=(Lazy other) noexcept {
        state_.swap(other.state_);
        return *this;
    }
    ~Lazy() { lazy_detail::dropHandle(state_); }

    // A value computed by `compute` when first read.
    template <class F>
    static Lazy defer(F&& compute) {
        Lazy result{Deferred{}};
        result.state_->compute = std::forward<F>(compute);
        return result;
    }

    const T& get() const {
        State& s = *state_;
        switch (s.phase) {
        case Phase::Done: return *s.value;
        case Phase::Failed: std::rethrow_exception(s.error);
        case Phase::Running: lazy_detail::raiseSelfDependency();
        case Phase::Pending: break;
        }
        s.phase = Phase::Running;
        auto compute = std::move(s.compute);
        s.compute = nullptr;
        try {
            s.value.emplace(compute());
            s.phase = Phase::Done;
        } catch (const std::bad_alloc&) {
            s.compute = std::move(compute);
            s.phase = Phase::Pending;
            throw;
        } catch (...) {
            s.error = std::current_exception();
            s.phase = Phase::Failed;
            throw;
        }
        return *s.value;
    }

    const T& operator*() const { return get(); }
    const T* operator->() const { return &get(); }

    bool isEvaluated() const { return state_->phase == Phase::Done; }
    // True when both handles share one cell (then they hold one value).
    bool sameCell(const Lazy& other) const { return state_ == other.state_; }

    // The lazy value of f applied to this one.
    template <class F>
    auto map(F f) const -> Lazy<decltype(f(std::declval<const T&>()))> {
        using U = decltype(f(std::declval<const T&>()));
        Lazy self = *this;
        return Lazy<U>::defer([self, f] { return f(self.get()); });
    }

private:
    enum class Phase { Pending, Running, Done, Failed };
    struct State {
        Phase phase = Phase::Pending;
        std::function<T()> compute;
        std::optional<T> value;
        std::exception_ptr error;
    };
    struct Deferred {};
    explicit Lazy(Deferred) : state_(newState()) {}

    static std::shared_ptr<State> newState() {
        if constexpr (PooledLazyCells<T>::value) return std::allocate_shared<State>(PoolAllocator<State>());
        return std::make_shared<State>();
    }

    std::shared_ptr<State> state_;
};

template <class F>
auto delay(F&& compute) -> Lazy<decltype(compute())> {
    return Lazy<decltype(compute())>::defer(std::forward<F>(compute));
}

// The value itself, with `action` performed just before it is first read.
template <class T>
Lazy<T> onFirstRead(std::function<void()> action, Lazy<T> value) {
    return Lazy<T>::defer([action = std::move(action), value] {
        action();
        return value.get();
    });
}

// ---------------------------------------------------------------------------------------
// List<T>
// ---------------------------------------------------------------------------------------

// Whether the cells of List<T> come from the block pool (support/block_pool.h) rather than the
// general allocator: opted into, next to the element type, by a module whose lists of that
// type are many, short and dropped soon (every specialisation must be seen before the list
// type is used).
template <class T>
struct PooledListCells : std::false_type {};

// ---------------------------------------------------------------------------------------

template <class T>
class List {
    struct Node;
    using NodePtr = std::shared_ptr<Node>;

public:
    List() : node_(nilNode()) {}
    List(const List&) = default;
    List(List&&) noexcept = default;
    List& operator=(List other) noexcept {
        node_.swap(other.node_);
        return *this;
    }
    ~List() { lazy_detail::dropHandle(node_); }

    static List nil() { return List(); }
    static List cons(T head, List tail) {
        NodePtr n = newNode();
        n->phase = Phase::Cons;
        n->head.emplace(std::move(head));
        n->tail = std::move(tail.node_);
        return List(std::move(n));
    }
    // The list that `compute` returns, computed when the list is first examined.
    template <class F>
    static List defer(F&& compute) {
        NodePtr n = newNode();
        n->compute = std::forward<F>(compute);
        return List(std::move(n));
    }
    // The values that `next()` (a std::optional<T>) gives in turn, until it gives none.  Each
    // cell is filled in where it stands when first examined, with the value and the pending
    // rest, to which the computation itself (holding `next`) is then handed on: one
    // computation serves the whole list.
    template <class G>
    static List unfold(G next) {
        NodePtr n = newNode();
        // The computation runs only while its own cell is being forced, so it may write there;
        // it then moves on to the fresh rest, which force() hands it to.
        n->compute = [next = std::move(next), cell = n.get()]() mutable {
            std::optional<T> value = next();
            if (!value) return List();
            cell->head.emplace(std::move(*value));
            cell->tail = newNode();
            cell = cell->tail.get();
            return List(NodePtr());  // no cell: this one is filled in, its rest waits for this computation
        };
        return List(std::move(n));
    }

    bool empty() const { return force().phase == Phase::Nil; }
    const T& head() const {
        const Node& n = force();
        if (n.phase == Phase::Nil) failInternal("internal error: head of an empty list");
        return *n.head;
    }
    List tail() const {
        const Node& n = force();
        if (n.phase == Phase::Nil) failInternal("internal error: tail of an empty list");
        return List(n.tail);
    }
    // True when the first cell has been computed (the rest may still be pending).
    bool isEvaluated() const { return node_->phase == Phase::Nil || node_->phase == Phase::Cons; }

    class iterator {
    public:
        using value_type = T;
        using difference_type = std::ptrdiff_t;
        iterator() = default;
        explicit iterator(List at) : at_(std::move(at)) {}
        const T& operator*() const { return at_.head(); }
        const T* operator->() const { return &at_.head(); }
        iterator& operator++() {
            at_ = at_.tail();
            return *this;
        }
        // Only comparison with end() is meaningful.
        bool operator==(const iterator&) const { return at_.empty(); }
        bool operator!=(const iterator& other) const { return !(*this == other); }

    private:
        List at_;
    };
    iterator begin() const { return iterator(*this); }
    iterator end() const { return iterator(); }

private:
    enum class Phase { Pending, Running, Nil, Cons, Failed };
    struct Node {
        Phase phase = Phase::Pending;
        std::function<List()> compute;
        std::optional<T> head;
        NodePtr tail;
        std::exception_ptr error;

        Node() = default;
        Node(const Node&) = delete;
        Node& operator=(const Node&) = delete;
        // Unlinks the chain of cells that only this node holds, one cell at a time.
        ~Node() {
            NodePtr next = std::move(tail);
            while (next && next.use_count() == 1) {
                NodePtr after = std::move(next->tail);
                next.reset();
                next = std::move(after);
            }
        }
    };

    explicit List(NodePtr n) : node_(std::move(n)) {}

    static NodePtr newNode() {
        if constexpr (PooledListCells<T>::value) return std::allocate_shared<Node>(PoolAllocator<Node>());
        return std::make_shared<Node>();
    }

    static const NodePtr& nilNode() {
        static const NodePtr nil = [] {
            auto n = std::make_shared<Node>();
            n->phase = Phase::Nil;
            return n;
        }();
        return nil;
    }

    const Node& force() const {
        Node& n = *node_;
        switch (n.phase) {
        case Phase::Nil:
        case Phase::Cons: return n;
        case Phase::Failed: std::rethrow_exception(n.error);
        case Phase::Running: lazy_detail::raiseSelfDependency();
        case Phase::Pending: break;
        }
        n.phase = Phase::Running;
        auto compute = std::move(n.compute);
        n.compute = nullptr;
        try {
            List result = compute();
            if (!result.node_) {
                n.tail->compute = std::move(compute);
                n.phase = Phase::Cons;
                return n;
            }
            const Node& r = result.force();
            if (r.phase == Phase::Cons) {
                // A cell that nobody else holds gives up its head rather than have it copied.
                if (result.node_.use_count() == 1) {
                    n.head.emplace(std::move(*result.node_->head));
                    n.tail = std::move(result.node_->tail);
                } else {
                    n.head.emplace(*r.head);
                    n.tail = r.tail;
                }
                n.phase = Phase::Cons;
            } else {
                n.phase = Phase::Nil;
            }
        } catch (const std::bad_alloc&) {  // pending again, as for Lazy
            n.compute = std::move(compute);
            n.phase = Phase::Pending;
            throw;
        } catch (...) {
            n.error = std::current_exception();
            n.phase = Phase::Failed;
            throw;
        }
        return n;
    }

    NodePtr node_;
};

// --- building ---------------------------------------------------------------------------

template <class T>
List<T> fromVector(std::vector<T> items) {
    List<T> out;
    for (auto it = items.rbegin(); it != items.rend(); ++it) out = List<T>::cons(std::move(*it), out);
    return out;
}

// x, f(x), f(f(x)), ... without end.
template <class T, class F>
List<T> iterate(F f, T x) {
    return List<T>::defer([f, x]() { return List<T>::cons(x, iterate<T>(f, f(x))); });
}

// f(from), f(from + 1), ... without end.
template <class F>
auto generate(F f, std::size_t from = 0) -> List<decltype(f(from))> {
    using T = decltype(f(from));
    return List<T>::defer([f, from]() { return List<T>::cons(f(from), generate(f, from + 1)); });
}

// --- transforming -----------------------------------------------------------------------

template <class T, class F>
auto map(F f, List<T> xs) -> List<decltype(f(std::declval<const T&>()))> {
    using U = decltype(f(std::declval<const T&>()));
    return List<U>::defer([f, xs]() {
        if (xs.empty()) return List<U>();
        return List<U>::cons(f(xs.head()), map(f, xs.tail()));
    });
}

// Skips runs of rejected elements in a loop, so long runs cost no stack.  The loop moves the
// cell's own start along, so that the cells passed over are not held while it runs (a run of
// millions would otherwise stay whole until it ends); what is skipped cannot change the result,
// so a computation begun again after running out of memory gives the same list.
template <class T, class P>
List<T> filter(P keep, List<T> xs) {
    return List<T>::defer([keep, xs]() mutable {
        while (!xs.empty() && !keep(xs.head())) xs = xs.tail();
        if (xs.empty()) return List<T>();
        return List<T>::cons(xs.head(), filter(keep, xs.tail()));
    });
}

template <class T>
List<T> append(List<T> xs, List<T> ys) {
    return List<T>::defer([xs, ys]() {
        if (xs.empty()) return ys;
        return List<T>::cons(xs.head(), append(xs.tail(), ys));
    });
}

// The lists of a list of lists, one after the other; empty inner lists are skipped in a loop,
// which moves the cell's own start along as filter's does.
template <class T>
List<T> concat(List<List<T>> xss) {
    return List<T>::defer([xss]() mutable {
        while (!xss.empty() && xss.head().empty()) xss = xss.tail();
        if (xss.empty()) return List<T>();
        const List<T>& first = xss.head();
        return List<T>::cons(first.head(), append(first.tail(), concat(xss.tail())));
    });
}

template <class T, class F>
auto concatMap(F f, List<T> xs) -> decltype(f(std::declval<const T&>())) {
    using L = decltype(f(std::declval<const T&>()));
    return concat(map([f](const T& x) -> L { return f(x); }, xs));
}

template <class T>
List<T> take(std::size_t n, List<T> xs) {
    return List<T>::defer([n, xs]() {
        if (n == 0 || xs.empty()) return List<T>();
        return List<T>::cons(xs.head(), take(n - 1, xs.tail()));
    });
}

template <class T>
List<T> drop(std::size_t n, List<T> xs) {
    while (n > 0 && !xs.empty()) {
        xs = xs.tail();
        --n;
    }
    return xs;
}

// --- consuming (these read the list) ---------------------------------------------------

// The elements in order; at most `limit` of them, so endless lists are safe.
template <class T>
std::vector<T> toVector(const List<T>& xs, std::size_t limit = static_cast<std::size_t>(-1)) {
    std::vector<T> out;
    for (List<T> at = xs; out.size() < limit && !at.empty(); at = at.tail()) out.push_back(at.head());
    return out;
}

template <class T>
std::size_t length(const List<T>& xs) {
    std::size_t n = 0;
    for (List<T> at = xs; !at.empty(); at = at.tail()) ++n;
    return n;
}

template <class T, class A, class F>
A foldl(F f, A acc, const List<T>& xs) {
    for (List<T> at = xs; !at.empty(); at = at.tail()) acc = f(std::move(acc), at.head());
    return acc;
}

// The list itself, with `action` performed just before its first cell is first examined.
template <class T>
List<T> onFirstRead(std::function<void()> action, List<T> xs) {
    return List<T>::defer([action = std::move(action), xs]() {
        action();
        return xs;
    });
}

}  // namespace plim

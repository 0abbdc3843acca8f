// Whether a lambda-free expression repeats an application, kept from one call to the next
// (internal to shared_display*.cpp).
//
// Two applications that are the same tree (names and constants compared, types not) hold,
// at the same place inside each, an application of a leaf to a leaf -- take one of the
// deepest applications in them.  So an expression repeats an application exactly when it
// repeats such a twig, and counting its twigs by their two leaves tells.
//
// The display form looks at every step of a calculation, and a step rebuilds only the path
// to its redex and the redex: all other subtrees are the very same nodes as in the step
// before.  So the counts of the expression seen last are kept, and the next one's are found
// from them by walking the two trees side by side, into the children that differ only.
//
// Read by one thread at a time (one table per thread).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "lang/syntax.h"

namespace plim::shared_display_detail {

class RepeatWatch {
public:
    // The watch of the calling thread.
    static RepeatWatch& mine();

    // Takes a lambda-free expression as the current one: true when it holds two applications
    // that are the same tree.
    bool repeats(const Expr& e);

private:
    struct Leaf {
        std::uint64_t hash;
        Expr node;  // the first met
    };
    struct Twig {
        std::uint64_t key;  // the two leaves' numbers
        std::int64_t count;
    };
    struct Memo {
        std::optional<Expr> node;  // held, so that no other node takes its address
        std::uint32_t twig = 0;
    };
    struct Near {
        const Expr* node;  // an application near the top of a redex
        std::int64_t net;  // how many more times the replacement holds it
        bool met;          // the replacement holds it
    };

    void countDifference(const Expr& before, const Expr& after);
    void countRedex(const Expr& before, const Expr& after);
    template <class Stop>
    void walkStopping(const Expr& x, std::int64_t by, Stop stop);
    void countWhole(const Expr& x, std::int64_t by);
    void countTwig(const Expr& x, std::int64_t by);
    std::uint32_t twigNumber(const Expr& x);
    std::uint32_t leafNumber(const Expr& leaf);
    void clear();

    std::optional<Expr> current_;
    std::vector<Leaf> leaves_;
    std::vector<int> leafSlots_;  // open addressing by hash: a leaf, or -1
    std::vector<Twig> twigs_;
    std::vector<int> twigSlots_;  // open addressing by key: a twig, or -1
    std::size_t repeated_ = 0;    // twigs counted twice or more
    std::vector<Memo> memo_;      // direct-mapped by node
    // Work stacks, kept for their room.
    std::vector<Near> near_;
    std::vector<std::pair<const Expr*, int>> nearWalk_;
    std::vector<const Expr*> todo_;
};

}  // namespace plim::shared_display_detail

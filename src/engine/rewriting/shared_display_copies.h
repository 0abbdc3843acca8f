// Subtrees known to be equal from the display forms made before on this thread (internal to
// shared_display_values.cpp).
//
// The steps of a calculation keep most of their expression's nodes, copies of a value among
// them (Peano numbers parsed or built apart), and every step's display form finds them equal
// again.  Once two such nodes were compared equal, both are entered with one number, their
// class: nodes of one class are equal, and found again they cost a look-up, not a comparison.
// The table holds the nodes it names, so that an address never stands for another node, and
// no other node; an entry goes (sweep) once nothing but the table holds its node.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "lang/syntax.h"
#include "support/address_table.h"

namespace plim::shared_display_detail {

class KnownCopies {
public:
    // The class of x, 0 when x has none.
    std::uint64_t classOf(const Expr& x) const {
        const std::uint64_t* c = classes_.find(x.identity());
        return c ? *c : 0;
    }

    // x was found equal to `first`, whose class is `known` (0 when it has none yet): x joins
    // that class (a new one, first's too, when there was none).
    void remember(const Expr& x, const Expr& first, std::uint64_t known) {
        if (known == 0) {
            known = ++made_;
            enter(first, known);
        }
        enter(x, known);
    }

    // The entries of nodes that nothing but the table holds dropped.  Called once per
    // display form, it looks at the entries when 16 were made or 64 calls were made since it
    // last did: so it costs a few reads per entry kept for every 16 made or 64 calls, and the
    // nodes held for nothing but the table stay few (looking only when the entries had
    // doubled, naive Fibonacci of 17 at width 80 peaked 1.7% higher).
    void sweep() {
        if (nodes_.size() < swept_ + 16 && ++calls_ < 64) return;
        calls_ = 0;
        std::erase_if(nodes_, [this](const Expr& node) {
            if (!node.heldOnce()) return false;
            classes_.erase(node.identity());
            return true;
        });
        swept_ = nodes_.size();
    }

private:
    void enter(const Expr& x, std::uint64_t known) {
        if (classes_.set(x.identity(), known)) nodes_.push_back(x);
    }

    AddressTable<std::uint64_t> classes_;  // the class of each node compared, by its address
    std::vector<Expr> nodes_;              // those nodes, held while their entries stand
    std::size_t swept_ = 0;                // the nodes kept by the last sweep
    std::uint64_t made_ = 0;               // the classes made
    unsigned calls_ = 0;                   // the calls since the last sweep
};

}  // namespace plim::shared_display_detail

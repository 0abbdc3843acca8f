// Block tables: rectangles of cells in grid units, put together from one-cell tables by
// placing tables side by side or above each other.  When two tables of different height stand
// side by side (or of different width above each other) the smaller one is stretched: its
// bottom-most (right-most) cells get a larger row (column) span, so that both fill the same
// rectangle.  The result is read as rows of cells, each with its column and row span.
//
// A block table knows nothing of HTML and works for any cell value.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "support/release.h"

namespace plim {

// A cell as laid out: its value and how many grid columns and rows it covers.
template <class C>
struct PlacedCell {
    C value;
    int colSpan;
    int rowSpan;
};

// Rows top first, cells left-most first.  A cell spanning several rows is listed only in the
// first row it covers.
template <class C>
using CellRow = std::vector<PlacedCell<C>>;
template <class C>
using CellRows = std::vector<CellRow<C>>;

// The rows of a table that fills `extraCols` more columns and `extraRows` more rows than its
// natural size, in front of `rest`.
template <class C>
using Placement = std::function<CellRows<C>(int extraCols, int extraRows, CellRows<C> rest)>;

namespace table_detail {
// Int arithmetic of the grid wraps like a machine word.
inline int wrapAdd(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}
inline int wrapSub(int a, int b) {
    return static_cast<int>(static_cast<std::uint32_t>(a) - static_cast<std::uint32_t>(b));
}
}  // namespace table_detail

// A block table (the block-table "layout" of the HTML library; unrelated to layout documents).
// An immutable handle: combining two tables builds a new one that shares both.
template <class C>
class BlockTable {
public:
    // The table with the given placement and size.  Its placement must put its own rows in
    // front of the rest, in a number that does not depend on the extra columns and rows.
    BlockTable(Placement<C> placement, int width, int height) {
        auto n = std::make_shared<Node>();
        n->kind = Kind::Custom;
        n->placement = std::move(placement);
        n->width = width;
        n->height = height;
        n->rowCount = n->placement(0, 0, {}).size();
        node_ = std::move(n);
    }

    // The one-cell table: width 1, height 1.
    static BlockTable single(C value) {
        auto n = std::make_shared<Node>();
        n->kind = Kind::Single;
        n->value.emplace(std::move(value));
        return BlockTable(std::move(n));
    }

    // The two side by side, left first: width the sum, height the larger.
    static BlockTable beside(const BlockTable& left, const BlockTable& right) {
        return pair(Kind::Beside, left, right, table_detail::wrapAdd(left.width(), right.width()),
                    std::max(left.height(), right.height()), std::max(left.rowCount(), right.rowCount()));
    }

    // The two stacked, upper first: width the larger, height the sum.
    static BlockTable above(const BlockTable& upper, const BlockTable& lower) {
        return pair(Kind::Above, upper, lower, std::max(upper.width(), lower.width()),
                    table_detail::wrapAdd(upper.height(), lower.height()), upper.rowCount() + lower.rowCount());
    }

    int width() const { return node_->width; }
    int height() const { return node_->height; }

    // The placement: the rows of the table stretched by the extra columns and rows, then rest.
    CellRows<C> place(int extraCols, int extraRows, CellRows<C> rest) const {
        CellRows<C> rows(node_->rowCount);
        placeInto(extraCols, extraRows, rows);
        rows.insert(rows.end(), std::make_move_iterator(rest.begin()), std::make_move_iterator(rest.end()));
        return rows;
    }

private:
    enum class Kind { Single, Beside, Above, Custom };
    struct Node;
    using NodePtr = std::shared_ptr<const Node>;
    struct Node {
        Kind kind = Kind::Single;
        std::optional<C> value;  // the one value of a single cell
        NodePtr first, second;  // left and right, or upper and lower
        Placement<C> placement;
        int width = 1;
        int height = 1;
        std::size_t rowCount = 1;  // rows listed by the placement

        Node() = default;
        Node(const Node&) = delete;
        Node& operator=(const Node&) = delete;
        // Long chains of combinations are released one node at a time.
        ~Node() {
            releaseSoleChildren(*this, [](Node& n, auto take) {
                take(n.first);
                take(n.second);
            });
        }
    };

    explicit BlockTable(NodePtr node) : node_(std::move(node)) {}

    std::size_t rowCount() const { return node_->rowCount; }

    static BlockTable pair(Kind kind, const BlockTable& a, const BlockTable& b, int width, int height,
                           std::size_t rowCount) {
        auto n = std::make_shared<Node>();
        n->kind = kind;
        n->first = a.node_;
        n->second = b.node_;
        n->width = width;
        n->height = height;
        n->rowCount = rowCount;
        return BlockTable(std::move(n));
    }

    // Walks the combination tree without recursion.  Row by row joining of tables side by side
    // is the same as listing every cell in the row its table starts at, left side first.
    void placeInto(int extraCols, int extraRows, CellRows<C>& rows) const {
        using table_detail::wrapAdd;
        using table_detail::wrapSub;
        struct Task {
            const Node* node;
            int x, y;
            std::size_t row;
        };
        std::vector<Task> todo{{node_.get(), extraCols, extraRows, 0}};
        while (!todo.empty()) {
            Task t = todo.back();
            todo.pop_back();
            const Node& n = *t.node;
            switch (n.kind) {
            case Kind::Single:
                rows[t.row].push_back({*n.value, wrapAdd(t.x, 1), wrapAdd(t.y, 1)});
                break;
            case Kind::Custom: {
                CellRows<C> own = n.placement(t.x, t.y, {});
                for (std::size_t i = 0; i < own.size() && t.row + i < rows.size(); ++i)
                    for (auto& cell : own[i]) rows[t.row + i].push_back(std::move(cell));
                break;
            }
            case Kind::Beside: {
                const int h1 = n.first->height, h2 = n.second->height;
                const int leftY = h1 < h2 ? wrapAdd(t.y, wrapSub(h2, h1)) : t.y;
                const int rightY = h1 > h2 ? wrapAdd(t.y, wrapSub(h1, h2)) : t.y;
                todo.push_back({n.second.get(), t.x, rightY, t.row});
                todo.push_back({n.first.get(), 0, leftY, t.row});
                break;
            }
            case Kind::Above: {
                const int w1 = n.first->width, w2 = n.second->width;
                const int upperX = w1 < w2 ? wrapAdd(t.x, wrapSub(w2, w1)) : t.x;
                const int lowerX = w1 > w2 ? wrapAdd(t.x, wrapSub(w1, w2)) : t.x;
                todo.push_back({n.second.get(), lowerX, t.y, t.row + n.first->rowCount});
                todo.push_back({n.first.get(), upperX, 0, t.row});
                break;
            }
            }
        }
    }

    NodePtr node_;
};

template <class C>
BlockTable<C> single(C value) {
    return BlockTable<C>::single(std::move(value));
}

template <class C>
BlockTable<C> layoutBeside(const BlockTable<C>& left, const BlockTable<C>& right) {
    return BlockTable<C>::beside(left, right);
}

template <class C>
BlockTable<C> layoutAbove(const BlockTable<C>& upper, const BlockTable<C>& lower) {
    return BlockTable<C>::above(upper, lower);
}

// The rows of the table at its natural size.
template <class C>
CellRows<C> layoutRows(const BlockTable<C>& table) {
    return table.place(0, 0, {});
}

// The display form of the rows: [[(value,(colSpan,rowSpan)),...],...].
template <class C, class ShowCell>
std::string showBlockTable(const BlockTable<C>& table, ShowCell showCell) {
    std::string out = "[";
    bool firstRow = true;
    for (const CellRow<C>& row : layoutRows(table)) {
        if (!firstRow) out += ",";
        firstRow = false;
        out += "[";
        bool firstCell = true;
        for (const PlacedCell<C>& cell : row) {
            if (!firstCell) out += ",";
            firstCell = false;
            out += '(';
            out += showCell(cell.value);
            out += ",(";
            out += std::to_string(cell.colSpan);
            out += ',';
            out += std::to_string(cell.rowSpan);
            out += "))";
        }
        out += "]";
    }
    return out + "]";
}

}  // namespace plim

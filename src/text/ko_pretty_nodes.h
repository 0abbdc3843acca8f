// Documents as plain trees: the combinators of the layout library build a node when all their
// parts are nodes, and a node is laid out eagerly, at a known line bound, in a few passes
// over the tree, with its candidates in plain vectors.  The attribute rules are those of the
// lazy form (ko_pretty.cpp, ko_pretty_par.cpp); a node used where a lazy document is expected
// answers lazily, and a lazy part makes the whole composition lazy.
// Only the layout library's own sources include this header.
#pragma once

#include <array>
#include <initializer_list>
#include <iterator>
#include <memory>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "text/ko_pretty.h"

namespace plim::pretty_detail {

// --- the text of a candidate ----------------------------------------------------------------

struct TextTree;

// A counted handle on a text.  Texts built by a layout come from a pool and go back to it
// when the last handle goes; the texts of text nodes belong to their nodes and are not
// counted.  Counts are plain integers: layouts run on one thread at a time.
class TextRef {
public:
    TextRef() = default;
    TextRef(const TextTree* t);  // NOLINT: implicit by design
    TextRef(const TextRef& other);
    TextRef(TextRef&& other) noexcept : t_(std::exchange(other.t_, nullptr)) {}
    TextRef& operator=(TextRef other) noexcept {
        std::swap(t_, other.t_);
        return *this;
    }
    ~TextRef();

    const TextTree& operator*() const { return *t_; }
    const TextTree* operator->() const { return t_; }
    const TextTree* get() const { return t_; }
    TextTree* release() { return const_cast<TextTree*>(std::exchange(t_, nullptr)); }

private:
    const TextTree* t_ = nullptr;
};

// The text of a candidate: a text of its own, or two texts side by side or stacked, or one
// indented.
struct TextTree {
    enum class Kind { Leaf, Beside, Above, Indent };
    Kind kind = Kind::Leaf;
    bool pooled = false;
    mutable std::uint32_t refs = 0;
    std::string leaf;
    LayoutInt shift = 0;  // Beside: the first part's last width; Indent: the indentation
    TextRef first;
    TextRef second;
};

// A text from the pool, with one handle.
TextRef pooledText(TextTree::Kind kind, std::string leaf, LayoutInt shift, TextRef first, TextRef second);

// Releases the children that only `owner` holds without nested destructor calls: the
// outermost release on the thread runs a work list (kept for the next one) that the nested
// ones add to.
template <class Node>
class Releaser {
public:
    template <class EachChild>
    static void release(Node& owner, EachChild eachChild) {
        std::vector<std::shared_ptr<const Node>>& pending = list();
        eachChild(owner, [&pending](auto& child) {
            if (child && child.use_count() == 1) pending.push_back(std::move(child));
        });
        if (running_ || pending.empty()) return;
        running_ = true;
        while (!pending.empty()) {
            std::shared_ptr<const Node> next = std::move(pending.back());
            pending.pop_back();
            next.reset();  // its destructor adds its own sole children to the list
        }
        running_ = false;
    }

private:
    static std::vector<std::shared_ptr<const Node>>& list() {
        static thread_local std::vector<std::shared_ptr<const Node>> pending;
        return pending;
    }
    static inline thread_local bool running_ = false;
};

// The characters of the text, its first character at `column`, appended to `out`.
void writeText(const TextTree& t, LayoutInt column, std::string& out);

// --- candidates and replies ----------------------------------------------------------------

struct Cand {
    LayoutInt height = 0;
    LayoutInt lastWidth = 0;
    LayoutInt width = 0;
    TextRef text;
};
// A candidate list: most lists hold one or two candidates, kept without a heap block.
class Cands {
public:
    Cands() = default;
    Cands(std::initializer_list<Cand> cs) {
        for (const Cand& c : cs) push_back(c);
    }

    std::size_t size() const { return onHeap_ ? heap_.size() : count_; }
    bool empty() const { return size() == 0; }
    Cand* begin() { return onHeap_ ? heap_.data() : local_.data(); }
    Cand* end() { return begin() + size(); }
    const Cand* begin() const { return onHeap_ ? heap_.data() : local_.data(); }
    const Cand* end() const { return begin() + size(); }
    std::reverse_iterator<const Cand*> rbegin() const { return std::reverse_iterator<const Cand*>(end()); }
    std::reverse_iterator<const Cand*> rend() const { return std::reverse_iterator<const Cand*>(begin()); }
    Cand& operator[](std::size_t i) { return begin()[i]; }
    const Cand& operator[](std::size_t i) const { return begin()[i]; }
    const Cand& front() const { return *begin(); }
    const Cand& back() const { return end()[-1]; }

    void reserve(std::size_t n) {
        if (n > kLocal && !onHeap_) moveToHeap(n);
        if (onHeap_) heap_.reserve(n);
    }
    void push_back(Cand c) {
        if (!onHeap_ && count_ < kLocal) {
            local_[count_++] = std::move(c);
            return;
        }
        if (!onHeap_) moveToHeap(2 * kLocal);
        heap_.push_back(std::move(c));
    }
    // Appends the range; only the end is a valid position.
    template <class It>
    void insert(const Cand*, It first, It last) {
        for (; first != last; ++first) push_back(*first);
    }
    // Keeps the first n (n <= size()).
    void resize(std::size_t n) {
        if (onHeap_) {
            heap_.resize(n);
            return;
        }
        for (std::size_t i = n; i < count_; ++i) local_[i] = Cand{};
        count_ = n;
    }

private:
    static constexpr std::size_t kLocal = 2;
    void moveToHeap(std::size_t capacity) {
        heap_.reserve(capacity);
        for (std::size_t i = 0; i < count_; ++i) heap_.push_back(std::move(local_[i]));
        for (Cand& c : local_) c = Cand{};
        count_ = 0;
        onHeap_ = true;
    }

    std::array<Cand, kLocal> local_;
    std::size_t count_ = 0;
    bool onHeap_ = false;
    std::vector<Cand> heap_;
};

struct NodeReply {
    bool pair = false;
    Cands first;  // the candidates of a single reply
    Cands second;
    bool firstTooWide = false;
    bool secondTooWide = false;
};

struct NodeResult {
    NodeReply reply;
    bool tooWide = false;
    Sizes sizes;
};

// --- document and parameterised-document nodes ----------------------------------------------

struct ParNode;
using ParNodeRef = std::shared_ptr<const ParNode>;

struct DocNode {
    enum class Kind { Text, Empty, Beside, Above, Join, Filter, Indent, Dup, Apply, AboveList, Error };
    Kind kind = Kind::Empty;
    Sizes sizes;
    TextTree text;  // Text, Error: the one candidate's text
    LayoutInt amount = 0;                     // Indent
    std::shared_ptr<const DocNode> left;  // the part of a one-part node, the first of two
    std::shared_ptr<const DocNode> right;
    std::vector<std::shared_ptr<const DocNode>> parts;  // Apply: the arguments; AboveList
    ParNodeRef layout;                                  // Apply

    DocNode() = default;
    DocNode(const DocNode&) = delete;
    DocNode& operator=(const DocNode&) = delete;
    ~DocNode();
};
using DocNodeRef = std::shared_ptr<const DocNode>;

struct ParNode {
    enum class Kind { Hole, First, Second, Lift, Filter, Beside, Above, Join, Indent, Choice, Subst };
    Kind kind = Kind::Hole;
    LayoutInt params = 0;
    LayoutInt amount = 0;  // Indent
    DocNodeRef doc;        // Lift
    std::vector<ParNodeRef> parts;

    ParNode() = default;
    ParNode(const ParNode&) = delete;
    ParNode& operator=(const ParNode&) = delete;
    ~ParNode();
};

// The node of each kind; sizes are computed at once from the parts'.
DocNodeRef textNode(std::string text);
DocNodeRef emptyNode();
DocNodeRef besideNode(DocNodeRef l, DocNodeRef r);
DocNodeRef aboveNode(DocNodeRef u, DocNodeRef d);
DocNodeRef joinNode(DocNodeRef d);
DocNodeRef filterNode(DocNodeRef d);
DocNodeRef indentNode(LayoutInt n, DocNodeRef d);
DocNodeRef dupNode(DocNodeRef x, DocNodeRef y);
DocNodeRef applyNode(ParNodeRef p, std::vector<DocNodeRef> args);
DocNodeRef aboveListNode(std::vector<DocNodeRef> items);

ParNodeRef holeNode(ParNode::Kind kind);  // Hole, First or Second
ParNodeRef liftNode(DocNodeRef d);
ParNodeRef parUnaryNode(ParNode::Kind kind, ParNodeRef p, LayoutInt amount = 0);  // Filter, Join, Indent
ParNodeRef parBinaryNode(ParNode::Kind kind, ParNodeRef l, ParNodeRef r);         // Beside, Above, Choice
ParNodeRef substNode(ParNodeRef outer, std::vector<ParNodeRef> inners);

// The node laid out with every line within `lineBound`.  Where fewer than all candidates are
// `need`ed (a stack whose first candidate is rendered), only that many leading ones are built
// along stacks and joins; elsewhere all are.
inline constexpr std::size_t kAll = static_cast<std::size_t>(-1);
NodeResult layOut(const DocNode& d, LayoutInt lineBound, std::size_t need = kAll);

// The lazy form of a node's attributes at the bounds.
DocAttrs nodeAttrs(const DocNodeRef& d, const PageBounds& b);

// The node's first candidate at the bounds written to `out` (the render of a node).
void renderNode(std::string& out, const DocNodeRef& d, LayoutInt lineBound);

}  // namespace plim::pretty_detail

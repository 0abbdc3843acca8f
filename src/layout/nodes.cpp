// Documents as plain trees, laid out eagerly (see layout/nodes.h).
#include "layout/nodes.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <set>
#include <utility>

#include "support/block_pool.h"
#include "layout/rules_internal.h"

namespace plim::pretty_detail {

// --- texts -------------------------------------------------------------------------------

namespace {

// The texts built by one layout, in blocks, freed together when the layout's candidates are no
// longer needed; the leaf strings it makes (markers, error texts) live with them.  New texts go
// to a work part, which a stack of documents rewinds after each item once it has kept the few
// texts that its chosen candidates use: the work part stays small and hot in the cache.
class TextArena {
public:
    TextArena() = default;
    TextArena(const TextArena&) = delete;
    TextArena& operator=(const TextArena&) = delete;

    const TextTree* make(TextTree::Kind kind, LayoutInt shift, const TextTree* first, const TextTree* second,
                         const char* chars, const DocNode* doc = nullptr) {
        TextTree& t = work_.next();
        t.kind = kind;
        t.kept = false;
        t.shift = shift;
        t.first = first;
        if (kind == TextTree::Kind::Leaf) t.chars = chars;
        else if (kind == TextTree::Kind::Plain || kind == TextTree::Kind::Line) t.doc = doc;
        else t.second = second;
        return &t;
    }
    const std::string& keep(std::string s) { return strings_.emplace_back(std::move(s)); }

    // The work part's extent, and its rewinding to an earlier extent: the texts made since are
    // gone.
    std::size_t mark() const { return work_.filled; }
    void rewind(std::size_t mark) { work_.rewind(mark); }

    // The text with the parts not yet kept copied to the kept part.
    const TextTree* keepText(const TextTree* t) {
        if (t == nullptr || t->kept) return t;
        TextTree* root = copy(*t);
        std::vector<TextTree*>& todo = todo_;
        todo.push_back(root);
        while (!todo.empty()) {
            TextTree* at = todo.back();
            todo.pop_back();
            for (const TextTree** part : {&at->first, &at->second}) {
                if (part == &at->second && !at->hasSecond()) continue;
                if (*part == nullptr || (*part)->kept) continue;
                TextTree* c = copy(**part);
                *part = c;
                todo.push_back(c);
            }
        }
        return root;
    }

private:
    static constexpr std::size_t kBlock = 1024;
    struct Region {
        std::vector<std::unique_ptr<TextTree[]>> blocks;
        std::size_t filled = 0;  // texts in use
        TextTree* top = nullptr;  // the next text, in block filled / kBlock
        TextTree* end = nullptr;  // the end of that block
        TextTree& next() {
            if (top == end) nextBlock();
            ++filled;
            return *top++;
        }
        void nextBlock() {
            const std::size_t b = filled / kBlock;
            if (b == blocks.size()) blocks.push_back(std::make_unique_for_overwrite<TextTree[]>(kBlock));
            top = blocks[b].get();
            end = top + kBlock;
        }
        void rewind(std::size_t to) {
            filled = to;
            top = end = nullptr;
            if (to % kBlock == 0) return;  // the next text starts a block
            top = blocks[to / kBlock].get() + to % kBlock;
            end = blocks[to / kBlock].get() + kBlock;
        }
    };
    TextTree* copy(const TextTree& t) {
        TextTree& c = kept_.next();
        c = t;
        c.kept = true;
        return &c;
    }

    Region work_;
    Region kept_;
    std::deque<std::string> strings_;
    std::vector<TextTree*> todo_;

public:
    // The candidates of the layout, in chunks that never move.  They are used as a stack: a
    // layout marks the top, builds its parts' candidates and its own, then moves its own down
    // to the mark (see compactTo), which frees everything its parts built.
    struct CandMark {
        std::size_t chunk = 0;
        Cand* top = nullptr;  // in chunk `chunk`, or null before the first chunk
    };
    Cand* cands(std::size_t n) {
        if (static_cast<std::size_t>(candEnd_ - cand_.top) < n) nextChunk(n);
        Cand* p = cand_.top;
        cand_.top += n;
        return p;
    }
    CandMark candMark() const { return cand_; }
    // The room taken since the mark, where that is in the mark's chunk; otherwise more than any
    // bound.
    std::size_t takenSince(CandMark m) const {
        if (m.top == nullptr || m.chunk != cand_.chunk) return std::numeric_limits<std::size_t>::max();
        return static_cast<std::size_t>(cand_.top - m.top);
    }
    // Whether the n candidates at p lie in the chunk of the mark, at or above it.
    bool aboveInChunk(const Cand* p, std::size_t n, CandMark m) const {
        if (m.top == nullptr) return false;
        const Cand* end = candChunks_[m.chunk].get() + candSizes_[m.chunk];
        return p >= m.top && p < end && static_cast<std::size_t>(end - p) >= n;
    }
    void candRewind(CandMark m) {
        cand_ = m;
        candEnd_ = m.top == nullptr ? nullptr : candChunks_[m.chunk].get() + candSizes_[m.chunk];
    }

private:
    // Moves the top to the start of the next chunk with room for n, made if need be.
    void nextChunk(std::size_t n) {
        std::size_t c = cand_.top == nullptr ? 0 : cand_.chunk + 1;
        while (c < candChunks_.size() && candSizes_[c] < n) ++c;
        if (c == candChunks_.size()) {
            const std::size_t size = std::max(kCandChunk, n);
            candChunks_.push_back(std::make_unique_for_overwrite<Cand[]>(size));
            candSizes_.push_back(size);
        }
        cand_ = CandMark{c, candChunks_[c].get()};
        candEnd_ = cand_.top + candSizes_[c];
    }

    static constexpr std::size_t kCandChunk = 4096;
    std::vector<std::unique_ptr<Cand[]>> candChunks_;
    std::vector<std::size_t> candSizes_;
    CandMark cand_;
    Cand* candEnd_ = nullptr;
};

// The arena of the layout running on this thread.
thread_local TextArena* currentArena = nullptr;

// Makes an arena the current one for its lifetime.
class ArenaScope {
public:
    explicit ArenaScope(TextArena& a) : previous_(std::exchange(currentArena, &a)) {}
    ~ArenaScope() { currentArena = previous_; }
    ArenaScope(const ArenaScope&) = delete;
    ArenaScope& operator=(const ArenaScope&) = delete;

private:
    TextArena* previous_;
};

using CandMark = TextArena::CandMark;

CandMark candMark() { return currentArena->candMark(); }

// The result's candidates moved down to the mark, and the room above them freed.  Where that room
// is a few blocks of the cache, it is left as it is: an enclosing layout frees it with its own,
// once that is larger, or the arena is rewound as a whole.
void compactTo(NodeResult& r, CandMark m) {
    constexpr std::size_t kSlack = 128;
    TextArena& a = *currentArena;
    if (a.takenSince(m) <= kSlack) return;
    Cands& first = r.reply.first;
    Cands& second = r.reply.second;
    const std::size_t n = first.size();
    const std::size_t total = n + (r.reply.pair ? second.size() : 0);
    if (total == 0) {
        a.candRewind(m);
        return;
    }
    if (!r.reply.pair && a.aboveInChunk(first.begin(), n, m)) {  // moved down within the chunk
        if (first.begin() != m.top) std::memmove(m.top, first.begin(), n * sizeof(Cand));
        a.candRewind(m);
        first = Cands::slice(a.cands(n), n);
        return;
    }
    // Saved aside first: the room they move to may hold them.
    constexpr std::size_t kShort = 16;
    Cand shortBuf[kShort];
    std::vector<Cand> longBuf;
    Cand* saved = shortBuf;
    if (total > kShort) {
        longBuf.resize(total);
        saved = longBuf.data();
    }
    std::copy(first.begin(), first.end(), saved);
    if (r.reply.pair) std::copy(second.begin(), second.end(), saved + n);
    a.candRewind(m);
    Cand* room = a.cands(total);
    std::copy(saved, saved + total, room);
    first = Cands::slice(room, n);
    if (r.reply.pair) second = Cands::slice(room + n, total - n);
}

const TextTree* leafText(std::string s) {
    TextArena& a = *currentArena;
    const std::string& kept = a.keep(std::move(s));
    return a.make(TextTree::Kind::Leaf, static_cast<LayoutInt>(kept.size()), nullptr, nullptr, kept.data());
}

const TextTree* pairText(TextTree::Kind kind, const TextTree* a, const TextTree* b, LayoutInt shift) {
    return currentArena->make(kind, shift, a, b, nullptr);
}

const TextTree* indentText(LayoutInt n, const TextTree* a) {
    return currentArena->make(TextTree::Kind::Indent, n, a, nullptr, nullptr);
}

}  // namespace

namespace {

// A work list of texts still to write, each with its column: a text, or a plain node, or
// (neither) the line break and indentation between the two parts of a stack.
struct WriteItem {
    const TextTree* text;
    const DocNode* doc;
    LayoutInt column;
};

// The work list, and the characters written, in a buffer of their own: most texts are a few
// characters, and a plain copy into room known to be there is cheaper than a string's append.
struct TextWriter {
    std::vector<WriteItem> items;
    std::size_t size = 0;
    std::vector<char> chars;
    std::size_t written = 0;

    // The item is fetched while the first part is written: texts and nodes lie far apart.
    [[gnu::always_inline]] void push(const WriteItem& w) {
        __builtin_prefetch(w.text != nullptr ? static_cast<const void*>(w.text) : static_cast<const void*>(w.doc));
        if (size == items.size()) growItems();
        items[size++] = w;
    }
    [[gnu::always_inline]] char* room(std::size_t n) {
        if (chars.size() - written < n) growChars(n);
        char* at = chars.data() + written;
        written += n;
        return at;
    }
    // Most texts are a few characters, copied without a call.
    void put(const char* p, std::size_t n) {
        char* at = room(n);
        if (n > 16) std::memcpy(at, p, n);
        else
            for (std::size_t i = 0; i < n; ++i) at[i] = p[i];
    }
    void fill(char c, std::size_t n) { std::memset(room(n), c, n); }
    [[gnu::noinline]] void growItems() { items.resize(2 * size + 64); }
    [[gnu::noinline]] void growChars(std::size_t n) { chars.resize(std::max(2 * chars.size(), written + n + 4096)); }
};

// Writes the plain node, or the first of its parts with the rest pushed; the part to write next
// is returned (null: none).
const DocNode* writePlain(const DocNode& d, LayoutInt& column, TextWriter& w) {
    switch (d.kind) {
    case DocNode::Kind::Text: {
        const std::string_view t = d.text();
        w.put(t.data(), t.size());
        return nullptr;
    }
    case DocNode::Kind::Beside:
        w.push({nullptr, d.right.get(), column + d.left->sizes.lastWidth});
        return d.left.get();
    case DocNode::Kind::Above:
        w.push({nullptr, d.right.get(), column});
        w.push({nullptr, nullptr, column});
        return d.left.get();
    case DocNode::Kind::Indent:
        w.fill(' ', static_cast<std::size_t>(d.amount));
        column += d.amount;
        return d.left.get();
    default: return nullptr;  // no other kind is plain
    }
}

// The one line of a node sure of it (see DocNode::sure), as the one-line shortcut finds it, from
// a work list of nodes, parts of templates (with their arguments) and blanks.
struct LineItem {
    const DocNode* doc;  // a node; null for a part of a template, or for a blank
    const ParNode* par;  // the part of a template, whose arguments begin at `args`
    const DocNodeRef* args;
};

// The work list, kept for its room (writes do not nest).
struct LineItems {
    std::vector<LineItem> items;
    std::size_t size = 0;

    [[gnu::always_inline]] void push_back(const LineItem& it) {
        if (size == items.size()) grow();
        items[size++] = it;
    }
    [[gnu::noinline]] void grow() { items.resize(2 * size + 32); }
};

void lineOfNode(const DocNode& d, TextWriter& w, LineItems& todo) {
    switch (d.kind) {
    case DocNode::Kind::Text: {
        const std::string_view t = d.text();
        w.put(t.data(), t.size());
        return;
    }
    case DocNode::Kind::Beside:
        todo.push_back({d.right.get(), nullptr, nullptr});
        todo.push_back({d.left.get(), nullptr, nullptr});
        return;
    case DocNode::Kind::Indent: w.fill(' ', static_cast<std::size_t>(d.amount)); [[fallthrough]];
    case DocNode::Kind::Filter: todo.push_back({d.left.get(), nullptr, nullptr}); return;
    case DocNode::Kind::Join: todo.push_back({(d.lineSecond ? d.left->right : d.left->left).get(), nullptr, nullptr}); return;
    case DocNode::Kind::Apply: {
        const ParNode& p = *d.many->layout;
        const DocNodeRef* args = d.many->parts.data();
        if (p.kind == ParNode::Kind::HvSp) {  // the items, a blank between two
            for (std::size_t i = d.many->parts.size(); i-- > 0;) {
                todo.push_back({args[i].get(), nullptr, nullptr});
                if (i > 0) todo.push_back({nullptr, nullptr, nullptr});
            }
            return;
        }
        // A joined choice writes the alternative of the line; any other template is written as it is.
        const ParNode* line = p.kind == ParNode::Kind::Join ? p.parts[0]->parts[d.lineSecond ? 1 : 0].get() : &p;
        todo.push_back({nullptr, line, args});
        return;
    }
    default: return;  // no other kind is sure of a line
    }
}

// A part of a template whose line is sure: texts, arguments and compositions side by side.
void lineOfPar(const ParNode& p, const DocNodeRef* args, TextWriter& w, LineItems& todo) {
    switch (p.kind) {
    case ParNode::Kind::Hole: todo.push_back({args[0].get(), nullptr, nullptr}); return;
    case ParNode::Kind::Lift: todo.push_back({p.doc.get(), nullptr, nullptr}); return;
    case ParNode::Kind::Indent: w.fill(' ', static_cast<std::size_t>(p.amount)); [[fallthrough]];
    case ParNode::Kind::Filter: todo.push_back({nullptr, p.parts[0].get(), args}); return;
    case ParNode::Kind::Beside:
        todo.push_back({nullptr, p.parts[1].get(), args + p.parts[0]->params});
        todo.push_back({nullptr, p.parts[0].get(), args});
        return;
    default: return;  // no other kind is sure of a line
    }
}

void writeLine(const DocNode& root, TextWriter& w) {
    static thread_local LineItems todo;
    todo.size = 0;
    todo.push_back({&root, nullptr, nullptr});
    while (todo.size != 0) {
        const LineItem at = todo.items[--todo.size];
        if (at.doc != nullptr) lineOfNode(*at.doc, w, todo);
        else if (at.par != nullptr) lineOfPar(*at.par, at.args, w, todo);
        else w.put(" ", 1);
    }
}

// The same for a text; a plain node to write next is returned through `doc`.
const TextTree* writeTree(const TextTree& t, LayoutInt& column, TextWriter& w, const DocNode*& doc) {
    switch (t.kind) {
    case TextTree::Kind::Leaf: w.put(t.chars, static_cast<std::size_t>(t.shift)); return nullptr;
    case TextTree::Kind::Marker: {
        char* at = w.room(static_cast<std::size_t>(t.shift));
        at[0] = '<';
        std::memset(at + 1, '*', static_cast<std::size_t>(t.shift - 2));
        at[t.shift - 1] = '>';
        return nullptr;
    }
    case TextTree::Kind::Beside:
        w.push({t.second, nullptr, column + t.shift});
        return t.first;
    case TextTree::Kind::Above:
        w.push({t.second, nullptr, column});
        w.push({nullptr, nullptr, column});
        return t.first;
    case TextTree::Kind::Indent:
        if (t.shift > 0) w.fill(' ', static_cast<std::size_t>(t.shift));
        column += t.shift;
        return t.first;
    case TextTree::Kind::Plain: doc = t.doc; return nullptr;
    case TextTree::Kind::Line: writeLine(*t.doc, w); return nullptr;
    }
    return nullptr;
}

}  // namespace

Cand* allocCands(std::size_t n) { return currentArena->cands(n); }

const TextTree* newText(TextTree::Kind kind, LayoutInt shift, const TextTree* first, const TextTree* second,
                        const char* chars, const DocNode* doc) {
    return currentArena->make(kind, shift, first, second, chars, doc);
}

const TextTree* blankText() {
    static constexpr TextTree blank = sharedLeaf(" ", 1);
    return &blank;
}

void writeText(const TextTree& root, LayoutInt column, std::string& out) {
    static thread_local TextWriter w;  // kept for its room; writes do not nest
    w.size = 0;
    w.written = 0;
    WriteItem at{&root, nullptr, column};
    for (;;) {
        // Down the first parts, the others pushed.
        while (at.text != nullptr) at.text = writeTree(*at.text, at.column, w, at.doc);
        while (at.doc != nullptr) at.doc = writePlain(*at.doc, at.column, w);
        if (w.size == 0) break;
        at = w.items[--w.size];
        if (at.text == nullptr && at.doc == nullptr) {  // a line break
            char* c = w.room(static_cast<std::size_t>(std::max<LayoutInt>(at.column, 0)) + 1);
            c[0] = '\n';
            std::memset(c + 1, ' ', static_cast<std::size_t>(std::max<LayoutInt>(at.column, 0)));
        }
    }
    out.append(w.chars.data(), w.written);
    if (w.chars.size() > (std::size_t{1} << 22)) w.chars = std::vector<char>();  // not kept past a large text
}

// --- nodes ---------------------------------------------------------------------------------

// The parts are gone by now (see dropNode): only the node's own blocks are left to give back.
DocNode::~DocNode() {
    if ((kind == Kind::Text || kind == Kind::Error) && static_cast<std::size_t>(sizes.width) > kLocalChars)
        delete[] farChars;
    if (hasMany() && many != nullptr) {
        many->~Many();
        PoolAllocator<Many>().deallocate(many, 1);
    }
}

void DocNode::setText(std::string_view t) {
    char* to = t.size() > kLocalChars ? (farChars = new char[t.size()]) : localChars;
    std::copy(t.begin(), t.end(), to);
    const auto n = static_cast<LayoutInt>(t.size());
    lineLow = static_cast<std::int32_t>(std::min(n, kNoLine));
    sizes = Sizes{1, n, n};  // the width says where the text is, so it is set last
}

namespace {

// The nodes a node holds, taken out of it: its one or two parts, and the parts of a node of many.
struct HeldPair {
    DocNodeRef left;
    DocNodeRef right;
};
struct HeldMany {
    NodeParts parts;
};

}  // namespace

// The node's own blocks are given back before the nodes it holds, the last of those first: a
// document is given back in the reverse of the order it was made in (its parts, then the node),
// so that the next one made takes the same blocks in the same order, close together as the
// first one had them.
void dropNode(const DocNode* d) noexcept {
    auto* node = const_cast<DocNode*>(d);  // no handle is left to see it
    if (node->hasMany() && node->many != nullptr) {
        HeldMany held{std::move(node->many->parts)};
        node->~DocNode();
        PoolAllocator<DocNode>().deallocate(node, 1);
        Releaser<DocNodeRef>::release(held, [](HeldMany& h, auto take) {
            for (auto it = h.parts.rbegin(); it != h.parts.rend(); ++it) take(*it);
        });
        return;
    }
    if (!node->left) {  // a text, or the empty document
        node->~DocNode();
        PoolAllocator<DocNode>().deallocate(node, 1);
        return;
    }
    HeldPair held{std::move(node->left), std::move(node->right)};
    node->~DocNode();
    PoolAllocator<DocNode>().deallocate(node, 1);
    Releaser<DocNodeRef>::release(held, [](HeldPair& h, auto take) {
        take(h.right);
        take(h.left);
    });
}

ParNode::~ParNode() {
    if (parts.empty()) return;
    Releaser<ParNodeRef>::release(*this, [](ParNode& p, auto take) {
        for (auto& q : p.parts) take(q);
    });
}

Sizes besideSizes(const Sizes& a, const Sizes& c) {
    Sizes s;
    s.height = a.height == 0 ? c.height : c.height == 0 ? a.height : a.height + c.height - 1;
    s.lastWidth = a.lastWidth + c.lastWidth;
    s.width = std::max(a.width, a.lastWidth + c.width);
    return s;
}

Sizes aboveSizes(const Sizes& u, const Sizes& d) {
    return Sizes{u.height + d.height, d.lastWidth, std::max(u.width, d.width)};
}

Sizes choiceSizes(const Sizes& a, const Sizes& b) {
    return Sizes{std::max(a.height, b.height), std::min(a.lastWidth, b.lastWidth), std::min(a.width, b.width)};
}

Sizes indentSizes(const Sizes& s, LayoutInt n) {
    return Sizes{s.height, s.lastWidth + n, s.width + n};
}

namespace {

// A node just made, set up through this handle before any other handle sees it.
class FreshNode {
public:
    explicit FreshNode(DocNode* d) : node_(d), ref_(DocNodeRef::adopt(d)) {}
    DocNode* operator->() const { return node_; }
    DocNode& operator*() const { return *node_; }
    operator DocNodeRef() && { return std::move(ref_); }  // NOLINT: the node, set up

private:
    DocNode* node_;
    DocNodeRef ref_;
};

FreshNode node(DocNode::Kind kind, DocNodeRef left = nullptr, DocNodeRef right = nullptr) {
    FreshNode d(new (PoolAllocator<DocNode>().allocate(1)) DocNode());
    d->kind = kind;
    d->left = std::move(left);
    d->right = std::move(right);
    return d;
}

DocNode::Many* makeMany(NodeParts parts, ParNodeRef layout) {
    DocNode::Many* m = PoolAllocator<DocNode::Many>().allocate(1);
    return new (m) DocNode::Many{std::move(parts), std::move(layout)};
}

// The texts of two plain nodes composed, or zero when either is not plain.  The count is
// capped: it only raises the work budget.
std::uint32_t plainPair(const DocNode& a, const DocNode& b) {
    if (a.plainTexts == 0 || b.plainTexts == 0) return 0;
    const std::uint64_t sum = std::uint64_t{a.plainTexts} + b.plainTexts;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(sum, std::numeric_limits<std::uint32_t>::max()));
}

DocNodeRef errorNode(const std::string& text) {
    auto d = node(DocNode::Kind::Error);
    d->setText(text);
    return d;
}

// What the evaluation of a template combines: the sizes alone, or the sizes with what the
// one-line shortcut is sure of (see DocNode::sure, lineLow and lineTexts).  Each has the rules
// of the compositions, which follow the shortcut's own (layout/one_line.cpp).
struct NodeValue {
    using Sure = DocNode::Sure;
    Sizes sizes;
    LayoutInt line = 0;
    std::uint32_t texts = 0;
    Sure sure = Sure::No;
    // A choice whose join is sure of a line, and through which alternative (see joinOf).
    bool lineChoice = false;
    bool second = false;
    // Sure of a line that only the node's own writer writes (a joined choice, a list of
    // hvSpList): a composition of it is not sure of one.
    bool topOnly = false;
    bool single = true;  // certainly a single list (see parSingle)

    bool straightLine() const { return sure == Sure::Line && !topOnly; }
};
using Sure = DocNode::Sure;

LayoutInt lineSum(LayoutInt a, LayoutInt b) {
    return b >= kNoLine - a ? kNoLine : a + b;
}
std::uint32_t textSum(std::uint32_t a, std::uint32_t b) {
    return b > std::numeric_limits<std::uint32_t>::max() - a ? std::numeric_limits<std::uint32_t>::max() : a + b;
}
bool hasLines(const NodeValue& v) { return v.sizes.height != 0; }

// Side by side: a line where both are one (a part without lines leaves the other's width as it
// is), taller where both are.
NodeValue besideOf(const NodeValue& a, const NodeValue& b) {
    NodeValue v;
    v.sizes = besideSizes(a.sizes, b.sizes);
    v.line = !hasLines(a) ? b.line : !hasLines(b) ? a.line : lineSum(a.line, b.line);
    v.single = a.single && b.single;
    if (hasLines(a) && hasLines(b)) {
        if (a.straightLine() && b.straightLine()) {
            v.sure = Sure::Line;
            v.texts = textSum(a.texts, b.texts);
        } else if (a.sure == Sure::Tall && b.sure == Sure::Tall) {
            v.sure = Sure::Tall;
        }
    }
    return v;
}
// Stacked: taller where both have lines and are single lists.
NodeValue aboveOf(const NodeValue& a, const NodeValue& b) {
    NodeValue v;
    v.sizes = aboveSizes(a.sizes, b.sizes);
    v.line = !hasLines(a) ? b.line : !hasLines(b) ? a.line : kNoLine;
    v.single = a.single && b.single;
    if (hasLines(a) && hasLines(b) && v.single) v.sure = Sure::Tall;
    return v;
}
// A choice is sure of nothing; its join is sure of the line of one alternative where the other
// is taller (see joinOf).
NodeValue choiceOf(const NodeValue& a, const NodeValue& b) {
    NodeValue v;
    v.sizes = choiceSizes(a.sizes, b.sizes);
    v.line = std::min(a.line, b.line);
    v.single = false;
    const bool first = a.straightLine() && b.sure == Sure::Tall;
    if (first || (a.sure == Sure::Tall && b.straightLine())) {
        const NodeValue& chosen = first ? a : b;
        v.lineChoice = true;
        v.second = !first;
        v.line = chosen.line;
        v.texts = chosen.texts;
    }
    return v;
}
NodeValue joinOf(const NodeValue& e) {
    NodeValue v;
    v.sizes = e.sizes;
    v.line = e.line;
    if (e.lineChoice) {
        v.sure = Sure::Line;
        v.texts = e.texts;
        v.second = e.second;
        v.topOnly = true;
    }
    return v;
}
NodeValue filterOf(const NodeValue& e) {
    NodeValue v = e;
    v.single = true;
    v.lineChoice = false;
    if (!e.straightLine()) v.sure = Sure::No;
    return v;
}
NodeValue indentOf(const NodeValue& a, LayoutInt n) {
    NodeValue v = a;
    v.sizes = indentSizes(a.sizes, n);
    v.line = n < 0 ? 0 : lineSum(a.line, n);
    v.lineChoice = false;
    if (n < 0 || !a.straightLine()) v.sure = Sure::No;
    return v;
}
Sizes besideOf(const Sizes& a, const Sizes& b) { return besideSizes(a, b); }
Sizes aboveOf(const Sizes& a, const Sizes& b) { return aboveSizes(a, b); }
Sizes choiceOf(const Sizes& a, const Sizes& b) { return choiceSizes(a, b); }
Sizes joinOf(const Sizes& e) { return e; }
Sizes filterOf(const Sizes& e) { return e; }
Sizes indentOf(const Sizes& a, LayoutInt n) { return indentSizes(a, n); }

// The value of a document, of one line of n characters that the shortcut is not sure of (an
// error text), and of nothing certain beyond the sizes.
template <class V>
V valueOf(const DocNode& d) {
    if constexpr (std::is_same_v<V, Sizes>) {
        return d.sizes;
    } else {
        NodeValue v;
        v.sizes = d.sizes;
        v.line = d.lineLow;
        v.texts = d.lineTexts;
        v.sure = d.sure;
        v.single = !d.mayPair;
        return v;
    }
}
template <class V>
V lineValue(LayoutInt n) {
    if constexpr (std::is_same_v<V, Sizes>) return Sizes{1, n, n};
    else return NodeValue{Sizes{1, n, n}, n};
}
template <class V>
V unsure(const V& v) {
    if constexpr (std::is_same_v<V, Sizes>) {
        return v;
    } else {
        NodeValue out = v;
        out.sure = Sure::No;
        out.lineChoice = false;
        return out;
    }
}

// The value of a template filled with templates: the writer of lines does not fill templates
// into templates.
template <class V>
V innerValue(const V& v) {
    if constexpr (std::is_same_v<V, Sizes>) return v;
    else return v.sure == Sure::Line ? unsure(v) : v;
}

// The value set on a node.
void setValue(DocNode& d, const NodeValue& v) {
    d.sizes = v.sizes;
    d.lineLow = static_cast<std::int32_t>(std::min(v.line, kNoLine));
    d.lineTexts = v.texts;
    d.sure = v.sure == Sure::Line && v.line >= kNoLine ? Sure::No : v.sure;
    d.lineSecond = v.second;
}

// The sizes of hvSpNode(length): one line of items separated by blanks (all but the last
// filtered), or the items stacked, whichever is the joined choice.
// The sizes of the line alone, the item sizes given by position (no lines for a missing one).
template <class SizeAt>
Sizes hvSpLineSizes(std::size_t length, SizeAt arg) {
    const Sizes space{1, 1, 1};
    Sizes h = arg(length - 1);
    for (std::size_t i = length - 1; i-- > 0;) h = besideSizes(arg(i), besideSizes(space, h));
    return h;
}

// The sizes of hvSpNode(length), the item sizes given by position.
template <class SizeAt>
Sizes hvSpSizes(std::size_t length, SizeAt arg) {
    Sizes v = arg(length - 1);
    for (std::size_t i = length - 1; i-- > 0;) v = aboveSizes(arg(i), v);
    return choiceSizes(hvSpLineSizes(length, arg), v);
}

Sizes hvSpValue(std::size_t length, const Sizes* args, std::size_t count) {
    return hvSpSizes(length, [&](std::size_t i) { return i < count ? args[i] : Sizes{}; });
}

// The value of hvSpNode(length): its line is the items' (those without lines add nothing) and
// the blanks between them; it is sure of it where each item is sure of its own line and the
// stack of the items is taller (or the item is alone).
NodeValue hvSpValue(std::size_t length, const NodeValue* args, std::size_t count) {
    const auto arg = [&](std::size_t i) { return i < count ? args[i] : NodeValue{}; };
    NodeValue out;
    out.sizes = hvSpSizes(length, [&](std::size_t i) { return arg(i).sizes; });
    LayoutInt line = static_cast<LayoutInt>(length) - 1;
    LayoutInt stackLine = 0;  // a stack is one line only where a single item has lines
    std::size_t withLines = 0;
    std::uint32_t texts = static_cast<std::uint32_t>(std::min<std::size_t>(length - 1, std::numeric_limits<std::uint32_t>::max()));
    bool sure = count >= length;
    for (std::size_t i = 0; i < length; ++i) {
        const NodeValue a = arg(i);
        if (hasLines(a)) {
            line = lineSum(line, a.line);
            stackLine = withLines++ == 0 ? a.line : kNoLine;
        }
        texts = textSum(texts, a.texts);
        sure = sure && hasLines(a) && a.straightLine() && (length == 1 || a.single);
    }
    out.line = std::min(line, stackLine);
    if (sure) {
        out.sure = Sure::Line;
        out.topOnly = true;
        out.line = line;
        out.texts = texts;
    }
    return out;
}

// The longest program kept with a template (see ParStep); its stack is no deeper.
constexpr std::size_t kMaxSteps = 48;

template <class V>
V runSteps(const std::vector<ParStep>& steps, const V* args, std::size_t count, V* stack) {
    std::size_t top = 0;
    for (const ParStep& s : steps) {
        using Op = ParStep::Op;
        switch (s.op) {
        case Op::Hole: stack[top++] = s.index < count ? args[s.index] : V{}; break;
        case Op::Lift: stack[top++] = valueOf<V>(*s.doc); break;
        case Op::Error: stack[top++] = lineValue<V>(s.amount); break;
        case Op::Pick: stack[top - 1] = filterOf(unsure(stack[top - 1])); break;
        case Op::Filter: stack[top - 1] = filterOf(stack[top - 1]); break;
        case Op::Join: stack[top - 1] = joinOf(stack[top - 1]); break;
        case Op::Indent: stack[top - 1] = indentOf(stack[top - 1], s.amount); break;
        case Op::Beside: --top; stack[top - 1] = besideOf(stack[top - 1], stack[top]); break;
        case Op::Above: --top; stack[top - 1] = aboveOf(stack[top - 1], stack[top]); break;
        case Op::Choice: --top; stack[top - 1] = choiceOf(stack[top - 1], stack[top]); break;
        case Op::UnequalChoice: --top; stack[top - 1] = unsure(choiceOf(stack[top - 1], stack[top])); break;
        case Op::HvSp:
            top -= s.index;
            stack[top] = hvSpValue(s.index, stack + top, s.index);
            ++top;
            break;
        case Op::Inner: stack[top - 1] = innerValue(stack[top - 1]); break;
        }
    }
    return stack[0];
}

// The program of a template that keeps none (see ParNode::steps), made by a walk with a work
// list of its own: the steps compileSteps would give it, however long.  Within a template filled
// with templates, a hole of the outer one stands for the program of the inner one in its place.
void programOf(const ParNode& root, std::vector<ParStep>& out) {
    struct Filling {  // a template filled with templates, whose outer one is being walked
        const ParNode* subst;
        LayoutInt first;         // where its parameters begin
        const Filling* outside;  // the filling it lies in, if any
        SmallVec<LayoutInt, 8> firsts;  // where each inner template's parameters begin
    };
    struct Task {
        const ParNode* node;  // a node to walk; null for a step to emit, or a hole
        LayoutInt first;      // a node's (or a hole's) first parameter
        const Filling* filling;
        ParStep step;
        bool hole = false;
    };
    std::deque<Filling> fillings;
    std::vector<Task> todo{Task{&root, 0, nullptr, ParStep{ParStep::Op::Hole}}};
    const auto emit = [&todo](ParStep s) { todo.push_back(Task{nullptr, 0, nullptr, s}); };
    const auto walk = [&todo](const ParNode* q, LayoutInt first, const Filling* f) {
        todo.push_back(Task{q, first, f, ParStep{ParStep::Op::Hole}});
    };
    while (!todo.empty()) {
        const Task t = todo.back();
        todo.pop_back();
        if (t.node == nullptr && !t.hole) {
            out.push_back(t.step);
            continue;
        }
        if (t.hole || t.node->kind == ParNode::Kind::Hole || t.node->kind == ParNode::Kind::First ||
            t.node->kind == ParNode::Kind::Second) {
            if (!t.hole && t.node->kind != ParNode::Kind::Hole) emit(ParStep{ParStep::Op::Pick});
            const Filling* f = t.filling;
            const auto index = static_cast<std::size_t>(t.first);
            if (f == nullptr) out.push_back(ParStep{ParStep::Op::Hole, static_cast<std::uint32_t>(t.first)});
            else if (index + 1 < f->subst->parts.size()) walk(f->subst->parts[index + 1].get(), f->first + f->firsts[index], f->outside);
            else out.push_back(ParStep{ParStep::Op::Hole, std::numeric_limits<std::uint32_t>::max()});  // no argument
            continue;
        }
        const ParNode& p = *t.node;
        using K = ParNode::Kind;
        using Op = ParStep::Op;
        switch (p.kind) {
        case K::Lift: out.push_back(ParStep{Op::Lift, 0, 0, p.doc.get()}); break;
        case K::Filter:
        case K::Join:
        case K::Indent:
            emit(ParStep{p.kind == K::Filter ? Op::Filter : p.kind == K::Join ? Op::Join : Op::Indent, 0, p.amount});
            walk(p.parts[0].get(), t.first, t.filling);
            break;
        case K::Beside:
        case K::Above:
        case K::Choice: {
            const bool choice = p.kind == K::Choice;
            const bool equal = p.parts[0]->params == p.parts[1]->params;
            emit(ParStep{p.kind == K::Beside ? Op::Beside : p.kind == K::Above ? Op::Above : equal ? Op::Choice : Op::UnequalChoice});
            walk(p.parts[1].get(), choice ? t.first : t.first + p.parts[0]->params, t.filling);
            walk(p.parts[0].get(), t.first, t.filling);
            break;
        }
        case K::Subst: {
            const ParNode& outer = *p.parts.front();
            const auto n = static_cast<LayoutInt>(p.parts.size() - 1);
            if (outer.params != n) {
                out.push_back(ParStep{Op::Error, 0, static_cast<LayoutInt>(applyCountError(outer.params, n).size())});
                break;
            }
            Filling& f = fillings.emplace_back(Filling{&p, t.first, t.filling, {}});
            LayoutInt at = 0;
            for (std::size_t i = 1; i < p.parts.size(); ++i) {
                f.firsts.push_back(at);
                at += p.parts[i]->params;
            }
            emit(ParStep{Op::Inner});
            walk(&outer, 0, &f);
            break;
        }
        case K::HvSp:
            emit(ParStep{Op::HvSp, static_cast<std::uint32_t>(p.params)});
            for (LayoutInt i = p.params; i-- > 0;) todo.push_back(Task{nullptr, t.first + i, t.filling, ParStep{}, true});
            break;
        default: break;  // the holes, above
        }
    }
}

template <class V>
V parValue(const ParNode& p, const V* args, std::size_t count) {
    if (p.kind == ParNode::Kind::HvSp) return hvSpValue(static_cast<std::size_t>(p.params), args, count);
    if (!p.steps.empty()) {
        static thread_local std::array<V, kMaxSteps> stack;
        return runSteps(p.steps, args, count, stack.data());
    }
    std::vector<ParStep> program;
    programOf(p, program);
    std::vector<V> stack(program.size());
    return runSteps(program, args, count, stack.data());
}

}  // namespace

Sizes parSizes(const ParNode& p, const Sizes* args, std::size_t count) {
    return parValue(p, args, count);
}

bool parSingle(const ParNode& p, const std::uint8_t* argSingle, std::size_t count) {
    switch (p.kind) {
    case ParNode::Kind::Hole: return count == 0 || argSingle[0];
    case ParNode::Kind::First:
    case ParNode::Kind::Second:  // one side of a pair, or the single list as it is
    case ParNode::Kind::Filter:
    case ParNode::Kind::Join:
    case ParNode::Kind::HvSp: return true;
    case ParNode::Kind::Lift: return !p.doc->mayPair;
    case ParNode::Kind::Indent: return parSingle(*p.parts[0], argSingle, count);
    case ParNode::Kind::Beside:
    case ParNode::Kind::Above: {
        const auto n = std::min(static_cast<std::size_t>(p.parts[0]->params), count);
        return parSingle(*p.parts[0], argSingle, n) && parSingle(*p.parts[1], argSingle + n, count - n);
    }
    case ParNode::Kind::Choice: return false;
    case ParNode::Kind::Subst: {  // the outer node filled with the inner ones
        SmallVec<std::uint8_t, 8> inner;
        std::size_t at = 0;
        for (std::size_t i = 1; i < p.parts.size(); ++i) {
            const std::size_t from = std::min(at, count);
            const std::size_t n = std::min(static_cast<std::size_t>(p.parts[i]->params), count - from);
            inner.push_back(parSingle(*p.parts[i], argSingle + from, n) ? 1 : 0);
            at += static_cast<std::size_t>(p.parts[i]->params);
        }
        return parSingle(*p.parts.front(), inner.data(), inner.size());
    }
    }
    return false;
}

namespace {

// A text is sure of its line.
void setTextLine(DocNode& d, std::uint32_t texts) {
    d.plainTexts = texts;
    d.lineTexts = texts;
    if (d.sizes.width < kNoLine) d.sure = DocNode::Sure::Line;
}

}  // namespace

DocNodeRef textNode(std::string text) {
    auto d = node(DocNode::Kind::Text);
    d->setText(text);
    setTextLine(*d, 1);
    return d;
}

DocNodeRef emptyNode() {
    static const DocNodeRef empty = node(DocNode::Kind::Empty);
    return empty;
}

// Two texts side by side whose line is short are one text: the node is the same document, laid
// out as the composition would be (see textResult), with fewer nodes to build, lay out and free.
// A short line is kept in the node and has the ends of its texts in pieceEnds.
constexpr LayoutInt kShortLine = 15;
static_assert(kShortLine <= static_cast<LayoutInt>(DocNode::kLocalChars) && kShortLine - 2 < 16,
              "a short line is kept in place, and an end after each of its characters but the last has a bit");
DocNodeRef besideNode(DocNodeRef l, DocNodeRef r) {
    const std::uint32_t plain = plainPair(*l, *r);
    const bool texts = l->kind == DocNode::Kind::Text && r->kind == DocNode::Kind::Text;
    const std::string_view a = texts ? l->text() : std::string_view();
    const std::string_view b = texts ? r->text() : std::string_view();
    if (texts && a.size() + b.size() <= static_cast<std::size_t>(kShortLine)) {
        char line[kShortLine];
        std::copy(b.begin(), b.end(), std::copy(a.begin(), a.end(), line));
        auto d = node(DocNode::Kind::Text);
        d->setText(std::string_view(line, a.size() + b.size()));
        setTextLine(*d, plain);
        const bool between = !a.empty() && !b.empty();
        d->pieceEnds = static_cast<std::uint16_t>(l->pieceEnds | (between ? 1U << (a.size() - 1) : 0U) |
                                                  (unsigned{r->pieceEnds} << a.size()));
        return d;
    }
    const NodeValue s = besideOf(valueOf<NodeValue>(*l), valueOf<NodeValue>(*r));
    const bool mayPair = l->mayPair || r->mayPair;
    auto d = node(DocNode::Kind::Beside, std::move(l), std::move(r));
    setValue(*d, s);
    d->mayPair = mayPair;
    d->plainTexts = plain;
    return d;
}

DocNodeRef aboveNode(DocNodeRef u, DocNodeRef lower) {
    const NodeValue s = aboveOf(valueOf<NodeValue>(*u), valueOf<NodeValue>(*lower));
    const std::uint32_t plain = plainPair(*u, *lower);
    const bool mayPair = u->mayPair || lower->mayPair;
    auto d = node(DocNode::Kind::Above, std::move(u), std::move(lower));
    setValue(*d, s);
    d->mayPair = mayPair;
    d->plainTexts = plain;
    return d;
}

// The join of a pair is sure of the line of one alternative where the other is taller; the join
// of anything else is sure of nothing (as the one-line shortcut has it).
DocNodeRef joinNode(DocNodeRef e) {
    const NodeValue s = e->kind == DocNode::Kind::Dup
                            ? joinOf(choiceOf(valueOf<NodeValue>(*e->left), valueOf<NodeValue>(*e->right)))
                            : joinOf(valueOf<NodeValue>(*e));
    auto d = node(DocNode::Kind::Join, std::move(e));
    setValue(*d, s);
    return d;
}

DocNodeRef filterNode(DocNodeRef e) {
    const NodeValue s = filterOf(valueOf<NodeValue>(*e));
    auto d = node(DocNode::Kind::Filter, std::move(e));
    setValue(*d, s);
    return d;
}

DocNodeRef indentNode(LayoutInt n, DocNodeRef e) {
    const NodeValue s = indentOf(valueOf<NodeValue>(*e), n);
    const std::uint32_t plain = n >= 0 ? e->plainTexts : 0;
    const bool mayPair = e->mayPair;
    auto d = node(DocNode::Kind::Indent, std::move(e));
    d->mayPair = mayPair;
    d->amount = n;
    setValue(*d, s);
    d->plainTexts = plain;
    return d;
}

DocNodeRef dupNode(DocNodeRef x, DocNodeRef y) {
    const NodeValue s = unsure(choiceOf(valueOf<NodeValue>(*x), valueOf<NodeValue>(*y)));
    auto d = node(DocNode::Kind::Dup, std::move(x), std::move(y));
    setValue(*d, s);
    d->mayPair = true;
    return d;
}

DocNodeRef applyNode(ParNodeRef p, NodeParts args) {
    const auto m = static_cast<LayoutInt>(args.size());
    if (p->params != m) return errorNode(applyCountError(p->params, m));
    SmallVec<NodeValue, 8> values;
    values.reserve(args.size());
    for (const DocNodeRef& a : args) values.push_back(valueOf<NodeValue>(*a));
    const NodeValue s = parValue(*p, values.data(), values.size());
    auto d = node(DocNode::Kind::Apply);
    d->mayPair = !s.single;
    d->many = makeMany(std::move(args), std::move(p));
    setValue(*d, s);
    return d;
}

DocNodeRef aboveListNode(NodeParts items) {
    Sizes s;  // the last item stands above the empty document: no last width
    LayoutInt line = 0;  // one line only where a single item has lines
    std::size_t withLines = 0;
    bool mayPair = false;
    for (const DocNodeRef& a : items) {
        if (a->sizes.height != 0) line = withLines++ == 0 ? a->lineLow : kNoLine;
        s.height += a->sizes.height;
        s.width = std::max(s.width, a->sizes.width);
        mayPair = mayPair || a->mayPair;
    }
    auto d = node(DocNode::Kind::AboveList);
    d->mayPair = mayPair;
    d->many = makeMany(std::move(items), nullptr);
    d->sizes = s;
    d->lineLow = static_cast<std::int32_t>(line);
    if (withLines >= 2 && !mayPair) d->sure = DocNode::Sure::Tall;  // taller, as any two stacked single lists
    return d;
}

namespace {

std::shared_ptr<ParNode> parNode(ParNode::Kind kind, LayoutInt params, std::vector<ParNodeRef> parts) {
    auto p = std::allocate_shared<ParNode>(PoolAllocator<ParNode>());
    p->kind = kind;
    p->params = params;
    p->parts = std::move(parts);
    return p;
}

// Appends q's program, its parameters renumbered from `first`; false where q has none.
bool appendSteps(std::vector<ParStep>& out, const ParNode& q, LayoutInt first) {
    if (q.steps.empty()) return false;
    for (ParStep s : q.steps) {
        if (s.op == ParStep::Op::Hole) s.index += static_cast<std::uint32_t>(first);
        out.push_back(s);
    }
    return true;
}

// The program of a template filled with templates: the outer one's, each of its parameters
// replaced by the program of the template in its place.
bool appendSubstSteps(std::vector<ParStep>& out, const ParNode& p) {
    const ParNode& outer = *p.parts.front();
    if (outer.params != static_cast<LayoutInt>(p.parts.size() - 1)) {
        const auto n = static_cast<LayoutInt>(p.parts.size() - 1);
        out.push_back(ParStep{ParStep::Op::Error, 0, static_cast<LayoutInt>(applyCountError(outer.params, n).size())});
        return true;
    }
    SmallVec<LayoutInt, 8> firsts;  // where each inner template's parameters begin
    LayoutInt at = 0;
    for (std::size_t i = 1; i < p.parts.size(); ++i) {
        firsts.push_back(at);
        at += p.parts[i]->params;
    }
    if (outer.steps.empty()) return false;
    for (const ParStep& s : outer.steps) {
        if (s.op != ParStep::Op::Hole) out.push_back(s);
        else if (!appendSteps(out, *p.parts[s.index + 1], firsts[s.index])) return false;
        if (out.size() > kMaxSteps) return false;
    }
    out.push_back(ParStep{ParStep::Op::Inner});
    return true;
}

// The template's program, where it is short enough (see ParNode::steps).
void compileSteps(ParNode& p) {
    using K = ParNode::Kind;
    using Op = ParStep::Op;
    std::vector<ParStep> out;
    bool ok = true;
    switch (p.kind) {
    case K::Hole: out.push_back(ParStep{Op::Hole}); break;
    case K::First:
    case K::Second: out = {ParStep{Op::Hole}, ParStep{Op::Pick}}; break;
    case K::Lift: out.push_back(ParStep{Op::Lift, 0, 0, p.doc.get()}); break;
    case K::Filter:
    case K::Join:
    case K::Indent:
        ok = appendSteps(out, *p.parts[0], 0);
        out.push_back(ParStep{p.kind == K::Filter ? Op::Filter : p.kind == K::Join ? Op::Join : Op::Indent, 0, p.amount});
        break;
    case K::Beside:
    case K::Above:
        ok = appendSteps(out, *p.parts[0], 0) && appendSteps(out, *p.parts[1], p.parts[0]->params);
        out.push_back(ParStep{p.kind == K::Beside ? Op::Beside : Op::Above});
        break;
    case K::Choice:
        ok = appendSteps(out, *p.parts[0], 0) && appendSteps(out, *p.parts[1], 0);
        out.push_back(ParStep{p.parts[0]->params == p.parts[1]->params ? Op::Choice : Op::UnequalChoice});
        break;
    case K::Subst: ok = appendSubstSteps(out, p); break;
    case K::HvSp:
        ok = static_cast<std::size_t>(p.params) < kMaxSteps;
        for (LayoutInt i = 0; ok && i < p.params; ++i) out.push_back(ParStep{Op::Hole, static_cast<std::uint32_t>(i)});
        out.push_back(ParStep{Op::HvSp, static_cast<std::uint32_t>(p.params)});
        break;
    }
    if (ok && out.size() <= kMaxSteps) p.steps = std::move(out);
}

}  // namespace

ParNodeRef holeNode(ParNode::Kind kind) {
    auto p = parNode(kind, 1, {});
    compileSteps(*p);
    return p;
}

ParNodeRef liftNode(DocNodeRef d) {
    auto p = parNode(ParNode::Kind::Lift, 0, {});
    p->doc = std::move(d);
    compileSteps(*p);
    return p;
}

ParNodeRef parUnaryNode(ParNode::Kind kind, ParNodeRef q, LayoutInt amount) {
    const LayoutInt n = q->params;
    auto p = parNode(kind, n, {std::move(q)});
    p->amount = amount;
    compileSteps(*p);
    return p;
}

ParNodeRef parBinaryNode(ParNode::Kind kind, ParNodeRef l, ParNodeRef r) {
    const LayoutInt n = kind == ParNode::Kind::Choice ? l->params : l->params + r->params;
    auto p = parNode(kind, n, {std::move(l), std::move(r)});
    compileSteps(*p);
    return p;
}

ParNodeRef substNode(ParNodeRef outer, std::vector<ParNodeRef> inners) {
    LayoutInt total = 0;
    for (const ParNodeRef& q : inners) total += q->params;
    std::vector<ParNodeRef> parts{std::move(outer)};
    for (ParNodeRef& q : inners) parts.push_back(std::move(q));
    auto p = parNode(ParNode::Kind::Subst, total, std::move(parts));
    compileSteps(*p);
    return p;
}

ParNodeRef hvSpNode(std::size_t length) {
    auto p = parNode(ParNode::Kind::HvSp, static_cast<LayoutInt>(length), {});
    compileSteps(*p);
    return p;
}

// --- candidate lists -------------------------------------------------------------------------

namespace {

Cand textCand(const TextTree* t) {
    const LayoutInt n = t->shift;
    return Cand{1, n, n, t};
}

Cands textCands(const std::string& s) {
    return Cands{textCand(leafText(s))};
}

// The marker of a width; a long one is not spelled out until it is rendered, as every part of
// a long line that does not fit has its own.
const TextTree* markerText(LayoutInt n) {
    if (n <= 2) {  // "", "*" or "<>", shared by all layouts
        static constexpr TextTree shortMarkers[3] = {sharedLeaf("", 0), sharedLeaf("*", 1), sharedLeaf("<>", 2)};
        return &shortMarkers[n == 0 || n == 1 ? n : 2];
    }
    return currentArena->make(TextTree::Kind::Marker, n, nullptr, nullptr, nullptr);
}

Cands markerCands(LayoutInt n) {
    return Cands{textCand(markerText(n))};
}

NodeReply single(Cands cs) {
    NodeReply r;
    r.first = std::move(cs);
    return r;
}

NodeReply errorReplyOf(const char* text) {
    return single(textCands(text));
}

bool takesFirst(const Cand& x, const Cand& y) {
    if (x.height != y.height) return x.height < y.height;
    if (x.width != y.width) return x.width < y.width;
    return x.lastWidth == y.lastWidth;
}

bool sameSizes(const Cand& x, const Cand& y) {
    return x.height == y.height && x.width == y.width && x.lastWidth == y.lastWidth;
}

// The merge of the library: a candidate of xs with fewer lines than `atLeast` is taken without
// looking at ys; of two heads, the one with fewer lines, then the narrower, the first on equal
// sizes (which drops the other).
Cands mergeCands(const Cands& xs, const Cands& ys, LayoutInt atLeast) {
    Cands out;
    out.reserve(xs.size() + ys.size());
    std::size_t i = 0, j = 0;
    while (i < xs.size()) {
        const Cand& x = xs[i];
        if (x.height < atLeast) {
            out.push_back(x);
            ++i;
            continue;
        }
        if (j == ys.size()) break;
        const Cand& y = ys[j];
        if (!takesFirst(x, y)) {
            out.push_back(y);
            ++j;
            continue;
        }
        out.push_back(x);
        ++i;
        if (sameSizes(x, y)) ++j;
    }
    out.insert(out.end(), xs.begin() + static_cast<std::ptrdiff_t>(i), xs.end());
    out.insert(out.end(), ys.begin() + static_cast<std::ptrdiff_t>(j), ys.end());
    return out;
}

// The candidates that no earlier one makes useless (the rule of pruneDominated).
Cands pruned(Cands xs);

// The merge of a join: in full, pruned, or only its first `need` candidates (which come from
// the first `need` of the first list and the first 2 * `need` of the second).
Cands mergedCands(const Cands& xs, const Cands& ys, std::size_t need) {
    if (need == kAll) return pruned(mergeCands(xs, ys, std::numeric_limits<LayoutInt>::min()));
    Cands out = mergeCands(xs, ys, std::numeric_limits<LayoutInt>::min());
    if (out.size() > need) out.resize(need);
    return out;
}

// pruned for a short list, whose kept candidates of fewer lines are few enough to scan: the
// same rule as the staircase below, without its searches and moves (most lists are short).  An
// earlier candidate makes a later one useless when it has fewer lines and is neither wider nor
// has a wider last line, or when it has the same sizes.  A list out of height order is kept as
// it is from there on.
Cands prunedShort(const Cands& xs) {
    struct Room {
        LayoutInt width;
        LayoutInt lastWidth;
    };
    Room shorter[32];  // the kept candidates of fewer lines that no other of them makes useless
    Room level[32];    // the kept candidates of the current height
    std::size_t nShorter = 0, nLevel = 0;
    Cand* out = allocCands(xs.size());
    std::size_t n = 0;
    LayoutInt height = xs[0].height;
    std::size_t i = 0;
    for (; i < xs.size(); ++i) {
        const Cand& f = xs[i];
        if (f.height < height) break;
        if (f.height > height) {
            for (std::size_t k = 0; k < nLevel; ++k) {
                const Room r = level[k];
                std::size_t m = 0;  // drop those it makes useless, then add it
                for (std::size_t s = 0; s < nShorter; ++s)
                    if (shorter[s].width < r.width || shorter[s].lastWidth < r.lastWidth) shorter[m++] = shorter[s];
                shorter[m++] = r;
                nShorter = m;
            }
            nLevel = 0;
            height = f.height;
        }
        bool useless = false;
        for (std::size_t s = 0; s < nShorter && !useless; ++s)
            useless = shorter[s].width <= f.width && shorter[s].lastWidth <= f.lastWidth;
        for (std::size_t s = 0; s < nLevel && !useless; ++s)
            useless = level[s].width == f.width && level[s].lastWidth == f.lastWidth;
        if (useless) continue;
        level[nLevel++] = Room{f.width, f.lastWidth};
        out[n++] = f;
    }
    for (; i < xs.size(); ++i) out[n++] = xs[i];
    return Cands::slice(out, n);
}

// The candidates that no earlier one makes useless (the rule of pruneDominated).
Cands pruned(Cands xs) {
    if (xs.size() < 2) return xs;
    if (xs.size() <= 32) return prunedShort(xs);  // about 12% of a layout's work, against the staircase
    // Kept candidates of fewer lines as a staircase: widths increasing, last widths decreasing.
    static thread_local std::vector<std::pair<LayoutInt, LayoutInt>> shorter;  // kept for its room
    shorter.clear();
    SmallVec<std::pair<LayoutInt, LayoutInt>, 8> level;  // kept at the current height
    auto dominatedByShorter = [](LayoutInt w, LayoutInt l) {
        auto at = std::upper_bound(shorter.begin(), shorter.end(), std::make_pair(w, std::numeric_limits<LayoutInt>::max()));
        return at != shorter.begin() && std::prev(at)->second <= l;
    };
    LayoutInt height = std::numeric_limits<LayoutInt>::min();
    Cands out;
    out.reserve(xs.size());
    std::size_t i = 0;
    for (; i < xs.size(); ++i) {
        Cand& f = xs[i];
        if (f.height < height) break;  // out of order: keep the rest as it is
        if (f.height > height) {
            for (const auto& [w, l] : level) {
                if (dominatedByShorter(w, l)) continue;
                auto at = std::lower_bound(shorter.begin(), shorter.end(), std::make_pair(w, std::numeric_limits<LayoutInt>::min()));
                auto end = at;
                while (end != shorter.end() && end->second >= l) ++end;
                at = shorter.erase(at, end);
                shorter.insert(at, {w, l});
            }
            level.clear();
            height = f.height;
        }
        if (dominatedByShorter(f.width, f.lastWidth)) continue;
        if (std::find(level.begin(), level.end(), std::make_pair(f.width, f.lastWidth)) != level.end()) continue;
        level.push_back({f.width, f.lastWidth});
        out.push_back(std::move(f));
    }
    out.insert(out.end(), std::make_move_iterator(xs.begin() + static_cast<std::ptrdiff_t>(i)), std::make_move_iterator(xs.end()));
    return out;
}

// The products of x with ys after the leading ones wider than the bound.
Cands besideRow(LayoutInt bound, const Cand& x, const Cands& ys) {
    if (x.width > bound) return {};
    std::size_t j = 0;
    while (j < ys.size() && std::max(x.width, x.lastWidth + ys[j].width) > bound) ++j;
    const std::size_t n = ys.size() - j;
    if (n == 0) return {};
    TextArena& a = *currentArena;
    Cand* row = a.cands(n);
    for (std::size_t k = 0; k < n; ++k) {
        const Cand& y = ys[j + k];
        countCandidate();
        row[k] = Cand{x.height + y.height - 1, x.lastWidth + y.lastWidth, std::max(x.width, x.lastWidth + y.width),
                      a.make(TextTree::Kind::Beside, x.lastWidth, x.text, y.text, nullptr)};
    }
    return Cands::slice(row, n);
}

// besideCands where ys is a single candidate: each row is one product or none, and each merge
// puts it into the list of the later rows, kept at the end of one block of room.
Cands besideOne(LayoutInt bound, const Cands& xs, const Cand& y) {
    const std::size_t n = xs.size();
    Cand* room = allocCands(n);
    std::size_t start = n;  // the merged rows so far: room[start, n)
    TextArena& a = *currentArena;
    for (std::size_t i = n; i-- > 0;) {
        const Cand& x = xs[i];
        const LayoutInt width = std::max(x.width, x.lastWidth + y.width);
        if (x.width > bound || width > bound) continue;
        countCandidate();
        const Cand r{x.height + y.height - 1, x.lastWidth + y.lastWidth, width,
                     a.make(TextTree::Kind::Beside, x.lastWidth, x.text, y.text, nullptr)};
        if (i + 1 == n || r.height < xs[i + 1].height) {  // taken without looking at the later rows
            room[--start] = r;
            continue;
        }
        std::size_t j = start;
        while (j < n && !takesFirst(r, room[j])) ++j;
        if (j < n && sameSizes(r, room[j])) {  // it drops the one of the same sizes
            room[j] = r;
            continue;
        }
        std::memmove(room + start - 1, room + start, (j - start) * sizeof(Cand));
        --start;
        room[j - 1] = r;
    }
    return Cands::slice(room + start, n - start);
}

// The products of xs and ys, pruned where xs has more than one candidate; `leftCount` is the
// length of the list xs was taken from, where xs holds only its leading one-line candidates
// (see lineChainResult).
Cands besideCands(LayoutInt bound, const Cands& xs, const Cands& ys, std::size_t leftCount) {
    if (xs.empty()) return {};
    if (ys.size() == 1 && xs.size() > 1) {
        Cands acc = besideOne(bound, xs, ys[0]);
        return leftCount > 1 ? pruned(std::move(acc)) : acc;
    }
    Cands acc = besideRow(bound, xs.back(), ys);
    for (std::size_t i = xs.size() - 1; i-- > 0;) acc = mergeCands(besideRow(bound, xs[i], ys), acc, xs[i + 1].height);
    return leftCount > 1 ? pruned(std::move(acc)) : acc;
}

Cands aboveCands(const Cands& xs, const Cands& ys, std::size_t need) {
    Cands out;
    std::size_t i = 0, j = 0;
    while (i < xs.size() && j < ys.size() && out.size() < need) {
        const Cand& x = xs[i];
        const Cand& y = ys[j];
        countCandidate();
        out.push_back(Cand{x.height + y.height, y.lastWidth, std::max(x.width, y.width),
                           pairText(TextTree::Kind::Above, x.text, y.text, 0)});
        if (x.width >= y.width) ++i;
        else ++j;
    }
    return need != kAll || (xs.size() < 2 && ys.size() < 2) ? out : pruned(std::move(out));
}

Cands alternative(const NodeReply& r) {
    if (!r.pair) return r.first;
    return textCands(kDupDupError);
}

// --- attribute rules -------------------------------------------------------------------------

// Two parts' replies combined list by list: a single reply with a pair gives a pair, two pairs
// the error text.
template <class Combine>
NodeReply combineReplies(const NodeReply& a, const NodeReply& b, Combine combine, const char* pairsError) {
    if (!a.pair && !b.pair) return single(combine(a.first, b.first));
    if (!a.pair) return NodeReply{true, combine(a.first, b.first), combine(a.first, b.second), b.firstTooWide, b.secondTooWide};
    if (!b.pair) return NodeReply{true, combine(a.first, b.first), combine(a.second, b.first), a.firstTooWide, a.secondTooWide};
    return errorReplyOf(pairsError);
}

NodeResult besideResult(const NodeResult& l, const NodeResult& r, LayoutInt line, std::size_t leftCount = 0) {
    NodeResult out;
    out.sizes = besideSizes(l.sizes, r.sizes);
    out.tooWide = l.tooWide || r.tooWide || (l.reply.pair && r.reply.pair);
    auto product = [&](const Cands& x, const Cands& y) -> Cands {
        if (l.sizes.height == 0) return y;
        if (r.sizes.height == 0) return x;
        const bool bounded = !l.tooWide && !r.tooWide;
        return besideCands(bounded ? line : std::numeric_limits<LayoutInt>::max(), x, y, leftCount > 0 ? leftCount : x.size());
    };
    out.reply = combineReplies(l.reply, r.reply, product, kBesidePairsError);
    return out;
}

NodeResult aboveResult(const NodeResult& u, const NodeResult& d, std::size_t need) {
    NodeResult out;
    out.sizes = aboveSizes(u.sizes, d.sizes);
    auto stack = [&](const Cands& x, const Cands& y) -> Cands {
        if (u.sizes.height == 0) return y;
        if (d.sizes.height == 0) return x;
        return aboveCands(x, y, need);
    };
    out.reply = combineReplies(u.reply, d.reply, stack, kAbovePairsError);
    out.tooWide = d.tooWide || u.tooWide || (u.reply.pair && d.reply.pair);
    return out;
}

[[gnu::noinline]] NodeResult joinResult(NodeResult e, std::size_t need) {
    NodeResult out;
    out.sizes = e.sizes;
    out.tooWide = e.reply.pair ? e.tooWide : true;
    if (e.reply.pair) {
        NodeReply& p = e.reply;
        if (p.secondTooWide) out.reply = single(!p.first.empty() ? std::move(p.first) : std::move(p.second));
        else if (!p.firstTooWide) out.reply = single(mergedCands(p.first, p.second, need));
        else out.reply = single(!p.second.empty() ? std::move(p.second) : std::move(p.first));
    } else if (e.tooWide) {
        out.reply = std::move(e.reply);
    } else {
        out.reply = errorReplyOf(kJoinSingleError);
    }
    return out;
}

[[gnu::noinline]] NodeResult filterResult(NodeResult e) {
    NodeResult out;
    out.sizes = e.sizes;
    const bool pair = e.reply.pair;
    const bool some = !pair && !e.reply.first.empty() && e.reply.first.front().height <= 1;
    out.tooWide = some ? e.tooWide : true;
    if (some) {
        Cands& xs = e.reply.first;
        std::size_t n = 1;
        while (n < xs.size() && xs[n].height <= 1) ++n;
        xs.resize(n);
        out.reply = single(std::move(xs));
    } else if (!pair) {
        out.reply = single(markerCands(e.sizes.width));
    } else {
        out.reply = errorReplyOf(kFilterPairError);
    }
    return out;
}

Cands indentCands(LayoutInt n, LayoutInt line, bool keepAll, const Cands& xs) {
    std::size_t i = 0;
    if (!keepAll)
        while (i < xs.size() && xs[i].width > line - n) ++i;
    Cands out;
    out.reserve(xs.size() - i);
    for (; i < xs.size(); ++i) {
        countCandidate();
        const Cand& f = xs[i];
        out.push_back(Cand{f.height, f.lastWidth + n, f.width + n, indentText(n, f.text)});
    }
    return out;
}

[[gnu::noinline]] NodeResult indentResult(LayoutInt n, const NodeResult& inner, LayoutInt line) {
    NodeResult out;
    out.sizes = indentSizes(inner.sizes, n);
    out.tooWide = n < 0 || n > line || inner.tooWide;
    if (n < 0) {
        out.reply = errorReplyOf(kNegativeIndentError);
    } else if (n > line) {
        out.reply = single(markerCands(n + inner.sizes.width));
    } else {
        const NodeReply& r = inner.reply;
        out.reply = r.pair ? NodeReply{true, indentCands(n, line, inner.tooWide, r.first),
                                       indentCands(n, line, inner.tooWide, r.second), r.firstTooWide, r.secondTooWide}
                           : single(indentCands(n, line, inner.tooWide, r.first));
    }
    return out;
}

NodeResult choiceResult(const NodeResult& x, const NodeResult& y, LayoutInt leftParams, LayoutInt rightParams) {
    NodeResult out;
    out.sizes = choiceSizes(x.sizes, y.sizes);
    const bool counts = leftParams == rightParams;
    out.tooWide = !counts || (x.tooWide && y.tooWide);
    if (!counts) out.reply = single(textCands(choiceCountError(leftParams, rightParams)));
    else if (!x.tooWide) out.reply = NodeReply{true, alternative(x.reply), alternative(y.reply), false, y.tooWide};
    else if (!y.tooWide) out.reply = NodeReply{true, alternative(x.reply), alternative(y.reply), true, false};
    else out.reply = single(markerCands(out.sizes.width));
    return out;
}

[[gnu::noinline]] NodeResult errorResult(const std::string& text) {
    NodeResult out;
    const auto n = static_cast<LayoutInt>(text.size());
    out.reply = single(textCands(text));
    out.tooWide = true;
    out.sizes = Sizes{1, n, n};
    return out;
}

// --- parameterised nodes ---------------------------------------------------------------------

// The arguments of a parameterised node: a slice of the laid-out argument documents.
struct Args {
    const NodeResult* items = nullptr;
    std::size_t count = 0;

    Args take(std::size_t n) const { return Args{items, std::min(n, count)}; }
    Args drop(std::size_t n) const {
        const std::size_t k = std::min(n, count);
        return Args{items + k, count - k};
    }
};

void substParamBounds(const ParNode& p, const Sizes* sizes, std::size_t count, LayoutInt line,
                      Bounds& out) {
    const ParNode& outer = *p.parts.front();
    SmallVec<Sizes, 8> inner;
    std::size_t at = 0;
    for (std::size_t i = 1; i < p.parts.size(); ++i) {
        const auto c = static_cast<std::size_t>(p.parts[i]->params);
        const std::size_t from = std::min(at, count);
        inner.push_back(parSizes(*p.parts[i], sizes + from, std::min(c, count - from)));
        at += c;
    }
    Bounds outerBounds;
    paramBounds(outer, inner.data(), inner.size(), line, outerBounds);
    at = 0;
    for (std::size_t i = 1; i < p.parts.size(); ++i) {
        const auto c = static_cast<std::size_t>(p.parts[i]->params);
        const std::size_t from = std::min(at, count);
        const LayoutInt b = i - 1 < outerBounds.size() ? outerBounds[i - 1] : line;
        paramBounds(*p.parts[i], sizes + from, std::min(c, count - from), b, out);
        at += c;
    }
}

// On one line each item starts after the ones before it and their blanks; stacked, each has
// the whole line.  The joined choice gives each the larger bound.
void hvSpParamBounds(std::size_t length, const Sizes* sizes, std::size_t count, LayoutInt line, Bounds& out) {
    LayoutInt h = line;
    for (std::size_t i = 0; i < length; ++i) {
        out.push_back(std::max(h, line));
        h -= (i < count ? sizes[i].lastWidth : 0) + 1;
    }
}

}  // namespace

void paramBounds(const ParNode& p, const Sizes* sizes, std::size_t count, LayoutInt line, Bounds& out) {
    switch (p.kind) {
    case ParNode::Kind::Hole:
    case ParNode::Kind::First:
    case ParNode::Kind::Second: out.push_back(line); return;
    case ParNode::Kind::Lift: return;
    case ParNode::Kind::Filter:
    case ParNode::Kind::Join: paramBounds(*p.parts[0], sizes, count, line, out); return;
    case ParNode::Kind::Indent: paramBounds(*p.parts[0], sizes, count, line - p.amount, out); return;
    case ParNode::Kind::Beside:
    case ParNode::Kind::Above: {
        // A chain of the same composition nested to the right, in a loop; the right part of a
        // side-by-side composition starts after the left one's last line.
        const ParNode* at = &p;
        while (at->kind == p.kind) {
            const auto n = std::min(static_cast<std::size_t>(at->parts[0]->params), count);
            paramBounds(*at->parts[0], sizes, n, line, out);
            if (p.kind == ParNode::Kind::Beside) line -= parSizes(*at->parts[0], sizes, n).lastWidth;
            sizes += n;
            count -= n;
            at = at->parts[1].get();
        }
        paramBounds(*at, sizes, count, line, out);
        return;
    }
    case ParNode::Kind::Choice: {
        Bounds l, r;
        paramBounds(*p.parts[0], sizes, count, line, l);
        paramBounds(*p.parts[1], sizes, count, line, r);
        for (std::size_t i = 0; i < l.size() && i < r.size(); ++i) out.push_back(std::max(l[i], r[i]));
        return;
    }
    case ParNode::Kind::Subst: substParamBounds(p, sizes, count, line, out); return;
    case ParNode::Kind::HvSp: hvSpParamBounds(static_cast<std::size_t>(p.params), sizes, count, line, out); return;
    }
}

namespace {

NodeResult layOutPar(const ParNode& p, Args args, LayoutInt line);

// The sizes of p filled with the arguments.
Sizes argSizes(const ParNode& p, Args args) {
    SmallVec<Sizes, 4> sizes;
    for (std::size_t k = 0; k < args.count; ++k) sizes.push_back(args.items[k].sizes);
    return parSizes(p, sizes.data(), sizes.size());
}

NodeResult holeResult(const ParNode& p, Args args) {
    if (args.count == 0) {
        NodeResult missing;
        missing.tooWide = true;
        return missing;
    }
    NodeResult r = args.items[0];
    if (p.kind == ParNode::Kind::Hole || !r.reply.pair) return r;
    const bool second = p.kind == ParNode::Kind::Second;
    const bool flag = second ? r.reply.secondTooWide : r.reply.firstTooWide;
    r.reply = single(second ? std::move(r.reply.second) : std::move(r.reply.first));
    r.tooWide = r.tooWide || flag;
    return r;
}

NodeResult substResult(const ParNode& p, Args args, LayoutInt line) {
    const ParNode& outer = *p.parts.front();
    // The inner documents are laid out at the bounds the outer one gives its parameters.
    SmallVec<Sizes, 8> innerSizes;
    Args rest = args;
    SmallVec<Args, 8> slices;
    for (std::size_t i = 1; i < p.parts.size(); ++i) {
        const auto c = static_cast<std::size_t>(p.parts[i]->params);
        slices.push_back(rest.take(c));
        SmallVec<Sizes, 8> s;
        for (std::size_t k = 0; k < slices.back().count; ++k) s.push_back(slices.back().items[k].sizes);
        innerSizes.push_back(parSizes(*p.parts[i], s.data(), s.size()));
        rest = rest.drop(c);
    }
    Bounds outerBounds;
    paramBounds(outer, innerSizes.data(), innerSizes.size(), line, outerBounds);
    SmallVec<NodeResult, 8> inner;
    for (std::size_t i = 1; i < p.parts.size(); ++i) {
        const LayoutInt b = i - 1 < outerBounds.size() ? outerBounds[i - 1] : line;
        inner.push_back(layOutPar(*p.parts[i], slices[i - 1], b));
    }
    const auto count = static_cast<LayoutInt>(inner.size());
    if (outer.params != count) return errorResult(applyCountError(outer.params, count));
    return layOutPar(outer, Args{inner.data(), inner.size()}, line);
}

// A chain of the same composition nested to the right, laid out in a loop.
NodeResult parChainResult(const ParNode& p, Args args, LayoutInt line) {
    // The bounds from the parts' sizes, left to right; the layouts from the right.
    struct Left {
        const ParNode* part;
        Args args;
        LayoutInt line;
    };
    SmallVec<Left, 4> lefts;
    const ParNode* at = &p;
    while (at->kind == p.kind) {
        const ParNode& part = *at->parts[0];
        const Args taken = args.take(static_cast<std::size_t>(part.params));
        lefts.push_back(Left{&part, taken, line});
        if (p.kind == ParNode::Kind::Beside) line -= argSizes(part, taken).lastWidth;
        args = args.drop(taken.count);
        at = at->parts[1].get();
    }
    NodeResult acc = layOutPar(*at, args, line);
    const CandMark mark = candMark();
    for (auto it = lefts.rbegin(); it != lefts.rend(); ++it) {
        const NodeResult left = layOutPar(*it->part, it->args, it->line);
        acc = p.kind == ParNode::Kind::Beside ? besideResult(left, acc, it->line) : aboveResult(left, acc, kAll);
        compactTo(acc, mark);
    }
    return acc;
}

// The leading one-line candidates of a single list whose other candidates all have two lines or
// more, as `out` (a document without lines as it is); false for any other reply.
bool lineRun(const NodeResult& r, NodeResult& out) {
    if (r.reply.pair) return false;
    out = r;
    if (r.sizes.height == 0) return true;
    const Cands& cs = r.reply.first;
    std::size_t n = 0;
    while (n < cs.size() && cs[n].height == 1) ++n;
    for (std::size_t i = n; i < cs.size(); ++i)
        if (cs[i].height < 2) return false;
    out.reply.first.resize(n);
    return true;
}

// The filtered chain of parameters side by side, where each argument is a single list whose
// one-line candidates come first: the one-line candidates of the chain then come first too (two
// parts side by side make one line only where both are one line, and the merges take fewer
// lines first) and are made from the parts' one-line candidates alone, which is all the filter
// keeps.  They are built with the pruning the whole lists would have had.  False, with nothing
// done, for any other chain.
bool lineChainResult(const ParNode& p, Args args, LayoutInt line, NodeResult& out) {
    if (p.kind != ParNode::Kind::Beside) return false;
    struct Part {
        const NodeResult* arg;
        LayoutInt line;
    };
    SmallVec<Part, 8> parts;
    for (const ParNode* at = &p;; at = at->parts[1].get()) {
        const ParNode& part = at->kind == ParNode::Kind::Beside ? *at->parts[0] : *at;
        if (part.kind != ParNode::Kind::Hole || args.count == 0) return false;
        parts.push_back(Part{args.items, line});
        line -= args.items[0].sizes.lastWidth;
        args = args.drop(1);
        if (at->kind != ParNode::Kind::Beside) break;
    }
    SmallVec<NodeResult, 8> runs;
    for (const Part& q : parts) {
        runs.push_back(NodeResult{});
        if (!lineRun(*q.arg, runs.back())) return false;
    }
    NodeResult acc = runs.back();
    const CandMark mark = candMark();
    for (std::size_t i = parts.size() - 1; i-- > 0;) {
        acc = besideResult(runs[i], acc, parts[i].line, parts[i].arg->reply.first.size());
        compactTo(acc, mark);
    }
    out = std::move(acc);
    return true;
}

// The layout of hvSpNode(length), in the order the three nodes per item would give it: the
// line from the right (each item filtered but the last), the stack from the bottom.
// The blank between two items on the line, at the given bound.
NodeResult spaceResult(LayoutInt line) {
    static const DocNodeRef space = textNode(" ");
    if (line < 1) return layOut(*space, line);
    countText();
    NodeResult out;
    out.sizes = space->sizes;
    out.reply = single(Cands{Cand{1, 1, 1, blankText()}});
    return out;
}

// Whether the line of hvSpResult is too wide, read off the flags of its parts as its
// compositions would combine them: a blank with no room, an item before the last that is not a
// single line of its own (filtered), or the last item too wide.
bool hvSpLineTooWide(std::size_t length, Args args, const SmallVec<LayoutInt, 8>& lines) {
    if (length > args.count || args.items[length - 1].tooWide) return true;
    for (std::size_t i = 0; i + 1 < length; ++i) {
        const NodeResult& a = args.items[i];
        const bool oneLine = !a.reply.pair && !a.reply.first.empty() && a.reply.first.front().height <= 1;
        if (lines[i + 1] + 1 < 1 || !oneLine || a.tooWide) return true;
    }
    return false;
}

// hvSpResult where every item has one layout, a line, and is not too wide (as most short
// lists of names and operators do): the line, where it fits, and the stack, each built once,
// with the counts and the texts of the general rules.  False (nothing counted) where they do
// not apply.
bool hvSpOfLines(std::size_t length, Args args, const SmallVec<LayoutInt, 8>& lines, NodeResult& out) {
    if (length < 2 || args.count < length) return false;
    for (std::size_t i = 0; i < length; ++i) {
        const NodeResult& a = args.items[i];
        if (a.reply.pair || a.tooWide || a.reply.first.size() != 1 || a.reply.first[0].height != 1 ||
            a.sizes.height == 0)
            return false;
        if (i > 0 && lines[i] + 1 < 1) return false;  // no room for the blank before it
    }
    TextArena& arena = *currentArena;
    // The stack, then the line, as the general rules build them.
    Cand v = args.items[length - 1].reply.first[0];
    Sizes vSizes = args.items[length - 1].sizes;
    for (std::size_t i = length - 1; i-- > 0;) {
        const Cand& x = args.items[i].reply.first[0];
        countCandidate();
        v = Cand{x.height + v.height, v.lastWidth, std::max(x.width, v.width),
                 arena.make(TextTree::Kind::Above, 0, x.text, v.text, nullptr)};
        vSizes = aboveSizes(args.items[i].sizes, vSizes);
    }
    Cand h = args.items[length - 1].reply.first[0];
    bool line = true;
    for (std::size_t i = length - 1; i-- > 0;) {
        countText();  // the blank
        if (!line) continue;
        const LayoutInt blankBound = lines[i + 1] + 1;
        line = 1 + h.width <= blankBound;
        if (!line) continue;
        countCandidate();
        const Cand& x = args.items[i].reply.first[0];
        line = x.width <= lines[i] && std::max(x.width, x.lastWidth + 1 + h.width) <= lines[i];
        if (!line) continue;
        countCandidate();
        const TextTree* rest = arena.make(TextTree::Kind::Beside, 1, blankText(), h.text, nullptr);
        h = Cand{1, x.lastWidth + 1 + h.lastWidth, std::max(x.width, x.lastWidth + 1 + h.width),
                 arena.make(TextTree::Kind::Beside, x.lastWidth, x.text, rest, nullptr)};
    }
    const Sizes hSizes = hvSpLineSizes(length, [&](std::size_t i) { return args.items[i].sizes; });
    // The line comes first, having one line; the stack follows, as the line is wider.
    const std::size_t n = line ? 2 : 1;
    Cand* cs = allocCands(n);
    cs[0] = h;
    cs[n - 1] = v;
    out = NodeResult{};
    out.sizes = choiceSizes(hSizes, vSizes);
    out.reply.first = Cands::slice(cs, n);
    return true;
}

NodeResult hvSpResult(std::size_t length, Args args, LayoutInt line) {
    static const ParNode hole;
    const auto arg = [&](std::size_t i) { return holeResult(hole, args.drop(i)); };
    const SmallVec<LayoutInt, 8> lines = hvSpLineBounds(
        length, line, [&](std::size_t i) { return i < args.count ? args.items[i].sizes.lastWidth : 0; });
    if (NodeResult quick; hvSpOfLines(length, args, lines, quick)) return quick;
    NodeResult v = arg(length - 1);
    const CandMark stackMark = candMark();
    for (std::size_t i = length - 1; i-- > 0;) {
        v = aboveResult(arg(i), v, kAll);
        compactTo(v, stackMark);
    }
    const auto n = static_cast<LayoutInt>(length);
    // A line that is too wide loses to a stack that is not, unless the stack has no candidates:
    // then it need not be built.
    const Sizes hSizes =
        hvSpLineSizes(length, [&](std::size_t i) { return i < args.count ? args.items[i].sizes : Sizes{}; });
    if (hvSpLineTooWide(length, args, lines)) {
        NodeResult out;
        out.sizes = choiceSizes(hSizes, v.sizes);
        out.tooWide = v.tooWide;
        if (v.tooWide) out.reply = single(markerCands(out.sizes.width));
        else out.reply = single(alternative(v.reply));
        if (v.tooWide || !out.reply.first.empty()) return out;
    }
    NodeResult h = arg(length - 1);
    const CandMark lineMark = candMark();
    for (std::size_t i = length - 1; i-- > 0;) {
        h = besideResult(spaceResult(lines[i + 1] + 1), h, lines[i + 1] + 1);
        h = besideResult(filterResult(arg(i)), h, lines[i]);
        compactTo(h, lineMark);
    }
    return joinResult(choiceResult(h, v, n, n), kAll);
}

NodeResult layOutPar(const ParNode& p, Args args, LayoutInt line) {
    switch (p.kind) {
    case ParNode::Kind::Hole:
    case ParNode::Kind::First:
    case ParNode::Kind::Second: return holeResult(p, args);
    case ParNode::Kind::Lift: return layOut(*p.doc, line);
    case ParNode::Kind::Filter: {
        NodeResult lines;
        if (lineChainResult(*p.parts[0], args, line, lines)) return filterResult(std::move(lines));
        return filterResult(layOutPar(*p.parts[0], args, line));
    }
    case ParNode::Kind::Join: return joinResult(layOutPar(*p.parts[0], args, line), kAll);
    case ParNode::Kind::Indent:
        return indentResult(p.amount, layOutPar(*p.parts[0], args, line - p.amount), line);
    case ParNode::Kind::Beside:
    case ParNode::Kind::Above: return parChainResult(p, args, line);
    case ParNode::Kind::Choice:
        return choiceResult(layOutPar(*p.parts[0], args, line), layOutPar(*p.parts[1], args, line), p.parts[0]->params,
                            p.parts[1]->params);
    case ParNode::Kind::Subst: return substResult(p, args, line);
    case ParNode::Kind::HvSp: return hvSpResult(static_cast<std::size_t>(p.params), args, line);
    }
    return NodeResult{};
}

// A text that does not fit (one that fits is plain, see layOut), as the side-by-side composition
// of the texts it was made of (see besideNode) lays it out, with its counts: the texts that end
// within the bound as they are, and a marker of the width of each of the others.
[[gnu::noinline]] NodeResult textResult(const DocNode& d, LayoutInt line) {
    const auto texts = static_cast<LayoutInt>(d.plainTexts);
    countText(texts);
    for (LayoutInt i = 1; i < texts; ++i) countCandidate();
    const std::string_view chars = d.text();
    const auto width = static_cast<LayoutInt>(chars.size());
    SmallVec<const TextTree*, 16> parts;
    LayoutInt start = 0;
    const auto piece = [&](LayoutInt end) {  // the text from start to end
        if (end > line) {
            if (parts.empty() && start > 0)
                parts.push_back(currentArena->make(TextTree::Kind::Leaf, start, nullptr, nullptr, chars.data()));
            parts.push_back(markerText(end - start));
        }
        start = end;
    };
    for (unsigned ends = d.pieceEnds; ends != 0; ends &= ends - 1) piece(std::countr_zero(ends) + 1);
    piece(width);  // the last, which does not fit
    const TextTree* acc = parts.back();
    for (std::size_t i = parts.size() - 1; i-- > 0;) acc = pairText(TextTree::Kind::Beside, parts[i], acc, parts[i]->shift);
    NodeResult out;
    out.sizes = d.sizes;
    out.tooWide = true;
    out.reply = single(Cands{Cand{1, width, width, acc}});
    return out;
}

// The texts of the result's candidates kept, and the work part of the arena rewound to `mark`.
void keepAndRewind(NodeResult& r, std::size_t mark) {
    TextArena& a = *currentArena;
    for (Cands* cs : {&r.reply.first, &r.reply.second})
        for (Cand& c : *cs) c.text = a.keepText(c.text);
    a.rewind(mark);
}

// A plain node that fits: its one layout, as the node's texts and compositions would give it.
[[gnu::noinline]] NodeResult plainResult(const DocNode& d) {
    countText(d.plainTexts);
    NodeResult out;
    out.sizes = d.sizes;
    const TextTree* t = currentArena->make(TextTree::Kind::Plain, 0, nullptr, nullptr, nullptr, &d);
    out.reply = single(Cands{Cand{d.sizes.height, d.sizes.lastWidth, d.sizes.width, t}});
    return out;
}

// The layout of a node that needs none of its parts' layouts: a plain node that fits, a node
// whose one line the shortcut finds, a text, the empty document or an error.  False (with the
// mark of the candidates where its layout begins) for any other node.
bool layOutAtOnce(const DocNode& d, LayoutInt line, std::size_t need, CandMark& mark, NodeResult& out) {
    if (d.plainTexts != 0 && d.sizes.width <= line) {
        out = plainResult(d);
        return true;
    }
    mark = candMark();
    if (need == 1 && d.lineLow <= line && flatLayout(d, line, out)) return true;
    switch (d.kind) {
    case DocNode::Kind::Text: out = textResult(d, line); break;
    case DocNode::Kind::Empty: out = NodeResult{}; break;
    case DocNode::Kind::Error: out = errorResult(std::string(d.text())); break;
    default: return false;
    }
    compactTo(out, mark);
    return true;
}

// --- the layout walk -------------------------------------------------------------------------
//
// A node whose layout needs its parts' layouts is a frame on the walk's own stack, not on the
// thread's: deep documents and long chains of templates (a list of ten thousand items is as
// deep) take no deeper calls.  A frame asks for its parts' layouts one at a time, in the order
// of the rules, and is resumed with each result; it ends with its own.

// A part's layout asked for by a frame.
struct PartRequest {
    const DocNode* d = nullptr;
    LayoutInt line = 0;
    std::size_t need = kAll;
};

struct Frame {
    const DocNode* d = nullptr;
    LayoutInt line = 0;
    std::size_t need = kAll;
    CandMark mark;              // where the node's candidates begin
    int stage = 0;              // what the last request was for
    std::size_t next = 0;       // the part being laid out
    CandMark partsMark;         // where the candidates of a chain's result begin
    std::size_t textsMark = 0;  // the texts' extent before the part of a stack being laid out
    NodeResult acc;             // the result so far; Dup: the first side
    SmallVec<std::pair<const DocNode*, LayoutInt>, 8> parts;  // the parts and their bounds
    SmallVec<NodeResult, 4> args;                             // Apply: the arguments so far

    void start(const DocNode& node, LayoutInt bound, std::size_t needed, CandMark m) {
        d = &node;
        line = bound;
        need = needed;
        mark = m;
        stage = 0;
        next = 0;
        parts.resize(0);
        args.resize(0);
    }
    // Asks for the part at `next`, or ends with the result so far once none is left.
    bool nextPart(NodeResult& ret, PartRequest& req, std::size_t partNeed) {
        if (next == 0) {
            ret = std::move(acc);
            return false;
        }
        --next;
        req = PartRequest{parts[next].first, parts[next].second, partNeed};
        return true;
    }
};

// A chain of side-by-side compositions nested to the right: the last part first, then each left
// part from the right, at the chain's bound there.
bool besideStep(Frame& f, NodeResult& ret, PartRequest& req) {
    if (f.stage == 0) {
        const DocNode* at = f.d;
        LayoutInt bound = f.line;
        for (; at->kind == DocNode::Kind::Beside; at = at->right.get()) {
            f.parts.push_back({at->left.get(), bound});
            bound -= at->left->sizes.lastWidth;
        }
        f.stage = 1;
        req = PartRequest{at, bound, kAll};
        return true;
    }
    if (f.stage == 1) {
        f.acc = std::move(ret);
        f.partsMark = candMark();
        f.next = f.parts.size();
        f.stage = 2;
    } else {
        f.acc = besideResult(ret, f.acc, f.parts[f.next].second);
        compactTo(f.acc, f.partsMark);
    }
    return f.nextPart(ret, req, kAll);
}

// A chain of stacked compositions nested downwards, or a stack of documents (above the empty
// document), from the bottom.  Where only the first few candidates are needed, each part's
// texts made for nothing are dropped once the stack so far has kept its own.
bool stackStep(Frame& f, NodeResult& ret, PartRequest& req) {
    if (f.stage == 0 && f.d->kind == DocNode::Kind::AboveList) {
        for (const DocNodeRef& item : f.d->many->parts) f.parts.push_back({item.get(), f.line});
        f.acc = NodeResult{};
        f.partsMark = candMark();
        f.next = f.parts.size();
    } else if (f.stage == 0) {
        const DocNode* at = f.d;
        for (; at->kind == DocNode::Kind::Above; at = at->right.get()) f.parts.push_back({at->left.get(), f.line});
        f.textsMark = currentArena->mark();
        f.stage = 1;
        req = PartRequest{at, f.line, f.need};
        return true;
    } else if (f.stage == 1) {
        f.acc = std::move(ret);
        if (f.need != kAll) keepAndRewind(f.acc, f.textsMark);
        f.partsMark = candMark();
        f.next = f.parts.size();
    } else {
        f.acc = aboveResult(ret, f.acc, f.need);
        if (f.need != kAll) keepAndRewind(f.acc, f.textsMark);
        compactTo(f.acc, f.partsMark);
    }
    f.stage = 2;
    f.textsMark = currentArena->mark();
    return f.nextPart(ret, req, f.need);
}

// A join (which needs twice the candidates of its pair), a filter or an indentation of one part.
bool unaryStep(Frame& f, NodeResult& ret, PartRequest& req) {
    const DocNode& d = *f.d;
    if (f.stage == 0) {
        f.stage = 1;
        if (d.kind == DocNode::Kind::Join) req = PartRequest{d.left.get(), f.line, f.need > kAll / 2 ? kAll : 2 * f.need};
        else if (d.kind == DocNode::Kind::Filter) req = PartRequest{d.left.get(), f.line, kAll};
        else req = PartRequest{d.left.get(), f.line - d.amount, kAll};
        return true;
    }
    if (d.kind == DocNode::Kind::Join) ret = joinResult(std::move(ret), f.need);
    else if (d.kind == DocNode::Kind::Filter) ret = filterResult(std::move(ret));
    else ret = indentResult(d.amount, ret, f.line);
    return false;
}

// The two documents' layouts as a pair.
bool dupStep(Frame& f, NodeResult& ret, PartRequest& req) {
    const DocNode& d = *f.d;
    if (f.stage < 2) {
        if (f.stage == 1) f.acc = std::move(ret);
        req = PartRequest{(f.stage == 0 ? d.left : d.right).get(), f.line, f.need};
        ++f.stage;
        return true;
    }
    const NodeResult& x = f.acc;
    const NodeResult& y = ret;
    NodeResult out;
    out.sizes = d.sizes;
    out.tooWide = x.tooWide && y.tooWide;
    if (!x.tooWide || !y.tooWide)
        out.reply = NodeReply{true, alternative(x.reply), alternative(y.reply), x.tooWide, y.tooWide};
    else
        out.reply = single(markerCands(d.sizes.width));
    ret = std::move(out);
    return false;
}

// A template filled with documents: each argument at the bound of its place, from the first,
// then the template over their layouts.
bool applyStep(Frame& f, NodeResult& ret, PartRequest& req) {
    const NodeParts& parts = f.d->many->parts;
    if (f.stage == 0) {
        SmallVec<Sizes, 4> sizes;
        sizes.reserve(parts.size());
        for (const DocNodeRef& a : parts) sizes.push_back(a->sizes);
        Bounds bounds;
        paramBounds(*f.d->many->layout, sizes.data(), sizes.size(), f.line, bounds);
        for (std::size_t i = 0; i < parts.size(); ++i)
            f.parts.push_back({parts[i].get(), i < bounds.size() ? bounds[i] : f.line});
        f.args.reserve(parts.size());
        f.stage = 1;
    } else {
        f.args.push_back(std::move(ret));
    }
    const std::size_t i = f.args.size();
    if (i < parts.size()) {
        req = PartRequest{f.parts[i].first, f.parts[i].second, kAll};
        return true;
    }
    ret = layOutPar(*f.d->many->layout, Args{f.args.data(), f.args.size()}, f.line);
    return false;
}

// Resumes the frame with the result of the part it asked for (none at its start): true with the
// next part asked for, false with its own result in `ret`.
bool resume(Frame& f, NodeResult& ret, PartRequest& req) {
    switch (f.d->kind) {
    case DocNode::Kind::Beside: return besideStep(f, ret, req);
    case DocNode::Kind::Above:
    case DocNode::Kind::AboveList: return stackStep(f, ret, req);
    case DocNode::Kind::Join:
    case DocNode::Kind::Filter:
    case DocNode::Kind::Indent: return unaryStep(f, ret, req);
    case DocNode::Kind::Dup: return dupStep(f, ret, req);
    case DocNode::Kind::Apply: return applyStep(f, ret, req);
    default: return false;  // laid out at once (see layOutAtOnce)
    }
}

// The frames of the walks running on this thread: a walk may start another (the document of a
// template's lifted part), which takes the next stack.  Frames are kept for their room.
struct FrameStack {
    std::vector<Frame> frames;
    std::size_t size = 0;

    Frame& push() {
        if (size == frames.size()) frames.emplace_back();
        return frames[size++];
    }
};

class WalkScope {
public:
    WalkScope() {
        if (depth_ == stacks_.size()) stacks_.push_back(std::make_unique<FrameStack>());
        stack_ = stacks_[depth_++].get();
        stack_->size = 0;
    }
    ~WalkScope() { --depth_; }
    WalkScope(const WalkScope&) = delete;
    WalkScope& operator=(const WalkScope&) = delete;
    FrameStack& stack() { return *stack_; }

private:
    FrameStack* stack_;
    static inline thread_local std::size_t depth_ = 0;
    static inline thread_local std::vector<std::unique_ptr<FrameStack>> stacks_;
};

}  // namespace

NodeResult layOut(const DocNode& d, LayoutInt line, std::size_t need) {
    NodeResult ret;
    CandMark mark;
    if (layOutAtOnce(d, line, need, mark, ret)) return ret;
    WalkScope scope;
    FrameStack& s = scope.stack();
    s.push().start(d, line, need, mark);
    while (s.size != 0) {
        Frame& f = s.frames[s.size - 1];
        PartRequest req;
        if (!resume(f, ret, req)) {
            compactTo(ret, f.mark);
            --s.size;
        } else if (!layOutAtOnce(*req.d, req.line, req.need, mark, ret)) {
            s.push().start(*req.d, req.line, req.need, mark);
        }
    }
    return ret;
}

// --- the lazy face of a node ------------------------------------------------------------------

namespace {

// The document, whose text nodes' texts the candidates use, and the arena of their other texts.
struct Keep {
    DocNodeRef doc;
    TextArena arena;
};

List<Format> formatsOf(const Cands& cs, const std::shared_ptr<const Keep>& keep) {
    List<Format> out;
    for (auto it = cs.rbegin(); it != cs.rend(); ++it) {
        FormatText text([keep, t = it->text](LayoutInt column, std::string& o) { writeText(*t, column, o); });
        out = List<Format>::cons(Format{it->height, it->lastWidth, it->width, std::move(text)}, out);
    }
    return out;
}

DocReply docReplyOf(const NodeReply& r, const std::shared_ptr<const Keep>& keep) {
    if (!r.pair) return SingleReply{formatsOf(r.first, keep)};
    return PairReply{formatsOf(r.first, keep), formatsOf(r.second, keep), r.firstTooWide, r.secondTooWide};
}

struct KeptResult {
    std::shared_ptr<const Keep> keep;
    NodeResult result;
};

}  // namespace

DocAttrs nodeAttrs(const DocNodeRef& d, const PageBounds& b) {
    Lazy<KeptResult> result = delay([d, line = b.lineBound] {
        auto keep = std::make_shared<Keep>();
        keep->doc = d;
        ArenaScope scope(keep->arena);
        NodeResult r = layOut(*d, *line);
        return KeptResult{std::move(keep), std::move(r)};
    });
    return DocAttrs{delay([result] { return docReplyOf(result->result.reply, result->keep); }),
                    delay([result] { return result->result.tooWide; }), Lazy<Sizes>(d->sizes)};
}

namespace {

// The parts of a stack from the top: the upper parts of a chain of stacked compositions and
// its lowest part, or the items of a stack of documents; none for another node.
std::vector<const DocNode*> stackedParts(const DocNode& d) {
    std::vector<const DocNode*> parts;
    if (d.kind == DocNode::Kind::AboveList) {
        for (const DocNodeRef& item : d.many->parts) parts.push_back(item.get());
    } else if (d.kind == DocNode::Kind::Above) {
        const DocNode* at = &d;
        for (; at->kind == DocNode::Kind::Above; at = at->right.get()) parts.push_back(at->left.get());
        parts.push_back(at);
    }
    return parts;
}

// The render of a stack at column 0, each part's first candidate written out as soon as that
// part is laid out, while its nodes are still in the cache, and its candidates freed.  The
// parts are laid out in the order, and with the counts, of the stack's own layout (from the
// bottom; `part(k)` gives the k-th from the bottom, as a pointer or a handle that keeps it while
// it is laid out and written); the texts are joined from the top.  Where the stack's layout is
// not simply its parts' first candidates one below the other (a part that is a pair, or that
// has lines but no candidates, or no part with lines), or a part is not a node (null), the
// counts are undone and false is returned.
template <class PartFromBottom>
bool renderStackParts(std::string& out, std::size_t count, PartFromBottom part, LayoutInt line) {
    const Budget saved = budget;
    const auto undo = [&saved] {
        budget.used = saved.used;
        budget.allowed = saved.allowed;
        return false;
    };
    TextArena& a = *currentArena;
    std::string texts;
    std::vector<std::pair<std::size_t, std::size_t>> pieces;  // from the bottom: where each part's text ends
    LayoutInt height = 0;  // of the parts laid out so far
    for (std::size_t k = 0; k < count; ++k) {
        const auto p = part(k);
        if (!p) return undo();
        const std::size_t textsAt = a.mark();
        const CandMark candsAt = a.candMark();
        const NodeResult r = layOut(*p, line, 1);
        const bool fails = r.reply.pair || (r.sizes.height != 0 && r.reply.first.empty());
        if (!fails && r.sizes.height != 0) {
            if (height != 0) countCandidate();  // the stack of this part's first candidate and the rest's
            const std::size_t start = texts.size();
            writeText(*r.reply.first.front().text, 0, texts);
            pieces.emplace_back(start, texts.size());
            height += r.sizes.height;
        }
        a.rewind(textsAt);
        a.candRewind(candsAt);
        if (fails) return undo();
    }
    if (pieces.empty()) return undo();
    for (auto it = pieces.rbegin(); it != pieces.rend(); ++it) {
        if (it != pieces.rbegin()) out += '\n';
        out.append(texts, it->first, it->second - it->first);
    }
    return true;
}

bool renderStack(std::string& out, const DocNode& d, LayoutInt line) {
    const std::vector<const DocNode*> parts = stackedParts(d);
    if (parts.empty()) return false;
    return renderStackParts(out, parts.size(), [&parts](std::size_t k) { return parts[parts.size() - 1 - k]; }, line);
}

}  // namespace

bool renderMadeStack(std::string& out, std::size_t count, const std::function<DocNodeRef(std::size_t)>& partAt,
                     LayoutInt lineBound) {
    TextArena arena;
    ArenaScope scope(arena);
    // The empty document below the last part has no lines: it adds nothing.
    return renderStackParts(out, count, [&](std::size_t k) { return partAt(count - 1 - k); }, lineBound);
}

void renderNode(std::string& out, const DocNodeRef& d, LayoutInt lineBound) {
    TextArena arena;
    ArenaScope scope(arena);
    if (renderStack(out, *d, lineBound)) return;
    const NodeResult r = layOut(*d, lineBound, 1);
    if (r.reply.pair) {
        out += kRenderPairError;
        return;
    }
    // A document with lines but no candidate, none of whose parts was too wide (an indentation
    // leaves no room for any candidate of its part, a product of candidates has none within the
    // bound), shows the too-wide marker of its width, as one whose parts were too wide does:
    // never nothing.
    if (!r.reply.first.empty()) writeText(*r.reply.first.front().text, 0, out);
    else if (d->sizes.height != 0) out += ::plim::markerText(d->sizes.width);
}

}  // namespace plim::pretty_detail

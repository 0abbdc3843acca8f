// The texts of the node engine's candidates: the arena a layout makes them in, and their writing out.
#include "layout/nodes_internal.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plim::pretty_detail {
namespace {

// n candidates copied to room that may be uninitialised.
void copyCandidates(Candidate* to, const Candidate* from, std::size_t n) {
    static_assert(std::is_trivially_copyable_v<Candidate>);
    if (n != 0) std::memcpy(static_cast<void*>(to), from, n * sizeof(Candidate));
}

// A text still to write at its column: a text, a plain node, or (neither) the line break and indentation in a stack.
struct WriteItem {
    const TextTree* text;
    const DocNode* doc;
    LayoutInt column;
};

// The work list, and the characters written, in a buffer of their own: most texts are a few characters, and a plain
// copy into room known to be there is cheaper than a string's append.
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
    void put(const char* p, std::size_t n) {
        char* at = room(n);
        if (n > 16) std::memcpy(at, p, n);
        else
            for (std::size_t i = 0; i < n; ++i) at[i] = p[i];
    }
    void put(std::string_view s) { put(s.data(), s.size()); }
    void fill(char c, std::size_t n) {
        if (n != 0) std::memset(room(n), c, n);  // an empty buffer has no data to point at
    }
    void trim() { if (chars.size() > kWriterKeptBytes) chars = std::vector<char>(); }  // not kept past a large text
    [[gnu::noinline]] void growItems() { items.resize(2 * size + 64); }
    [[gnu::noinline]] void growChars(std::size_t n) { chars.resize(std::max(2 * chars.size(), written + n + 4096)); }
};

// Writes the plain node, or the first of its parts with the rest pushed; returns the part to write next (null: none).
const DocNode* writePlain(const DocNode& d, LayoutInt& column, TextWriter& w) {
    switch (d.kind) {
    case DocNode::Kind::Text: w.put(d.text()); return nullptr;
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

// The one line of a node sure of it (see DocNode::sure), as the one-line shortcut finds it, from a work list of these.
struct LineItem {
    const DocNode* doc;  // a node; null for a part of a template, and (no part either) for the end of a line kept
    const ParNode* par;  // the part of a template, whose arguments begin at `args`
    const DocNodeRef* args;
    bool blank = false;  // a node written after a blank (an item of a list after the first)
};

// The lines of nodes written in recent renders, so that the unchanged parts of a calculation's next step are copied
// rather than walked node by node (see layout/document.h).  A node's line is its own whatever its column, and a kept
// line holds its node, so that its address is not reused while the line is kept.  A line is kept the second time its
// node is written (the first only marks the node: most nodes written are on the path to the change and written once),
// and only where no enclosing line is being kept (keeping each level of a deep nesting would copy it again and again);
// lines not written in the last two renders are dropped once the table has doubled.
class LineTexts {
public:
    // The kept line of the node, or null.
    const std::string* find(const DocNode& d) {
        if (used_ == 0) return nullptr;
        Slot& s = slots_[slotOf(&d)];
        if (!s.node) return nullptr;
        s.lastUsed = round_;
        return &s.chars;
    }
    // Keeps the node's line (not kept yet).
    void keep(const DocNode& d, std::string_view chars) {
        if (2 * (used_ + 1) > slots_.size()) rebuild(2 * slots_.size(), false);
        Slot& s = slots_[slotOf(&d)];
        DocNodeRef held = DocNodeRef::adopt(&d);
        s.node = held;  // a handle more; the one adopted is given up without a drop
        (void)held.release();
        s.lastUsed = round_;
        s.chars.assign(chars);
        ++used_;
    }
    // A render begins: one round more, and the lines of old rounds dropped once the table has doubled.
    void nextRound() {
        ++round_;
        if (used_ > std::max<std::size_t>(kLeast, 2 * keptAtSweep_)) {
            rebuild(slots_.size(), true);
            keptAtSweep_ = used_;
        }
    }

private:
    static constexpr std::size_t kLeast = 64;
    struct Slot {
        DocNodeRef node;  // null for a free slot
        std::uint32_t lastUsed = 0;
        std::string chars;
    };
    std::size_t slotOf(const DocNode* d) const {
        const std::size_t mask = slots_.size() - 1;
        std::uint64_t h = reinterpret_cast<std::uintptr_t>(d) >> 4;
        h *= 0x9E3779B97F4A7C15ULL;
        std::size_t s = static_cast<std::size_t>(h >> 32) & mask;
        while (slots_[s].node && slots_[s].node.get() != d) s = (s + 1) & mask;
        return s;
    }
    // The slots laid out again in a table of `size`, those of rounds before the last two dropped where `dropOld`.
    void rebuild(std::size_t size, bool dropOld) {
        std::vector<Slot> old = std::exchange(slots_, std::vector<Slot>(size));
        used_ = 0;
        for (Slot& s : old) {
            if (!s.node || (dropOld && s.lastUsed + 2 < round_)) continue;
            slots_[slotOf(s.node.get())] = std::move(s);
            ++used_;
        }
    }

    std::vector<Slot> slots_ = std::vector<Slot>(2 * kLeast);
    std::size_t used_ = 0;
    std::size_t keptAtSweep_ = 0;
    std::uint32_t round_ = 0;
};

// The work list, kept for its room (writes do not nest).
struct LineItems {
    std::vector<LineItem> items;
    std::size_t size = 0;

    // The item's node is fetched while the ones before it are written: nodes lie far apart.
    [[gnu::always_inline]] void push_back(const LineItem& it) {
        __builtin_prefetch(it.doc != nullptr ? static_cast<const void*>(it.doc) : static_cast<const void*>(it.par));
        if (size == items.size()) grow();
        items[size++] = it;
    }
    [[gnu::noinline]] void grow() { items.resize(2 * size + 32); }
};

// Writes what of the node comes first and pushes the rest; the item to go on with is left in `at`, false where none is.
bool lineOfNode(const DocNode& d, TextWriter& w, LineItems& todo, LineItem& at) {
    switch (d.kind) {
    case DocNode::Kind::Text: w.put(d.text()); return false;
    case DocNode::Kind::Beside:
        // A text on the left (an opening bracket, a head) is written at once.
        if (const DocNode& l = *d.left; l.kind == DocNode::Kind::Text) {
            w.put(l.text());
            at = {d.right.get(), nullptr, nullptr};
        } else {
            todo.push_back({d.right.get(), nullptr, nullptr});
            at = {&l, nullptr, nullptr};
        }
        return true;
    case DocNode::Kind::Indent: w.fill(' ', static_cast<std::size_t>(d.amount)); [[fallthrough]];
    case DocNode::Kind::Filter: at = {d.left.get(), nullptr, nullptr}; return true;
    case DocNode::Kind::Join: at = {(d.lineSecond ? d.left->right : d.left->left).get(), nullptr, nullptr}; return true;
    case DocNode::Kind::Apply: {
        const ParNode& p = *d.many->layout;
        const DocNodeRef* args = d.many->parts.data();
        if (p.kind == ParNode::Kind::HvSp) {  // the items, a blank between two
            for (std::size_t i = d.many->parts.size(); i-- > 1;) todo.push_back({args[i].get(), nullptr, nullptr, true});
            at = {args[0].get(), nullptr, nullptr};
            return true;
        }
        // A joined choice writes the alternative of the line; any other template is written as it is.
        const ParNode* line = p.kind == ParNode::Kind::Join ? p.parts[0]->parts[d.lineSecond ? 1 : 0].get() : &p;
        at = {nullptr, line, args};
        return true;
    }
    default: return false;  // no other kind is sure of a line
    }
}

// The same for a part of a template whose line is sure: texts, arguments and compositions side by side.
bool lineOfPar(const ParNode& p, const DocNodeRef* args, TextWriter& w, LineItems& todo, LineItem& at) {
    switch (p.kind) {
    case ParNode::Kind::Hole: at = {args[0].get(), nullptr, nullptr}; return true;
    case ParNode::Kind::Lift: at = {p.doc.get(), nullptr, nullptr}; return true;
    case ParNode::Kind::Indent: w.fill(' ', static_cast<std::size_t>(p.amount)); [[fallthrough]];
    case ParNode::Kind::Filter: at = {nullptr, p.parts[0].get(), args}; return true;
    case ParNode::Kind::Beside:
        todo.push_back({nullptr, p.parts[1].get(), args + p.parts[0]->params});
        at = {nullptr, p.parts[0].get(), args};
        return true;
    default: return false;  // no other kind is sure of a line
    }
}

thread_local LineTexts lineTexts;

// The node's line as kept (true, written), or false; where it is to be kept, its start noted and its end pushed.
bool writeKeptLine(LineTexts& lines, const DocNode& d, TextWriter& w, LineItems& todo, const DocNode*& keeping,
                   std::size_t& from) {
    if (!d.lineWritten) {  // not kept either
        d.lineWritten = true;
        return false;
    }
    if (const std::string* chars = lines.find(d)) {
        w.put(*chars);
        return true;
    }
    if (keeping == nullptr) {
        keeping = &d;
        from = w.written;
        todo.push_back({nullptr, nullptr, nullptr});
    }
    return false;
}

void writeLine(const DocNode& root, TextWriter& w) {
    static thread_local LineItems todo;
    LineTexts& lines = lineTexts;
    todo.size = 0;
    LineItem at{&root, nullptr, nullptr};
    const DocNode* keeping = nullptr;  // the node whose line is being kept, from `from` in the writer
    std::size_t from = 0;
    for (;;) {
        if (at.blank) w.put(" ", 1);
        if (at.doc == nullptr && at.par == nullptr) {  // the end of the line kept
            lines.keep(*keeping, std::string_view(w.chars.data() + from, w.written - from));
            keeping = nullptr;
        } else if (at.doc != nullptr && at.doc->lineLow >= kKeptLineWidth && at.doc->kind != DocNode::Kind::Text &&
                   writeKeptLine(lines, *at.doc, w, todo, keeping, from)) {
        } else if (at.doc != nullptr ? lineOfNode(*at.doc, w, todo, at) : lineOfPar(*at.par, at.args, w, todo, at)) {
            continue;
        }
        if (todo.size == 0) return;
        at = todo.items[--todo.size];
    }
}

// The too-wide marker of a width (see markerText).
void writeMarker(LayoutInt n, TextWriter& w) {
    if (n <= 1) {
        w.put("*", static_cast<std::size_t>(std::max<LayoutInt>(n, 0)));
        return;
    }
    char* at = w.room(static_cast<std::size_t>(n));
    at[0] = '<';
    std::memset(at + 1, '*', static_cast<std::size_t>(n - 2));
    at[n - 1] = '>';
}

// A node's one line below zero (see DocNode::below): its texts' markers side by side, and a list's marker for a list.
void writeBelow(const DocNode& root, TextWriter& w) {
    static thread_local std::vector<const DocNode*> todo;  // kept for its room; writes do not nest
    todo.clear();
    todo.push_back(&root);
    while (!todo.empty()) {
        const DocNode& d = *todo.back();
        todo.pop_back();
        switch (d.kind) {
        case DocNode::Kind::Text: writeMarker(d.sizes.width, w); break;
        case DocNode::Kind::Beside:
            todo.push_back(d.right.get());
            todo.push_back(d.left.get());
            break;
        case DocNode::Kind::Apply: writeMarker(d.below.width, w); break;
        default: break;  // the empty document; no other kind is known below zero
        }
    }
}

// The writer of a text (0), and of a text laid out again inside it (1), each kept for its room.
template <int Level>
TextWriter& writer() { static thread_local TextWriter w; return w; }
template <int Level> TextWriter& writeInto(const TextTree& root, LayoutInt column);

// A remembered candidate: the characters it was last written as at the column, or its text laid out again, written
// in its place within such a text (writes nest once), else apart and kept.
template <int Level> [[gnu::noinline]] const TextTree* writeAgain(const TextTree& t, LayoutInt column, TextWriter& w) {
    if (const std::string* chars = textWritten(t, column)) {
        w.put(*chars);
        return nullptr;
    }
    if constexpr (Level == 1) return textLaidOutAgain(t);
    TextWriter& apart = writeInto<1>(*textLaidOutAgain(t), column);
    w.put(apart.chars.data(), apart.written);
    keepTextWritten(t, column, std::string(apart.chars.data(), apart.written));
    apart.trim();
    return nullptr;
}

// The same for a text; a plain node to write next is returned through `doc`.
template <int Level>
[[gnu::always_inline]] inline const TextTree* writeTree(const TextTree& t, LayoutInt& column, TextWriter& w, const DocNode*& doc) {
    switch (t.kind) {
    case TextTree::Kind::Leaf: w.put(t.chars, static_cast<std::size_t>(t.shift)); return nullptr;
    case TextTree::Kind::Marker: writeMarker(t.shift, w); return nullptr;
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
    case TextTree::Kind::Below: writeBelow(*t.doc, w); return nullptr;
    case TextTree::Kind::Again: return writeAgain<Level>(t, column, w);
    }
    return nullptr;
}

// The text written from the column into the characters of the writer returned.
template <int Level>
TextWriter& writeInto(const TextTree& root, LayoutInt column) {
    TextWriter& w = writer<Level>();
    w.size = 0;
    w.written = 0;
    WriteItem at{&root, nullptr, column};
    for (;;) {
        // Down the first parts, the others pushed.
        while (at.text != nullptr) at.text = writeTree<Level>(*at.text, at.column, w, at.doc);
        while (at.doc != nullptr) at.doc = writePlain(*at.doc, at.column, w);
        if (w.size == 0) break;
        at = w.items[--w.size];
        if (at.text == nullptr && at.doc == nullptr) {  // a line break
            char* c = w.room(static_cast<std::size_t>(std::max<LayoutInt>(at.column, 0)) + 1);
            c[0] = '\n';
            std::memset(c + 1, ' ', static_cast<std::size_t>(std::max<LayoutInt>(at.column, 0)));
        }
    }
    return w;
}

}  // namespace

void compactLarge(NodeResult& r, CandidateMark m) {
    TextArena& a = *currentArena;
    CandidateList& first = r.reply.first;
    CandidateList& second = r.reply.second;
    const std::size_t n = first.size();
    const std::size_t total = n + (r.reply.pair ? second.size() : 0);
    if (total == 0) {
        a.candidateRewind(m);
        return;
    }
    if (!r.reply.pair && a.aboveInChunk(first.begin(), n, m)) {  // moved down within the chunk
        if (first.begin() != m.top) std::memmove(m.top, first.begin(), n * sizeof(Candidate));
        a.candidateRewind(m);
        first = CandidateList::slice(a.cands(n), n);
        return;
    }
    // Saved aside first: the room they move to may hold them (the stack room is uninitialised: only copies are read).
    alignas(Candidate) unsigned char shortBuf[kCompactOnStack * sizeof(Candidate)];
    std::vector<Candidate> longBuf;
    Candidate* saved = reinterpret_cast<Candidate*>(shortBuf);
    if (total > kCompactOnStack) {
        longBuf.resize(total);
        saved = longBuf.data();
    }
    copyCandidates(saved, first.begin(), n);
    if (r.reply.pair) copyCandidates(saved + n, second.begin(), total - n);
    a.candidateRewind(m);
    Candidate* room = a.cands(total);
    copyCandidates(room, saved, total);
    first = CandidateList::slice(room, n);
    if (r.reply.pair) second = CandidateList::slice(room + n, total - n);
}

const TextTree* leafText(std::string s) {
    TextArena& a = *currentArena;
    const std::string& kept = a.keep(std::move(s));
    return a.make(TextTree::Kind::Leaf, static_cast<LayoutInt>(kept.size()), nullptr, nullptr, kept.data());
}

const TextTree* indentText(LayoutInt n, const TextTree* a) {
    return currentArena->make(TextTree::Kind::Indent, n, a, nullptr, nullptr);
}

void nextLineRound() { lineTexts.nextRound(); }

void writeText(const TextTree& root, LayoutInt column, std::string& out) {
    TextWriter& w = writeInto<0>(root, column);
    forgetTextsLaidOutAgain();
    out.append(w.chars.data(), w.written);
    w.trim();
}

}  // namespace plim::pretty_detail

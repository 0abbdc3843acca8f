#include "frontend/typecheck/programs.h"

#include <exception>
#include <memory>
#include <utility>

#include "support/errors.h"

namespace plim {

namespace {

const NameOrd nameOrd{};

// A value that a view does not provide; reading it is a fault of this module.
template <class T>
Lazy<T> notProvided(const char* what) {
    return Lazy<T>::defer([what]() -> T { failInternal(std::string("internal error: no ") + what + " in this view"); });
}

// A table entry that raises `text` when read.
template <class T>
Lazy<T> failing(std::string_view text) {
    return Lazy<T>::defer([text]() -> T { failUser(std::string(text)); });
}

template <class E>
FiniteMap<std::string, Lazy<E>> unionFailingOnClash(const FiniteMap<std::string, Lazy<E>>& first,
                                                    const FiniteMap<std::string, Lazy<E>>& second,
                                                    std::string_view clash) {
    return plusCombFM(nameOrd, [clash](const Lazy<E>&, const Lazy<E>&) { return failing<E>(clash); }, first, second);
}

// The tables of the blocks, in order, merged as each block's table with the rest's.
template <class E>
FiniteMap<std::string, Lazy<E>> mergedTables(const std::vector<std::pair<std::string, Lazy<E>>>& entries,
                                             std::string_view clash) {
    FiniteMap<std::string, Lazy<E>> table;
    for (auto it = entries.rbegin(); it != entries.rend(); ++it)
        table = unionFailingOnClash(unitFM(nameOrd, it->first, it->second), table, clash);
    return table;
}

std::vector<std::string> concatNames(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// --- a transformation block in the element view -------------------------------------------------

struct RewriteSyntax {
    Rewrite plain;     // the theory with its DEFINITION headers
    Rewrite expanded;  // the SPECIFYING rules, then the theory with the headers expanded
    std::vector<std::string> usedNames;
    std::vector<std::string> undefinedDefinitions;
    TrafoHead head;
};

// The names a block uses: the free names of its lists and the rule variables and DEFINITION
// names of its theory, then the constructors of all three, so that the block is checked after
// the data declarations that it needs.
std::vector<std::string> usedNames(const DListSyntax& redefs, const DListSyntax& specs, const TheoryCheck& theory,
                                   const Theo& elems) {
    std::vector<std::string> used = concatNames(concatNames(redefs.freeVars, specs.freeVars), theory.names);
    used = concatNames(concatNames(std::move(used), redefs.constrsUsed), specs.constrsUsed);
    return concatNames(std::move(used), theoConstrsUsed(elems));
}

RewriteSyntax rewriteSyntax(const Rewrite& r, const Lazy<DefnRules>& table) {
    const DListSyntax redefs = dlistSyntax(r.redefs);
    const DListSyntax specs = dlistSyntax(r.specs);
    // Only the theory's names and its plain and expanded forms are read here, which need no
    // types; the types are checked in the block view.
    const TheoryCheck theory = checkTheory(r.theory.elems, notProvided<CheckEnv>("type environment"), table);
    const DefnRules specRules = dlistRules(r.specs, r.name + " specification of ");
    RewriteSyntax out{
        mkRewrite(r.name, r.names, redefs.plain, specs.plain, theory.headed.get()),
        mkRewrite(r.name, r.names, redefs.plain, specs.plain, addDefinitionRules(specRules, theory.expanded.get().elems)),
        usedNames(redefs, specs, theory, r.theory.elems),
        theory.undefinedDefinitions.get(),
        TrafoHead{r.name, redefs.defines, redefs.plain, specs.defines},
    };
    return out;
}

// --- the block view ---------------------------------------------------------------------------------

// What the blocks checked so far hand on.
struct BlockPass {
    CheckStatePtr state = CheckState::fresh();
    CheckEnv env;
    std::vector<Messages> messages;
    TypeEnv bindings;
    std::vector<std::pair<std::string, Lazy<RuleList>>> theories;
    std::vector<Lazy<BlockItem>> typed;
};

DListContext contextOf(const BlockPass& pass, const CheckEnv& env) {
    return DListContext{0, pass.state, env, noConstructors()};
}

void checkDefsBlock(const DList& defs, BlockPass& pass) {
    DListCheck c = checkDList(defs, contextOf(pass, pass.env));
    pass.messages.push_back(c.messages);
    pass.env = pass.env.with(c.bindings);
    pass.bindings.insert(pass.bindings.end(), c.bindings.begin(), c.bindings.end());
    pass.typed.push_back(c.typed.map([](const DList& d) { return BlockItem(d); }));
}

// ">UNDEFINED near line L : name" for each DEFINITION name without rules.
Messages undefinedReports(const ElementPayload& payload) {
    std::vector<std::string> reports;
    for (const std::string& name : payload.undefinedDefinitions)
        reports.push_back(errorapp(TypeLookup::NotFound(name), payload.line));
    return fromVector(std::move(reports));
}

void checkTrafoBlock(const Rewrite& r, const ElementPayload& payload, BlockPass& pass) {
    DListCheck specs = checkDList(r.specs, contextOf(pass, pass.env));
    const CheckEnv env = pass.env.with(specs.bindings);  // the specified names, for all that follows
    DListCheck redefs = checkDList(r.redefs, contextOf(pass, env));
    const TheoryCheck theory = checkTheory(r.theory.elems, Lazy<CheckEnv>(env), notProvided<DefnRules>("definition rules"));
    pass.messages.push_back(appendMessages(
        appendMessages(appendMessages(redefs.messages, specs.messages), theory.messages), undefinedReports(payload)));
    pass.env = env;
    pass.bindings.insert(pass.bindings.end(), specs.bindings.begin(), specs.bindings.end());
    if (r.names.empty()) pass.theories.emplace_back(r.name, theory.rules);
    pass.typed.push_back(delay([r, redefs, specs, theory] {
        return BlockItem(mkRewrite(r.name, r.names, redefs.typed.get(), specs.typed.get(), theory.typed.get()));
    }));
}

// The messages of the parts one after another, each read only when reached.
Messages concatFrom(std::shared_ptr<const std::vector<Messages>> parts, std::size_t i, Messages current) {
    return Messages::defer([parts, i, current]() mutable -> Messages {
        while (current.empty()) {
            if (++i >= parts->size()) return Messages::nil();
            current = (*parts)[i];
        }
        return Messages::cons(current.head(), concatFrom(parts, i, current.tail()));
    });
}

Messages concatMessages(std::vector<Messages> parts) {
    if (parts.empty()) return Messages::nil();
    auto shared = std::make_shared<const std::vector<Messages>>(std::move(parts));
    return concatFrom(shared, 0, shared->front());
}

}  // namespace

// --- the element view ---------------------------------------------------------------------------------

DefinitionSyntax definitionSyntax(const Elems& elems) {
    auto definitions = std::make_shared<std::vector<DeclSyntax>>();
    for (const ElemItem& item : elems)
        if (item.elem.kind() == ElemKind::DefElem) definitions->push_back(declSyntax(item.elem.decl()));
    return definitions;
}

DefnRules programDefinitionRules(const std::vector<DeclSyntax>& definitions) {
    DefnRules rules;
    for (auto it = definitions.rbegin(); it != definitions.rend(); ++it)
        if (it->plain.isFun()) rules = unionRulesRestFirst(makedefnrewrite("definition of ", it->defines, it->plain), rules);
    return rules;
}

DefnRules withBuiltinRules(const DefnRules& programRules) {
    static const DefnRules builtinRules = [] {
        std::vector<std::pair<std::vector<std::string>, Decl>> pairs;
        for (const BuiltinDefinition& b : builtinDefinitions()) pairs.emplace_back(b.names, b.decl);
        return rulesOfDefinitions(pairs);
    }();
    return unionFailingOnClash(builtinRules, programRules,
                               "INTERNAL ERROR: attempt to redefine internal operator succeeded (it shouldn't!)");
}

namespace {

// The element view as it is gathered, element by element in file order.
struct ElementParts {
    ElementView view;
    std::shared_ptr<std::vector<ProgramItem>> items = std::make_shared<std::vector<ProgramItem>>();
    std::vector<std::pair<std::string, Lazy<TrafoHead>>> heads;
};

// A definition: its item and its grouping entry (it uses its free names and constructors).
void checkDefElem(const DeclSyntax& s, std::int32_t line, ElementParts& parts) {
    parts.items->emplace_back(std::in_place_type<DefinitionProgramItem>, DefinitionProgramItem{s.defines, s.plain});
    parts.view.groupInput->push_back(
        {s.defines, concatNames(s.freeVars, s.constrsUsed), ElementPayload{mkDefElem(s.plain), line, {}}});
}

// A transformation block: its item; a block without prerequisite names also its name, its
// table entry and its grouping entry (it defines its specified names).
void checkTrafoElem(const Rewrite& r, std::int32_t line, const Lazy<DefnRules>& table, ElementParts& parts) {
    RewriteSyntax s = rewriteSyntax(r, table);
    parts.items->emplace_back(std::in_place_type<TransformProgramItem>, TransformProgramItem{r.name, s.plain});
    if (!r.names.empty()) return;
    parts.view.transformationNames.push_back(r.name);
    parts.heads.emplace_back(r.name, Lazy<TrafoHead>(s.head));
    parts.view.groupInput->push_back(
        {s.head.specifiedNames, s.usedNames, ElementPayload{mkTrafoElem(s.expanded), line, s.undefinedDefinitions}});
}

}  // namespace

// The element list: each element's lists before the rest's, and each element checked with its
// own line, or the line before it when it has none.  The tables are merged from the right, a
// name of two blocks failing when read.
ElementView checkElements(const Elems& elems, const std::vector<DeclSyntax>& definitions, const Lazy<DefnRules>& table) {
    ElementParts parts;
    std::vector<ElemItem> source;
    const std::size_t count = elems.length();
    source.reserve(count);
    parts.items->reserve(count);
    parts.view.groupInput->reserve(count);
    std::int32_t line = 0;
    auto definition = definitions.begin();
    for (const ElemItem& item : elems) {
        if (item.line > 0) line = item.line;
        if (item.elem.kind() == ElemKind::DefElem) {
            source.push_back(ElemItem{mkDefElem(definition->plain), item.line});
            checkDefElem(*definition++, line, parts);
        } else {
            source.push_back(item);
            checkTrafoElem(item.elem.rewrite(), line, table, parts);
        }
    }
    parts.view.source = mkSourceFile(Elems::fromVector(std::move(source)));
    parts.view.items = std::move(parts.items);
    parts.view.transformationTable = mergedTables(parts.heads, "Two transformations with the same name");
    return std::move(parts.view);
}

std::vector<GroupItem<ElementPayload>> takeGroupInput(const ElementView& view) {
    std::vector<GroupItem<ElementPayload>> input = std::move(*view.groupInput);
    view.groupInput->clear();
    return input;
}

// --- the block view -------------------------------------------------------------------------------------

BlockView checkBlocks(const std::vector<std::vector<ElementPayload>>& groups) {
    BlockPass pass;
    std::exception_ptr failure;
    try {
        for (const std::vector<ElementPayload>& group : groups) {
            ElemGroup elems;
            elems.reserve(group.size());
            for (const ElementPayload& p : group) elems.emplace_back(p.elem, p.line);
            const BlockItem block = groupToBlockItem(elems);
            if (block.kind() == BlockKind::DefsBlock)
                checkDefsBlock(block.defs(), pass);
            else
                checkTrafoBlock(block.rewrite(), group.front(), pass);
        }
    } catch (const PlimError&) {
        // The reports of the blocks before stand; the error comes where the next would.
        failure = std::current_exception();
        pass.messages.push_back(Messages::defer([failure]() -> Messages { std::rethrow_exception(failure); }));
    }
    Lazy<Prog> program = delay([typed = std::move(pass.typed), failure] {
        if (failure) std::rethrow_exception(failure);
        std::vector<BlockItem> blocks;
        blocks.reserve(typed.size());
        for (const Lazy<BlockItem>& b : typed) blocks.push_back(b.get());
        return mkProg(Block::fromVector(std::move(blocks)));
    });
    return BlockView{concatMessages(std::move(pass.messages)), std::move(pass.bindings),
                     mergedTables(pass.theories, "two TRANSFORM clauses with the same name"), std::move(program),
                     failure};
}

}  // namespace plim

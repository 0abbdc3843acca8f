#include "frontend/assembly/assembly.h"

#include <utility>

#include "frontend/typecheck/programs.h"
#include "frontend/typecheck/recursion_groups.h"
#include "frontend/reader/reader.h"
#include "support/errors.h"

namespace plim {

// The phases of one assembly, each run once when first needed: the definition rules (which
// never need the transformation blocks), the element view that reads them, the grouping and
// the block view.
struct ProgramInfo::State {
    SourceFile file;
    Lazy<ElementView> elements;
    Lazy<BlockView> blocks;
    Lazy<TypeEnv> env;
    Lazy<CheckEnv> checkEnv;
};

Assembly assembleProgram(SourceFile file) {
    Lazy<ElementView> elements = delay([file] {
        const DefinitionSyntax definitions = definitionSyntax(file.elems);
        Lazy<DefnRules> table = delay([definitions] { return withBuiltinRules(programDefinitionRules(*definitions)); });
        return checkElements(file.elems, *definitions, table);
    });
    Lazy<BlockView> blocks = delay([elements] { return checkBlocks(dependencyGroups(elements.get().groupInput)); });
    Lazy<TypeEnv> env = delay([blocks] {
        blocks.get().requireComplete();
        return blocks.get().bindings;
    });
    Lazy<CheckEnv> checkEnv = delay([env] { return CheckEnv::fromTypeEnv(env.get()); });
    Messages messages = Messages::defer([blocks] { return blocks.get().messages; });
    auto state = std::make_shared<ProgramInfo::State>(ProgramInfo::State{std::move(file), elements, blocks, env, checkEnv});
    return Assembly{ProgramInfo(std::move(state)), std::move(messages)};
}

const TypeEnv& ProgramInfo::programEnv() const { return state_->env.get(); }

const CheckEnv& ProgramInfo::programCheckEnv() const { return state_->checkEnv.get(); }

const SourceFile& ProgramInfo::sourceFile() const { return state_->file; }

const std::string& ProgramInfo::sourceText() const { failInternal(std::string(sourcefileNotInsertedText)); }

const Prog& ProgramInfo::program() const { return state_->blocks.get().program.get(); }

const std::vector<std::string>& ProgramInfo::elementList() const { return state_->elements.get().transformationNames; }

std::optional<RuleList> ProgramInfo::theoryOfTransform(const std::string& name) const {
    const BlockView& blocks = state_->blocks.get();
    blocks.requireComplete();
    std::optional<Lazy<RuleList>> found = lookupFM(NameOrd{}, blocks.transformations, name);
    if (!found) return std::nullopt;
    return found->get();
}

std::optional<TrafoEntry> ProgramInfo::transformOfName(const std::string& name) const {
    const ElementView& elements = state_->elements.get();
    std::optional<Lazy<TrafoHead>> found = lookupFM(NameOrd{}, elements.transformationTable, name);
    if (!found) return std::nullopt;
    const TrafoHead& head = found->get();
    ProgramInfo self = *this;
    return TrafoEntry{head.name,     head.redefinedNames, head.redefinitions,
                      head.specifiedNames, elements.items, programEnv(),
                      [self](const std::string& n) { return self.theoryOfTransform(n); }};
}

std::string concatProgramErrors(const Messages& messages) {
    std::string out;
    for (const std::string& m : messages) out += m;
    return out;
}

}  // namespace plim

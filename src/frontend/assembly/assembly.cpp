#include "frontend/assembly/assembly.h"

#include <memory>
#include <optional>
#include <utility>

#include "frontend/typecheck/programs.h"
#include "frontend/typecheck/recursion_groups.h"
#include "frontend/reader/reader.h"
#include "support/errors.h"

namespace plim {

// The phases of one assembly, each run once when first needed: the definition rules (which
// never need the transformation blocks), the element view that reads them, the grouping and
// the block view.  The file as read is kept only until the element view holds its plain form.
struct ProgramInfo::State {
    std::shared_ptr<std::optional<SourceFile>> file;
    Lazy<ElementView> elements;
    Lazy<BlockView> blocks;
    Lazy<TypeEnv> env;
    Lazy<CheckEnv> checkEnv;
};

Assembly assembleProgram(SourceFile file) {
    auto read = std::make_shared<std::optional<SourceFile>>(std::move(file));
    Lazy<ElementView> elements = delay([read] {
        const Elems& elems = (*read)->elems;
        const DefinitionSyntax definitions = definitionSyntax(elems);
        Lazy<DefnRules> table = delay([definitions] { return withBuiltinRules(programDefinitionRules(*definitions)); });
        ElementView view = checkElements(elems, *definitions, table);
        read->reset();
        return view;
    });
    Lazy<BlockView> blocks = delay([elements] {
        const std::vector<std::vector<ElementPayload>> groups = dependencyGroups(takeGroupInput(elements.get()));
        return checkBlocks(groups);
    });
    Lazy<TypeEnv> env = delay([blocks] {
        blocks.get().requireComplete();
        return blocks.get().bindings;
    });
    Lazy<CheckEnv> checkEnv = delay([env] { return CheckEnv::fromTypeEnv(env.get()); });
    Messages messages = Messages::defer([blocks] { return blocks.get().messages; });
    auto state = std::make_shared<ProgramInfo::State>(ProgramInfo::State{std::move(read), elements, blocks, env, checkEnv});
    return Assembly{ProgramInfo(std::move(state)), std::move(messages)};
}

const TypeEnv& ProgramInfo::programEnv() const { return state_->env.get(); }

const CheckEnv& ProgramInfo::programCheckEnv() const { return state_->checkEnv.get(); }

SourceFile ProgramInfo::sourceFile() const {
    if (*state_->file) return **state_->file;
    return state_->elements.get().source;
}

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

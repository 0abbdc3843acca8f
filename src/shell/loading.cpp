#include "shell/loading.h"

#include <iostream>
#include <optional>
#include <vector>

#include "frontend/assembly/redefine.h"
#include "frontend/reader/reader.h"
#include "shell/command_loop.h"
#include "shell/commands.h"
#include "shell/rewriting_commands.h"

namespace plim {

SourceFile programSource(const CmdState& s) { return loadedProgram(s).info.sourceFile(); }

Lazy<CheckEnv> checkEnvOf(const CmdState& s) {
    return delay([program = s.program] {
        if (!program) failUser("no program loaded");
        return program->info.programCheckEnv();
    });
}

Lazy<DefnRules> noDefinitionRules() {
    return Lazy<DefnRules>::defer([]() -> DefnRules { failUser(std::string(defnTheoText)); });
}

void writeMessages(const Messages& messages) {
    for (const std::string& m : messages) {
        writeOut(m);
        flushOut();
    }
}

namespace {

// The state with the program of the assembly, its reports written.
CmdState installProgram(SourceFile file, const CmdState& s) {
    Assembly assembly = assembleProgram(std::move(file));
    writeMessages(assembly.messages);
    CmdState next = s;
    next.program = std::make_shared<const LoadedProgram>(LoadedProgram{assembly.info});
    return next;
}

}  // namespace

namespace {

// The program file read, its repair log written; the text and the reading are dropped here,
// before the program is assembled.
SourceFile readProgramFile(const std::string& fileName, const CmdState& s) {
    const std::string text = readWholeFile(s.path + fileName);
    Reading<SourceFile> r = readProgram(text);
    writeOut(r.messages);
    return r.value.get();
}

// The second line of the report of a DEFINITION header in a theory loaded on its own.
constexpr std::string_view definitionHeaderPlace =
    "A DEFINITION header may stand only in the USING theory of a TRANSFORM block of the program.";

// The elements before the theory's first DEFINITION header, when it has one.
std::optional<Theo> beforeDefinitionHeader(const Theo& t) {
    std::vector<TheoItem> before;
    for (Theo at = t; !at.isEnd(); at = at.rest()) {
        if (at.item().kind() == TheoKind::DefnTheo) return Theo::fromVector(std::move(before));
        before.push_back(at.item());
    }
    return std::nullopt;
}

}  // namespace

CmdState loadProgram(const std::string& fileName, const CmdState& s) { return installProgram(readProgramFile(fileName, s), s); }

CmdState loadTheory(const std::string& fileName, const CmdState& s) {
    const std::string text = readWholeFile(s.path + fileName);
    flushOut();
    const Theory theory = parseTheory(text, std::cout);
    flushOut();
    // A DEFINITION header belongs to the theory of a transformation block, which supplies the
    // program's definitions.  In a theory loaded on its own it is a load error: the reports of
    // the equations before it, then its own, and the theory loaded before stays; at start-up
    // as in a session.
    if (std::optional<Theo> before = beforeDefinitionHeader(theory.elems)) {
        writeMessages(checkTheory(*before, checkEnvOf(s), noDefinitionRules()).messages);
        const std::string reason = std::string(defnTheoText) + "\n" + std::string(definitionHeaderPlace);
        writeOut(InputError(reason).commandReport() + "\n");
        return s;
    }
    TheoryCheck check = checkTheory(theory.elems, checkEnvOf(s), noDefinitionRules());
    writeMessages(check.messages);
    CmdState next = s;
    next.theory = std::make_shared<const std::vector<Rule>>(check.rules.get());
    return next;
}

CmdState chooseTheory(const std::string& transformation, const CmdState& s) {
    std::optional<RuleList> theory = loadedProgram(s).info.theoryOfTransform(transformation);
    if (!theory) {
        writeOut("transform not found\n");
        return s;
    }
    CmdState next = s;
    next.theory = std::make_shared<const std::vector<Rule>>(std::move(*theory));
    return next;
}

CmdState applyTransform(const std::string& transformation, const CmdState& s) {
    std::optional<TrafoEntry> entry = loadedProgram(s).info.transformOfName(transformation);
    if (!entry) {
        writeOut("transform not found\n");
        return s;
    }
    // Each specified name, frozen as a constant of its type, is rewritten with the block's
    // theory; its new definition binds the name to the result with every constant thawed.
    auto rewriteName = [&s](const RuleList& theory, const std::string& name, const Type& type) {
        const Expr result = rewriteAndReport(theory, mkCon(mkConstr(name), type), s);
        return std::vector<Decl>{mkFun(mkVar(name, type), unfreeze(result))};
    };
    SourceFile merged = applyRedefine(*entry, rewriteName);
    return installProgram(std::move(merged), s);
}

}  // namespace plim

#include "frontend/assembly/redefine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frontend/assembly/assembly.h"
#include "frontend/reader/reader_test_util.h"
#include "frontend/printer/types.h"
#include "lang/types.h"
#include "support/errors.h"

namespace plim {
namespace {

// One recorded call of the rewriting action.
struct Call {
    std::string name;
    std::string type;
    std::size_t rules;
};

// A rewriting action that records its calls and defines each name as the number 0.
struct Recorder {
    std::vector<Call> calls;
    RewriteName action() {
        return [this](const RuleList& theory, const std::string& name, const Type& type) {
            calls.push_back({name, showType(type), theory.size()});
            return std::vector<Decl>{mkFun(mkVar(name, type), mkCon(mkNumber(0), intType()))};
        };
    }
};

ProgramItem defItem(std::vector<std::string> names, const std::string& text) {
    return DefinitionProgramItem{std::move(names), parseEquation(text)};
}

ProgramItem trafoItem(const std::string& name, std::vector<std::string> prerequisites) {
    return TransformProgramItem{name, mkRewrite(name, std::move(prerequisites), mkDList(mkNoDef()),
                                                mkDList(mkNoDef()), mkTheory(mkNoTheo()))};
}

DList defsOf(const std::vector<std::string>& texts) {
    std::vector<DefItem> items;
    for (const std::string& t : texts) items.push_back(DefItem{parseEquation(t), 0});
    return mkDList(Defs::fromVector(items));
}

TrafoEntry entry(std::vector<std::string> redefined, std::vector<std::string> redefs, std::vector<std::string> specified,
                 std::vector<ProgramItem> items) {
    TypeEnv env{{"g", mkTAbs({"x"}, mkArrow(mkTid("x"), mkTid("x")))},
                {"f", intType()},
                {"g", boolType()},
                {"h", mkTAbs({}, boolType())}};
    RuleList one{Rule{"r", {}, {mkVar("x", intType()), mkVar("x", intType())}}};
    return TrafoEntry{"t",
                      std::move(redefined),
                      defsOf(redefs),
                      std::move(specified),
                      std::make_shared<const std::vector<ProgramItem>>(std::move(items)),
                      env,
                      [one](const std::string& n) { return n == "t" ? std::optional<RuleList>(one) : std::nullopt; }};
}

// "element @line" for each element of the source file, joined by " | ".
std::string show(const SourceFile& file) {
    std::string out;
    for (const ElemItem& item : file.elems) {
        if (!out.empty()) out += " | ";
        if (item.elem.kind() == ElemKind::DefElem) {
            out += test::showDecl(item.elem.decl());
        } else {
            out += "TRANSFORM " + item.elem.rewrite().name + " :";
            for (const std::string& n : item.elem.rewrite().names) out += " " + n;
        }
        out += " @" + std::to_string(item.line);
    }
    return out;
}

TEST(ApplyRedefine, RewritesSpecifiedNamesInOrderWithInstantiatedTypes) {
    Recorder rec;
    const SourceFile out =
        applyRedefine(entry({"f"}, {}, {"h", "g", "f"}, {defItem({"f"}, "f = 1")}), rec.action());
    ASSERT_EQ(rec.calls.size(), 3u);
    EXPECT_EQ(rec.calls[0].name, "h");
    EXPECT_EQ(rec.calls[0].type, showType(mkTAbs({}, boolType())));  // no bound names: unchanged
    EXPECT_EQ(rec.calls[1].name, "g");
    EXPECT_EQ(rec.calls[1].type, "a -> a");  // the first pair wins, instantiated from "a"
    EXPECT_EQ(rec.calls[2].name, "f");
    EXPECT_EQ(rec.calls[2].type, "Int");
    EXPECT_EQ(rec.calls[2].rules, 1u);
    EXPECT_EQ(show(out), "h = 0 @0 | g = 0 @0 | f = 0 @0");
}

TEST(ApplyRedefine, NewElementsTakeThePlaceOfTheFirstRemovedDefinition) {
    Recorder rec;
    const SourceFile out = applyRedefine(
        entry({"g", "h"}, {"g y = y", "h = 2"}, {"f"},
              {defItem({"f"}, "f = 1"), trafoItem("u", {"t", "x", "t"}), defItem({"g"}, "g y = y"),
               defItem({"k"}, "k = 3"), defItem({"h"}, "h = g 1"), trafoItem("t", {}), trafoItem("v", {"t"})}),
        rec.action());
    // REDEFINE definitions first, then the rewritten ones; the later removed item leaves no gap;
    // the applied block is dropped, the others lose its name once.
    EXPECT_EQ(show(out), "f = 1 @0 | TRANSFORM u : x t @0 | (g y) = y @0 | h = 2 @0 | f = 0 @0 | k = 3 @0 | "
                         "TRANSFORM v : @0");
}

TEST(ApplyRedefine, NoSpecifiedNamesRunNoCalculationAndNeedNoTheory) {
    Recorder rec;
    TrafoEntry e = entry({"f"}, {"f = 5"}, {}, {defItem({"f"}, "f = 1")});
    e.theoryOf = [](const std::string&) { return std::optional<RuleList>(); };
    EXPECT_EQ(show(applyRedefine(e, rec.action())), "f = 5 @0");
    EXPECT_TRUE(rec.calls.empty());
}

TEST(ApplyRedefine, MergeErrorsComeAfterEveryCalculation) {
    Recorder rec;
    try {
        applyRedefine(entry({"f"}, {}, {"g", "f"}, {defItem({"f", "k"}, "(f, k) = (1, 2)")}), rec.action());
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), "must redefine everything");
    }
    EXPECT_EQ(rec.calls.size(), 2u);

    Recorder rec2;
    try {
        applyRedefine(entry({"z"}, {}, {"g"}, {defItem({"f"}, "f = 1"), trafoItem("t", {})}), rec2.action());
        FAIL() << "no error";
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), "couldn't find original definition to remove");
    }
    EXPECT_EQ(rec2.calls.size(), 1u);
}

TEST(ApplyRedefine, PartlyRedefinedItemAfterThePlacementIsAnError) {
    Recorder rec;
    EXPECT_THROW(applyRedefine(entry({"f", "k"}, {}, {}, {defItem({"f"}, "f = 1"), defItem({"k", "m"}, "(k, m) = (1, 2)")}),
                               rec.action()),
                 UserError);
}

TEST(ApplyRedefine, AnItemDefiningNoNamesIsNeverRemoved) {
    // Every one of no names is redefined, vacuously; such an item stays where it is.
    Recorder rec;
    const SourceFile out = applyRedefine(
        entry({"f"}, {"f = 2"}, {}, {defItem({}, "f = 0"), defItem({"f"}, "f = 1")}), rec.action());
    EXPECT_EQ(show(out), "f = 0 @0 | f = 2 @0");
}

TEST(ApplyRedefine, RedefinedNamesWithoutADefinitionAreNoErrorByThemselves) {
    Recorder rec;
    EXPECT_EQ(show(applyRedefine(entry({"f", "nowhere"}, {"f = 2"}, {}, {defItem({"f"}, "f = 1")}), rec.action())),
              "f = 2 @0");
}

TEST(ApplyRedefine, MissingTheoryOrTypeFailsWhenTheNameIsReached) {
    Recorder rec;
    TrafoEntry e = entry({"f"}, {}, {"f"}, {defItem({"f"}, "f = 1")});
    e.theoryOf = [](const std::string&) { return std::optional<RuleList>(); };
    try {
        applyRedefine(e, rec.action());
        FAIL() << "no error";
    } catch (const PatternMatchFailure& err) {
        EXPECT_EQ(err.coded(), "HParse:145|Data.Maybe.Just th");
    }
    try {
        applyRedefine(entry({"f"}, {}, {"f", "nope"}, {defItem({"f"}, "f = 1")}), rec.action());
        FAIL() << "no error";
    } catch (const PatternMatchFailure& err) {
        EXPECT_EQ(err.coded(), "HParse:146|Data.Maybe.Just typ");
    }
    EXPECT_EQ(rec.calls.size(), 1u);  // f was rewritten before "nope" was reached
}

}  // namespace
}  // namespace plim

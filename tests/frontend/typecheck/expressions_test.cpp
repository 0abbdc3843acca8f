// The type checker: reports, expressions, theories and their rules.
#include <gtest/gtest.h>

#include "frontend/typecheck/expressions.h"
#include "frontend/reader/reader_test_util.h"
#include "frontend/typecheck/checker_test_util.h"
#include "lang/constants.h"

namespace plim {
namespace {

using test::checkText;
using test::readType;

TEST(TypecheckReports, ApplicationMismatchNamesTheArgumentTypeFirst) {
    TheoryCheck tc = checkText("t: f x = True", {{"f", readType("Int -> Bool")}, {"x", readType("Bool")}});
    EXPECT_EQ(concatTheoryErrors(tc.messages),
              ">TYPE ERROR near line 1\n"
              "f x\n"
              ">mismatch of type constructors\n"
              ">between type: Bool\n"
              ">and type: Int\n");
}

TEST(TypecheckReports, EquationOfDifferentConstantsOnLineSeven) {
    TheoryCheck tc = checkText("\n\n\n\n\n\nt: 1 = True");
    EXPECT_EQ(concatTheoryErrors(tc.messages),
              ">TYPE ERROR near line 7\n1 = True\n>mismatch of type constructors\n>between type: Int\n>and type: Bool\n");
    // The rule is still made, each side keeping its own type.
    const Rule& r = tc.rules.get().at(0);
    EXPECT_EQ(showType(r.equation.first.type()), "Int");
    EXPECT_EQ(showType(r.equation.second.type()), "Bool");
}

TEST(TypecheckReports, OccursCheckAndUndefinedNames) {
    EXPECT_EQ(concatTheoryErrors(checkText("o: x = x x").messages),
              ">TYPE ERROR near line 1\nx x\n>occurs check failed for type variable: a\n>in type: a -> b\n");
    // An element's line is one past the line of its ";".
    DListCheck d = test::checkDefs("\n\n\n\n\n\n\n\n\n\n\ng = foo;");
    EXPECT_EQ(concatTheoryErrors(d.messages), ">UNDEFINED near line 13 : foo\n");
    EXPECT_EQ(errorapp(TypeLookup::NotFound("bar"), -3), ">UNDEFINED near line -3 : bar\n");
    EXPECT_TRUE(typeerror(unifyPair(intType(), intType()), 1, "x").empty());
    EXPECT_THROW(erroruni(unifyPair(intType(), intType())), PatternMatchFailure);
    EXPECT_THROW(errorapp(TypeLookup::Found(intType()), 1), PatternMatchFailure);
}

TEST(TypecheckReports, OwnReportBeforeChildrenAndChildrenInOrder) {
    // The outer application fails (True for an Int), and so does its inner g 1; the right side
    // h True fails after both.
    TypeEnv env = {{"k", readType("Int -> Int -> Int")},
                   {"g", readType("Bool -> Int")},
                   {"h", readType("Int -> Int")}};
    TheoryCheck tc = checkText("t: k (g 1) True = h True", env);
    std::vector<std::string> firstLines;
    for (Messages m = tc.messages; !m.empty(); m = m.tail())
        firstLines.push_back(m.head().substr(m.head().find('\n') + 1, m.head().find('\n', m.head().find('\n') + 1) -
                                                                            m.head().find('\n') - 1));
    EXPECT_EQ(firstLines, (std::vector<std::string>{"k (g 1) True", "g 1", "h True"}));
}

// Unification works against the bindings already in the store: the occurs check looks through
// them, a failure shows the types with the bindings made before it and takes those back out.
TEST(TypecheckState, UnificationSeesTheStoredBindings) {
    CheckStatePtr st = CheckState::fresh();
    ASSERT_TRUE(st->unifyIn({{mkTid("a"), mkListType(mkTid("b"))}}).isOk());
    // b occurs in a's binding: binding b to a function of a would make b contain itself.
    const UnifyResult held = st->unifyIn({{mkTid("b"), mkArrow(mkTid("a"), intType())}});
    ASSERT_EQ(held.kind(), UnifyKind::OccursFailure);
    EXPECT_EQ(held.var(), "b");
    EXPECT_EQ(showType(held.occursIn()), "[b] -> Int");
    // A variable written in the type itself, named in or outside the fresh-name sequence.
    EXPECT_EQ(st->unifyIn({{mkTid("c"), mkListType(mkArrow(intType(), mkTid("c")))}}).kind(), UnifyKind::OccursFailure);
    EXPECT_EQ(st->unifyIn({{mkTid("x0"), mkListType(mkTid("x0"))}}).kind(), UnifyKind::OccursFailure);
    // The first pair binds d; the second fails and shows d bound; d is free again afterwards.
    const UnifyResult clash =
        st->unifyIn({{mkArrow(mkTid("d"), mkTid("d")), mkArrow(mkTid("a"), intType())}});
    ASSERT_EQ(clash.kind(), UnifyKind::ConstructorMismatch);
    EXPECT_EQ(showType(clash.left()), "[b]");
    EXPECT_EQ(showType(clash.right()), "Int");
    EXPECT_EQ(showType(st->resolve(mkTid("d"))), "d");
    // A chain of bindings is followed to its end.
    ASSERT_TRUE(st->unifyIn({{mkTid("e"), mkTid("f")}, {mkTid("f"), mkTid("b")}, {mkTid("e"), boolType()}}).isOk());
    EXPECT_EQ(showType(st->resolve(mkArrow(mkTid("a"), mkTid("e")))), "[Bool] -> Bool");
    // A chain followed through a binding that a failure takes back out is as it was after.
    ASSERT_TRUE(st->unifyIn({{mkTid("g"), mkTid("h")}}).isOk());
    ASSERT_FALSE(st->unifyIn({{mkTid("h"), mkTid("i")}, {mkTid("g"), intType()}, {mkTid("i"), boolType()}}).isOk());
    EXPECT_EQ(showType(st->resolve(mkArrow(mkTid("g"), mkTid("i")))), "h -> i");
}

TEST(TypecheckState, EnvironmentsAndTheSubstitutionStore) {
    CheckStatePtr st = CheckState::fresh();
    EXPECT_EQ(st->freshName(), "a");
    EXPECT_EQ(st->freshName(), "b");
    EXPECT_EQ(st->supply().head(), "c");
    // A failed unification leaves the store as it was; a successful one binds.
    EXPECT_EQ(st->unifyIn({{mkArrow(mkTid("a"), intType()), mkArrow(boolType(), boolType())}}).kind(),
              UnifyKind::ConstructorMismatch);
    EXPECT_TRUE(st->asSubst().isIdentity());
    EXPECT_TRUE(st->unifyIn({{mkTid("a"), mkListType(mkTid("b"))}}).isOk());
    EXPECT_EQ(showType(st->resolve(mkArrow(mkTid("a"), mkTid("a")))), "[b] -> [b]");
    // A scheme's bound names are not replaced.
    EXPECT_EQ(typeText(st->resolve(mkTAbs({"a"}, mkTid("a")))), "TAbs [\"a\"] (Tid \"a\")");
    // Free type variables of the environment: open bindings only, shadowed ones skipped.
    CheckEnv env = CheckEnv().with("x", mkTid("a")).with("k", intType()).with("y", mkTid("c")).with("y", intType());
    EXPECT_EQ(st->envTypeVars(env), std::vector<std::string>{"b"});
    EXPECT_TRUE(eqType(*env.lookup("y"), intType()));
    EXPECT_EQ(env.names(), (std::vector<std::string>{"k", "x", "y"}));
    CheckEnv first = CheckEnv::fromTypeEnv({{"f", intType()}, {"f", boolType()}});
    EXPECT_TRUE(eqType(*first.lookup("f"), intType()));
}

// The environment's free variables kept from one environment to the next give what a walk of
// every binding gives: as bindings are made and taken back, as environments grow, shrink back to
// a shorter one and hide a name's binding by an open or a closed one.
// The first ten names that are free in env once st has entered it, checked against a walk of
// every binding.
std::string freeNamesAfterEntering(CheckState& st, const CheckEnv& env) {
    st.enterEnv(env);
    std::string kept;
    for (std::uint64_t i = 0; i < 10; ++i)
        if (st.freeInEnv(nthName(i))) kept += nthName(i);
    std::vector<std::string> walked = st.envTypeVars(env);
    std::sort(walked.begin(), walked.end());
    std::string all;
    for (const std::string& v : walked) all += v;
    EXPECT_EQ(kept, all);
    return kept;
}

TEST(TypecheckState, FreeVariablesOfTheEnvironmentFollowItsChanges) {
    CheckStatePtr st = CheckState::fresh();
    auto freeAfterEntering = [&st](const CheckEnv& env) { return freeNamesAfterEntering(*st, env); };
    const CheckEnv base = CheckEnv().with("x", mkTid("a")).with("k", intType()).with("y", mkArrow(mkTid("b"), mkTid("c")));
    EXPECT_EQ(freeAfterEntering(base), "abc");
    EXPECT_EQ(st->nextNameNotInEnv(0), 3u);
    // A binding made while it is entered: c's binding brings d in.
    ASSERT_TRUE(st->unifyIn({{mkTid("c"), mkListType(mkTid("d"))}}).isOk());
    EXPECT_EQ(freeAfterEntering(base), "abd");
    EXPECT_EQ(st->nextNameNotInEnv(0), 2u);
    EXPECT_EQ(st->nextNameNotInEnv(3), 4u);
    // A failed unification takes the variables it brought in back out.
    ASSERT_FALSE(st->unifyIn({{mkTid("a"), mkListType(mkTid("e"))}, {mkTid("e"), intType()}, {mkTid("e"), boolType()}}).isOk());
    EXPECT_EQ(freeAfterEntering(base), "abd");
    // x hidden by an open binding, then by a closed one; back to the shorter environment.
    const CheckEnv inner = base.with("x", mkTid("f"));
    EXPECT_EQ(freeAfterEntering(inner), "bdf");
    EXPECT_EQ(freeAfterEntering(inner.with("z", mkTid("g")).with("x", intType())), "bdg");
    EXPECT_EQ(freeAfterEntering(inner.with("y", boolType())), "f");
    EXPECT_EQ(freeAfterEntering(base), "abd");
    // A binding made in a longer environment stays when it is left: f is bound to [b].
    ASSERT_TRUE(st->unifyIn({{mkTid("f"), mkListType(mkTid("h"))}}).isOk());
    EXPECT_EQ(freeAfterEntering(inner), "bdh");
    // A scheme's bound names are not free in it, its other names are; a variable whose binding
    // brings in a name that the scheme binds brings that name in bound (it is not renamed).
    ASSERT_TRUE(st->unifyIn({{mkTid("i"), mkArrow(mkTid("j"), mkTid("e"))}}).isOk());
    EXPECT_EQ(freeAfterEntering(base.with("s", mkTAbs({"e", "g"}, mkArrow(mkTid("g"), mkTid("i"))))), "abdj");
    // A hidden binding's variables stay free where a later binding holds them too: directly,
    // through a variable bound later, or through one held by a binding hidden in turn.
    CheckStatePtr hiding = CheckState::fresh();
    auto freeIn = [&hiding](const CheckEnv& env) { return freeNamesAfterEntering(*hiding, env); };
    const CheckEnv outer = CheckEnv().with("x", mkArrow(mkTid("a"), mkTid("d"))).with("p", mkTid("b")).with("q", mkListType(mkTid("a")));
    EXPECT_EQ(freeIn(outer), "abd");
    ASSERT_TRUE(hiding->unifyIn({{mkTid("b"), mkListType(mkTid("d"))}}).isOk());
    EXPECT_EQ(freeIn(outer.with("x", intType())), "ad");
    EXPECT_EQ(freeIn(outer.with("x", intType()).with("q", intType())), "d");
    EXPECT_EQ(freeIn(outer.with("x", intType()).with("q", intType()).with("p", mkTid("e"))), "e");
    EXPECT_EQ(freeIn(outer.with("x", intType()).with("q", intType())), "d");
    EXPECT_EQ(freeIn(outer), "ad");
    // A long run of names in use is skipped at once.
    CheckEnv many;
    for (std::uint64_t i = 0; i < 5000; ++i) many = many.with("v" + std::to_string(i), mkTid(nthName(i + 1)));
    CheckStatePtr other = CheckState::fresh();
    other->enterEnv(many);
    EXPECT_EQ(other->nextNameNotInEnv(0), 0u);
    EXPECT_EQ(other->nextNameNotInEnv(1), 5001u);
}

TEST(TypecheckExpressions, SupplyConsumptionFollowsTheShape) {
    using namespace infer;
    auto run = [](const std::string& text, const TypeEnv& env) {
        std::ostringstream log;
        Pass p(CheckState::fresh());
        Type t = checkExpr(p, parseExpression(text, log), CheckEnv::fromTypeEnv(env));
        return std::make_pair(showType(p.st().resolve(t)), p.st().used());
    };
    EXPECT_EQ(run("\\x -> x", {}), std::make_pair(std::string("a -> a"), std::uint64_t{1}));
    EXPECT_EQ(run("5", {}), std::make_pair(std::string("Int"), std::uint64_t{0}));
    EXPECT_EQ(run("f x", {{"f", readType("Int -> Bool")}, {"x", intType()}}),
              std::make_pair(std::string("Bool"), std::uint64_t{1}));
    // An unknown name takes one name (the placeholder's) and the application its own.
    EXPECT_EQ(run("y", {}), std::make_pair(std::string("a"), std::uint64_t{1}));
    EXPECT_EQ(run("[]", {}).second, 1u);
}

TEST(TypecheckExpressions, FreeVariablesAndDefines) {
    std::ostringstream log;
    EXPECT_EQ(infer::exprFreeVars(parseExpression("\\x -> f x x", log)), std::vector<std::string>{"f"});
    EXPECT_EQ(infer::exprFreeVars(parseExpression("x x", log)), std::vector<std::string>{"x"});
    // A name bound in one place and free in another is free, at its free occurrence.
    EXPECT_EQ(infer::exprFreeVars(parseExpression("g (\\x -> x y) x", log)), (std::vector<std::string>{"g", "y", "x"}));
    // A let's definitions come before its body; the defined names and each definition's
    // arguments are bound.
    EXPECT_EQ(infer::exprFreeVars(parseExpression("let { f x = x y; (z, u) = w u } in f z v y", log)),
              (std::vector<std::string>{"y", "w", "v"}));
    EXPECT_EQ(infer::exprDefines(parseExpression("f x y", log)), std::vector<std::string>{"f"});
    EXPECT_THROW(infer::exprDefines(parseExpression("\\x -> x", log)), UserError);
    try {
        infer::exprDefines(parseExpression("let y = 1 in y", log));
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), "cannot define a let-expression");
    }
}

TEST(TypecheckExpressions, ConstructorsUsedInOrderWithRepeats) {
    // A let's definitions, left side then right side, come before its body.
    std::ostringstream log;
    EXPECT_EQ(infer::exprConstrsUsed(parseExpression("C (let { D (E x) = F; y = G } in H) C", log)),
              (std::vector<std::string>{"C", "D", "E", "F", "G", "H", "C"}));
}

TEST(TypecheckExpressions, FreeVariablesOfALetWithABadLeftSideNameTheFirstOne) {
    // The defined names of a let are looked at before the right sides of its definitions.
    std::ostringstream log;
    const Expr e = parseExpression("let { f x = let { (\\y -> y) = 1 } in 2; (let { a = 1 } in a) = 4 } in 5", log);
    try {
        infer::exprFreeVars(e);
        ADD_FAILURE() << "no error";
    } catch (const UserError& err) {
        EXPECT_EQ(err.message(), "cannot define a let-expression");
    }
}

TEST(TypecheckTheories, EmptyTheory) {
    TheoryCheck tc = checkTheory(mkNoTheo(), Lazy<CheckEnv>::defer([]() -> CheckEnv { failInternal("unused"); }),
                                 test::noTable());
    EXPECT_EQ(concatTheoryErrors(tc.messages), "");
    EXPECT_TRUE(tc.names.empty());
    EXPECT_TRUE(tc.headed.get().elems.isEnd());
    EXPECT_TRUE(tc.expanded.get().elems.isEnd());
    EXPECT_TRUE(tc.typed.get().elems.isEnd());
    EXPECT_TRUE(tc.rules.get().empty());
}

TEST(TypecheckTheories, EnvironmentNamesBecomeConstantsInTheTypedTreeOnly) {
    TheoryCheck tc = checkText("m: map f [] = []", {{"map", readType("(a -> b) -> [a] -> [b]")}});
    EXPECT_EQ(concatTheoryErrors(tc.messages), "");
    EXPECT_EQ(tc.names, (std::vector<std::string>{"map", "f"}));
    const Expr& lhs = tc.rules.get().at(0).equation.first;
    const Expr& mapNode = lhs.fun().fun();
    ASSERT_TRUE(mapNode.isCon());
    EXPECT_EQ(mapNode.constant().constrName(), "map");
    EXPECT_TRUE(lhs.fun().arg().isVar());
    EXPECT_EQ(showType(lhs.fun().arg().type()), "d -> g");
    const Expr& plainMap = tc.headed.get().elems.item().ceq().eqn.lhs.fun().fun();
    EXPECT_TRUE(plainMap.isVar());
    try {
        plainMap.type();
        ADD_FAILURE();
    } catch (const InternalError& e) {
        EXPECT_EQ(e.message(), "file not yet typechecked");
    }
}

TEST(TypecheckTheories, EveryRuleStartsAtTheFirstName) {
    TheoryCheck tc = checkText("a: f x = x; b: g y = y");
    const std::vector<Rule>& rules = tc.rules.get();
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(typeText(rules[0].equation.first.fun().type()), typeText(rules[1].equation.first.fun().type()));
    EXPECT_EQ(showType(rules[1].equation.first.fun().type()), "b -> b");
    EXPECT_EQ(tc.names, (std::vector<std::string>{"f", "x", "g", "y"}));
}

TEST(TypecheckTheories, ConditionsDoNotSeeEachOthersSubstitutions) {
    // The second condition sees x at its fresh type, not at Int: no report anywhere.
    TheoryCheck tc = checkText("c: f x = x, if { x = 1; x = True }");
    EXPECT_EQ(concatTheoryErrors(tc.messages), "");
    const Rule& r = tc.rules.get().at(0);
    ASSERT_EQ(r.conditions.size(), 2u);
    EXPECT_EQ(showType(r.conditions[0].first.type()), "Int");
    EXPECT_EQ(showType(r.equation.second.type()), "Int");
}

TEST(TypecheckTheories, ConditionalEquationReportPrintsTheWholeRule) {
    TheoryCheck tc = checkText("c: x = 1, if { x = True }");
    EXPECT_EQ(concatTheoryErrors(tc.messages),
              ">TYPE ERROR near line 1\n"
              "x = 1\n>mismatch of type constructors\n>between type: Bool\n>and type: Int\n");
}

TEST(TypecheckTheories, ClosedExpressionsNeverReadTheEnvironment) {
    Lazy<CheckEnv> none = Lazy<CheckEnv>::defer([]() -> CheckEnv { failUser("no program loaded"); });
    TheoryCheck tc = checkTheory(test::readTheo("e: 1 + 2 = 3"), none, test::noTable());
    EXPECT_EQ(concatTheoryErrors(tc.messages), "");
    EXPECT_EQ(showType(tc.rules.get().at(0).equation.first.type()), "Int");
    // With a variable the environment decides what is a rule variable: it is read when the
    // equation is checked, that is when its reports or rules are first read.
    TheoryCheck withVar = checkTheory(test::readTheo("e: x + 2 = 3"), none, test::noTable());
    EXPECT_EQ(withVar.names, std::vector<std::string>{"x"});
    try {
        concatTheoryErrors(withVar.messages);
        ADD_FAILURE();
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), "no program loaded");
    }
}

TEST(TypecheckTheories, DefinitionHeaderValuesFireOnlyWhenRead) {
    TheoryCheck tc = checkText("a: 1 = True; DEFINITION g; b: y = x");
    std::ostringstream out;
    try {
        writeTheoryErrors(tc.messages, out);
        ADD_FAILURE();
    } catch (const UserError& e) {
        EXPECT_EQ(e.message(), "instances of DefnTheo should be eliminated by type-checking time");
    }
    EXPECT_EQ(out.str().substr(0, 24), ">TYPE ERROR near line 1\n");
    EXPECT_EQ(tc.names, (std::vector<std::string>{"g", "y", "x"}));
    EXPECT_EQ(test::showTheo(tc.headed.get().elems), "a @1: 1 = True | DEFINITION g | b @1: y = x");
    try {
        tc.rules.get();
        ADD_FAILURE();
    } catch (const InternalError& e) {
        EXPECT_EQ(e.message(), "instances of DefnTheo should be eliminated by type-checking time (theor)");
    }
    try {
        tc.typed.get();
        ADD_FAILURE();
    } catch (const InternalError& e) {
        EXPECT_EQ(e.message(), "instances of DefnTheo should be eliminated by type-checking time (term)");
    }
}

TEST(TypecheckTheories, DefinitionHeadersExpandFromTheTable) {
    std::ostringstream log;
    const Decl f1 = mkFun(parseExpression("f 0", log), parseExpression("1", log));
    const Decl f2 = mkFun(parseExpression("f n", log), parseExpression("n", log));
    DefnRules table = unionRulesRestFirst(makedefnrewrite("definition of ", {"f"}, f1),
                                          makedefnrewrite("definition of ", {"f"}, f2));
    TheoryCheck tc = checkTheory(test::readTheo("DEFINITION f; r: x = x; DEFINITION h"), test::envOf({}),
                                 Lazy<DefnRules>(table));
    EXPECT_EQ(test::showTheo(tc.expanded.get().elems),
              "definition of f @0: (f n) = n | definition of f @0: (f 0) = 1 | r @1: x = x");
    EXPECT_EQ(tc.undefinedDefinitions.get(), std::vector<std::string>{"h"});
    EXPECT_EQ(tc.names, (std::vector<std::string>{"f", "x", "h"}));
}

TEST(TypecheckRules, DefinitionRuleTables) {
    std::ostringstream log;
    const Decl d = mkFun(parseExpression("(f, g)", log), parseExpression("(1, 2)", log));
    DefnRules t = makedefnrewrite("definition of ", {"f", "g"}, d);
    const std::vector<Ceq>& fr = lookupFM(NameOrd{}, t, std::string("f"))->get();
    ASSERT_EQ(fr.size(), 1u);
    EXPECT_EQ(fr[0].label, "definition of f,g");
    EXPECT_EQ(fr[0].line, 0);
    EXPECT_TRUE(fr[0].conds.isEnd());
    DefnRules bad = makedefnrewrite("p ", {"f"}, mkDec(parseExpression("f", log), intType()));
    EXPECT_THROW(lookupFM(NameOrd{}, bad, std::string("f"))->get(), PatternMatchFailure);
    EXPECT_TRUE(addDefinitionRules(DefnRules(), mkNoTheo()).elems.isEnd());
    Theory both = addDefinitionRules(t, test::readTheo("r: x = x"));
    EXPECT_EQ(test::showTheo(both.elems),
              "definition of f,g @0: ((Tuple2 f) g) = ((Tuple2 1) 2) | definition of f,g @0: ((Tuple2 f) g) = ((Tuple2 1) 2) | "
              "r @1: x = x");
}

}  // namespace
}  // namespace plim

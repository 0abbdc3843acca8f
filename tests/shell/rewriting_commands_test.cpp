// The rewriting and matching commands as transcripts.
#include "shell/rewriting_commands.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "engine/calculations/page_in_browser.h"
#include "lang/names.h"
#include "shell/plim_process.h"
#include "support/sanitizer_build.h"

namespace plim::test {
namespace {

const std::vector<std::string> kMapFusion = {
    "--path", PLIM_SOURCE_DIR "/examples", "--program", "mapfusion", "--theory", "mapfusion"};

std::string userError(const std::string& reason) { return "user error\nReason: " + reason + "\n"; }

// The standard output of the commands after the map fusion example is loaded, without the
// banner and the first prompt; run in the folder `dir`.
Transcript session(const std::string& commands, const std::string& dir, std::vector<std::string> args = kMapFusion) {
    Transcript t = runPlim(args, commands, dir);
    EXPECT_EQ(t.out.rfind(kBanner + "Plim> \n", 0), 0u) << t.out;
    if (t.out.rfind(kBanner, 0) == 0) t.out = t.out.substr(kBanner.size() + 7);
    return t;
}

TEST(Rewriting, TheCalculationIsFollowedByTwoNewlinesAlsoWithoutSteps) {
    const Transcript t =
        session("rewrite \"3\"\nrewrite \"\\ xs -> map square (map inc xs)\"\n", scratchDir("RwSteps"));
    EXPECT_EQ(t.out,
              "   3\n\n\nPlim> \n"
              "   (\\ a -> map square (map inc a))\n= { fusion }\n   map (square . inc)\n= { compose }\n"
              "   map (\\ b -> square (inc b))\n= { squaredef }\n   map (\\ b ->\n        a * a\n"
              "        where a = inc b\n       )\n= { incdef }\n   map (\\ b -> inc b * (b + 1))\n"
              "= { incdef }\n   map (\\ b ->\n        a * a\n        where a = b + 1\n       )\n\nPlim> \n");
    EXPECT_EQ(t.err, "");
}

TEST(Rewriting, ArgumentsAreReportedAndCheckedBeforeTheTheoryIsRead) {
    const std::string dir = scratchDir("RwNoTheory");
    Transcript t = runPlim({}, "rewrite \"1\"\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" + userError("no theory loaded") + "Plim> \n");
    t = runPlim({}, "rewrite \"inc 1\"\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" + userError("no program loaded") + "Plim> \n");
    t = session("rewrite \"inc True\"\n", dir, {"--path", PLIM_SOURCE_DIR "/examples", "--program", "mapfusion"});
    EXPECT_EQ(t.out,
              ">TYPE ERROR near line 0\ninc True\n>mismatch of type constructors\n>between type: Bool\n"
              ">and type: Int\n" +
                  userError("no theory loaded") + "Plim> \n");
    // an ill-typed argument is reported and then rewritten as it stands
    t = session("rewrite \"inc True\"\n", dir);
    EXPECT_EQ(t.out,
              ">TYPE ERROR near line 0\ninc True\n>mismatch of type constructors\n>between type: Bool\n"
              ">and type: Int\n   inc True\n\n\nPlim> \n");
    // repairs of the argument come first
    t = session("rewrite \"inc (\"\n", dir);
    EXPECT_EQ(
        t.out.rfind("Operator || inserted before endoffile\nSymbol   ) inserted before endoffile\n>TYPE ERROR", 0), 0u)
        << t.out;
}

TEST(Rewriting, LocalDefinitionsInArgumentsAreRemovedAfterChecking) {
    const Transcript t = session(
        "rewrite \"map square (map inc ys) where ys = [1]\"\n"
        "simplematch \"map f xs\" \"let ys = [1] in map square ys\"\n",
        scratchDir("RwLet"));
    EXPECT_EQ(t.out.rfind("   map square (map inc a)\n   where a = 1 : []\n= { fusion }\n", 0), 0u) << t.out;
    EXPECT_NE(t.out.find("\n\nPlim> \nf := square\nxs := 1 : []\n\n---\nPlim> \n"), std::string::npos) << t.out;
}

TEST(Rewriting, InputsTheEngineCannotTakeAreUserErrors) {
    const Transcript t = session(
        "simplematch \"map f xs\" \"map square ys\"\nrewrite \"(\\ [x] -> x) [1]\"\n"
        "rewrite \"3\"\n",
        scratchDir("RwEngineErrors"));
    EXPECT_EQ(t.out, userError("free variables in term: map square ys") + "Plim> \n" +
                         "   a\n   where a : [] = 1 : []\n" +
                         userError("can't handle non-variable/tuple lambda bindings") + "Plim> \n   3\n\n\nPlim> \n");
    EXPECT_EQ(t.status, 0);
}

TEST(Rewriting, LocalDeclarationsThatAreNoDefinitionsAreUserErrors) {
    // A type signature or data declaration in a where or let block has no rewriting form;
    // the command reports it and the session goes on with its program and theory.
    const std::string refused =
        userError("a let or where block with a type signature or data declaration cannot be rewritten");
    const Transcript t = session(
        "rewrite \"x where { f :: Int }\"\nrewrite \"inc (let { data T = A } in 1)\"\n"
        "onestepmatch \"x\" \"y where { y :: Int; y = 2 }\"\nrewrite \"inc 1\"\n",
        scratchDir("RwLocalDecl"));
    EXPECT_EQ(t.out.rfind(refused + "Plim> \n" + refused + "Plim> \n" + refused + "Plim> \n   inc 1\n", 0), 0u) << t.out;
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

TEST(Rewriting, ALetInsideALambdaPatternIsAUserError) {
    // The repair turns a stray "let" in a pattern into a let expression there.
    const Transcript t = session("rewrite \"\\ (r, let) -> r\"\nrewrite \"3\"\n", scratchDir("RwLetPattern"));
    EXPECT_EQ(t.out, "\"list of definitions\" inserted before Symbol   ) at line 1\n"
                     "Keyword in inserted before Symbol   ) at line 1\n"
                     "\"expression\" inserted before Symbol   ) at line 1\n" +
                         userError("can't handle non-variable/tuple lambda bindings") + "Plim> \n   3\n\n\nPlim> \n");
    EXPECT_EQ(t.status, 0);
}

TEST(Rewriting, TheWidthShapesTheCalculation) {
    const std::string dir = scratchDir("RwWidth");
    Transcript t = session(
        "rewrite \"inc 1\"\n", dir,
        {"--path", PLIM_SOURCE_DIR "/examples", "--program", "mapfusion", "--theory", "mapfusion", "--width=-1"});
    EXPECT_EQ(t.out, "<Error: negative page width >\n= { incdef }\n<Error: negative page width >\n\nPlim> \n");
    t = session("setwidth 12\nrewrite \"\\ xs -> map square (map inc xs)\"\n", dir);
    EXPECT_EQ(t.out.rfind("Plim> \n   <***********>\n= { fusion }\n   map <*****>\n", 0), 0u) << t.out;
}

TEST(Rewriting, TheDebuggingFileHoldsThePageOfTheLatestCalculation) {
    const std::string dir = scratchDir("RwPage");
    const std::string page = dir + "/page.html";
    Transcript t = session(
        "debugfile \"page.html\"\nsetpath \"/nowhere\"\nrewrite \"\\ xs -> map square (map inc xs)\"\n"
        "rewrite \"inc 2\"\n",
        dir);
    EXPECT_EQ(t.err, "");
    std::string html = readFile(page);
    EXPECT_EQ(html.rfind("<!DOCTYPE HTML PUBLIC", 0), 0u);
    EXPECT_NE(html.find("incdef"), std::string::npos);
    EXPECT_EQ(html.find("fusion"), std::string::npos);
    // without a debugging file no file is touched
    std::filesystem::remove(page);
    t = session("debugfile \"\"\nrewrite \"inc 2\"\n", dir,
                {"--path", PLIM_SOURCE_DIR "/examples", "--program", "mapfusion", "--theory", "mapfusion", "--debug",
                 "page.html"});
    EXPECT_FALSE(std::filesystem::exists(page));
    // a file that cannot be written: the calculation is written, then the error
    t = session("debugfile \"no/such/dir.html\"\nrewrite \"3\"\n", dir);
    EXPECT_EQ(t.out, "Plim> \n   3\n\n\n" + std::string("does not exist\nAction: openFile\n") +
                         "Reason: No such file or directory\nFile: no/such/dir.html\nPlim> \n");
}

// The page plim writes, opened in a browser: every expander folds what it names, the
// substitutions of plain steps as well as the details of conditional ones.
TEST(Rewriting, EveryExpanderOfTheDebuggingPageFoldsInABrowser) {
    if (browser_test::findChromium().empty()) GTEST_SKIP() << "chromium is not installed";
    const std::string dir = scratchDir("RwPageInBrowser");
    writeFile(dir + "/peano.p",
              "data Nat = Z | S Nat;\nadd :: Nat -> Nat -> Nat;\nadd Z n = n;\nadd (S m) n = S (add m n);\n"
              "f :: Nat -> Nat;\nf x = x;\n");
    writeFile(dir + "/peano.eq",
              "addz : add Z n = n;\nadds : add (S m) n = S (add m n);\n"
              "cond : f x = Z, if { add x Z = S Z };\nnever : f x = x, if { x = S (S (S Z)) }\n");
    const Transcript t = runPlim({"--program", "peano", "--theory", "peano", "--debug", "page.html", "rewrite",
                                  "add (f (S Z)) (f (S (S Z)))"},
                                 "", dir);
    ASSERT_NE(t.out.find("= { cond\n"), std::string::npos) << t.out;
    const std::string page = readFile(dir + "/page.html");
    ASSERT_NE(page.find("failures"), std::string::npos);
    const auto [sections, closed] = browser_test::expectEveryExpanderFolds(page);
    // every expander was clicked, the closed ones among them
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = page.find(what); at != std::string::npos; at = page.find(what, at + 1)) ++n;
        return n;
    };
    EXPECT_EQ(sections, count("CLASS=\"expander\""));
    EXPECT_EQ(closed, count("SRC=\"plus.gif\""));
    EXPECT_GE(closed, 6u);
    EXPECT_LT(closed, sections);
}

TEST(Matching, SubstitutionsAreWrittenAsFound) {
    const Transcript t = session(
        "simplematch \"map f xs\" \"map square (map inc [1])\"\n"
        "simplematch \"map f xs\" \"[1, 2]\"\n"
        "onestepmatch \"a b\" \"square 3\"\n"
        "twostepmatch \"map (f . g) xs\" \"map (square . inc) [3]\"\n",
        scratchDir("MatchResults"));
    EXPECT_EQ(t.out,
              "f := square\nxs := map inc (1 : [])\n\n---\nPlim> \n"
              "Plim> \n"
              // the fresh names avoid those of pattern and term
              "a := square\nb := 3\n\n---\na := (\\ c -> c)\nb := square 3\n\n---\n"
              "a := (\\ c -> c 3)\nb := square\n\n---\na := (\\ c -> square 3)\n\n---\nPlim> \n"
              "f := square\ng := inc\nxs := 3 : []\n\n---\nPlim> \n");
    EXPECT_EQ(t.err, "");
}

// Long inputs of the shapes that once took time growing faster than the input: a let of many
// names under a one-step match, and a chain of compositions unfolded step by step.
TEST(Matching, ALetOfManyNamesMatchesAsItsBody) {
    std::string defs;
    for (int i = 0; i < 1000; ++i) defs += (i ? "; v" : "v") + std::to_string(i) + " = " + std::to_string(i);
    const Transcript t = session("onestepmatch \"x\" \"let { " + defs + " } in v0\"\nsetwidth 4\n", scratchDir("MatchLet"));
    EXPECT_EQ(t.out, "x := 0\n\n---\nPlim> \nPlim> \n");
    EXPECT_EQ(t.err, "");
}

TEST(Rewriting, ALongChainOfCompositionsUnfoldsOneStepAtATime) {
    const int n = 60;
    std::string chain = "inc";
    for (int i = 1; i < n; ++i) chain += " . inc";
    const Transcript t = session("rewrite \"(" + chain + ") 1\"\nsetwidth 4\n", scratchDir("RwChain"));
    auto count = [&t](const std::string& text) {
        std::size_t k = 0;
        for (std::size_t at = t.out.find(text); at != std::string::npos; at = t.out.find(text, at + 1)) ++k;
        return k;
    };
    EXPECT_EQ(count("= { compose }\n"), std::size_t{n - 1});
    EXPECT_EQ(count("= { incdef }\n"), std::size_t{n});
    EXPECT_EQ(t.out.substr(t.out.size() - 16), "\n\nPlim> \nPlim> \n");
    EXPECT_EQ(t.err, "");
}

// Lambdas nested deep that all bind one name, a shape whose rewrite once grew with the square of
// the nesting: the one step inside is found by either matcher, under renamed binders.
TEST(Rewriting, ManyNestedLambdasOfOneNameAreRewrittenInside) {
    const auto rewrite = [](int n, const std::string& matcher) {
        std::string lambdas;
        for (int i = 0; i < n; ++i) lambdas += "\\ x -> ";
        return session("setmatcher " + matcher + "\nrewrite \"" + lambdas + "inc 1\"\n",
                       scratchDir("RwNestedLambdas" + matcher));
    };
    for (const int n : {300, 2000}) {
        const Transcript t = rewrite(n, "fast");
        EXPECT_EQ(t.out.rfind("Plim> \n   <", 0), 0u) << n;
        EXPECT_NE(t.out.find("\n= { incdef }\n   <"), std::string::npos) << n;
        EXPECT_EQ(t.out.substr(t.out.size() - 10), ">\n\nPlim> \n") << n;
        EXPECT_EQ(t.err, "");
        if (n == 300) {
            EXPECT_EQ(rewrite(n, "ref").out, t.out);
        }
    }
}

// 3,000 nested lambdas of one name, printed in full: each matcher finds the one step inside,
// and the calculation shows every binder renamed (a, b, ..., z, aa, ab, ...) around it.  Each
// position holds the binders around it in a context shared with the positions above.
TEST(Rewriting, ThousandsOfNestedLambdasAreRewrittenByBothMatchers) {
    constexpr int n = 3000;
    std::string lambdas;
    std::string binders;
    for (int i = 0; i < n; ++i) {
        lambdas += "\\ x -> ";
        binders += (i == 0 ? "" : " ") + nthName(static_cast<std::size_t>(i));
    }
    const std::string expected = "   (\\ " + binders + " -> inc 1)\n= { incdef }\n   (\\ " + binders + " -> 1 + 1)\n";
    for (const std::string matcher : {"fast", "ref"}) {
        const Transcript t = session("setmatcher " + matcher + "\nsetwidth 100000\nrewrite \"" + lambdas + "inc 1\"\n",
                                     scratchDir("RwThousandsOfLambdas" + matcher));
        EXPECT_EQ(t.out, "Plim> \nPlim> \n" + expected + "\nPlim> \n") << matcher;
        EXPECT_EQ(t.err, "") << matcher;
    }
}

// Tuples nested deep on the right, a shape whose rewrite once grew much faster than its size: no
// rule applies, the expression is printed whole where the width lets it, and the next command
// is answered.
TEST(Rewriting, DeeplyNestedTuplesArePrintedWhole) {
    const int n = inputSize(10000);
    std::string tuple;
    for (int i = 0; i < n; ++i) tuple += "(1, ";
    tuple += "1" + std::string(static_cast<std::size_t>(n), ')');
    const Transcript t = session("setwidth " + std::to_string(tuple.size() + 3) + "\nrewrite \"" + tuple + "\"\nsetwidth 4\n",
                                 scratchDir("RwNestedTuples"));
    EXPECT_EQ(t.out, "Plim> \n   " + tuple + "\n\n\nPlim> \nPlim> \n");
    EXPECT_EQ(t.err, "");
}

// A tuple of 65,536 components, one more than a node's 16-bit count of arguments holds, under
// rewrite and the three match commands; the next command is answered.
TEST(Rewriting, ATupleOfVeryManyComponentsIsRewrittenAndMatched) {
    if (test::kSanitizerBuild) GTEST_SKIP() << "a second and more a command there";
    const int n = 65536;
    std::string tuple = "(1";
    for (int i = 1; i < n; ++i) tuple += ", 1";
    tuple += ")";
    std::string commands = "setwidth " + std::to_string(tuple.size() + 3) + "\nrewrite \"" + tuple + "\"\n";
    for (const char* match : {"simplematch", "onestepmatch", "twostepmatch"})
        commands += std::string(match) + " \"x\" \"" + tuple + "\"\n";
    const Transcript t = session(commands + "rewrite \"inc 1\"\n", scratchDir("RwWideTuple"));
    std::string binding = "x := ( 1\n";
    for (int i = 1; i < n; ++i) binding += ", 1\n";
    binding += ")\n\n---\nPlim> \n";
    EXPECT_EQ(t.out, "Plim> \n   " + tuple + "\n\n\nPlim> \n" + binding + binding + binding +
                         "   inc 1\n= { incdef }\n   1 + 1\n\nPlim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

TEST(Matching, PatternAndTermAreCheckedAloneAndThenTogether) {
    const std::string kOrReport =
        ">TYPE ERROR near line 0\ninc (||)\n>mismatch of type constructors\n"
        ">between type: Bool -> Bool -> Bool\n>and type: Int\n";
    const Transcript t =
        session("simplematch \"inc x\" \"True\"\nsimplematch \"inc (\" \"3\"\n", scratchDir("MatchTypes"));
    EXPECT_EQ(t.out,
              ">TYPE ERROR near line 0\ninc x = True\n>mismatch of type constructors\n>between type: Int\n"
              ">and type: Bool\nPlim> \n"
              // the pattern's own report, then the same again from the joint check; no match
              "Operator || inserted before endoffile\nSymbol   ) inserted before endoffile\n" +
                  kOrReport + kOrReport + "Plim> \n");
}

// A variable applied to a tuple that holds it cannot be typed: no image for the head fits its
// own type, whichever candidates the elements take, and both matchers say so at once instead
// of trying every combination of them (cubic in the size of the term).
TEST(Matching, AHeadInsideItsOwnTupleArgumentHasNoMatch) {
    const std::string kReport =
        ">TYPE ERROR near line 0\nf (g, x, f)\n>occurs check failed for type variable: j\n"
        ">in type: ((h,i,j)) -> d\n";
    const Transcript t = session(
        "setmatcher compare ref fast\n"
        "onestepmatch \"f (g, x, f)\" \"map square (map inc [1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12])\"\n",
        scratchDir("MatchOwnTuple"));
    EXPECT_EQ(t.out, "Plim> \n" + kReport + kReport + "Plim> \n");
    EXPECT_EQ(t.err, "");
}

TEST(Matching, MatcherExpressionsSelectTheMatcher) {
    const Transcript t = session(
        "setmatcher trace (compare ref fast)\nsimplematch \"inc x\" \"inc 3\"\n"
        "setmatcher\nsimplematch \"inc x\" \"inc 3\"\n",
        scratchDir("MatchSetMatcher"));
    EXPECT_EQ(t.out,
              "Plim> \nx := 3\n\n---\nPlim> \nKeyword fast inserted before endoffile\nPlim> \nx := 3\n\n---\nPlim> \n");
    EXPECT_EQ(t.err, "matching inc x against inc 3\n");
}

TEST(Rewriting, AnEndlessRewriteWritesStepAfterStep) {
    const std::string dir = scratchDir("RwEndless");
    writeFile(dir + "/comm.eq", "comm : x + y = y + x\n");
    writeFile(dir + "/empty.p", "one = 1;\n");
    const std::string out =
        runPlimUntil({"--program", "empty", "--theory", "comm", "rewrite", "1 + 2"}, "", dir, "= { comm }", 50);
    EXPECT_EQ(out.rfind("   1 + 2\n= { comm }\n   2 + 1\n= { comm }\n   1 + 2\n", 0), 0u) << out.substr(0, 200);
    int steps = 0;
    for (std::size_t at = out.find("= { comm }"); at != std::string::npos; at = out.find("= { comm }", at + 1)) ++steps;
    EXPECT_GE(steps, 50);
}

// A rule whose conditions need the rule itself: each condition is checked by a nested
// derivation that tries the rule again.  The nesting ends at its limit with a user error that
// names the rule, within a small address-space cap, and the session goes on.
TEST(Rewriting, ConditionsThatNeedTheirOwnRuleEndAtTheNestingLimit) {
    if (test::kSanitizerBuild) GTEST_SKIP() << "the sanitizers reserve more address space than the cap";
    const std::string dir = scratchDir("RwSelfCondition");
    writeFile(dir + "/self.eq", "r : inc x = x, if { inc 0 = 1; inc 1 = 2 }\n");
    const std::vector<std::string> args = {"--path", PLIM_SOURCE_DIR "/examples", "--program", "mapfusion",
                                           "--path", dir, "--theory", "self"};
    RunOptions options;
    options.cwd = dir;
    options.addressSpaceKiB = 200 << 10;
    const Transcript t = runPlimWith(args, "rewrite \"inc 7\"\nsetpath \"" PLIM_SOURCE_DIR "/examples\"\n" +
                                               std::string("loadtheory \"mapfusion\"\nrewrite \"inc 7\"\n"), options);
    EXPECT_EQ(t.out, kBanner + "Plim> \n   inc 7\n" +
                         userError("conditions nested too deeply (more than 1000 levels) in rule \"r\"") +
                         "Plim> \nPlim> \nPlim> \n   inc 7\n= { incdef }\n   7 + 1\n\nPlim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

// A condition with variables of its own, x and y here, which the rule's left side leaves
// unbound: they stand for any value while the condition is shown, in either matcher.
TEST(Rewriting, AConditionWithVariablesOfItsOwnIsShownForAnyValueOfThem) {
    const std::string dir = scratchDir("RwOwnVariables");
    writeFile(dir + "/fuse.eq",
              "fusion : h (foldr f e xs) = foldr g (h e) xs, if { h (f x y) = g x (h y) };\n"
              "distrib : 2 * (x + y) = 2 * x + 2 * y;\nzero : 2 * 0 = 0\n");
    const std::vector<std::string> args = {"--path", PLIM_SOURCE_DIR "/examples/", "--program", "foldfusion",
                                           "--path", dir + "/", "--theory", "fuse"};
    const std::string fused =
        "   (\\ a -> 2 * foldr (+) 0 a)\n= { fusion\n\n      2 * (f + g)\n   = { distrib }\n      2 * f + 2 * g\n"
        "  }\n   foldr (\\ b -> (+) (2 * b)) (2 * 0)\n= { zero }\n   foldr (\\ b -> (+) (2 * b)) 0\n\nPlim> \n";
    // Nothing is known of h: h (x + y) = g x (h y) cannot be shown, neither by taking g
    // from h (x + y) itself nor by exchanging x and y; with h the identity, g is (+) and the
    // fold stays as it is.
    const std::string unknown = "   (\\ a b -> a (foldr (+) 0 b))\n\n\nPlim> \n";
    for (const std::string matcher : {"fast", "ref"}) {
        const Transcript t = session("setmatcher " + matcher + "\nrewrite \"\\ xs -> 2 * foldr (+) 0 xs\"\n" +
                                         "rewrite \"\\ h xs -> h (foldr (+) 0 xs)\"\n",
                                     dir, args);
        EXPECT_EQ(t.out, "Plim> \n" + fused + unknown) << matcher;
        EXPECT_EQ(t.err, "") << matcher;
    }
}

// A command that fails while the next step is computed ends the line of the last expression
// before its report.
TEST(Rewriting, AFailureAfterAStepIsReportedOnALineOfItsOwn) {
    const std::string dir = scratchDir("RwFailAfterStep");
    writeFile(dir + "/pattern.eq", "one : map f xs = map (\\ [y] -> f y) [xs]\n");
    const std::vector<std::string> args = {"--path", PLIM_SOURCE_DIR "/examples/", "--program", "mapfusion",
                                           "--path", dir + "/", "--theory", "pattern"};
    const std::string failed = "   map inc (1 : [])\n= { one }\n   map (\\ (a : []) -> inc a) ((1 : []) : [])\n" +
                               userError("can't handle non-variable/tuple lambda bindings") + "Plim> \n";
    const Transcript t = session("rewrite \"map inc [1]\"\ndebugfile \"page.html\"\nrewrite \"map inc [1]\"\n", dir, args);
    EXPECT_EQ(t.out, failed + "Plim> \n" + failed);
    EXPECT_EQ(t.err, "");
}

}  // namespace
}  // namespace plim::test

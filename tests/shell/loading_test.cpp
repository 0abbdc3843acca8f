// The loading commands as transcripts: loadprogram, loadtheory, choosetheory, applytransform,
// and the errors in loaded files that are reported as user errors with the state kept.
#include "shell/loading.h"

#include <gtest/gtest.h>

#include "shell/plim_process.h"

namespace plim::test {
namespace {

const std::string kNoProgram = "user error\nReason: no program loaded\n";
const std::string kNoTheory = "user error\nReason: no theory loaded\n";

std::string userError(const std::string& reason) { return "user error\nReason: " + reason + "\n"; }

// A DEFINITION header in a theory loaded on its own: the report, and where such a header may stand.
const std::string kDefinitionHeaderReason =
    "instances of DefnTheo should be eliminated by type-checking time\n"
    "A DEFINITION header may stand only in the USING theory of a TRANSFORM block of the program.";

// A folder holding the map fusion example and the given files.
std::string folderWith(const std::string& name, const std::vector<std::pair<std::string, std::string>>& files) {
    const std::string dir = scratchDir(name);
    for (const std::string f : {"mapfusion.p", "mapfusion.eq"})
        writeFile(dir + "/" + f, readFile(examplesDir() + "/" + f));
    for (const auto& [file, text] : files) writeFile(dir + "/" + file, text);
    return dir;
}

TEST(Loading, CommandsThatNeedAProgramReportItsAbsenceAndKeepTheState) {
    const std::string dir = folderWith("LoadingNoProgram", {{"t.eq", "comm : x + y = y + x\n"}});
    const Transcript t = runPlim(
        {"--width=-1"}, "loadtheory \"t\"\nchoosetheory \"x\"\napplytransform \"x\"\nshowtheory\nshowprogram\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" + kNoProgram + "Plim> \n" + kNoProgram + "Plim> \n" + kNoProgram +
                         "Plim> \n" + kNoTheory + "Plim> \n<Error: negative page width >\nPlim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

TEST(Loading, AProgramWithoutErrorsLoadsSilentlyAndAMissingOneIsReported) {
    const std::string dir = folderWith("LoadingSilent", {});
    const Transcript t = runPlim({}, "loadprogram \"nope\"\nshowprogram\nloadprogram \"mapfusion\"\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" + "does not exist\nAction: openFile\nReason: No such file or directory\n" +
                         "File: nope.p\nPlim> \n" + kNoProgram + "Plim> \nPlim> \n");
}

// where blocks nested a thousand deep load at the cost of their size; a type error at the
// bottom is still found.
TEST(Loading, DeeplyNestedWhereBlocksLoad) {
    const int n = 1000;
    auto nested = [n](const std::string& bottom) {
        std::string text = "f :: Int;\nf = x0";
        for (int i = 0; i < n; ++i) text += " where x" + std::to_string(i) + " = x" + std::to_string(i + 1);
        return text + " where x" + std::to_string(n) + " = " + bottom + ";\n";
    };
    const std::string dir = folderWith("LoadingNestedWhere", {{"deep.p", nested("1")}, {"wrong.p", nested("True")}});
    const Transcript t = runPlim({}, "loadprogram \"deep\"\nloadprogram \"wrong\"\nsetwidth 4\n", dir);
    EXPECT_EQ(t.out.rfind(kBanner + "Plim> \nPlim> \n>TYPE ERROR near line ", 0), 0u) << t.out.substr(0, 200);
    EXPECT_EQ(t.out.substr(t.out.size() - 15), "\nPlim> \nPlim> \n");
    EXPECT_EQ(t.status, 0);
}

TEST(Loading, RepairsThenTypeReportsAndTheRepairedProgramIsKept) {
    const std::string dir = folderWith("LoadingBad", {{"bad.p", "f :: Int -> Int;\nf x = x + True;\nk = ;\n"}});
    const Transcript t = runPlim({}, "loadprogram \"bad\"\nshowprogram\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" +
                         "\"expression\" inserted before Symbol   ; at line 3\n"
                         ">TYPE ERROR near line 3\nx + True\n>mismatch of type constructors\n"
                         ">between type: Bool\n>and type: Int\n"
                         "Plim> \nf :: Int -> Int;\nf x = x + True;\nk = Error;\nPlim> \n");
}

TEST(Loading, FilesAreNamedByThePathTheNameAndTheirEnding) {
    const std::string dir = folderWith("LoadingPath", {});
    const Transcript t = runPlim({},
                                 "setpath \"" + dir + "\"\nloadprogram \"mapfusion\"\nloadtheory \"mapfusion\"\n" +
                                     "setpath \"\"\nloadtheory \"mapfusion\"\n",
                                 "/");
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> \nPlim> \nPlim> \nPlim> \n" +
                         "does not exist\nAction: openFile\nReason: No such file or directory\n" +
                         "File: mapfusion.eq\nPlim> \n");
}

TEST(Loading, ATheoryLoadedOnItsOwnMayNotNameDefinitions) {
    const std::string dir = folderWith(
        "LoadingDefinition", {{"defn.eq", "one : inc x = x + 1;\ntwo : square True = 1;\nDEFINITION square;\n"},
                              {"trail.eq", "one : inc x = x + 1;\n"}});
    const Transcript t =
        runPlim({"--program", "mapfusion"}, "loadtheory \"defn\"\nshowtheory\nloadtheory \"trail\"\nshowtheory\n", dir);
    const std::string defnError = userError(kDefinitionHeaderReason);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" +
                         "Keyword DEFINITION insertedSymbol   ( insertedOperator ++ insertedSymbol   ) inserted before "
                         "endoffile\n"
                         ">TYPE ERROR near line 2\nsquare True\n>mismatch of type constructors\n"
                         ">between type: Bool\n>and type: Int\n" +
                         defnError + "Plim> \n" + kNoTheory + "Plim> \n" +
                         "Keyword DEFINITION insertedSymbol   ( insertedOperator ++ insertedSymbol   ) inserted before "
                         "endoffile\n" +
                         defnError + "Plim> \n" + kNoTheory + "Plim> \n");
}

TEST(Loading, AtStartUpATheoryThatNamesDefinitionsIsReportedAndTheSessionGoesOn) {
    const std::string dir = folderWith("LoadingDefinitionStartUp",
                                       {{"defn.eq", "one : inc x = x + 1;\ntwo : square True = 1;\nDEFINITION square;\n"}});
    const Transcript t = runPlim({"--program", "mapfusion", "--theory", "defn"}, "showtheory\n", dir);
    EXPECT_EQ(t.out, "Keyword DEFINITION insertedSymbol   ( insertedOperator ++ insertedSymbol   ) inserted before "
                     "endoffile\n"
                     ">TYPE ERROR near line 2\nsquare True\n>mismatch of type constructors\n"
                     ">between type: Bool\n>and type: Int\n" +
                         userError(kDefinitionHeaderReason) + kBanner +
                         "Plim> \n" + kNoTheory + "Plim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

TEST(Loading, ChooseTheoryTakesTheTheoryOfATransformation) {
    const std::string dir = folderWith("LoadingChoose", {});
    const Transcript t = runPlim({"--program=mapfusion"},
                                 "choosetheory \"nope\"\nshowtheory\nchoosetheory \"fusemap\"\nshowtheory\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \ntransform not found\nPlim> \n" + kNoTheory + "Plim> \nPlim> \n" +
                         "fusemap specification of incsquare: incsquare xs = map square (map inc xs);\n\n"
                         "definition of map: map f (x : xs) = f x : map f xs;\n\n"
                         "definition of map: map f [] = [];\n\n"
                         "fusion: map f (map g xs) = map (f . g) xs;\n\n"
                         "compose: (f . g) x = f (g x)\n"
                         "Plim> \n");
}

TEST(Loading, ApplyTransformRewritesEachSpecifiedNameAndInstallsTheMergedProgram) {
    const std::string dir = folderWith("LoadingApply", {});
    const Transcript t = runPlim({"--program=mapfusion", "--debug=page.html"},
                                 "applytransform \"nope\"\napplytransform \"fusemap\"\nshowprogram\n"
                                 "applytransform \"fusemap\"\n",
                                 dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \ntransform not found\nPlim> \n" +
                         "   incsquare\n= { fusemap specification of incsquare }\n"
                         "   (\\ a -> map square (map inc a))\n= { fusion }\n   map (square . inc)\n"
                         "= { compose }\n   map (\\ b -> square (inc b))\n\n"
                         "Plim> \n"
                         "map :: (a -> b) -> [a] -> [b];\nmap f [] = [];\nmap f (x : xs) = f x : map f xs;\n"
                         "square :: Int -> Int;\nsquare x = x * x;\ninc :: Int -> Int;\ninc x = x + 1;\n"
                         "squares xs = incsquare xs;\nincsquare = map (\\ b -> square (inc b));\n"
                         "scale :: Float -> [Float] -> [Float];\n"
                         "scale k ys = map (\\ y -> k *. y) (map (\\ y -> y +. 0.5) ys);\n"
                         "Plim> \ntransform not found\nPlim> \n");
    const std::string page = readFile(dir + "/page.html");
    EXPECT_NE(page.find("fusemap specification of incsquare"), std::string::npos);
}

// The names, the transformations and the theories of transformations are the second's: inc is
// no longer a constant of the program, so in a term it is a free variable.
TEST(Loading, ASecondProgramReplacesTheFirst) {
    const std::string dir = folderWith(
        "LoadingTwice",
        {{"other.p", "one = 1;\nTRANSFORM t REDEFINE one = two SPECIFYING two = one USING a : one = 1 END;\n"}});
    const Transcript t = runPlim({"--program=mapfusion", "--theory=mapfusion"},
                                 "loadprogram \"other\"\nchoosetheory \"fusemap\"\nchoosetheory \"t\"\n"
                                 "simplematch \"inc x\" \"inc 1\"\nshowtheory\n",
                                 dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> \ntransform not found\nPlim> \nPlim> \n" +
                         userError("free variables in term: inc 1") +
                         "Plim> \nt specification of two: two = one;\n\na: one = 1\nPlim> \n");
}

TEST(Loading, ErrorsOfTheProgramsStructureAreUserErrors) {
    const std::string dir = folderWith(
        "LoadingStructure",
        {{"abs.p", "(\\ x -> x) = 3;\n"},
         {"letdef.p", "(let y = 1 in y) = 3;\n"},
         // two blocks that both redefine f and specify g depend on each other
         {"mutual.p",
          "f x = x;\n"
          "TRANSFORM t REDEFINE f x = g x SPECIFYING g x = f x USING a : f x = x END;\n"
          "TRANSFORM u REDEFINE f x = g x SPECIFYING g x = f x USING a : f x = x END;\n"},
         {"twice.p",
          "f x = x;\nk x = x;\n"
          "TRANSFORM t REDEFINE f y = g y SPECIFYING g y = f y USING a : f z = z END;\n"
          "TRANSFORM t REDEFINE k y = h y SPECIFYING h y = k y USING b : k z = z END;\n"},
         {"notfound.p", "f x = x;\nTRANSFORM t REDEFINE q x = f x SPECIFYING g x = f x USING a : f x = x END;\n"},
         {"everything.p", "(a, b) = (1, 2);\nTRANSFORM t REDEFINE a = c SPECIFYING c = a USING one : a = 1 END;\n"}});
    Transcript t =
        runPlim({}, "loadprogram \"abs\"\nloadprogram \"letdef\"\nloadprogram \"mutual\"\nshowprogram\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" + userError("cannot define an abstraction") + "Plim> \n" +
                         userError("cannot define a let-expression") + "Plim> \n" +
                         userError("Can't have mutually recursive elements involving a transformation block") +
                         "Plim> \n" + kNoProgram + "Plim> \n");
    t = runPlim({"--program=twice"}, "choosetheory \"t\"\napplytransform \"t\"\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" + userError("two TRANSFORM clauses with the same name") + "Plim> \n" +
                         userError("Two transformations with the same name") + "Plim> \n");
    // the calculations are written before the merge finds its error; the program stays
    t = runPlim({"--program=notfound"}, "applytransform \"t\"\nchoosetheory \"t\"\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n   g\n= { t specification of g }\n   f\n= { a }\n   (\\ a -> a)\n\n" +
                         userError("couldn't find original definition to remove") + "Plim> \nPlim> \n");
    t = runPlim({"--program=everything"}, "applytransform \"t\"\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n   c\n= { t specification of c }\n   a\n= { one }\n   1\n\n" +
                         userError("must redefine everything") + "Plim> \n");
    EXPECT_EQ(t.status, 0);
}

TEST(Loading, AtStartUpTheSameErrorsEndTheRun) {
    const std::string dir = folderWith("LoadingStartUp", {{"t.eq", "comm : x + y = y + x\n"}});
    Transcript t = runPlim({"--theory", "t"}, "", dir);
    EXPECT_EQ(t.out, "");
    EXPECT_EQ(t.err, "\nFail: no program loaded\n");
    EXPECT_EQ(t.status, 1);
    t = runPlim({"--program", "missing"}, "", dir);
    EXPECT_EQ(t.out, "");
    EXPECT_EQ(t.err, "\nFail: does not exist\nAction: openFile\nReason: No such file or directory\nFile: missing.p\n");
    EXPECT_EQ(t.status, 1);
    t = runPlim({"--program", "mapfusion", "--transform", "fusemap", "showprogram"}, "", dir);
    EXPECT_EQ(t.status, 0);
    EXPECT_NE(t.out.find("incsquare = map (\\ b -> square (inc b));\n"), std::string::npos);
}

// A tuple type, a constructor's fields and a data type's variables past 65,535 entries.
TEST(Loading, TypesOfVeryManyComponentsLoad) {
    const int n = 65536;
    std::string tuple, fields, vars;
    for (int i = 0; i < n; ++i) {
        tuple += i ? ",Int" : "Int";
        fields += " Int";
        vars += " a" + std::to_string(i);
    }
    const std::string dir = folderWith("LoadingWide", {{"wide.p", "inc x = x + 1;\nt :: (" + tuple +
                                                                      ") -> Int;\nt x = 1;\ndata D = C" + fields +
                                                                      ";\ndata E" + vars + " = F a0;\n"}});
    const Transcript t = runPlim({}, "loadprogram \"wide\"\nsimplematch \"inc x\" \"inc 1\"\n", dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> \nx := 1\n\n---\nPlim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

}  // namespace
}  // namespace plim::test

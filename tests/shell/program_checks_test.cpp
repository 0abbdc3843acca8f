// Loading programs whose checking depends on data declarations: a transformation block that
// uses constructors is checked after their declaration, and a declaration of a built-in type
// is reported and left out, its constructors undefined where they are used.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "shell/plim_process.h"

namespace plim::test {
namespace {

// The transcript of loading each program (written to NAME.p) in one session.
Transcript loadEach(const std::string& test, const std::vector<std::pair<std::string, std::string>>& programs,
                    const std::string& more = "") {
    const std::string dir = scratchDir(test);
    std::string input;
    for (const auto& [name, text] : programs) {
        writeFile(dir + "/" + name + ".p", text);
        input += "loadprogram \"" + name + "\"\n";
    }
    return runPlim({}, input + more, dir);
}

TEST(ProgramChecks, ATransformationThatUsesOnlyConstructorsSeesTheirDeclaration) {
    const Transcript t = loadEach(
        "ProgramChecksConstructorsOnly",
        {{"fix", "data Nat = Z | S Nat;\n(one, two) = (S Z, S (S Z));\n"
                 "TRANSFORM fixone REDEFINE one = S Z SPECIFYING uno = S Z USING idz: S Z = S Z END;\n"},
         {"cond", "data Nat = Z | S Nat;\nTRANSFORM t REDEFINE one = 1 SPECIFYING u = 1 USING r: u = u, if { Z = Z } END;\n"}},
        "loadprogram \"fix\"\napplytransform \"fixone\"\nchoosetheory \"fixone\"\nshowtheory\n");
    // The specified uno is S Z at once: idz is a step from S Z to itself, which is not taken.
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> \nPlim> \nPlim> \n"
                               "   uno\n= { fixone specification of uno }\n   S Z\n\n"
                               "user error\nReason: must redefine everything\nPlim> \nPlim> \n"
                               "fixone specification of uno: uno = S Z;\n\nidz: S Z = S Z\nPlim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

std::string builtinTypeReport(int line, const std::string& declaration, const std::string& type) {
    return ">TYPE ERROR near line " + std::to_string(line) + "\n" + declaration + "\n>declaration of built-in type: " +
           type + "\n";
}

TEST(ProgramChecks, ADeclarationOfABuiltInTypeIsReportedAndItsConstructorsAreUndefined) {
    const Transcript t =
        loadEach("ProgramChecksBuiltinTypes",
                 {{"arrow", "data Arrow a b = Mk a b;\nzf1 = (Mk 1 True) 5;\n"},
                  {"list", "data List a = Nil | Cons a (List a);\nzf2 = (Cons 1 Nil) ++ [2];\n"},
                  {"int", "data Int = Z | S Int;\nn = S Z + 1;\n"},
                  {"bool", "data Bool = Yes | No;\nf = let { data Bool = Yes } in Yes;\n"},
                  {"tuples", "data Tuple2 a b = Pr b a;\ndata Tuple a = T a;\ndata Tuples = Ts;\n"
                             "p = (Pr 1 True, T 1, Ts);\n"}});
    EXPECT_EQ(t.out, kBanner + "Plim> \n" + builtinTypeReport(2, "data a -> b = Mk a b", "Arrow") +
                         ">UNDEFINED near line 3 : Mk\nPlim> \n" +
                         builtinTypeReport(2, "data [a] = Nil | Cons a [a]", "List") +
                         ">UNDEFINED near line 3 : Cons\n>UNDEFINED near line 3 : Nil\nPlim> \n" +
                         builtinTypeReport(2, "data Int = Z | S Int", "Int") +
                         ">UNDEFINED near line 3 : S\n>UNDEFINED near line 3 : Z\nPlim> \n" +
                         builtinTypeReport(2, "data Bool = Yes | No", "Bool") +
                         builtinTypeReport(3, "data Bool = Yes", "Bool") + ">UNDEFINED near line 3 : Yes\nPlim> \n" +
                         // Every type whose name begins with Tuple is read as a tuple type.
                         builtinTypeReport(4, "data () = Ts", "Tuples") +
                         builtinTypeReport(3, "data (a) = T a", "Tuple") +
                         builtinTypeReport(2, "data (a,b) = Pr b a", "Tuple2") +
                         ">UNDEFINED near line 5 : Pr\n>UNDEFINED near line 5 : T\n>UNDEFINED near line 5 : Ts\n"
                         "Plim> \n");
    EXPECT_EQ(t.err, "");
    EXPECT_EQ(t.status, 0);
}

TEST(ProgramChecks, TypesNamedLikeBuiltInOnesAreDeclared) {
    const Transcript t = loadEach("ProgramChecksNearNames",
                                  {{"near", "data Integer = Z;\ndata Lists a = L a;\ndata Boolean = Y;\n"
                                            "data Arrows = A;\ndata Tupl = X;\nz = (Z, L Y, A, X);\n"}},
                                  "showprogram\n");
    EXPECT_EQ(t.out, kBanner + "Plim> \nPlim> \n"
                               "data Integer = Z;\ndata Lists a = L a;\ndata Boolean = Y;\n"
                               "data Arrows = A;\ndata Tupl = X;\nz = (Z, L Y, A, X);\nPlim> \n");
    EXPECT_EQ(t.err, "");
}

}  // namespace
}  // namespace plim::test

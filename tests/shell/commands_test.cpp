// The dispatch of commands: what every command that takes a file name refuses.
#include "shell/commands.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "shell/plim_process.h"

namespace plim::test {
namespace {

// A name holding the NUL character is refused before anything is opened: the system would
// read it only up to that character, and open a file that the name does not name.  Every file
// named here up to the NUL exists, and each command is shown to work without the NUL.
TEST(Commands, AFileNameHoldingTheNulCharacterOpensNothing) {
    const std::string dir = scratchDir("CommandsNulName");
    for (const std::string f : {"mapfusion.p", "mapfusion.eq"})
        writeFile(dir + "/" + f, readFile(examplesDir() + "/" + f));
    writeFile(dir + "/mapfusion.p.p", readFile(examplesDir() + "/mapfusion.p"));
    writeFile(dir + "/mapfusion.eq.eq", readFile(examplesDir() + "/mapfusion.eq"));
    writeFile(dir + "/scr", "setwidth 40\n");
    std::filesystem::create_directory(dir + "/sub");
    const std::string nul(1, '\0');
    const std::string refused = "user error\nReason: file name holds the NUL character\nPlim> \n";
    const std::string input = "loadprogram \"mapfusion.p" + nul + "junk\"\nshowprogram\n" +
                              "loadprogram \"mapfusion\"\nloadtheory \"mapfusion.eq" + nul + "x\"\nshowtheory\n" +
                              "runscript \"scr" + nul + "x\"\nsetpath \"sub" + nul + "/\"\nloadtheory \"mapfusion\"\n" +
                              "debugfile \"page" + nul + "x\"\nrewrite \"inc 1\"\nrunscript \"scr\"\n";
    const Transcript t = runPlim({}, input, dir);
    EXPECT_EQ(t.out, kBanner + "Plim> \n" + refused + "user error\nReason: no program loaded\nPlim> \nPlim> \n" +
                         refused + "user error\nReason: no theory loaded\nPlim> \n" + refused + refused +
                         "Plim> \n" + refused + "   inc 1\n= { incdef }\n   1 + 1\n\nPlim> \n" +
                         "Plim> setwidth 40\nPlim> \nPlim> \n");
    EXPECT_EQ(t.status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir + "/page"));
}

}  // namespace
}  // namespace plim::test

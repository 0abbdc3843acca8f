#include "shell/commands.h"

#include <cerrno>
#include <cstdio>
#include <iostream>

#include "frontend/printer/programs.h"
#include "frontend/printer/theories.h"
#include "shell/command_loop.h"
#include "shell/loading.h"
#include "shell/rewriting_commands.h"
#include "layout/document.h"
#include "support/errors.h"

namespace plim {

void writeOut(std::string_view text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size()) outputFailure(errno, "hPutStr");
}

void flushOut() {
    errno = 0;
    // A write through std::cout (the readers' logs) that failed is seen on stdout as well.
    if (std::fflush(stdout) != 0 || std::ferror(stdout) || std::cout.bad()) outputFailure(errno != 0 ? errno : EIO, "hFlush");
}

namespace {

void showTheoryCommand(const CmdState& s) { writeOut(showTheory(currentTheory(s)) + "\n"); }

void showProgramCommand(const CmdState& s) {
    std::string text;
    if (s.width < 0) negativeWidthText(text);  // before the program is asked for
    else renderProgramTo(text, programSource(s).elems, s.width);
    writeOut(text + "\n");
}

// A file-name argument: a name holding the NUL character names no file (the system would read
// it only up to that character), so it is refused before anything is opened.
const std::string& fileName(const std::string& name) {
    if (name.find('\0') != std::string::npos) failUser("file name holds the NUL character");
    return name;
}

template <class F>
CmdState with(const CmdState& s, F change) {
    CmdState next = s;
    change(next);
    return next;
}

struct Dispatch {
    const CmdState& s;

    CmdState operator()(const cmd::SetPath& c) const {
        return with(s, [&](CmdState& n) { n.path = normalisePath(fileName(c.path)); });
    }
    CmdState operator()(const cmd::SetWidth& c) const {
        return with(s, [&](CmdState& n) { n.width = c.width; });
    }
    CmdState operator()(const cmd::DebugFile& c) const {
        return with(s, [&](CmdState& n) { n.debugFile = fileName(c.file); });
    }
    CmdState operator()(const cmd::RunScript& c) const { return runScript(fileName(c.file), s); }
    CmdState operator()(const cmd::SetMatcher& c) const {
        return with(s, [&](CmdState& n) { n.matcher = c.matcher; });
    }
    CmdState operator()(const cmd::ShowTheory&) const {
        showTheoryCommand(s);
        return s;
    }
    CmdState operator()(const cmd::ShowProgram&) const {
        showProgramCommand(s);
        return s;
    }
    CmdState operator()(const cmd::LoadProgram& c) const { return loadProgram(fileName(c.name) + ".p", s); }
    CmdState operator()(const cmd::LoadTheory& c) const { return loadTheory(fileName(c.name) + ".eq", s); }
    CmdState operator()(const cmd::ChooseTheory& c) const { return chooseTheory(c.name, s); }
    CmdState operator()(const cmd::RewriteExpr& c) const { return rewriteCommand(c.expr, s); }
    CmdState operator()(const cmd::ApplyTransform& c) const { return applyTransform(c.name, s); }
    CmdState operator()(const cmd::SimpleMatch& c) const { return match(MatchKind::Simple, c.pattern, c.term); }
    CmdState operator()(const cmd::OneStepMatch& c) const { return match(MatchKind::OneStep, c.pattern, c.term); }
    CmdState operator()(const cmd::TwoStepMatch& c) const { return match(MatchKind::TwoStep, c.pattern, c.term); }
    CmdState operator()(const cmd::Quit&) const { return s; }
    CmdState match(MatchKind kind, const std::string& p, const std::string& t) const {
        return matchCommand(kind, p, t, s);
    }
    CmdState operator()(const cmd::Skip&) const { return s; }
};

}  // namespace

CmdState runCommand(const Command& command, const CmdState& state) { return std::visit(Dispatch{state}, command); }

}  // namespace plim

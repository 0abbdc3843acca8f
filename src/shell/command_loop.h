// The read-evaluate cycle over the terminal and over script files, and `runscript`.
//
// Each pass prompts (and flushes), reads one logical line (a line ending in a backslash is
// joined to the next), echoes it when it comes from a script, parses it and runs it.  An
// input/output error or a user error inside a command is printed and the state from before
// the command stays in force; any other error ends the run.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "shell/state.h"
#include "support/errors.h"

namespace plim {

inline const std::string promptText = "Plim> ";

// The most a line of input, or a file that plim reads (program, theory or script), may hold:
// a longer one is a user error ("line longer than 64 MiB", "file longer than 64 MiB"), found
// after reading at most this much of it.
inline constexpr std::size_t kMaxInputBytes = std::size_t{64} << 20;

// Lines from the standard input, or from the whole text of a file read beforehand.
class LineSource {
public:
    static LineSource standardInput() { return LineSource(); }
    static LineSource fromText(std::string text) { return LineSource(std::move(text)); }

    // One line without its newline (a carriage return stays); nothing at the end of the input.
    // A read failure of the standard input raises its input/output error; a line longer than
    // kMaxInputBytes is read to its end without being kept and raises a user error; a line
    // there is no memory for is passed over the same way and raises std::bad_alloc.
    std::optional<std::string> readLine();

    // The read position of a text source, and a return to it.
    std::size_t position() const { return pos_; }
    void restore(std::size_t position) { pos_ = position; }

private:
    LineSource() = default;
    explicit LineSource(std::string text) : fromText_(true), text_(std::move(text)) {}

    bool fromText_ = false;
    std::string text_;
    std::size_t pos_ = 0;
};

// One logical line: lines ending in a backslash lose it and are joined to the next.  Nothing
// when the input ends, also inside such a run.
std::optional<std::string> readLogicalLine(LineSource& source);

// The reason given for a command that could not get the memory it needed.
inline constexpr std::string_view outOfMemoryText = "out of memory: the command was abandoned, the state before it is kept";

// Runs commands from the source until `quit` or the end of the input; returns the state then.
// A command that runs out of memory is reported as a user error with outOfMemoryText, and the
// state from before the command stays in force, as after any other user error; a line that
// cannot be read for want of memory is reported the same way and passed over.
CmdState commandLoop(LineSource& source, CmdState state);

// Scripts may run scripts, up to this many inside one another (a script that runs itself
// would otherwise go on until the stack is spent).
inline constexpr std::size_t kMaxScriptNesting = 100;

// Runs the script path + name with `inScript` set, skipping a first line that begins with
// "#!"; the caller's `inScript` is given back afterwards.  A file that cannot be read raises
// its input/output error; a script that would run inside kMaxScriptNesting others raises the
// user error "scripts nested too deeply (more than 100 levels)" with the file's name.
CmdState runScript(const std::string& name, const CmdState& state);

// The whole contents of a file; a failure raises the input/output error of the system, a file
// longer than kMaxInputBytes a user error.
std::string readWholeFile(const std::string& fileName);

}  // namespace plim

#include "shell/command_loop.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "shell/command_grammar.h"
#include "shell/commands.h"
#include "support/memory_reserve.h"

namespace plim {

namespace {

// The user error of a line or a file past kMaxInputBytes.
[[noreturn]] void inputTooLong(const std::string& what, std::optional<std::string> fileName) {
    IoErrorInfo info;
    info.kind = IoErrorKind::UserError;
    info.reason = what + " longer than " + std::to_string(kMaxInputBytes >> 20) + " MiB";
    info.fileName = std::move(fileName);
    throw IoError(std::move(info));
}

// The next character of the standard input; only the work thread reads it, so without the
// stream's lock (a long line is read character by character).
int nextInputChar() { return getc_unlocked(stdin); }

// Reads the rest of a line of the standard input without keeping it.
void skipRestOfLine() {
    int c;
    while ((c = nextInputChar()) != EOF && c != '\n') {
    }
}

}  // namespace

std::optional<std::string> LineSource::readLine() {
    if (fromText_) {
        if (pos_ >= text_.size()) return std::nullopt;
        const std::size_t start = pos_;
        const std::size_t end = text_.find('\n', pos_);
        const std::size_t stop = end == std::string::npos ? text_.size() : end;
        pos_ = end == std::string::npos ? text_.size() : end + 1;  // passed also when the copy finds no memory
        return text_.substr(start, stop - start);
    }
    std::string line;
    int c;
    while ((c = nextInputChar()) != EOF) {
        if (c == '\n') return line;
        if (line.size() == kMaxInputBytes) {
            line = std::string();
            skipRestOfLine();
            inputTooLong("line", std::nullopt);
        }
        try {
            line.push_back(static_cast<char>(c));
        } catch (const std::bad_alloc&) {  // the line is given up, and the next one read afresh
            line = std::string();
            skipRestOfLine();
            throw;
        }
    }
    if (std::ferror(stdin)) {
        const int e = errno;
        std::clearerr(stdin);
        IoErrorInfo info;
        info.kind = IoErrorKind::Other;
        info.action = "hGetLine";
        info.handle = "<stdin>";
        info.reason = std::strerror(e);
        throw IoError(std::move(info));
    }
    if (line.empty()) return std::nullopt;
    return line;
}

std::optional<std::string> readLogicalLine(LineSource& source) {
    std::string logical;
    for (;;) {
        std::optional<std::string> line = source.readLine();
        if (!line) return std::nullopt;
        if (line->empty() || line->back() != '\\') return logical + *line;
        line->pop_back();
        logical += *line;
        if (logical.size() > kMaxInputBytes) inputTooLong("line", std::nullopt);
    }
}

namespace {

// The report of a command that ran out of memory.  It is made before it is needed: when it is
// written, the command's memory is given back, but nothing is asked of the allocator.
const std::string& outOfMemoryReport() {
    static const std::string text = InputError(std::string(outOfMemoryText)).commandReport() + "\n";
    return text;
}

void writeOutOfMemory() { writeOut(outOfMemoryReport()); }

}  // namespace

CmdState commandLoop(LineSource& source, CmdState state) {
    outOfMemoryReport();
    for (;;) {
        // Taken anew when a command that ran out of memory, or a release that found none, gave
        // it back.
        holdMemoryReserve();
        std::optional<std::string> line;
        try {
            writeOut(promptText);
            flushOut();
            line = readLogicalLine(source);
            if (!line) {
                writeOut("\n");
                return state;
            }
            if (state.inScript) writeOut(*line);
            writeOut("\n");
        } catch (const IoError& e) {
            if (e.info().kind == IoErrorKind::UserError) {  // a line too long: skipped
                writeOut("\n" + e.message() + "\n");
                continue;
            }
            writeOut(e.message() + "\n");
            return state;
        } catch (const std::bad_alloc&) {  // no memory for the line: skipped
            writeOut("\n");
            writeOutOfMemory();
            continue;
        }
        Command command = cmd::Skip{};
        try {
            command = commandParser(*line);
        } catch (const IoError& e) {  // a line nested too deeply: reported, and the loop goes on
            writeOut(e.message() + "\n");
            continue;
        } catch (const std::bad_alloc&) {
            writeOutOfMemory();
            continue;
        }
        line.reset();
        flushOut();  // what the command's matchers write to the standard error comes after it
        if (std::holds_alternative<cmd::Quit>(command)) return state;
        try {
            state = runCommand(command, state);
        } catch (const UserError& e) {
            writeOut(e.commandReport() + "\n");
        } catch (const std::bad_alloc&) {
            writeOutOfMemory();
        }
    }
}

std::string readWholeFile(const std::string& fileName) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(fileName.c_str(), "rb"), std::fclose);
    if (!file) systemIoError(errno, "openFile", fileName);
    std::string text;
    char buffer[1 << 16];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) {
        if (n > kMaxInputBytes - text.size()) inputTooLong("file", fileName);
        text.append(buffer, n);
    }
    if (std::ferror(file.get())) systemIoError(errno, "hGetContents", fileName);
    return text;
}

namespace {

// How many scripts run inside one another on this thread just now.
thread_local std::size_t scriptDepth = 0;

struct ScriptLevel {
    ScriptLevel() { ++scriptDepth; }
    ~ScriptLevel() { --scriptDepth; }
    ScriptLevel(const ScriptLevel&) = delete;
    ScriptLevel& operator=(const ScriptLevel&) = delete;
};

}  // namespace

CmdState runScript(const std::string& name, const CmdState& state) {
    const std::string fileName = state.path + name;
    if (scriptDepth >= kMaxScriptNesting) {
        IoErrorInfo info;
        info.kind = IoErrorKind::UserError;
        info.reason = "scripts nested too deeply (more than " + std::to_string(kMaxScriptNesting) + " levels)";
        info.fileName = fileName;
        throw IoError(std::move(info));
    }
    const ScriptLevel level;
    LineSource source = LineSource::fromText(readWholeFile(fileName));
    CmdState inside = state;
    inside.inScript = true;
    CmdState after = inside;
    const std::size_t start = source.position();
    std::optional<std::string> first = source.readLine();
    if (!first) {
        writeOut("\n");  // an empty script ends at its first read
    } else {
        if (first->rfind("#!", 0) != 0) source.restore(start);
        after = commandLoop(source, inside);
    }
    after.inScript = state.inScript;
    return after;
}

}  // namespace plim

#include "shell/startup.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "shell/command_grammar.h"
#include "shell/command_loop.h"
#include "support/list_utils.h"

namespace plim {

namespace {

std::optional<Command> skipCommand(const std::string&) { return Command(cmd::Skip{}); }
std::optional<Command> programCommand(const std::string& a) { return Command(cmd::LoadProgram{a}); }
std::optional<Command> theoryCommand(const std::string& a) { return Command(cmd::LoadTheory{a}); }
std::optional<Command> pathCommand(const std::string& a) { return Command(cmd::SetPath{a}); }
std::optional<Command> runCommandOption(const std::string& a) { return Command(cmd::RunScript{a}); }
std::optional<Command> debugCommand(const std::string& a) { return Command(cmd::DebugFile{a}); }
std::optional<Command> transformCommand(const std::string& a) { return Command(cmd::ApplyTransform{a}); }
std::optional<Command> widthCommand(const std::string& a) {
    std::optional<std::int32_t> w = parseSignedDecimal(a);
    if (!w) return std::nullopt;
    return Command(cmd::SetWidth{*w});
}

OptionDescr ignoredLetter(char c) { return OptionDescr{{c}, {}, std::nullopt, skipCommand, ""}; }
OptionDescr ignoredName(const std::string& n) { return OptionDescr{{}, {n}, std::nullopt, skipCommand, ""}; }
OptionDescr real(const std::string& name, const std::string& arg, std::optional<Command> (*make)(const std::string&),
                 const std::string& description) {
    return OptionDescr{{}, {name}, arg, make, description};
}

// --- messages ----------------------------------------------------------------------------------

std::string unrecognized(const std::string& optStr) { return "unrecognized option `" + optStr + "'\n"; }
std::string requiresArgument(const std::string& optStr, const std::string& argName) {
    return "option `" + optStr + "' requires an argument " + argName + "\n";
}
std::string noArgumentAllowed(const std::string& optStr) {
    return "option `" + optStr + "' doesn't allow an argument\n";
}
std::string badArgument(const std::string& optStr, const std::string& argument) {
    return "option `" + optStr + "' requires a signed decimal number, not `" + argument + "'\n";
}

std::string joinForms(const std::vector<std::string>& forms) {
    if (forms.empty()) return "";
    return joinWith(std::string(", "), forms.front(), std::vector<std::string>(forms.begin() + 1, forms.end()));
}
std::string shortForms(const OptionDescr& o) {
    std::vector<std::string> forms;
    for (char c : o.shortNames) forms.push_back(std::string("-") + c + (o.argName ? " " + *o.argName : ""));
    return joinForms(forms);
}
std::string longForms(const OptionDescr& o) {
    std::vector<std::string> forms;
    for (const std::string& n : o.longNames) forms.push_back("--" + n + (o.argName ? "=" + *o.argName : ""));
    return joinForms(forms);
}
std::string padded(const std::string& s, std::size_t width) { return s + std::string(width - s.size(), ' '); }

std::string ambiguous(const std::string& optStr, const std::vector<const OptionDescr*>& matches) {
    std::size_t shortWidth = 0, longWidth = 0;
    for (const OptionDescr* o : matches) {
        shortWidth = std::max(shortWidth, shortForms(*o).size());
        longWidth = std::max(longWidth, longForms(*o).size());
    }
    std::string out = "option `" + optStr + "' is ambiguous; could be one of:\n";
    for (const OptionDescr* o : matches)
        out += "  " + padded(shortForms(*o), shortWidth) + "  " + padded(longForms(*o), longWidth) + "  " +
               o->description + "\n";
    return out;
}

// --- the parser ----------------------------------------------------------------------------------

struct OptionParser {
    const std::vector<std::string>& args;
    std::size_t next = 0;
    ParsedOptions out;

    void take(const OptionDescr& o, const std::string& optStr, const std::string& argument) {
        if (std::optional<Command> c = o.command(argument)) {
            out.commands.push_back(std::move(*c));
        } else {
            out.errors.push_back(badArgument(optStr, argument));
        }
    }

    void longOption(const std::string& word) {
        const std::size_t eq = word.find('=');
        const std::string name = word.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);
        const std::optional<std::string> attached =
            eq == std::string::npos ? std::nullopt : std::optional<std::string>(word.substr(eq + 1));
        const std::string optStr = "--" + name;
        std::vector<const OptionDescr*> matches;
        for (const OptionDescr& o : optionTable())
            if (std::any_of(o.longNames.begin(), o.longNames.end(),
                            [&](const std::string& l) { return l.compare(0, name.size(), name) == 0; }))
                matches.push_back(&o);
        if (matches.size() != 1) {
            out.errors.push_back(matches.empty() ? unrecognized(optStr) : ambiguous(optStr, matches));
        } else if (!matches.front()->argName) {
            if (attached) {
                out.errors.push_back(noArgumentAllowed(optStr));
            } else {
                take(*matches.front(), optStr, "");
            }
        } else if (attached) {
            take(*matches.front(), optStr, *attached);
        } else if (next < args.size()) {
            take(*matches.front(), optStr, args[next++]);
        } else {
            out.errors.push_back(requiresArgument(optStr, *matches.front()->argName));
        }
    }

    // "-abc": each letter in turn, as if "-a", "-bc" and "-c" were separate words.
    void shortOptions(const std::string& word) {
        for (std::size_t i = 1; i < word.size(); ++i) {
            const char c = word[i];
            const auto& table = optionTable();
            auto it = std::find_if(table.begin(), table.end(), [c](const OptionDescr& o) {
                return std::find(o.shortNames.begin(), o.shortNames.end(), c) != o.shortNames.end();
            });
            if (it == table.end()) {
                out.errors.push_back(unrecognized(std::string("-") + c));
            } else {
                take(*it, std::string("-") + c, "");
            }
        }
    }

    ParsedOptions run() {
        while (next < args.size()) {
            const std::string& word = args[next++];
            if (word == "--") break;
            if (word.size() > 2 && word.compare(0, 2, "--") == 0) {
                longOption(word);
            } else if (word.size() > 1 && word[0] == '-') {
                shortOptions(word);
            } else {
                --next;
                break;
            }
        }
        out.rest.assign(args.begin() + static_cast<std::ptrdiff_t>(next), args.end());
        return std::move(out);
    }
};

}  // namespace

// The eleven ignored launcher letters are those a desktop launcher or a terminal wrapper may
// pass on (-a -b -c -e -g -i -l -m -n -q -s); the two ignored long names are --console and
// --noconsole.  None takes an argument.
const std::vector<OptionDescr>& optionTable() {
    static const std::vector<OptionDescr> table = [] {
        std::vector<OptionDescr> t;
        for (char c : std::string("abcegilmnqs")) t.push_back(ignoredLetter(c));
        t.push_back(ignoredName("console"));
        t.push_back(ignoredName("noconsole"));
        t.push_back(real("program", "filename", programCommand, "program file to load"));
        t.push_back(real("theory", "filename", theoryCommand, "theory file to load"));
        t.push_back(real("path", "path", pathCommand, "path to use"));
        t.push_back(real("run", "script", runCommandOption, "script to run"));
        t.push_back(real("debug", "file", debugCommand, "HTML debugging output for rewriting process"));
        t.push_back(real("width", "width", widthCommand, "pretty printing width"));
        t.push_back(real("transform", "transformation", transformCommand, "transformation to apply"));
        return t;
    }();
    return table;
}

ParsedOptions parseOptions(const std::vector<std::string>& args) { return OptionParser{args, 0, {}}.run(); }

std::optional<std::int32_t> parseSignedDecimal(const std::string& text) {
    const bool negative = !text.empty() && text[0] == '-';
    const std::size_t start = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (start == text.size()) return std::nullopt;
    for (std::size_t i = start; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    const auto magnitude = static_cast<std::uint32_t>(strToInt(std::string_view(text).substr(start)));
    return static_cast<std::int32_t>(negative ? 0u - magnitude : magnitude);
}

CmdState runOptionCommands(const std::vector<Command>& commands, CmdState state) {
    for (const Command& c : commands) state = runCommand(c, state);
    return state;
}

std::string oneShotLine(const std::vector<std::string>& words) {
    std::string line = words.front();
    for (std::size_t i = 1; i < words.size(); ++i) {
        line += ' ';
        line += quoteArgument(words[i]);
    }
    return line;
}

namespace {

// The state a run ends with is left for the system to reclaim with the process: releasing the
// trees of a large program node by node would cost a sixth of the time it took to load them.
void keepUntilExit(CmdState state) {
    static auto* const kept = new std::vector<CmdState>();  // never released
    kept->push_back(std::move(state));
}

}  // namespace

int startUp(const std::vector<std::string>& args, const std::string& banner) {
    ParsedOptions options = parseOptions(args);
    if (!options.errors.empty()) {
        writeOut(joinWith(std::string("\n"), options.errors.front(),
                          std::vector<std::string>(options.errors.begin() + 1, options.errors.end())));
        return 2;
    }
    CmdState state = runOptionCommands(options.commands, initialState());
    if (options.rest.empty()) {
        writeOut(banner + "\n");
        LineSource terminal = LineSource::standardInput();
        keepUntilExit(commandLoop(terminal, std::move(state)));
        return 0;
    }
    Command command = commandParser(oneShotLine(options.rest));
    if (!std::holds_alternative<cmd::Quit>(command)) state = runCommand(command, state);
    keepUntilExit(std::move(state));
    return 0;
}

int fatalErrorReport(const std::string& message) {
    std::fflush(stdout);
    const std::string text = "\nFail: " + message + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    return 1;
}

}  // namespace plim

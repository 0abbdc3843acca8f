#include "frontend/printer/types.h"

#include <cstdint>
#include <iterator>
#include <utility>

#include "frontend/printer/layouts.h"
#include "layout/combinators.h"

namespace plim {

namespace {

bool isArrow(const Type& t) { return t.isTCon() && t.name() == arrowName && t.args().size() == 2; }

// A tuple type is any constructor whose name begins with "Tuple", whatever its arity.
bool isTupleName(const std::string& name) { return name.compare(0, tupleName.size(), tupleName) == 0; }

// The walk that prints a type, on a work stack so that no nesting costs call depth.  A task
// either enters a type, printed whole or as a constructor's argument, or builds a form from the
// documents of its `parts`, which the tasks entered after it leave on `done` in order.
enum class TypeStep : std::uint8_t { Whole, Argument, Parens, Brackets, Tuple, Constructor, Arrows };

struct TypeTask {
    const Type* type;
    TypeStep step;
    std::size_t parts;
};

class TypePrinter {
public:
    Doc print(const Type& t, TypeStep how) {
        work_.push_back({&t, how, 0});
        while (!work_.empty()) {
            const TypeTask task = work_.back();
            work_.pop_back();
            switch (task.step) {
            case TypeStep::Whole: enterWhole(*task.type); break;
            case TypeStep::Argument: enterArgument(*task.type); break;
            default: build(task); break;
            }
        }
        return std::move(done_.back());
    }

private:
    // A scheme prints its body; a chain of arrows a -> b -> ... -> r is one form.
    void enterWhole(const Type& t) {
        const Type* body = &t;
        while (body->isTAbs()) body = &body->body();
        if (body->isTid()) {
            done_.push_back(textDoc(body->name()));
            return;
        }
        if (isArrow(*body)) {
            std::vector<const Type*> arguments;
            const Type* result = body;
            for (; isArrow(*result); result = &result->args()[1]) arguments.push_back(&result->args()[0]);
            work_.push_back({body, TypeStep::Arrows, arguments.size() + 1});
            work_.push_back({result, TypeStep::Whole, 0});
            for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) work_.push_back({*it, TypeStep::Argument, 0});
            return;
        }
        const TypeArgs args = body->args();
        if (body->name() == listName && args.size() == 1) {
            work_.push_back({body, TypeStep::Brackets, 1});
            work_.push_back({&args[0], TypeStep::Whole, 0});
            return;
        }
        const bool tuple = isTupleName(body->name());
        work_.push_back({body, tuple ? TypeStep::Tuple : TypeStep::Constructor, args.size()});
        for (std::size_t i = args.size(); i-- > 0;) work_.push_back({&args[i], tuple ? TypeStep::Whole : TypeStep::Argument, 0});
    }

    // Parenthesised unless a variable, a list type or a constructor without arguments.
    void enterArgument(const Type& t) {
        if (t.isTid()) {
            done_.push_back(textDoc(t.name()));
            return;
        }
        if (t.isTCon() && t.name() != arrowName && (t.name() == listName || t.args().empty())) {
            enterWhole(t);
            return;
        }
        work_.push_back({&t, TypeStep::Parens, 1});
        work_.push_back({&t, TypeStep::Whole, 0});
    }

    void build(const TypeTask& task) {
        const std::size_t first = done_.size() - task.parts;
        std::vector<Doc> parts(std::make_move_iterator(done_.begin() + static_cast<std::ptrdiff_t>(first)),
                               std::make_move_iterator(done_.end()));
        done_.erase(done_.begin() + static_cast<std::ptrdiff_t>(first), done_.end());
        done_.push_back(form(task, std::move(parts)));
    }

    static Doc form(const TypeTask& task, std::vector<Doc> parts) {
        switch (task.step) {
        case TypeStep::Parens: return parensDoc(parts[0]);
        case TypeStep::Brackets: return bracketsDoc(parts[0]);
        case TypeStep::Tuple: return parensDoc(ppSeparated(',', parts));
        case TypeStep::Constructor:
            parts.insert(parts.begin(), textDoc(task.type->name()));
            return ppSeparated(' ', parts);
        case TypeStep::Arrows: {
            Doc doc = parts.back();
            for (std::size_t i = parts.size() - 1; i-- > 0;) doc = hvSpList(std::vector<Doc>{parts[i], fixedText<"->">(), doc});
            return doc;
        }
        default: break;
        }
        return emptyDoc();
    }

    std::vector<TypeTask> work_;
    std::vector<Doc> done_;
};

}  // namespace

Doc ppSeparated(char separator, const std::vector<Doc>& docs) {
    if (docs.empty()) return emptyDoc();
    Doc acc = docs.back();
    for (std::size_t i = docs.size() - 1; i-- > 0;) acc = besideDoc(docs[i], besideDoc(ppChar(separator), acc));
    return acc;
}

Doc ppType(const Type& t) { return TypePrinter().print(t, TypeStep::Whole); }

Doc ppTypeArg(const Type& t) { return TypePrinter().print(t, TypeStep::Argument); }

std::string showType(const Type& t) { return renderAtPrinterBounds(ppType(t)); }

}  // namespace plim

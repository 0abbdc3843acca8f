// Type reports and the report lists of the checker.
#include <ostream>

#include "frontend/typecheck/checker.h"
#include "frontend/printer/types.h"
#include "support/errors.h"

namespace plim {

Messages appendMessages(const Messages& a, const Messages& b) {
    if (a.isEvaluated() && a.empty()) return b;
    return Messages::defer([a, b]() -> Messages {
        if (a.empty()) return b;
        return Messages::cons(a.head(), appendMessages(a.tail(), b));
    });
}

std::string concatTheoryErrors(const Messages& messages) {
    std::string out;
    for (Messages at = messages; !at.empty(); at = at.tail()) out += at.head();
    return out;
}

void writeTheoryErrors(const Messages& messages, std::ostream& out) {
    for (Messages at = messages; !at.empty(); at = at.tail()) {
        out << at.head();
        out.flush();
    }
}

std::vector<std::string> typeerror(const UnifyResult& u, std::int32_t line, const std::string& detail) {
    if (u.isOk()) return {};
    return {">TYPE ERROR near line " + std::to_string(line) + "\n" + detail + "\n" + erroruni(u)};
}

std::string erroruni(const UnifyResult& u) {
    switch (u.kind()) {
    case UnifyKind::ConstructorMismatch:
        return ">mismatch of type constructors\n>between type: " + showType(u.left()) + "\n>and type: " +
               showType(u.right()) + "\n";
    case UnifyKind::OccursFailure:
        return ">occurs check failed for type variable: " + u.var() + "\n>in type: " + showType(u.occursIn()) + "\n";
    case UnifyKind::UnifyOk: break;
    }
    patternFail(CodedFailure::UnifyReportOk);
}

std::string builtinTypeError(std::int32_t line, const std::string& detail, const std::string& typeName) {
    return ">TYPE ERROR near line " + std::to_string(line) + "\n" + detail + "\n>declaration of built-in type: " +
           typeName + "\n";
}

std::string errorapp(const TypeLookup& lookup, std::int32_t line) {
    if (lookup.found()) patternFail(CodedFailure::ApplicationReportFound);
    return ">UNDEFINED near line " + std::to_string(line) + " : " + lookup.name() + "\n";
}

}  // namespace plim

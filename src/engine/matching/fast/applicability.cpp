// The applicability test read straight from the expressions: the rigid symbols that the
// converted pattern requires, looked up among those of the converted term, without building
// either term.
#include <algorithm>
#include <unordered_map>

#include "engine/matching/fast/matcher.h"
#include "support/errors.h"

namespace plim::fast {

namespace {

// Which variables are bound where: by the context of the expression (local, and free inside
// it) or by a lambda inside it.
class Bindings {
public:
    explicit Bindings(std::vector<std::string> context) : context_(std::move(context)) {}
    bool inner(const std::string& n) const {
        auto it = inner_.find(n);
        return it != inner_.end() && it->second > 0;
    }
    bool local(const std::string& n) const {
        return inner(n) || std::find(context_.begin(), context_.end(), n) != context_.end();
    }
    void enter(const std::vector<std::string>& ns) {
        for (const auto& n : ns) ++inner_[n];
    }
    void leave(const std::vector<std::string>& ns) {
        for (const auto& n : ns) --inner_[n];
    }

private:
    std::vector<std::string> context_;
    std::unordered_map<std::string, int> inner_;
};

// The names a lambda pattern binds, as its conversion would find them.
std::vector<std::string> patternNames(const Expr& pattern) {
    if (holdsLet(pattern)) failUser("can't handle non-variable/tuple lambda bindings");
    const Term p = convertPrime({}, pattern);
    if (!bindersFit(p)) failUser("can't handle non-variable/tuple lambda bindings");
    return binders(p).second;
}

class Collector {
public:
    Collector(const std::vector<std::string>& context, bool pattern) : scope_(context), pattern_(pattern) {}

    // With an explicit stack: a long spine costs no native stack.
    void walk(const Expr& root) {
        struct Item {
            const Expr* expr;  // null: leave the innermost open lambda
        };
        std::vector<Item> stack{{&root}};
        std::vector<std::vector<std::string>> open;  // names of the lambdas being walked
        std::vector<const Expr*> args;
        while (!stack.empty()) {
            const Item it = stack.back();
            stack.pop_back();
            if (!it.expr) {
                scope_.leave(open.back());
                open.pop_back();
                continue;
            }
            const Expr& e = *it.expr;
            switch (e.kind()) {
            case ExprKind::Var:
                if (!scope_.inner(e.name()) && scope_.local(e.name()))
                    emit(Rigid{RigidKind::RigidVar, e.name(), std::nullopt});
                continue;
            case ExprKind::Con: emit(Rigid{RigidKind::RigidCon, {}, e.constant()}); continue;
            case ExprKind::Ap: {
                // The converted head is a saturated tuple (rigid) when a tuple constant takes
                // its arity of arguments, else the head expression itself, flexible when it is
                // a lambda or a variable that is not local.
                args.clear();  // outermost first
                const Expr* head = &e;
                for (; head->isAp(); head = &head->fun()) args.push_back(&head->arg());
                const std::size_t n = args.size();
                const bool tuple = head->isCon() && head->constant().kind() == ConstantKind::Tuple &&
                                   head->constant().arity() >= 1 &&
                                   static_cast<std::size_t>(head->constant().arity()) <= n;
                if (pattern_ && !tuple && (head->isLam() || (head->isVar() && !scope_.local(head->name()))))
                    continue;
                for (const Expr* a : args) stack.push_back({a});
                if (!tuple) stack.push_back({head});
                continue;
            }
            case ExprKind::Lam:
                open.push_back(patternNames(e.pattern()));
                scope_.enter(open.back());
                stack.push_back({nullptr});
                stack.push_back({&e.body()});
                continue;
            case ExprKind::Let: break;
            }
            patternFail(CodedFailure::FastConvertLet);
        }
    }

    std::vector<std::string> keys() {
        std::sort(keys_.begin(), keys_.end());
        keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
        return std::move(keys_);
    }

private:
    Bindings scope_;
    bool pattern_;
    std::vector<std::string> keys_;

    void emit(const Rigid& r) {
        auto k = rigidKey(r);
        if (k) keys_.push_back(std::move(*k));
        else if (pattern_) keys_.push_back(std::string());  // found in no term
    }

};

}  // namespace

}  // namespace plim::fast

namespace plim {

bool fastApplicableExpr(const Expr& p, const TermCtx& t) {
    fast::Collector pc({}, true);
    pc.walk(p);
    const auto pk = pc.keys();
    if (pk.empty()) return true;
    const auto names = fast::contextNames(t.bound);
    fast::Collector tc(names, false);
    tc.walk(t.expr);
    const auto tk = tc.keys();
    return std::includes(tk.begin(), tk.end(), pk.begin(), pk.end());
}

}  // namespace plim

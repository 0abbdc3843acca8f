// The HTML debugging page of a derivation.
#include "engine/calculations/calculation.h"

#include "frontend/printer/expressions.h"

namespace plim {

namespace {

Html tag(std::string_view name, std::vector<HtmlAttr> attrs, Html content = {}) {
    return Html{HtmlTag(name, std::move(attrs), std::move(content))};
}

Html concat2(Html a, const Html& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Html italic(std::string_view text) { return tag("I", {}, stringToHtml(text)); }
Html breakLine() { return tag("BR", {}); }

// The lines of a text: no final empty line, none at all for the empty text.
std::vector<std::string> textLines(const std::string& text) {
    std::vector<std::string> out;
    std::size_t from = 0;
    while (from < text.size()) {
        std::size_t nl = text.find('\n', from);
        if (nl == std::string::npos) nl = text.size();
        out.push_back(text.substr(from, nl - from));
        from = nl + 1;
    }
    return out;
}

Html labelHtml(const std::string& label) {
    if (label.empty()) return {};
    return Html{HtmlString(escapeHtmlText(label))};
}

HtmlRun substitutionSection(const MatchResult& m, const IdSupply& ids) {
    return expanderSection(false, "calc", tag("DIV", {strAttr("CLASS", "subcalc")}, substHtml(m.subst)),
                           italic("substitution"), ids);
}

// The hint of a step: its label and the sections that justify it.  The sections stand directly
// in the DIV, not in a paragraph: a browser ends a paragraph at the first block inside it (the
// DIV of a substitution), which would take that block out of its section, and it would show
// whether folded or not.
Html hintHtml(const std::string& label, const Html& sections) {
    Html content = stringToHtml("= { ");
    content = concat2(std::move(content), labelHtml(label));
    content = concat2(std::move(content), stringToHtml(" }"));
    content = concat2(std::move(content), sections);
    return tag("DIV", {strAttr("CLASS", "hint")}, std::move(content));
}

}  // namespace

IdSupply idSupply() { return varNames(); }

const std::string& dobranchScript() {
    static const std::string script =
        "<!--\n"
        "function dobranch(branchon, branchoff, imageID) {\n"
        "         if (branchon.style.display == \"none\") {\n"
        "                branchon.style.display = \"\";\n"
        "                branchoff.style.display = \"none\";\n"
        "                imageID.src = \"minus.gif\";\n"
        "       } else {\n"
        "                branchon.style.display = \"none\";\n"
        "                branchoff.style.display = \"\";\n"
        "                imageID.src = \"plus.gif\";\n"
        "       }\n"
        "}\n"
        "// -->\n";
    return script;
}

HtmlRun expanderSection(bool open, const std::string& cls, const Html& details, const Html& label,
                        const IdSupply& ids) {
    const std::string n = ids.head();
    Html out = tag("SPAN",
                   {strAttr("CLASS", "expander"),
                    strAttr("ONCLICK", "dobranch(divon" + n + ",divoff" + n + ",img" + n + ")")},
                   tag("IMG", {strAttr("SRC", open ? "minus.gif" : "plus.gif"), strAttr("ID", "img" + n),
                               strAttr("ALT", "button")}));
    out = concat2(std::move(out), tag("SPAN",
                                      {strAttr("CLASS", cls), strAttr("ID", "divon" + n),
                                       strAttr("STYLE", open ? "display:" : "display: none")},
                                      details));
    out = concat2(std::move(out), tag("SPAN",
                                      {strAttr("CLASS", cls), strAttr("ID", "divoff" + n),
                                       strAttr("STYLE", open ? "display: none" : "display:")},
                                      label));
    return {std::move(out), ids.tail()};
}

Html expressionBlock(const Expr& e) {
    const std::string text = renderDocAtBounds(ppExpr(0, displayForm(e)), PageBounds(160, 160));
    return tag("DIV", {strAttr("CLASS", "expression")}, tag("P", {}, linesHtml(textLines(text))));
}

HtmlRun calculationHtml(const Calculation& c, const IdSupply& ids) {
    auto [subst, s1] = substitutionSection(c.match(), ids);
    if (!c.isConditional()) return {hintHtml(c.label(), subst), s1};
    IdSupply s = s1;
    Html nested;
    for (const Derivation& d : c.conditions()) {
        auto [h, next] = calcToHtml(d.start, d.steps, d.failures, s);
        nested = concat2(std::move(nested), h);
        s = next;
    }
    auto [details, s2] =
        expanderSection(true, "calc", tag("DIV", {strAttr("CLASS", "subcalc")}, std::move(nested)), italic("details"), s);
    return {hintHtml(c.label(), concat2(std::move(subst), details)), s2};
}

HtmlRun calcToHtml(const Expr& start, const CalcSteps& steps, const Failures& failures, const IdSupply& ids) {
    IdSupply s = ids.tail();
    Html body = expressionBlock(start);
    for (CalcSteps at = steps; !at.empty(); at = at.tail()) {
        auto [h, next] = calculationHtml(at.head().first, s);
        body = concat2(std::move(body), h);
        body = concat2(std::move(body), expressionBlock(at.head().second));
        s = next;
    }
    if (!failures.empty()) {
        Html items = tag("HR", {});
        for (Failures at = failures; !at.empty(); at = at.tail()) {
            auto [h, next] = calculationHtml(at.head(), s);
            items = concat2(std::move(items), h);
            items = concat2(std::move(items), tag("HR", {}));
            s = next;
        }
        auto [section, next] = expanderSection(false, "calc", items, italic("failures"), s);
        body = concat2(std::move(body), section);
        s = next;
    }
    body = concat2(std::move(body), breakLine());
    return expanderSection(true, "calc", body, breakLine(), s);
}

Html debugPage(const Derivation& d) {
    Html head = tag("TITLE", {}, stringToHtml("PLIM Debugging Output"));
    head = concat2(std::move(head),
                   tag("LINK", {strAttr("REL", "STYLESHEET"), strAttr("TYPE", "text/css"), strAttr("HREF", "plim.css")}));
    Html body = tag("SCRIPT", {strAttr("TYPE", "text/javascript")}, Html{HtmlString(dobranchScript())});
    body = concat2(std::move(body), calcToHtml(d.start, d.steps, d.failures, idSupply()).first);
    Html page = tag("HEAD", {}, std::move(head));
    return concat2(std::move(page), tag("BODY", {}, std::move(body)));
}

}  // namespace plim

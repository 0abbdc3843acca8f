#include "html/text.h"

#include <array>

#include "support/errors.h"

namespace plim {

// --- escaping and text ---------------------------------------------------------------------

std::string escapeHtmlText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string nonBreakingSpaces(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        if (c == ' ')
            out += "&nbsp;";
        else
            out += c;
    }
    return out;
}

std::string escapeHtmlLine(std::string_view s) { return nonBreakingSpaces(escapeHtmlText(s)); }

Html stringToHtml(std::string_view s) { return {HtmlString(escapeHtmlText(s))}; }

Html lineHtml(std::string_view s) { return {HtmlString(escapeHtmlLine(s))}; }

Html linesHtml(const std::vector<std::string>& lines) {
    Html out;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0) out.push_back(brElement.front());
        out.push_back(HtmlString(escapeHtmlLine(lines[i])));
    }
    return out;
}

Html linesHtmlFrom(const std::string& first, const std::vector<std::string>& others) {
    std::vector<std::string> lines{first};
    lines.insert(lines.end(), others.begin(), others.end());
    return linesHtml(lines);
}

Html stringAsHtml(std::string_view s) {
    if (s.empty()) return {};
    return stringToHtml(s);
}

Html charAsHtml(char c) { return stringToHtml(std::string_view(&c, 1)); }

Html stringListToHtml(const std::vector<std::string>& strings) {
    Html out;
    for (const std::string& s : strings)
        if (!s.empty()) out.push_back(HtmlString(escapeHtmlText(s)));
    return out;
}

// --- links and forms -----------------------------------------------------------------------

Html anchor(const HotLink& link) {
    std::vector<HtmlAttr> attrs{hrefAttr(link.hotLinkURL)};
    attrs.insert(attrs.end(), link.hotLinkAttributes.begin(), link.hotLinkAttributes.end());
    return withAttributes(aTag(concatHtml(link.hotLinkContents)), attrs);
}

Html anchors(const std::vector<HotLink>& links) {
    Html out;
    for (const HotLink& l : links) {
        Html a = anchor(l);
        out.insert(out.end(), a.begin(), a.end());
    }
    return out;
}

Html inputField(std::string_view type, std::string_view name, const std::vector<HtmlAttr>& extra) {
    std::vector<HtmlAttr> attrs{typeAttr(type), nameAttr(name)};
    attrs.insert(attrs.end(), extra.begin(), extra.end());
    return withAttributes(inputElement, attrs);
}

Html checkboxInput(std::string_view name, std::string_view value) {
    return inputField("CHECKBOX", name, {valueAttr(value)});
}
Html hiddenInput(std::string_view name, std::string_view value) {
    return inputField("HIDDEN", name, {valueAttr(value)});
}
Html radioInput(std::string_view name, std::string_view value) {
    return inputField("RADIO", name, {valueAttr(value)});
}
Html resetInput(std::string_view name, std::string_view value) {
    return inputField("RESET", name, {valueAttr(value)});
}
Html submitInput(std::string_view name, std::string_view value) {
    return inputField("SUBMIT", name, {valueAttr(value)});
}
Html passwordInput(std::string_view name) { return inputField("PASSWORD", name); }
Html textInput(std::string_view name) { return inputField("TEXT", name); }
Html fileInput(std::string_view name) { return inputField("FILE", name); }
Html imageInput(std::string_view name) { return inputField("IMAGE", name); }

Html form(std::string_view action, Html content) {
    return withAttributes(formTag(std::move(content)), {actionAttr(action), methodAttr(postMethodText)});
}

std::vector<Html> menuOptions(const std::vector<Html>& choices) {
    std::vector<Html> options;
    options.reserve(choices.size());
    for (const Html& choice : choices) options.push_back(optionTag(pTag(choice)));
    return options;
}

Html menu(std::string_view name, const std::vector<Html>& choices) {
    return withAttributes(selectTag(concatHtml(menuOptions(choices))), {nameAttr(name)});
}

// --- entities, colours and constants -------------------------------------------------------

Html entityHtml(std::string_view name) {
    std::string text = "&";
    text.append(name).append(";");
    return {HtmlString(std::move(text))};
}

List<std::string> treeColours() {
    static const std::array<std::string, 4> cycle{"#88ccff", "#ffffaa", "#ffaaff", "#ccffff"};
    return generate([](std::size_t i) { return cycle[i % cycle.size()]; });
}

void besidesEmptyError() { failInternal("besides []"); }
void abovesEmptyError() { failInternal("aboves []"); }
void impossibleError() { failInternal("The imposible happens"); }

}  // namespace plim

#include "html/tags.h"

namespace plim {

#define PLIM_HTML_NAME(id, text) text,

const std::vector<std::string>& contentTagNames() {
    static const std::vector<std::string> names{PLIM_HTML_CONTENT_TAGS(PLIM_HTML_NAME, PLIM_HTML_NAME)};
    return names;
}

const std::vector<std::string>& attributeNames() {
    static const std::vector<std::string> names{PLIM_HTML_ATTRIBUTES(PLIM_HTML_NAME, PLIM_HTML_NAME, PLIM_HTML_NAME)};
    return names;
}

#undef PLIM_HTML_NAME

}  // namespace plim

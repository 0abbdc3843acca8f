#include "frontend/pprint_layout.h"

#include <utility>

namespace plim {

std::string renderAtPrinterBounds(const Doc& d) {
    return renderDocAtBounds(d, PageBounds(kPrinterPageWidth, kPrinterPageWidth));
}

const ParDoc& funDefTemplate() {
    static const ParDoc layout = [] {
        ParDoc horizontal = besideParDoc(filterParDoc(parDoc()), parDoc());
        ParDoc vertical = aboveParDoc(parDoc(), indentParDoc(3, parDoc()));
        return joinParDoc(choiceParDoc(std::move(horizontal), std::move(vertical)));
    }();
    return layout;
}

Doc withSemicolon(Doc d) { return besideDoc(std::move(d), textDoc(";")); }

Doc withSemicolonNewline(Doc d) { return besideDoc(std::move(d), textDoc(";\n")); }

std::vector<Doc> punctuateInit(const std::function<Doc(Doc)>& f, std::vector<Doc> ds) {
    for (std::size_t i = 0; i + 1 < ds.size(); ++i) ds[i] = f(std::move(ds[i]));
    return ds;
}

}  // namespace plim

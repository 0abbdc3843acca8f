#include "layout/rendering.h"

namespace plim {

Doc spaceDoc() {
    static const Doc blank = ppChar(' ');
    return blank;
}

const List<char>& endlessBlanks() {
    // One cell whose tail is the cell itself.  It lives as long as the program.
    static const List<char>* blanks = new List<char>(List<char>::defer([] { return List<char>::cons(' ', *blanks); }));
    return *blanks;
}

void layoutAt160(std::string& out, const Doc& d) {
    renderDocTo(out, d, 160);
}

std::string layoutTextAt(LayoutInt width, const Doc& d) {
    return renderDoc(d, width);
}

std::string layoutTextAt160(const Doc& d) {
    return renderDoc(d, 160);
}

}  // namespace plim

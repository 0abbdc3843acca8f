#include "scanning/string_literal.h"

namespace plim {

namespace {

const char* const kControlNames[32] = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "a",  "b",  "t",  "n",  "v",  "f",  "r",  "SO", "SI",
    "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM", "SUB", "ESC", "FS", "GS", "RS", "US"};

}  // namespace

void appendStringLiteral(std::string& out, std::string_view s) {
    out += '"';
    for (std::size_t i = 0; i < s.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const bool more = i + 1 < s.size();
        const unsigned char next = more ? static_cast<unsigned char>(s[i + 1]) : 0;
        if (c == '"') {
            out += "\\\"";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c >= 32 && c <= 126) {
            out += static_cast<char>(c);
        } else if (c == 127) {
            out += "\\DEL";
        } else if (c > 127) {
            out += '\\';
            out += std::to_string(c);
            if (more && next >= '0' && next <= '9') out += "\\&";
        } else {
            out += '\\';
            out += kControlNames[c];
            if (c == 14 && more && next == 'H') out += "\\&";
        }
    }
    out += '"';
}

std::string showStringLiteral(std::string_view s) {
    std::string out;
    appendStringLiteral(out, s);
    return out;
}

void appendStringListLiteral(std::string& out, const std::vector<std::string>& items) {
    out += '[';
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out += ',';
        appendStringLiteral(out, items[i]);
    }
    out += ']';
}

}  // namespace plim

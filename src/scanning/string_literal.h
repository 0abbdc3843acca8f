// Strings written as double-quoted literals, with the escapes of the language's string syntax:
// \" and \\, printable ASCII as is, named control escapes (\n, \SOH, \DEL, ...), decimal
// escapes above 127, and the empty escape \& where the next character would change the
// meaning (a digit after a decimal escape, "H" after \SO).
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace plim {

void appendStringLiteral(std::string& out, std::string_view s);
std::string showStringLiteral(std::string_view s);
// A list of strings: "[", the literals separated by ",", "]".
void appendStringListLiteral(std::string& out, const std::vector<std::string>& items);

}  // namespace plim

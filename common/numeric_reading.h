#pragma once

#include <string_view>

namespace mirelo {

// Reads the number a user typed into a text field. Never fails:
//  - blanks, tabs and line feeds anywhere are dropped (the ideographic space too);
//  - full-width ASCII forms from Japanese input methods count as their ASCII counterparts;
//  - the longest leading piece of the form [sign] digits [. digits] [(E|D) [sign] digits] is taken,
//    with the period as the only decimal point, whatever the locale;
//  - text without a leading number reads as 0; a number too large for a double reads as +/-infinity.
// The text is UTF-8.
double ReadNumber(std::string_view utf8Text);

}  // namespace mirelo

#pragma once

#include <optional>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace mirelo {

// Why a field's text is not taken as a number.
enum class FieldRefusal {
    NotANumber,  // anything but one whole decimal number (and its unit): "1,5", "l2.5", "3 mm x"
};

// Reads the number a user typed into a number field of a window. The text is UTF-8.
//  - blanks, tabs and line feeds anywhere are dropped (the ideographic space too), and full-width
//    ASCII forms from Japanese input methods count as the characters they are ("８０" is 80);
//  - nothing left: no value (std::nullopt), and the field's own meaning of an empty field applies;
//  - otherwise the text must be one whole decimal number, [sign] digits [. digits] [(E|D) [sign]
//    digits], optionally followed by one of `units`, the unit printed beside the field ("2.5mm").
//    The period is the only decimal point: a comma is refused, never read as one. A number too
//    large for a double reads as +/-infinity, for the field's range check to refuse.
Result<std::optional<double>, FieldRefusal> ReadFieldNumber(std::string_view utf8Text,
                                                            const std::vector<std::string_view>& units = {});

}  // namespace mirelo

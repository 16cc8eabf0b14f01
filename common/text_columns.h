#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mirelo {

// Columns a UTF-8 text takes in a terminal or a fixed-pitch font: East Asian wide and fullwidth
// characters (kanji, kana, hangul, fullwidth forms) take two, combining marks none, anything else one,
// and a byte that is not valid UTF-8 one (it is shown as U+FFFD). Tables of text that hold a protocol
// such as "頭部" line up only when padded by this, not by bytes or characters.
std::size_t TextColumns(std::string_view utf8);

// `text` with spaces after it up to `columns`; as it is when it is that wide already.
std::string PadToColumns(std::string text, std::size_t columns);

}  // namespace mirelo

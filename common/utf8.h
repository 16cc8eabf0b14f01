#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mirelo {

// One code point of the UTF-8 text at text[pos], pos moved past it. A byte that does not begin a
// complete sequence decodes as U+FFFD and moves pos by one byte, as a terminal shows one replacement
// character for each such byte.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos);

// `cp` appended to `out` in UTF-8.
void AppendUtf8(std::string& out, char32_t cp);

}  // namespace mirelo

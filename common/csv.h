#pragma once

#include <string>
#include <string_view>

namespace mirelo {

// A text cell of a CSV file. Quoted (a quote doubled inside) when it holds a comma, a quote, a CR or
// an LF, or begins or ends with a blank, so that every reader, ours included, gets it back whole.
// A text that begins with =, +, -, @, a tab or a CR gets a leading apostrophe first, so that a
// spreadsheet shows it instead of running it as a formula. Numbers are not text cells: they are
// written with ShortestText (common/number_text.h) and never changed.
std::string CsvText(std::string_view text);

}  // namespace mirelo

#pragma once

#include <cstddef>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "calc/conditions.h"
#include "common/result.h"

namespace mirelo::calc {

// The columns of a batch file in the order of its header line.
struct BatchHeader {
    std::vector<Field> columns;
};

// One line of comma-separated values. A value may be quoted ("a,b"; "" inside quotes is a quote);
// blanks and tabs around a value are dropped, and so is a CR left over from a CR LF line end.
Result<std::vector<std::string>, std::string> SplitCsvLine(std::string_view line);

// The header: names of the conditions (kv, kv_high, spread, angle, inherent, al, cu, area_dose,
// unit; case does not matter), each at most once; kv is needed, the others take their defaults.
// A leading UTF-8 byte-order mark is skipped.
Result<BatchHeader, std::string> ReadBatchHeader(std::string_view line);

// One calculation: the line's values by column; an empty value takes the default.
Result<ConditionTexts, InputError> ReadBatchRow(const BatchHeader& header, std::string_view line);

// The longest batch line read; a longer one is refused, so that an input without line ends (a
// device, a binary file) cannot grow the memory without end.
inline constexpr std::size_t kMaxBatchLineBytes = 64 * 1024;

enum class LineRead { Line, End, TooLong };
// The next line of `in` without its LF, at most `limit` bytes; on TooLong the rest is not read.
LineRead ReadBatchLine(std::istream& in, std::string& line, std::size_t limit = kMaxBatchLineBytes);

// Lines with nothing but blanks (or a CR) carry no calculation and are passed over.
bool IsBlankLine(std::string_view line);

}  // namespace mirelo::calc

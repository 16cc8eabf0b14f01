// Any bytes as a coefficient file: the reader must either refuse with a message or return exactly
// the number of finite values asked for, each with the line it starts on.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tables/table_error_text.h"
#include "tables/table_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (std::size_t count : {std::size_t{1}, std::size_t{7}, std::size_t{2100}}) {
        const auto values = mirelo::ReadValues(text, count);
        if (values) {
            if (values->values.size() != count || values->lines.size() != count) {
                __builtin_trap();
            }
            for (double v : values->values) {
                if (!std::isfinite(v)) {
                    __builtin_trap();
                }
            }
        } else if (mirelo::DescribeTableError(values.error()).find('\0') != std::string::npos) {
            __builtin_trap();  // a message must survive being printed
        }
    }
    // The same bytes as both files at once.
    const auto tables = mirelo::ParseTables(text, text);
    if (!tables && mirelo::DescribeTableError(tables.error()).empty()) {
        __builtin_trap();
    }
    return 0;
}

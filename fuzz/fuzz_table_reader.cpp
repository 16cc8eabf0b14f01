// Any bytes as a coefficient file: the reader must either refuse with a message or return exactly
// the number of finite values asked for.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/table_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string error;
    for (std::size_t count : {std::size_t{1}, std::size_t{7}, std::size_t{2100}}) {
        const auto values = mirelo::ReadValues(text, count, error);
        if (values) {
            if (values->size() != count) {
                __builtin_trap();
            }
            for (double v : *values) {
                if (!std::isfinite(v)) {
                    __builtin_trap();
                }
            }
        } else if (error.empty()) {
            __builtin_trap();
        }
    }
    // The same bytes as both files at once.
    const auto tables = mirelo::ParseTables(text, text, error);
    if (!tables && error.empty()) {
        __builtin_trap();
    }
    return 0;
}

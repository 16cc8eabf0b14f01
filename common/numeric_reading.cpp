#include "common/numeric_reading.h"

#include <string>

#include "common/decimal.h"
#include "common/utf8.h"

namespace mirelo {
namespace {

// The text without blanks, full-width ASCII forms folded to ASCII; other characters stay as they are.
std::string Normalise(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = DecodeUtf8(text, pos);
        if (cp == U' ' || cp == U'\t' || cp == U'\n' || cp == U'\r' || cp == 0x3000) {
            continue;
        }
        if (cp >= 0xFF01 && cp <= 0xFF5E) {
            cp = cp - 0xFF01 + 0x21;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

}  // namespace

Result<std::optional<double>, FieldRefusal> ReadFieldNumber(std::string_view utf8Text,
                                                            const std::vector<std::string_view>& units) {
    const std::string text = Normalise(utf8Text);
    if (text.empty()) {
        return std::optional<double>();
    }
    std::string_view number = text;
    for (const std::string_view unit : units) {
        const std::string u = Normalise(unit);
        if (!u.empty() && number.size() > u.size() && number.substr(number.size() - u.size()) == u) {
            number.remove_suffix(u.size());
            break;
        }
    }
    if (!IsDecimalNumber(number)) {
        return Failure{FieldRefusal::NotANumber};
    }
    return std::optional<double>(DecimalValue(number));
}

}  // namespace mirelo

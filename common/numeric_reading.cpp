#include "common/numeric_reading.h"

#include <string>

#include "common/decimal.h"

namespace mirelo {
namespace {

// Decodes one UTF-8 code point at text[pos]; advances pos. Malformed bytes decode as U+FFFD.
char32_t DecodeUtf8(std::string_view text, std::size_t& pos) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    int extra = 0;
    char32_t cp = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        cp = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        cp = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        cp = lead & 0x07u;
    } else {
        ++pos;
        return 0xFFFD;
    }
    if (pos + static_cast<std::size_t>(extra) >= text.size()) {  // truncated sequence
        pos = text.size();
        return 0xFFFD;
    }
    for (int k = 1; k <= extra; ++k) {
        const auto cont = static_cast<unsigned char>(text[pos + static_cast<std::size_t>(k)]);
        if ((cont & 0xC0) != 0x80) {
            pos += static_cast<std::size_t>(k);
            return 0xFFFD;
        }
        cp = (cp << 6) | (cont & 0x3Fu);
    }
    pos += static_cast<std::size_t>(extra) + 1;
    return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

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

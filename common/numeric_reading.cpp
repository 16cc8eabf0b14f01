#include "common/numeric_reading.h"

#include <cstdint>
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

// ASCII view of what the user typed: full-width forms folded, dropped characters removed.
// Only the characters a number can be made of matter, so anything else becomes '?'.
std::string Normalise(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = DecodeUtf8(text, pos);
        if (cp == U' ' || cp == U'\t' || cp == U'\n' || cp == 0x3000) {
            continue;
        }
        if (cp >= 0xFF01 && cp <= 0xFF5E) {
            cp = cp - 0xFF01 + 0x21;
        }
        out.push_back(cp < 0x80 ? static_cast<char>(cp) : '?');
    }
    return out;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

double ReadNumber(std::string_view utf8Text) {
    const std::string s = Normalise(utf8Text);
    std::size_t i = 0;
    std::string token;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        token.push_back(s[i]);
        ++i;
    }
    bool anyDigit = false;
    while (i < s.size() && IsDigit(s[i])) {
        token.push_back(s[i++]);
        anyDigit = true;
    }
    if (i < s.size() && s[i] == '.') {
        token.push_back(s[i++]);
        while (i < s.size() && IsDigit(s[i])) {
            token.push_back(s[i++]);
            anyDigit = true;
        }
    }
    if (!anyDigit) {
        return 0.0;
    }
    // The exponent counts only when digits follow it; "2E" is just 2.
    if (i < s.size() && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        std::size_t j = i + 1;
        std::string exponent = "E";
        if (j < s.size() && (s[j] == '+' || s[j] == '-')) {
            exponent.push_back(s[j++]);
        }
        const std::size_t firstDigit = j;
        while (j < s.size() && IsDigit(s[j])) {
            exponent.push_back(s[j++]);
        }
        if (j > firstDigit) {
            token += exponent;
        }
    }
    // The token is a plain decimal number by construction: the same conversion as the table files.
    return DecimalValue(token);
}

}  // namespace mirelo

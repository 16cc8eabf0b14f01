#include "app/table_reader.h"

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <locale.h>
#include <sstream>
#include <system_error>

namespace mirelo {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A whole token must be one decimal number: [sign] digits [. digits] [exponent].
bool IsDecimalNumber(std::string_view t) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
        ++i;
    }
    bool digits = false;
    while (i < t.size() && IsDigit(t[i])) {
        ++i;
        digits = true;
    }
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && IsDigit(t[i])) {
            ++i;
            digits = true;
        }
    }
    if (!digits) {
        return false;
    }
    if (i < t.size() && (t[i] == 'E' || t[i] == 'e' || t[i] == 'D' || t[i] == 'd')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
            ++i;
        }
        const std::size_t first = i;
        while (i < t.size() && IsDigit(t[i])) {
            ++i;
        }
        if (i == first) {
            return false;
        }
    }
    return i == t.size();
}

double ToDouble(std::string_view token) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    std::string s(token);
    for (char& c : s) {
        if (c == 'D' || c == 'd') {
            c = 'E';
        }
    }
    return strtod_l(s.c_str(), nullptr, cLocale);
}

std::string Shown(std::string_view token) {
    constexpr std::size_t kMax = 40;
    std::string s(token.substr(0, kMax));
    if (token.size() > kMax) {
        s += "...";
    }
    return s;
}

std::optional<std::string> ReadFile(const std::filesystem::path& path, std::string& error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot be opened";
        return std::nullopt;
    }
    std::ostringstream buffer;
    buffer << in.rdbuf();
    if (in.bad()) {
        error = "cannot be read";
        return std::nullopt;
    }
    return buffer.str();
}

}  // namespace

std::optional<std::vector<double>> ReadValues(std::string_view text, std::size_t count, std::string& error) {
    std::vector<double> values;
    values.reserve(count);
    std::size_t pos = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        pos = 3;
    }
    std::size_t line = 1;
    bool commaPending = false;  // a comma was read and its value has not come yet
    while (values.size() < count) {
        while (pos < text.size() && IsBlank(text[pos])) {
            if (text[pos] == '\n') {
                ++line;
            }
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        if (text[pos] == ',') {
            if (commaPending || values.empty()) {
                error = "value " + std::to_string(values.size() + 1) + " (line " + std::to_string(line) + ") is empty";
                return std::nullopt;
            }
            commaPending = true;
            ++pos;
            continue;
        }
        const std::size_t start = pos;
        while (pos < text.size() && !IsBlank(text[pos]) && text[pos] != ',') {
            ++pos;
        }
        const std::string_view token = text.substr(start, pos - start);
        const std::string where = "value " + std::to_string(values.size() + 1) + " (line " + std::to_string(line) + ")";
        if (!IsDecimalNumber(token)) {
            error = where + " is not a number: \"" + Shown(token) + "\"";
            return std::nullopt;
        }
        const double v = ToDouble(token);
        if (!std::isfinite(v)) {
            error = where + " is too large: \"" + Shown(token) + "\"";
            return std::nullopt;
        }
        values.push_back(v);
        commaPending = false;
    }
    if (values.size() < count) {
        error = std::to_string(values.size()) + " of " + std::to_string(count) + " values";
        return std::nullopt;
    }
    return values;
}

std::optional<CoefficientTables> ParseTables(std::string_view attText, std::string_view effText, std::string& error) {
    CoefficientTables t;
    std::string why;
    const auto att = ReadValues(attText, 7 * kBins, why);
    if (!att) {
        error = std::string(kAttCoeffFile) + ": " + why;
        return std::nullopt;
    }
    for (int n = 1; n <= kBins; ++n) {
        const auto* rec = att->data() + 7 * (n - 1);
        t.CoefW[n] = rec[1];
        t.CoefAl[n] = rec[2];
        t.CoefCu[n] = rec[3];
        t.CoefTissue[n] = rec[4];
    }
    const auto eff = ReadValues(effText, 12 * kBins, why);
    if (!eff) {
        error = std::string(kEffEAFile) + ": " + why;
        return std::nullopt;
    }
    for (int n = 1; n <= kBins; ++n) {
        for (int j = 0; j <= kThicknesses; ++j) {
            t.EffEA[n][j] = (*eff)[12 * (n - 1) + j];
        }
    }
    return t;
}

std::optional<std::filesystem::path> FindDataFile(std::string_view name, const std::vector<std::filesystem::path>& folders) {
    for (const auto& folder : folders) {
        std::error_code ec;
        const auto candidate = folder / std::string(name);
        if (std::filesystem::is_regular_file(candidate, ec)) {
            return candidate;
        }
    }
    return std::nullopt;
}

std::optional<CoefficientTables> LoadTables(const std::vector<std::filesystem::path>& folders, std::string& error) {
    std::string texts[2];
    const std::string_view names[2] = {kAttCoeffFile, kEffEAFile};
    for (int k = 0; k < 2; ++k) {
        const auto path = FindDataFile(names[k], folders);
        if (!path) {
            std::string looked;
            for (const auto& f : folders) {
                looked += (looked.empty() ? "" : ", ") + f.string();
            }
            error = std::string(names[k]) + ": file not found (looked in: " + looked + ")";
            return std::nullopt;
        }
        std::string why;
        auto text = ReadFile(*path, why);
        if (!text) {
            error = path->string() + ": " + why;
            return std::nullopt;
        }
        texts[k] = std::move(*text);
    }
    return ParseTables(texts[0], texts[1], error);
}

void StoreTables(const CoefficientTables& t, Module1& store) {
    for (int n = 1; n <= kBins; ++n) {
        store.CoefW[n] = t.CoefW[n];
        store.CoefAl[n] = t.CoefAl[n];
        store.CoefCu[n] = t.CoefCu[n];
        store.CoefTissue[n] = t.CoefTissue[n];
        store.EffEA[n] = t.EffEA[n];
    }
}

}  // namespace mirelo

#include "tables/table_reader.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <fstream>
#include <system_error>

#include "common/decimal.h"
#include "common/path_text.h"
#include "common/sha256.h"

namespace mirelo {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A printable, bounded copy of a bad token: control bytes (a NUL above all) would cut a message short.
std::string Shown(std::string_view token) {
    constexpr std::size_t kMax = 40;
    std::string s;
    for (char c : token.substr(0, kMax)) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F) {
            static constexpr char kHex[] = "0123456789ABCDEF";
            s += "\\x";
            s.push_back(kHex[u >> 4]);
            s.push_back(kHex[u & 0xF]);
        } else {
            s.push_back(c);
        }
    }
    if (token.size() > kMax) {
        s += "...";
    }
    return s;
}

TableError At(TableError::Kind kind, std::size_t value, std::size_t line, std::string_view token = {}) {
    TableError e;
    e.kind = kind;
    e.value = value;
    e.line = line;
    e.token = Shown(token);
    return e;
}

std::string SystemReason(int code) { return std::generic_category().message(code); }

// Every record starts with its bin's energy; a value that is not it means the file is shifted
// (a decimal comma, a value too many or too few) and every later number would be misplaced.
std::optional<TableError> CheckEnergies(const TableValues& v, std::size_t perRecord) {
    for (int n = 1; n <= kBins; ++n) {
        const std::size_t k = perRecord * static_cast<std::size_t>(n - 1);
        const double expected = 0.5 * n;
        if (!(std::fabs(v.values[k] - expected) <= 1e-6 * expected)) {
            TableError e = At(TableError::Kind::WrongEnergy, k + 1, v.lines[k]);
            e.energy = v.values[k];
            e.expectedEnergy = expected;
            return e;
        }
    }
    return std::nullopt;
}

// Values the physics cannot have: a negative attenuation coefficient would amplify the beam, an
// absorbed-energy fraction outside 0 to 1 create or destroy energy. Value 6 of Att_coeff2021.dat is
// not used and not checked.
std::optional<TableError> CheckRanges(const TableValues& v, std::size_t perRecord) {
    const bool fractions = perRecord == 12;
    const double highest = fractions ? 1.0 : std::numeric_limits<double>::infinity();
    for (std::size_t k = 0; k < v.values.size(); ++k) {
        const std::size_t column = k % perRecord + 1;  // 1-based value within its record
        if (column == 1 || (!fractions && column == 6)) {
            continue;
        }
        if (!(v.values[k] >= 0 && v.values[k] <= highest)) {
            TableError e = At(TableError::Kind::OutOfRange, k + 1, v.lines[k]);
            e.number = v.values[k];
            e.lowest = 0;
            e.highest = highest;
            return e;
        }
    }
    return std::nullopt;
}

}  // namespace

Result<TableValues, TableError> ReadValues(std::string_view text, std::size_t count) {
    TableValues out;
    out.values.reserve(count);
    out.lines.reserve(count);
    std::size_t pos = 0;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") {
        pos = 3;
    }
    std::size_t line = 1;
    bool commaPending = false;  // a comma was read and its value has not come yet
    while (out.values.size() < count) {
        while (pos < text.size() && IsBlank(text[pos])) {
            // LF, CR LF and a lone CR each end one line.
            if (text[pos] == '\n' || (text[pos] == '\r' && (pos + 1 >= text.size() || text[pos + 1] != '\n'))) {
                ++line;
            }
            ++pos;
        }
        if (pos >= text.size()) {
            break;
        }
        const std::size_t index = out.values.size() + 1;
        if (text[pos] == ',') {
            if (commaPending || out.values.empty()) {
                return Failure{At(TableError::Kind::EmptyValue, index, line)};
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
        if (!IsDecimalNumber(token)) {
            return Failure{At(TableError::Kind::NotANumber, index, line, token)};
        }
        const double v = DecimalValue(token);
        if (!std::isfinite(v)) {
            return Failure{At(TableError::Kind::Overflow, index, line, token)};
        }
        out.values.push_back(v);
        out.lines.push_back(line);
        commaPending = false;
    }
    if (out.values.size() < count) {
        TableError e;
        e.kind = TableError::Kind::TooFewValues;
        e.found = out.values.size();
        e.needed = count;
        return Failure{std::move(e)};
    }
    return out;
}

namespace {

// The numbers of one file, `perRecord` to a record, each record opening with its energy.
Result<TableValues, TableError> ReadRecords(std::string_view text, std::size_t perRecord, const char* file) {
    auto values = ReadValues(text, perRecord * kBins);
    if (!values) {
        TableError e = values.error();
        e.file = file;
        return Failure{std::move(e)};
    }
    if (auto e = CheckEnergies(*values, perRecord)) {
        e->file = file;
        return Failure{std::move(*e)};
    }
    if (auto e = CheckRanges(*values, perRecord)) {
        e->file = file;
        return Failure{std::move(*e)};
    }
    return values;
}

void FillAttenuation(const TableValues& att, Tables& t) {
    for (int n = 1; n <= kBins; ++n) {
        const double* rec = att.values.data() + 7 * (n - 1);
        t.w[n] = rec[1];
        t.al[n] = rec[2];
        t.cu[n] = rec[3];
        t.tissue[n] = rec[4];
        t.air[n] = rec[6];
    }
}

void FillAbsorbedFractions(const TableValues& eff, Tables& t) {
    for (int n = 1; n <= kBins; ++n) {
        for (int j = 1; j <= kThicknesses; ++j) {
            t.effEA[n][j] = eff.values[12 * static_cast<std::size_t>(n - 1) + static_cast<std::size_t>(j)];
        }
    }
}

// The first file's text is read and checked completely before the second one is asked for, so
// that the first broken file in that order is the one reported.
template <class NextText>
Result<Tables, TableError> BuildTables(std::string_view attText, NextText effTextOf) {
    const auto att = ReadRecords(attText, 7, kAttCoeffFile);
    if (!att) {
        return Failure{att.error()};
    }
    const Result<std::string, TableError> effText = effTextOf();
    if (!effText) {
        return Failure{effText.error()};
    }
    const auto eff = ReadRecords(*effText, 12, kEffEAFile);
    if (!eff) {
        return Failure{eff.error()};
    }
    Tables t;
    FillAttenuation(*att, t);
    FillAbsorbedFractions(*eff, t);
    t.attSource.sha256 = Sha256Hex(attText);
    t.effSource.sha256 = Sha256Hex(*effText);
    return t;
}

}  // namespace

Result<Tables, TableError> ParseTables(std::string_view attText, std::string_view effText) {
    return BuildTables(attText, [effText]() -> Result<std::string, TableError> { return std::string(effText); });
}

Result<std::string, TableError> ReadDataFile(std::string_view name, const std::vector<std::filesystem::path>& folders,
                                             std::filesystem::path* foundAt) {
    namespace fs = std::filesystem;
    TableError e;
    e.file = std::string(name);
    for (const auto& folder : folders) {
        const fs::path candidate = folder / fs::path(std::string(name));
        std::error_code ec;
        // The entry itself, not what a link points to: a link that leads nowhere still exists, and
        // it must stop the start rather than let another folder's table stand in for it.
        const fs::file_status entry = fs::symlink_status(candidate, ec);
        if (ec || !fs::exists(entry)) {
            continue;
        }
        e.file = PathText(candidate);
        const fs::file_status target = fs::status(candidate, ec);
        if (ec) {
            e.kind = TableError::Kind::NotRegular;
            e.reason = ec.message();
            return Failure{std::move(e)};
        }
        if (!fs::is_regular_file(target)) {
            // Never opened: a FIFO would block and a device would never end.
            e.kind = TableError::Kind::NotRegular;
            e.reason = fs::is_directory(target) ? SystemReason(EISDIR) : std::string("not a regular file");
            return Failure{std::move(e)};
        }
        const std::uintmax_t size = fs::file_size(candidate, ec);
        if (!ec && size > kMaxTableBytes) {
            e.kind = TableError::Kind::TooLarge;
            e.bytes = size;
            return Failure{std::move(e)};
        }
        errno = 0;
        std::ifstream in(candidate, std::ios::binary);
        if (!in) {
            e.kind = TableError::Kind::CannotOpen;
            e.reason = errno != 0 ? SystemReason(errno) : std::string("cannot be opened");
            return Failure{std::move(e)};
        }
        std::string text;
        char buffer[65536];
        while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
            text.append(buffer, static_cast<std::size_t>(in.gcount()));
            if (text.size() > kMaxTableBytes) {  // grew while being read
                e.kind = TableError::Kind::TooLarge;
                e.bytes = text.size();
                return Failure{std::move(e)};
            }
        }
        if (in.bad()) {
            e.kind = TableError::Kind::ReadFailed;
            e.reason = errno != 0 ? SystemReason(errno) : std::string("read error");
            return Failure{std::move(e)};
        }
        if (foundAt != nullptr) {
            *foundAt = candidate;
        }
        return text;
    }
    e.kind = TableError::Kind::NotFound;
    for (const auto& f : folders) {
        e.looked.push_back(PathText(f));
    }
    return Failure{std::move(e)};
}

Result<Tables, TableError> LoadTables(const std::vector<std::filesystem::path>& folders) {
    std::filesystem::path attPath, effPath;
    const auto attText = ReadDataFile(kAttCoeffFile, folders, &attPath);
    if (!attText) {
        return Failure{attText.error()};
    }
    auto t = BuildTables(*attText, [&] { return ReadDataFile(kEffEAFile, folders, &effPath); });
    if (t) {
        t->attSource.path = PathText(attPath);
        t->effSource.path = PathText(effPath);
    }
    return t;
}

}  // namespace mirelo

#include "profiles/profiles.h"
#include "profiles/toml_document.h"

#include "common/ascii.h"
#include "common/number_text.h"
#include "common/path_text.h"
#include "common/sha256.h"

#include <toml++/toml.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <utility>

#include "spectrum/input_rules.h"

namespace mirelo::profiles {
namespace {

std::string Normalized(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return AsciiLower(s);
}

// 'text' (built by appending: GCC 12 at -O3 warns falsely about "literal" + std::string).
std::string Quoted(std::string_view text) {
    std::string q;
    q.reserve(text.size() + 2);
    q += '\'';
    q.append(text);
    q += '\'';
    return q;
}

// "A", "B", "single", or empty for anything else.
std::string PlaneOf(std::string_view lower) {
    if (lower == "a") return std::string(1, 'A');
    if (lower == "b") return std::string(1, 'B');
    if (lower == "single") return std::string(lower);
    return {};
}

// toml++ 3.3.0 (Debian 12) classifies some non-ASCII characters as whitespace through a table
// that ends in __builtin_unreachable: these characters, met where it looks for whitespace (keys,
// line starts, multi-line strings), make it undefined. Same test as the library's.
bool TripsTomlWhitespaceTable(char32_t c) {
    if (c <= 0xA0 || c > 0xFEFF || c == 0x3000 || c == 0xFEFF) {
        return false;
    }
    const auto child = (static_cast<std::uint64_t>(c) - 0xA0) / 0x3FA;
    return ((1ull << child) & 0x7FFFFFFFFFFFF75Eull) == 0 && child != 5 && child != 7;
}

}  // namespace

std::optional<ProfileError> DefuseTomlText(std::string_view text, std::string_view name, std::string& out) {
    enum { Normal, Comment, Basic, MultiBasic, Literal, MultiLiteral } state = Normal;
    std::size_t line = 1, column = 1;
    bool escaping = false;  // a backslash in a "..." string precedes this character
    out.reserve(text.size());
    auto at = [&](std::size_t i, std::string_view s) { return text.substr(i, s.size()) == s; };
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        // Decode one UTF-8 character; a malformed one passes as a byte and toml++ refuses it.
        char32_t c = byte;
        std::size_t length = 1;
        if (byte >= 0xC2 && byte <= 0xF4) {
            length = byte < 0xE0 ? 2 : byte < 0xF0 ? 3 : 4;
            c = byte & (0xFF >> (length + 1));
            for (std::size_t k = 1; k < length; ++k) {
                const auto next = i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0;
                if ((next & 0xC0) != 0x80) {
                    length = 1;
                    c = byte;
                    break;
                }
                c = (c << 6) | (next & 0x3F);
            }
        }
        const std::string_view piece = text.substr(i, length);
        if (TripsTomlWhitespaceTable(c)) {
            const bool escapable = (state == Basic || state == MultiBasic) && !escaping;
            if (state != Comment && !escapable) {
                char code[8];
                std::snprintf(code, sizeof code, "%04X", static_cast<unsigned>(c));
                return ProfileError{std::string(name), line, column,
                                    std::string("the character U+") + code + " can only be read inside a \"...\" string"};
            }
            if (state == Comment) {
                out.append(piece);
            } else {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(c));
                out.append(escape);
            }
            i += length;
            ++column;
            continue;
        }
        std::size_t take = length;
        const bool escaped = escaping;
        escaping = false;
        switch (state) {
            case Normal:
                if (c == '#') state = Comment;
                else if (at(i, "\"\"\"")) state = MultiBasic, take = 3;
                else if (c == '"') state = Basic;
                else if (at(i, "'''")) state = MultiLiteral, take = 3;
                else if (c == '\'') state = Literal;
                break;
            case Comment:
                if (c == '\n') state = Normal;
                break;
            case Basic:
            case MultiBasic:
                if (escaped) {
                    break;  // the escaped character closes nothing
                } else if (c == '\\') {
                    escaping = true;
                } else if (state == Basic && (c == '"' || c == '\n')) {
                    state = Normal;
                } else if (state == MultiBasic && at(i, "\"\"\"")) {
                    state = Normal, take = 3;
                }
                break;
            case Literal:
                if (c == '\'' || c == '\n') state = Normal;
                break;
            case MultiLiteral:
                if (at(i, "'''")) state = Normal, take = 3;
                break;
        }
        for (std::size_t k = 0; k < take && i < text.size(); ++k) {
            if (text[i] == '\n') {
                ++line;
                column = 0;
            }
            out += text[i];
            // Columns count characters, as toml++ does.
            if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column;
            ++i;
        }
    }
    return std::nullopt;
}

namespace {

struct Reader {
    std::string file;
    std::optional<ProfileError> error;

    void Fail(const toml::node& node, std::string message) {
        if (!error) {
            const auto& where = node.source().begin;
            error = ProfileError{file, where.line, where.column, std::move(message)};
        }
    }

    std::string String(const toml::node& node, std::string_view key) {
        if (const auto* s = node.as_string()) {
            return s->get();
        }
        Fail(node, Quoted(key) + " must be a text in quotes");
        return {};
    }

    std::optional<double> Value(const toml::node& node, std::string_view key) {
        if (const auto* f = node.as_floating_point()) {
            return f->get();
        }
        if (const auto* i = node.as_integer()) {
            return static_cast<double>(i->get());
        }
        Fail(node, Quoted(key) + " must be a number");
        return std::nullopt;
    }

    double Number(const toml::node& node, std::string_view key, double low, double high, bool lowOpen) {
        const auto value = Value(node, key);
        if (!value) {
            return 0;
        }
        const double v = *value;
        std::ostringstream range;
        range << (lowOpen ? "above " : "from ") << low << (lowOpen ? " up to " : " to ") << high;
        if (!std::isfinite(v) || v < low || (lowOpen && v == low) || v > high) {
            Fail(node, Quoted(key) + " must be " + range.str());
        }
        return v;
    }

    // The target angle follows the calculations' own rule.
    double Angle(const toml::node& node, std::string_view key) {
        const auto v = Value(node, key);
        if (v && !CheckInputs({.targetAngleDeg = *v})) {
            Fail(node, Quoted(key) + " must be above 0 and below 90");
        }
        return v.value_or(0);
    }

    // hvl = [{kv = 60, mm_al = 2.3}, {kv = 80, mm_al = 3.0, mm_al2 = 4.4}, ...]
    void Points(const toml::node& node, std::vector<HvlPoint>& points) {
        const auto* array = node.as_array();
        if (array == nullptr || array->empty()) {
            Fail(node, "'hvl' must be a list of {kv = ..., mm_al = ...}");
            return;
        }
        for (const auto& item : *array) {
            const auto* t = item.as_table();
            if (t == nullptr) {
                Fail(item, "'hvl' must be a list of {kv = ..., mm_al = ...}");
                return;
            }
            HvlPoint point;
            point.line = item.source().begin.line;
            std::optional<double> kv, mm;
            for (const auto& [keyNode, value] : *t) {
                const std::string_view key = keyNode.str();
                if (key == "kv") kv = Number(value, key, 0, 150, true);
                else if (key == "mm_al") mm = Number(value, key, 0, 20, true);
                else if (key == "mm_al2") point.mmAl2 = Number(value, key, 0, 40, true);
                else Fail(value, "unknown key " + Quoted(key) + " in 'hvl' (kv, mm_al, mm_al2)");
            }
            if (!kv || !mm) {
                Fail(item, "every measurement in 'hvl' needs 'kv' and 'mm_al'");
                return;
            }
            for (const HvlPoint& other : points) {
                if (other.kv == *kv) {
                    Fail(item, "two measurements in 'hvl' at " + NumberText(*kv) + " kV");
                    return;
                }
            }
            point.kv = *kv;
            point.mmAl = *mm;
            points.push_back(point);
        }
    }

    Profile Entry(const toml::table& t) {
        Profile p;
        p.line = t.source().begin.line;
        std::optional<double> hvl, hvlKv;
        for (const auto& [keyNode, value] : t) {
            const std::string_view key = keyNode.str();
            if (key == "name") p.name = String(value, key);
            else if (key == "observer_uid") p.observerUid = String(value, key);
            else if (key == "manufacturer") p.manufacturer = String(value, key);
            else if (key == "model") p.model = String(value, key);
            else if (key == "serial") p.serial = String(value, key);
            else if (key == "plane") {
                p.plane = PlaneOf(Normalized(String(value, key)));
                if (p.plane.empty()) Fail(value, "'plane' must be \"A\", \"B\" or \"single\"");
            } else if (key == "target_angle_deg") p.targetAngleDeg = Angle(value, key);
            else if (key == "inherent_mm_al") p.inherentMmAl = Number(value, key, 0, 20, false);
            else if (key == "hvl_mm_al") hvl = Number(value, key, 0, 20, true);
            else if (key == "hvl_kv") hvlKv = Number(value, key, 0, 150, true);
            else if (key == "hvl_al_mm") p.hvlAlMm = Number(value, key, 0, 100, false);
            else if (key == "hvl_cu_mm") p.hvlCuMm = Number(value, key, 0, 10, false);
            else if (key == "hvl") Points(value, p.hvl);
            else Fail(value, "unknown key " + Quoted(key));
        }
        if (p.name.empty()) {
            Fail(t, "every [[device]] needs a 'name'");
        }
        if (p.observerUid.empty() && (p.manufacturer.empty() || p.model.empty())) {
            Fail(t, Quoted(p.name) + " needs 'observer_uid', or 'manufacturer' and 'model'");
        }
        if (!p.observerUid.empty() && (!p.manufacturer.empty() || !p.model.empty() || !p.serial.empty())) {
            Fail(t, Quoted(p.name) + " matches by 'observer_uid': leave out manufacturer, model and serial");
        }
        if (hvl.has_value() != hvlKv.has_value()) {
            Fail(t, Quoted(p.name) + " needs both 'hvl_mm_al' and 'hvl_kv'");
        }
        if (hvl && !p.hvl.empty()) {
            Fail(t, Quoted(p.name) + " gives 'hvl_mm_al' and a list 'hvl': put every measurement in the list");
        }
        if (hvl && hvlKv) {
            p.hvl.push_back(HvlPoint{*hvlKv, *hvl, std::nullopt, p.line});
        }
        if ((p.hvlAlMm || p.hvlCuMm) && p.hvl.empty()) {
            Fail(t, Quoted(p.name) + ": 'hvl_al_mm' and 'hvl_cu_mm' belong to an HVL measurement");
        }
        if (!p.hvl.empty() && p.inherentMmAl) {
            Fail(t, Quoted(p.name) + " gives both 'inherent_mm_al' and an HVL: keep one");
        }
        return p;
    }
};

bool SameMatch(const Profile& a, const Profile& b) {
    return a.observerUid == b.observerUid && Normalized(a.manufacturer) == Normalized(b.manufacturer) &&
           Normalized(a.model) == Normalized(b.model) && Normalized(a.serial) == Normalized(b.serial) &&
           a.plane == b.plane;
}

}  // namespace

std::string DescribeProfileError(const ProfileError& e) {
    if (e.line == 0) {
        return e.file + ": " + e.message;
    }
    return e.file + ":" + std::to_string(e.line) + ":" + std::to_string(e.column) + ": " + e.message;
}

Result<toml::table, ProfileError> ParseTomlDocument(std::string_view text, std::string_view name) {
    std::string defused;
    if (auto error = DefuseTomlText(text, name, defused)) {
        return Failure{std::move(*error)};
    }
    try {
        return toml::parse(defused, name);
    } catch (const toml::parse_error& e) {
        return Failure{ProfileError{std::string(name), e.source().begin.line, e.source().begin.column,
                                    std::string(e.description())}};
    }
}

Result<Profiles, ProfileError> ParseProfiles(std::string_view text, std::string_view name) {
    auto document = ParseTomlDocument(text, name);
    if (!document) {
        return Failure{std::move(document.error())};
    }
    const toml::table& root = *document;
    Reader reader{std::string(name), std::nullopt};
    Profiles profiles;
    profiles.path = std::string(name);
    for (const auto& [key, value] : root) {
        if (key.str() != "device") {
            reader.Fail(value, "unknown key " + Quoted(key.str()) + " (profiles are [[device]] tables)");
            continue;
        }
        const auto* array = value.as_array();
        if (array == nullptr || !array->is_array_of_tables()) {
            reader.Fail(value, "'device' must be written as [[device]] tables");
            continue;
        }
        for (const auto& entry : *array) {
            profiles.entries.push_back(reader.Entry(*entry.as_table()));
        }
    }
    for (std::size_t i = 0; i < profiles.entries.size() && !reader.error; ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            const Profile& a = profiles.entries[j];
            const Profile& b = profiles.entries[i];
            if (a.name == b.name) {
                reader.error = ProfileError{reader.file, b.line, 1,
                                            "the name " + Quoted(b.name) + " is taken by the entry on line " + std::to_string(a.line)};
            } else if (SameMatch(a, b)) {
                reader.error = ProfileError{reader.file, b.line, 1,
                                            Quoted(b.name) + " matches the same device and plane as " + Quoted(a.name)};
            }
            if (reader.error) break;
        }
    }
    if (reader.error) {
        return Failure{*reader.error};
    }
    return profiles;
}

Result<Profiles, ProfileError> LoadProfiles(const std::filesystem::path& path) {
    const std::string name = PathText(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return Failure{ProfileError{name, 0, 0, ec ? ec.message() : "not a readable file"}};
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxProfileBytes) {
        return Failure{ProfileError{name, 0, 0, ec ? ec.message() : "larger than 1 MiB"}};
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        return Failure{ProfileError{name, 0, 0, "cannot be read"}};
    }
    auto profiles = ParseProfiles(text, name);
    if (profiles) {
        profiles->sha256 = Sha256Hex(text);
    }
    return profiles;
}

const Profile* MatchProfile(const Profiles& profiles, const DeviceKey& device) {
    const std::string manufacturer = Normalized(device.manufacturer);
    const std::string model = Normalized(device.model);
    const std::string serial = Normalized(device.serial);
    enum Level { ByUid, BySerial, ByModel, None };
    auto levelOf = [&](const Profile& p) {
        if (!p.observerUid.empty()) {
            return !device.observerUid.empty() && p.observerUid == device.observerUid ? ByUid : None;
        }
        if (Normalized(p.manufacturer) != manufacturer || Normalized(p.model) != model) {
            return None;
        }
        if (p.serial.empty()) {
            return ByModel;
        }
        return Normalized(p.serial) == serial ? BySerial : None;
    };
    const Profile* best = nullptr;
    int bestRank = 2 * None;
    for (const Profile& p : profiles.entries) {
        const Level level = levelOf(p);
        if (level == None || (!p.plane.empty() && p.plane != device.plane)) {
            continue;
        }
        // At each level a profile for the plane beats one for every plane.
        const int rank = 2 * level + (p.plane.empty() ? 1 : 0);
        if (rank < bestRank) {
            best = &p;
            bestRank = rank;
        }
    }
    return best;
}

}  // namespace mirelo::profiles

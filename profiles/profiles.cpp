#include "profiles/profiles.h"

#include <toml++/toml.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>
#include <system_error>
#include <utility>

namespace mirelo::profiles {
namespace {

std::string Normalized(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    std::string out(s);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return out;
}

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
        Fail(node, "'" + std::string(key) + "' must be a text in quotes");
        return {};
    }

    double Number(const toml::node& node, std::string_view key, double low, double high, bool lowOpen) {
        double v = 0;
        if (const auto* f = node.as_floating_point()) {
            v = f->get();
        } else if (const auto* i = node.as_integer()) {
            v = static_cast<double>(i->get());
        } else {
            Fail(node, "'" + std::string(key) + "' must be a number");
            return 0;
        }
        std::ostringstream range;
        range << (lowOpen ? "above " : "from ") << low << (lowOpen ? " up to " : " to ") << high;
        if (!std::isfinite(v) || v < low || (lowOpen && v == low) || v > high) {
            Fail(node, "'" + std::string(key) + "' must be " + range.str());
        }
        return v;
    }

    Profile Entry(const toml::table& t) {
        Profile p;
        p.line = t.source().begin.line;
        std::optional<double> hvl, hvlKv, hvlAl, hvlCu;
        for (const auto& [keyNode, value] : t) {
            const std::string_view key = keyNode.str();
            if (key == "name") p.name = String(value, key);
            else if (key == "observer_uid") p.observerUid = String(value, key);
            else if (key == "manufacturer") p.manufacturer = String(value, key);
            else if (key == "model") p.model = String(value, key);
            else if (key == "serial") p.serial = String(value, key);
            else if (key == "plane") {
                const std::string plane = String(value, key);
                const std::string lower = Normalized(plane);
                if (lower == "a") p.plane = "A";
                else if (lower == "b") p.plane = "B";
                else if (lower == "single") p.plane = "single";
                else Fail(value, "'plane' must be \"A\", \"B\" or \"single\"");
            } else if (key == "target_angle_deg") p.targetAngleDeg = Number(value, key, 0, 90, true);
            else if (key == "inherent_mm_al") p.inherentMmAl = Number(value, key, 0, 20, false);
            else if (key == "hvl_mm_al") hvl = Number(value, key, 0, 20, true);
            else if (key == "hvl_kv") hvlKv = Number(value, key, 0, 150, true);
            else if (key == "hvl_al_mm") hvlAl = Number(value, key, 0, 100, false);
            else if (key == "hvl_cu_mm") hvlCu = Number(value, key, 0, 10, false);
            else Fail(value, "unknown key '" + std::string(key) + "'");
        }
        if (p.name.empty()) {
            Fail(t, "every [[device]] needs a 'name'");
        }
        if (p.observerUid.empty() && (p.manufacturer.empty() || p.model.empty())) {
            Fail(t, "'" + p.name + "' needs 'observer_uid', or 'manufacturer' and 'model'");
        }
        if (!p.observerUid.empty() && (!p.manufacturer.empty() || !p.model.empty() || !p.serial.empty())) {
            Fail(t, "'" + p.name + "' matches by 'observer_uid': leave out manufacturer, model and serial");
        }
        if (hvl.has_value() != hvlKv.has_value()) {
            Fail(t, "'" + p.name + "' needs both 'hvl_mm_al' and 'hvl_kv'");
        }
        if ((hvlAl || hvlCu) && !hvl) {
            Fail(t, "'" + p.name + "': 'hvl_al_mm' and 'hvl_cu_mm' belong to an HVL measurement");
        }
        if (hvl && p.inherentMmAl) {
            Fail(t, "'" + p.name + "' gives both 'inherent_mm_al' and an HVL: keep one");
        }
        if (hvl && hvlKv) {
            p.hvl = HvlMeasurement{*hvl, *hvlKv, hvlAl.value_or(0), hvlCu.value_or(0)};
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

Result<Profiles, ProfileError> ParseProfiles(std::string_view text, std::string_view name) {
    toml::table root;
    try {
        root = toml::parse(text, name);
    } catch (const toml::parse_error& e) {
        return Failure(ProfileError{std::string(name), e.source().begin.line, e.source().begin.column,
                                    std::string(e.description())});
    }
    Reader reader{std::string(name), std::nullopt};
    Profiles profiles;
    profiles.path = std::string(name);
    for (const auto& [key, value] : root) {
        if (key.str() != "device") {
            reader.Fail(value, "unknown key '" + std::string(key.str()) + "' (profiles are [[device]] tables)");
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
                                            "the name '" + b.name + "' is taken by the entry on line " + std::to_string(a.line)};
            } else if (SameMatch(a, b)) {
                reader.error = ProfileError{reader.file, b.line, 1,
                                            "'" + b.name + "' matches the same device and plane as '" + a.name + "'"};
            }
            if (reader.error) break;
        }
    }
    if (reader.error) {
        return Failure(*reader.error);
    }
    return profiles;
}

Result<Profiles, ProfileError> LoadProfiles(const std::filesystem::path& path) {
    const std::string name = path.string();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return Failure(ProfileError{name, 0, 0, ec ? ec.message() : "not a readable file"});
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > kMaxProfileBytes) {
        return Failure(ProfileError{name, 0, 0, ec ? ec.message() : "larger than 1 MiB"});
    }
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) {
        return Failure(ProfileError{name, 0, 0, "cannot be read"});
    }
    return ParseProfiles(text, name);
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

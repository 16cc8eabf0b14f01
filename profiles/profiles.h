#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"

namespace mirelo::profiles {

// What a dose report does not say about an X-ray unit: its target angle and its inherent filtration,
// given directly or as a measured first HVL that the inherent filtration is fitted to.
inline constexpr double kDefaultAngleDeg = 12;      // the main window's defaults
inline constexpr double kDefaultInherentMmAl = 2.5;

// One measured first HVL (and optionally the second) at one tube voltage.
struct HvlPoint {
    double kv = 0;
    double mmAl = 0;
    std::optional<double> mmAl2;
    std::size_t line = 0;  // where it is written
};

struct Profile {
    std::string name;
    // Match keys: the device observer UID, else manufacturer + model (+ serial when given).
    std::string observerUid, manufacturer, model, serial;
    std::string plane;  // "", "A", "B" or "single"
    double targetAngleDeg = kDefaultAngleDeg;
    std::optional<double> inherentMmAl;  // at most one of this and HVLs; neither means the default
    std::vector<HvlPoint> hvl;           // the inherent filtration is fitted to these, interpolated in kV
    // Added filters in the beam while the HVLs were measured; absent means the fit's stated default.
    std::optional<double> hvlAlMm, hvlCuMm;
    std::size_t line = 0;  // where the entry starts in its file
};

struct Profiles {
    std::string path;
    std::string sha256;  // of the file's bytes, when read from a file
    std::vector<Profile> entries;
};

struct ProfileError {
    std::string file;
    std::size_t line = 0, column = 0;  // 0 when the error has no place in the text
    std::string message;
};

// "FILE:LINE:COLUMN: message", or "FILE: message" without a place.
std::string DescribeProfileError(const ProfileError& error);

// Reads the profiles of a TOML text (format in README.md); `name` names it in errors. Unknown keys,
// wrong types, values out of range, incomplete match keys and two entries with the same match are
// errors, so that a typing mistake never silently falls back to the defaults.
Result<Profiles, ProfileError> ParseProfiles(std::string_view text, std::string_view name);

// The TOML text made safe for toml++ 3.3.0, which is undefined on some non-ASCII characters where it
// looks for whitespace: inside "..." strings they are written as \uXXXX escapes (the same value),
// elsewhere but in comments they are refused with their place. Every TOML reader calls this first.
std::optional<ProfileError> DefuseTomlText(std::string_view text, std::string_view name, std::string& out);

// Reads a profile file (at most kMaxProfileBytes).
Result<Profiles, ProfileError> LoadProfiles(const std::filesystem::path& path);
inline constexpr std::size_t kMaxProfileBytes = 1024 * 1024;

// A device and plane as read from a report.
struct DeviceKey {
    std::string_view observerUid, manufacturer, model, serial;
    std::string_view plane;  // "A", "B", "single" or anything else
};

// The profile for a device: the first of (observer UID, manufacturer + model + serial,
// manufacturer + model) that has an entry decides; at that level an entry for the event's plane is
// taken before one for every plane. Manufacturer, model and serial compare without regard to case
// and surrounding blanks. Nothing when no entry matches.
const Profile* MatchProfile(const Profiles& profiles, const DeviceKey& device);

}  // namespace mirelo::profiles

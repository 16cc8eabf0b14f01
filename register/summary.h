#pragma once

// What a radiation-protection committee asks of the register: per device, protocol or month, the
// spread of the study dose-area product, energy imparted and fluoroscopy time, the incomplete
// studies, and the studies above the reference levels.
#include <cstddef>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "profiles/profiles.h"
#include "register/database.h"

namespace mirelo::registry {

// Reference levels: a dose-area product (Gy·cm²) and/or an energy imparted (J, at the summary's
// body thickness) per protocol or per device, in a TOML file:
//   [[level]]
//   protocol = "Abdomen"     # or: device = "Mirelo Test Angio 1 (SN SN-1)" (or its observer UID)
//   dap_gycm2 = 50
//   energy_j = 0.4
struct Level {
    std::string protocol, device;  // exactly one of them
    std::optional<double> dapGyCm2, energyJ;
    std::size_t line = 0;
};
struct Levels {
    std::string path;
    std::vector<Level> entries;
};

// Unknown keys, wrong types, values that are not finite and above 0, an entry without a level or
// with both or neither of protocol and device, and two entries for the same protocol or device are
// errors with their place (the same error shape as the profile files).
Result<Levels, profiles::ProfileError> ParseLevels(std::string_view text, std::string_view name);
Result<Levels, profiles::ProfileError> LoadLevels(const std::filesystem::path& path);  // at most 1 MiB

enum class GroupBy { Device, Protocol, Month };

struct Spread {
    std::size_t count = 0;  // studies that give the value
    double median = 0, p75 = 0, max = 0;
};

struct Group {
    std::string key;  // device text, protocol, or YYYY-MM
    std::size_t studies = 0, events = 0;
    Spread dap, energy, fluoroscopy;
    std::vector<const StoredStudy*> incomplete;  // by the rule of `rdsr`'s studies
};

struct Exceedance {
    const StoredStudy* study = nullptr;
    std::string quantity;  // "dap_gycm2" or "energy_j"
    double value = 0, level = 0;
    std::string levelFor;  // "protocol Abdomen", "device ..."
};

struct Summary {
    int thicknessCm = 20;
    std::vector<Group> groups;  // in key order
    std::vector<Exceedance> above;
};

// The p-th percentile (0-100) of sorted values, interpolated linearly between the nearest ranks.
double Percentile(const std::vector<double>& sorted, double p);

// `thicknessCm` is one of 10, 12, ... 30.
Summary Summarise(const std::vector<StoredStudy>& studies, GroupBy by, int thicknessCm, const Levels* levels);

void WriteSummaryText(std::ostream& out, const Summary& summary);
void WriteSummaryCsv(std::ostream& out, const Summary& summary);
void WriteSummaryJson(std::ostream& out, const Summary& summary);

}  // namespace mirelo::registry

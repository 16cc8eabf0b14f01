#pragma once

#include <string_view>

#include <toml++/toml.h>

#include "common/result.h"
#include "profiles/profiles.h"

namespace mirelo::profiles {

// A TOML text defused (DefuseTomlText) and parsed; a syntax mistake comes back with its place. Every
// TOML reader of the program starts here.
Result<toml::table, ProfileError> ParseTomlDocument(std::string_view text, std::string_view name);

}  // namespace mirelo::profiles

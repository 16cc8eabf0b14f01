#pragma once

#include <string>
#include <string_view>

namespace mirelo {

// SHA-256 (FIPS 180-4) of `data`, as 64 lower-case hexadecimal digits: the fingerprint by which
// records name the table files they were computed with.
std::string Sha256Hex(std::string_view data);

}  // namespace mirelo

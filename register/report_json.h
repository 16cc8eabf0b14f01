#pragma once

// A report as the reading stage made it, kept whole in the register so that it can be computed
// again (and exported as `rdsr` writes it) without the file being read again.
#include <optional>
#include <string>

#include "rdsr/report.h"

namespace mirelo::registry {

std::string ReportToJson(const rdsr::Report& report);
std::optional<rdsr::Report> ReportFromJson(const std::string& text);  // nothing when it is not one

}  // namespace mirelo::registry

#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "studies/studies.h"
#include "tables/tables.h"

namespace mirelo::studies {

// One header line and one line per event: identifiers, inputs, the profile, status and reason,
// the photon count and the eleven energies in J (empty for a skipped event).
void WriteEventsCsv(std::ostream& out, const Batch& batch);

// One header line and one line per study: UID, devices, events used and skipped, the summed
// dose-area product of the events used, the summed photon count and energies.
void WriteStudiesCsv(std::ostream& out, const Batch& batch);

// The files read (and why some were not), the events and the studies in one JSON document, with the
// tables the results were computed with, one file, event or study per line. Keys are always
// present; absent values are null.
void WriteBatchJson(std::ostream& out, const std::vector<ReadOutcome>& reports, const Batch& batch,
                    const Tables& tables);

// One line per file that could not be read and per event skipped, for stderr.
std::vector<std::string> ProblemLines(const std::vector<ReadOutcome>& reports, const Batch& batch);

}  // namespace mirelo::studies

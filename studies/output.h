#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "studies/studies.h"
#include "tables/tables.h"

namespace mirelo::studies {

// Where a run's numbers come from, written into every output.
struct RunInfo {
    std::string program;      // "mirelo-calc 1.0.0"
    std::string commandLine;  // as typed (arguments quoted where needed)
    std::string time;         // ISO 8601, UTC
    std::string profilesPath, profilesSha256;  // empty without a profile file
};

struct OutputOptions {
    RunInfo run;
    bool patientId = false;  // patient name and ID columns (only when they were read)
};

// A derived sum as a person writes it: 15 significant digits, then the shortest text
// (0.1 + 0.2 is "0.3", not "0.30000000000000004").
std::string SumField(double x);

// The provenance line that opens each CSV file: "# program; command; tables; profiles; time".
std::string ProvenanceLine(const Tables& tables, const RunInfo& run);

// One cell of an output line: its text before CSV quoting, and whether it is a number (numbers are
// written as they are; text is kept from being read as a spreadsheet formula). The windows show
// the same cells under the same column names.
struct Cell {
    std::string text;
    bool number = false;
};

// The events output's column names and one event's cells, in that order.
std::vector<std::string> EventsColumns();
std::vector<Cell> EventCells(const EventRow& row);

// The studies output's column names and one study's cells (patient name and ID as `options` says).
std::vector<std::string> StudiesColumns(const OutputOptions& options);
std::vector<Cell> StudyCells(const StudyRow& study, const OutputOptions& options);

// One provenance line, one header line and one line per event: identifiers, inputs (as read and
// as used), the profile, status and reason, the photon count and the eleven energies in J (empty
// unless the event was used).
void WriteEventsCsv(std::ostream& out, const Batch& batch, const Tables& tables, const OutputOptions& options);

// One provenance line, one header line and one line per study: UID, what the report says of the
// study and patient, devices, status against the report's totals, events used, skipped and
// duplicate, the summed dose-area product of the events used, the summed photon count and
// energies (empty when no event was used).
void WriteStudiesCsv(std::ostream& out, const Batch& batch, const Tables& tables, const OutputOptions& options);

// The run, the files read (and why some were not), the events and the studies in one JSON
// document, one file, event or study per line. Keys are always present; absent values are null.
void WriteBatchJson(std::ostream& out, const std::vector<ReadOutcome>& reports, const Batch& batch,
                    const Tables& tables, const OutputOptions& options);

// One line per file not read or skipped, per report note and per event skipped or duplicate, for
// stderr; then the run's warnings.
std::vector<std::string> ProblemLines(const std::vector<ReadOutcome>& reports, const Batch& batch);

}  // namespace mirelo::studies

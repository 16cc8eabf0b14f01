#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/result.h"
#include "tables/table_reader.h"
#include "tables/tables.h"

namespace mirelo::calc {

// `mirelo-calc rdsr`: the integral dose of every irradiation event and study in dose reports.
struct RdsrOptions {
    std::vector<std::string> paths;  // report files or folders (searched recursively)
    std::string profiles;            // TOML file, empty for none
    std::string events;              // events CSV, "-" for standard output, empty for none
    std::string studies;             // studies CSV, "-" for standard output, empty: standard output
                                     // unless the format is JSON
    bool json = false;               // events and studies as one JSON document on standard output
    bool allowIncomplete = false;    // exit 0 rather than 3 when events or studies are incomplete
    bool keepPatientId = false;      // patient name and ID in the study outputs
    std::string program;             // "mirelo-calc 1.0.0", for the outputs' provenance
    std::string commandLine;         // likewise
};

// Exit statuses of `mirelo-calc rdsr`.
inline constexpr int kRdsrComplete = 0;     // every event of every report used
inline constexpr int kRdsrUnread = 1;       // a file could not be read, or the tables or an output failed
inline constexpr int kRdsrUsage = 2;        // a usage or profile mistake: nothing was read
inline constexpr int kRdsrIncomplete = 3;   // results written, but an event was skipped or a study is incomplete

// Opens the outputs (before anything is read), reads the reports, computes and writes. Skipped
// events, unreadable files, incomplete studies and the run's warnings are named on standard error.
int RunRdsr(const RdsrOptions& options, const std::function<Result<Tables, TableError>()>& loadTables);

}  // namespace mirelo::calc

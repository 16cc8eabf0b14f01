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
};

// Reads the reports, computes and writes. Exit status: 0 when every file was read as a dose report,
// 1 when one was not or the tables or an output failed, 2 for a profile file with a mistake.
// Skipped events and unreadable files are named on standard error.
int RunRdsr(const RdsrOptions& options, const std::function<Result<Tables, TableError>()>& loadTables);

}  // namespace mirelo::calc

#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "common/result.h"
#include "tables/table_reader.h"
#include "tables/tables.h"

namespace mirelo::calc {

// `mirelo-calc register ...`: the dose register. Exit statuses: 0 done; 1 a file could not be read,
// or the database, the tables or an output failed; 2 a wrong argument or a profile or level file
// with a mistake.
struct RegisterOptions {
    std::string db;        // empty: the default file in the user's data folder
    std::string profiles;  // TOML file, empty for none
    std::string programVersion;
    std::string commandLine;  // as typed, for the provenance of exports
    // import
    std::vector<std::string> paths;
    // summary and export
    std::string by = "device";  // device, protocol, month
    std::string from, to;       // dates as given
    std::string device;
    std::string thickness = "20";
    std::string levels;
    std::string format;  // summary: text (default), csv, json; export: csv (default), json
    std::string what;    // export: studies or events
    // listen
    std::uint16_t port = 11112;
    std::string aet = "MIRELO";
    std::string bind = "127.0.0.1";
    std::vector<std::string> allow;  // CALLING_AET or CALLING_AET@HOST; empty: anyone
    std::string archive;             // empty: "archive" beside the database
    std::string maxSizeMb = "64";
};

using TableLoader = std::function<Result<Tables, TableError>()>;

int RunRegisterImport(const RegisterOptions& options, const TableLoader& loadTables);
int RunRegisterSummary(const RegisterOptions& options);
int RunRegisterRecompute(const RegisterOptions& options, const TableLoader& loadTables);
int RunRegisterExport(const RegisterOptions& options, const TableLoader& loadTables);
int RunRegisterListen(const RegisterOptions& options, const TableLoader& loadTables);

}  // namespace mirelo::calc

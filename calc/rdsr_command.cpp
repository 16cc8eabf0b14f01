#include "calc/rdsr_command.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "profiles/profiles.h"
#include "studies/output.h"
#include "studies/studies.h"
#include "tables/table_error_text.h"

namespace mirelo::calc {
namespace {

constexpr int kSystemProblem = 1;
constexpr int kInputProblem = 2;

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "mirelo-calc rdsr: %s\n", message.c_str());
    return status;
}

// Writes to the file, or to standard output for "-"; false when it could not.
template <class Writer>
bool WriteTo(const std::string& path, Writer&& write) {
    if (path == "-") {
        write(std::cout);
        std::cout.flush();
        return std::cout.good();
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    write(out);
    out.close();
    return !out.fail();
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int RunRdsr(const RdsrOptions& options, const std::function<Result<Tables, TableError>()>& loadTables) {
    profiles::Profiles profiles;
    if (!options.profiles.empty()) {
        auto loaded = profiles::LoadProfiles(options.profiles);
        if (!loaded) {
            return Fail(kInputProblem, std::string("--profiles ") + profiles::DescribeProfileError(loaded.error()));
        }
        profiles = std::move(*loaded);
    }
    const auto tables = loadTables();
    if (!tables) {
        return Fail(kSystemProblem, DescribeTableError(tables.error()));
    }

    // Two stages: every file is read (in parallel) before anything is computed.
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::filesystem::path> paths(options.paths.begin(), options.paths.end());
    const auto reports = studies::ReadReports(paths);
    const auto read = std::chrono::steady_clock::now();
    const auto batch = studies::ComputeStudies(*tables, reports, profiles);
    const auto computed = std::chrono::steady_clock::now();

    for (const auto& line : studies::ProblemLines(reports, batch)) {
        std::fprintf(stderr, "mirelo-calc rdsr: %s\n", line.c_str());
    }
    bool written = true;
    if (!options.events.empty()) {
        written = WriteTo(options.events, [&](std::ostream& out) { studies::WriteEventsCsv(out, batch); }) && written;
    }
    const std::string studiesPath = !options.studies.empty() ? options.studies : options.json ? "" : "-";
    if (!studiesPath.empty()) {
        written = WriteTo(studiesPath, [&](std::ostream& out) { studies::WriteStudiesCsv(out, batch); }) && written;
    }
    if (options.json) {
        written = WriteTo("-", [&](std::ostream& out) { studies::WriteBatchJson(out, reports, batch, *tables); }) && written;
    }

    std::size_t unread = 0, used = 0;
    for (const auto& r : reports) unread += r.report ? 0 : 1;
    for (const auto& e : batch.events) used += e.used ? 1 : 0;
    std::fprintf(stderr,
                 "mirelo-calc rdsr: %zu files, %zu not read; %zu events, %zu used, %zu skipped; %zu studies; "
                 "%zu spectra computed; reading %.2f s, computing %.2f s\n",
                 reports.size(), unread, batch.events.size(), used, batch.events.size() - used, batch.studies.size(),
                 batch.spectraComputed, Seconds(read - start), Seconds(computed - read));
    if (!written) {
        return Fail(kSystemProblem, "an output could not be written");
    }
    return unread > 0 ? kSystemProblem : 0;
}

}  // namespace mirelo::calc

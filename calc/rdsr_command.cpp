#include "calc/rdsr_command.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <utility>

#include "common/path_text.h"
#include "profiles/profiles.h"
#include "register/database.h"
#include "studies/output.h"
#include "studies/studies.h"
#include "tables/table_error_text.h"

namespace mirelo::calc {
namespace {

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "mirelo-calc rdsr: %s\n", message.c_str());
    return status;
}

// An output: standard output for "-", else a file opened (and emptied) at once, so that a path
// that cannot be written is known before hours of reading.
struct Output {
    std::string path;
    std::unique_ptr<std::ofstream> file;
    std::ostream& Stream() { return file ? static_cast<std::ostream&>(*file) : std::cout; }
    bool Finish() {
        if (!file) {
            std::cout.flush();
            return std::cout.good();
        }
        file->close();
        return !file->fail();
    }
};

// Opens `path`, or says which file and why not.
std::optional<std::string> Open(Output& out, const std::string& path) {
    out.path = path;
    if (path == "-") return std::nullopt;
    errno = 0;
    out.file = std::make_unique<std::ofstream>(PathFromText(path), std::ios::binary | std::ios::trunc);
    if (!out.file->is_open()) {
        const int error = errno;
        std::error_code ec;
        const std::string reason = std::filesystem::is_directory(PathFromText(path), ec) ? std::string("is a folder")
                                   : error != 0                          ? std::string(std::strerror(error))
                                                                          : std::string("cannot be opened");
        return path + ": cannot be written: " + reason;
    }
    return std::nullopt;
}

bool SameFile(const std::string& a, const std::string& b) {
    if (a == "-" || b == "-") return false;
    std::error_code ec1, ec2;
    const auto ca = std::filesystem::weakly_canonical(a, ec1);
    const auto cb = std::filesystem::weakly_canonical(b, ec2);
    if (!ec1 && !ec2 && ca == cb) return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec;
}

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

}  // namespace

int RunRdsr(const RdsrOptions& options, const std::function<Result<Tables, TableError>()>& loadTables) {
    const std::string studiesPath = !options.studies.empty() ? options.studies : options.json ? "" : "-";
    if (!options.events.empty() && !studiesPath.empty() && SameFile(options.events, studiesPath)) {
        return Fail(kRdsrUsage, "--events and --studies name the same file: " + options.events);
    }
    profiles::Profiles profiles;
    if (!options.profiles.empty()) {
        auto loaded = profiles::LoadProfiles(PathFromText(options.profiles));
        if (!loaded) {
            return Fail(kRdsrUsage, std::string("--profiles ") + profiles::DescribeProfileError(loaded.error()));
        }
        profiles = std::move(*loaded);
    }
    Output events, studies, json;
    for (auto [out, path] : {std::pair{&events, options.events}, std::pair{&studies, studiesPath},
                             std::pair{&json, std::string(options.json ? "-" : "")}}) {
        if (path.empty()) continue;
        if (const auto error = Open(*out, path)) {
            return Fail(kRdsrUnread, *error);
        }
    }
    const auto tables = loadTables();
    if (!tables) {
        return Fail(kRdsrUnread, DescribeTableError(tables.error()));
    }

    // Two stages: every file is read (in parallel) before anything is computed.
    const auto start = std::chrono::steady_clock::now();
    const auto paths = PathsFromText(options.paths);
    rdsr::ReadOptions readOptions;
    readOptions.keepPatientId = options.keepPatientId;
    const auto reports = studies::ReadReports(paths, 0, readOptions);
    const auto read = std::chrono::steady_clock::now();
    const auto batch = studies::ComputeStudies(*tables, reports, profiles);
    const auto computed = std::chrono::steady_clock::now();

    studies::OutputOptions out;
    out.run = {options.program, options.commandLine, registry::NowUtc(), options.profiles, profiles.sha256};
    out.patientId = options.keepPatientId;
    for (const auto& line : studies::ProblemLines(reports, batch)) {
        std::fprintf(stderr, "mirelo-calc rdsr: %s\n", line.c_str());
    }
    bool written = true;
    if (!events.path.empty()) {
        studies::WriteEventsCsv(events.Stream(), batch, *tables, out);
        written = events.Finish() && written;
    }
    if (!studies.path.empty()) {
        studies::WriteStudiesCsv(studies.Stream(), batch, *tables, out);
        written = studies.Finish() && written;
    }
    if (!json.path.empty()) {
        studies::WriteBatchJson(json.Stream(), reports, batch, *tables, out);
        written = json.Finish() && written;
    }

    std::size_t unread = 0, skippedFiles = 0, used = 0, duplicates = 0, incomplete = 0;
    for (const auto& r : reports) {
        unread += !r.report && !r.skipped ? 1 : 0;
        skippedFiles += r.skipped ? 1 : 0;
    }
    for (const auto& e : batch.events) {
        used += e.used ? 1 : 0;
        duplicates += e.duplicate ? 1 : 0;
    }
    for (const auto& s : batch.studies) incomplete += s.status == studies::StudyStatus::Incomplete ? 1 : 0;
    const std::size_t skipped = batch.events.size() - used - duplicates;
    std::fprintf(stderr,
                 "mirelo-calc rdsr: %zu files, %zu not read, %zu other DICOM skipped; %zu events, %zu used, %zu skipped, "
                 "%zu duplicate; %zu studies, %zu incomplete; %zu spectra computed; reading %.2f s, computing %.2f s\n",
                 reports.size(), unread, skippedFiles, batch.events.size(), used, skipped, duplicates,
                 batch.studies.size(), incomplete, batch.spectraComputed, Seconds(read - start), Seconds(computed - read));
    if (!written) {
        return Fail(kRdsrUnread, "an output could not be written");
    }
    if (unread > 0) {
        return kRdsrUnread;
    }
    if ((skipped > 0 || incomplete > 0) && !options.allowIncomplete) {
        return kRdsrIncomplete;
    }
    return kRdsrComplete;
}

}  // namespace mirelo::calc

#pragma once

// The reports the tests read: every case a clinic's folder holds, made here with DCMTK.
#include <filesystem>
#include <string>
#include <vector>

namespace mirelo::rdsrtest {

// What the tests expect of one event: used, or skipped with a reason containing `reason`.
struct ExpectedEvent {
    std::string file;
    std::string uid;
    std::string reason;  // empty: used; "... already met in" for a duplicate
};

struct Corpus {
    std::filesystem::path folder;
    std::vector<ExpectedEvent> events;  // in the order the program lists them (files by name)
    std::vector<std::string> unreadable;  // file names that are not dose reports
};

// Writes the corpus into `folder` (created); throws std::runtime_error when DCMTK cannot write.
Corpus WriteCorpus(const std::filesystem::path& folder);

// What real reports from several vendors do, one behaviour per file, and what must come of each.
struct VendorEvent {
    std::string file, uid;
    std::string status;   // "used", "skipped" or "duplicate"
    std::string reason;   // part of the reason; empty for used
    std::string kv, kvSource, dap;  // as the events CSV must write them ("" = empty cell / not checked for skips)
    std::string protocol;           // as the events CSV must write it, when not empty
};
struct VendorStudy {
    std::string uid;
    std::string status;     // "complete", "incomplete", "duplicate"
    std::string dap;        // the events' sum as written, "" for an empty cell
    std::string reportDap;  // the report's total as written
    std::string shortfall, shortfallPercent;
    std::string description;  // as written (UTF-8, formula cells neutralised)
};
struct VendorFile {
    std::string file;
    std::string message;  // what stderr says of it
};
struct VendorCorpus {
    std::filesystem::path folder;
    std::vector<VendorEvent> events;   // in the order the program lists them
    std::vector<VendorStudy> studies;  // likewise
    std::vector<VendorFile> notRead;   // skipped other DICOM files and the unreadable one
    std::string complete, incomplete, deep;  // a complete report, one short of its total, the deep one
};
VendorCorpus WriteVendorCorpus(const std::filesystem::path& folder);

// The device observer UIDs and models of the corpus, for profile files.
inline constexpr const char* kAngioUid = "1.2.826.0.1.3680043.10.1309.1";
inline constexpr const char* kBiplaneUid = "1.2.826.0.1.3680043.10.1309.2";
inline constexpr const char* kNoProfileUid = "1.2.826.0.1.3680043.10.1309.3";

// Profiles for the corpus: the angiography unit by observer UID, the biplane unit per plane, the
// radiography unit by manufacturer, model and serial with a measured HVL; the damaged report's
// unit has none.
std::string ProfilesToml();

}  // namespace mirelo::rdsrtest

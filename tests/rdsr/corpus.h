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
    std::string reason;  // empty: used
};

struct Corpus {
    std::filesystem::path folder;
    std::vector<ExpectedEvent> events;  // in the order the program lists them (files by name)
    std::vector<std::string> unreadable;  // file names that are not dose reports
};

// Writes the corpus into `folder` (created); throws std::runtime_error when DCMTK cannot write.
Corpus WriteCorpus(const std::filesystem::path& folder);

// The device observer UIDs and models of the corpus, for profile files.
inline constexpr const char* kAngioUid = "1.2.826.0.1.3680043.10.1309.1";
inline constexpr const char* kBiplaneUid = "1.2.826.0.1.3680043.10.1309.2";
inline constexpr const char* kNoProfileUid = "1.2.826.0.1.3680043.10.1309.3";

// Profiles for the corpus: the angiography unit by observer UID, the biplane unit per plane, the
// radiography unit by manufacturer, model and serial with a measured HVL; the damaged report's
// unit has none.
std::string ProfilesToml();

}  // namespace mirelo::rdsrtest

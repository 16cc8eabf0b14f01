// Writes the reports the tests read into a folder, for comparing another build's reading of them
// with this one's (packaging/windows/smoke.sh):
//   write_rdsr_corpus OUT      → OUT/corpus/, OUT/vendor/ and OUT/profiles.toml
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>

#include "corpus.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUT\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    try {
        mirelo::rdsrtest::WriteCorpus(out / "corpus");
        mirelo::rdsrtest::WriteVendorCorpus(out / "vendor");
        std::ofstream(out / "profiles.toml") << mirelo::rdsrtest::ProfilesToml();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}

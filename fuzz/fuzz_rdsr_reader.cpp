// Any bytes as a dose report file: the reader must refuse with a message or give a report whose
// numbers are all finite, and never crash, hang or leak, however the content tree is built. The
// bytes go through a file, the way the program reads (DCMTK leaves long values on disk).
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "rdsr/report_reader.h"

namespace {
void CheckFinite(const std::optional<double>& x) {
    if (x && !std::isfinite(*x)) {
        __builtin_trap();
    }
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    struct TempFile {
        std::string path;
        TempFile() {
            char name[] = "/tmp/mirelo_fuzz_rdsr_XXXXXX";
            const int fd = mkstemp(name);
            if (fd < 0) std::abort();
            close(fd);
            path = name;
        }
        ~TempFile() { std::remove(path.c_str()); }
    };
    static const TempFile temp;
    const std::string& path = temp.path;
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
        std::abort();
    }
    const auto report = mirelo::rdsr::ReadReportFile(path);
    if (!report) {
        if (mirelo::rdsr::DescribeReadError(report.error()).empty()) {
            __builtin_trap();
        }
        return 0;
    }
    for (const auto& event : report->events) {
        CheckFinite(event.kvp);
        CheckFinite(event.dapGyCm2);
        if (event.dapGyCm2.has_value() == !event.dapProblem.empty() && !event.dapText.empty()) {
            __builtin_trap();  // a DAP that was written is either converted or explained
        }
        for (const auto& filter : event.filters) {
            CheckFinite(filter.thicknessMm);
            if (!filter.thicknessMm && filter.problem.empty()) {
                __builtin_trap();
            }
        }
    }
    return 0;
}

// Any bytes as a dose report file: the reader must refuse with a message or give a report whose
// numbers are all finite and whose texts are all valid UTF-8 whatever character set the file
// declares, and never crash, hang or leak, however the content tree is built or nested, nor
// allocate what a length field declares beyond the end of the file. The bytes go through a file,
// the way the program reads.
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
void CheckText(const std::string& text) {
    if (mirelo::rdsr::ValidUtf8(text) != text) {
        __builtin_trap();  // raw bytes of another character set would reach an output
    }
}
void CheckCode(const mirelo::rdsr::Code& code) {
    CheckText(code.value);
    CheckText(code.scheme);
    CheckText(code.meaning);
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
    mirelo::rdsr::ReadOptions options;
    options.keepPatientId = size % 2 == 0;
    const auto report = mirelo::rdsr::ReadReportFile(path, options);
    if (!report) {
        if (mirelo::rdsr::DescribeReadError(report.error()).empty()) {
            __builtin_trap();
        }
        return 0;
    }
    for (const std::string* text : {&report->device.name, &report->device.manufacturer, &report->device.model,
                                    &report->device.serial, &report->study.description, &report->study.accessionNumber,
                                    &report->patient.name, &report->patient.id, &report->device.observerUid,
                                    &report->characterSet, &report->studyUid, &report->sopInstanceUid,
                                    &report->study.date, &report->study.time, &report->patient.age,
                                    &report->patient.sex, &report->totals.problem}) {
        CheckText(*text);
    }
    for (const auto& note : report->notes) {
        CheckText(note);
    }
    CheckFinite(report->totals.dapGyCm2);
    CheckFinite(report->totals.fluoroDapGyCm2);
    CheckFinite(report->totals.acquisitionDapGyCm2);
    CheckFinite(report->patient.weightKg);
    for (const auto& event : report->events) {
        for (const std::string* text : {&event.protocol, &event.dapUnit, &event.dapValue, &event.dapProblem, &event.uid,
                                        &event.dateTime, &event.kvpProblem}) {
            CheckText(*text);
        }
        CheckCode(event.type);
        CheckCode(event.plane);
        if (event.kvp && (event.kvpSource == mirelo::rdsr::KvpSource::None ||
                          (event.kvpSource != mirelo::rdsr::KvpSource::StatedMean && !(*event.kvp > 0)))) {
            __builtin_trap();  // a pulse mean is of fired pulses only
        }
        CheckFinite(event.durationS);
        CheckFinite(event.doseRpGy);
        CheckFinite(event.fieldAreaCm2);
        CheckFinite(event.kvp);
        CheckFinite(event.dapGyCm2);
        if (event.dapGyCm2.has_value() == !event.dapProblem.empty() && !event.dapText.empty()) {
            __builtin_trap();  // a DAP that was written is either converted or explained
        }
        for (const auto& filter : event.filters) {
            CheckCode(filter.material);
            CheckCode(filter.type);
            CheckText(filter.problem);
            CheckFinite(filter.thicknessMm);
            if (!filter.thicknessMm && filter.problem.empty()) {
                __builtin_trap();
            }
        }
    }
    return 0;
}

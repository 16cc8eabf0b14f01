// Writes a folder of generated dose reports for timing `mirelo-calc rdsr`:
//   make_rdsr_folder OUT REPORTS EVENTS_PER_REPORT
// Report r has EVENTS_PER_REPORT events; a unit has the biplane and single-plane mix, tube voltages
// 60-120 kV in 1 kV steps and copper 0-0.9 mm, as a busy angiography suite writes them.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "report_writer.h"

namespace gen = mirelo::rdsrgen;

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s OUT REPORTS EVENTS_PER_REPORT\n", argv[0]);
        return 2;
    }
    const std::filesystem::path out = argv[1];
    const int reports = std::atoi(argv[2]);
    const int events = std::atoi(argv[3]);
    std::filesystem::create_directories(out);
    static const char* const kCopper[] = {"0.0", "0.1", "0.2", "0.3", "0.6", "0.9"};
    unsigned state = 12345;
    auto next = [&state] { return state = state * 1103515245u + 12345u, (state >> 16) & 0x7fff; };
    for (int r = 0; r < reports; ++r) {
        gen::ReportSpec plan;
        plan.studyUid = "1.2.826.0.1.3680043.10.1307." + std::to_string(r + 1);
        plan.observerUid = "1.2.826.0.1.3680043.10.1308." + std::to_string(r % 5 + 1);
        plan.model = "Angio " + std::to_string(r % 5 + 1);
        const bool biplane = r % 2 == 0;
        for (int e = 0; e < events; ++e) {
            gen::EventSpec ev;
            ev.uid = plan.studyUid + "." + std::to_string(e + 1);
            ev.type = e % 10 == 0 ? gen::StationaryAcquisition() : gen::Fluoroscopy();
            ev.plane = !biplane ? gen::SinglePlane() : (e % 2 == 0 ? gen::PlaneA() : gen::PlaneB());
            ev.dap = gen::NumSpec{std::to_string(1 + next() % 5000) + "E-7", "Gy.m2"};
            ev.kvp = {std::to_string(60 + next() % 61)};
            const char* cu = kCopper[next() % 6];
            ev.filters.push_back({gen::Copper(), gen::NumSpec{cu, "mm"}, gen::NumSpec{cu, "mm"}});
            ev.filters.push_back({gen::Aluminum(), gen::NumSpec{"1.0", "mm"}, gen::NumSpec{"1.0", "mm"}});
            plan.events.push_back(ev);
        }
        const auto path = out / ("report_" + std::to_string(r + 1) + ".dcm");
        if (const std::string error = gen::WriteReport(plan, path); !error.empty()) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
            return 1;
        }
    }
    return 0;
}

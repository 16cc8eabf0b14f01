#include "corpus.h"

#include <fstream>
#include <stdexcept>

#include "report_writer.h"

namespace mirelo::rdsrtest {
namespace {

namespace gen = rdsrgen;

gen::FilterSpec Strip(gen::CodeSpec material, const char* min, const char* max) {
    return {std::move(material), gen::NumSpec{min, "mm"}, gen::NumSpec{max, "mm"}};
}

gen::EventSpec Event(const std::string& uid, gen::CodeSpec type, gen::CodeSpec plane, std::vector<std::string> kvp,
                     std::optional<gen::NumSpec> dap, std::vector<gen::FilterSpec> filters) {
    gen::EventSpec e;
    e.uid = uid;
    e.type = std::move(type);
    e.plane = std::move(plane);
    e.kvp = std::move(kvp);
    e.dap = std::move(dap);
    e.filters = std::move(filters);
    return e;
}

gen::NumSpec Dap(const char* value, const char* unit) { return {value, unit}; }

}  // namespace

std::string ProfilesToml() {
    return std::string("[[device]]\nname = \"Angio 1\"\nobserver_uid = \"") + kAngioUid +
           "\"\ntarget_angle_deg = 10\ninherent_mm_al = 3.0\n\n"
           "[[device]]\nname = \"Biplane A\"\nobserver_uid = \"" + kBiplaneUid +
           "\"\nplane = \"A\"\ntarget_angle_deg = 11\ninherent_mm_al = 2.8\n\n"
           "[[device]]\nname = \"Biplane\"\nobserver_uid = \"" + kBiplaneUid +
           "\"\ntarget_angle_deg = 13\ninherent_mm_al = 3.5\n\n"
           "[[device]]\nname = \"DR 3\"\nmanufacturer = \"MIRELO TEST \"\nmodel = \"dr 3\"\nserial = \"77\"\n"
           "target_angle_deg = 14\nhvl_mm_al = 3.1\nhvl_kv = 80\n";
}

Corpus WriteCorpus(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    Corpus corpus{folder, {}, {}};
    auto write = [&](const std::string& name, const gen::ReportSpec& plan, std::vector<std::string> reasons) {
        if (const auto error = gen::WriteReport(plan, folder / name); !error.empty()) {
            throw std::runtime_error(name + ": " + error);
        }
        for (std::size_t i = 0; i < plan.events.size(); ++i) {
            corpus.events.push_back({name, plan.events[i].uid, reasons[i]});
        }
    };
    const auto fluoro = gen::Fluoroscopy();
    const auto acq = gen::StationaryAcquisition();
    const auto single = gen::SinglePlane();

    // Single-plane angiography: pulsed fluoroscopy and acquisitions, Gy.m2 as the template has it.
    gen::ReportSpec angio;
    angio.studyUid = "1.2.826.0.1.3680043.10.1310.1";
    angio.observerUid = kAngioUid;
    angio.events = {
        Event("1.2.826.0.1.3680043.10.1311.1", fluoro, single, {"78", "82"}, Dap("1.5E-4", "Gy.m2"),
              {Strip(gen::Copper(), "0.2", "0.3"), Strip(gen::Aluminum(), "1.0", "1.0")}),
        Event("1.2.826.0.1.3680043.10.1311.2", fluoro, single, {"85", "90"}, Dap("2.25E-4", "Gy.m2"),
              {Strip(gen::Copper(), "0.1", "0.1"), Strip(gen::Copper(), "0.1", "0.1"), Strip(gen::Aluminum(), "0.5", "0.5")}),
        Event("1.2.826.0.1.3680043.10.1311.3", acq, single, {"70"}, Dap("3E-3", "Gy.m2"), {}),
        Event("1.2.826.0.1.3680043.10.1311.4", fluoro, single, {}, Dap("1E-4", "Gy.m2"), {}),
        Event("1.2.826.0.1.3680043.10.1311.5", fluoro, single, {"80"}, Dap("1E-4", "Gy.m2"),
              {Strip({"SN", "99MIRELO", "Tin"}, "0.4", "0.4")}),
        Event("1.2.826.0.1.3680043.10.1311.6", fluoro, single, {"160"}, Dap("1E-4", "Gy.m2"), {}),
        Event("1.2.826.0.1.3680043.10.1311.7", fluoro, single, {"80"}, Dap("0.1", "mGy"), {}),
    };
    angio.events[1].kvpMeanGiven = true;  // 85 is the mean the device states; 90 is one pulse
    const std::vector<std::string> angioReasons = {"", "", "", "no tube voltage", "'Tin' (SN, 99MIRELO) not in the tables",
                                                   "160 kV outside 0-150 kV", "unit 'mGy' unknown"};
    write("a_angio.dcm", angio, angioReasons);

    // Biplane: plane A and B events, the DAP in dGy.cm2.
    gen::ReportSpec biplane;
    biplane.studyUid = "1.2.826.0.1.3680043.10.1310.2";
    biplane.observerUid = kBiplaneUid;
    biplane.model = "Biplane 2";
    const auto cuAl = std::vector<gen::FilterSpec>{Strip(gen::Copper(), "0.3", "0.3"), Strip(gen::Aluminum(), "1", "1")};
    biplane.events = {
        Event("1.2.826.0.1.3680043.10.1312.1", fluoro, gen::PlaneA(), {"75"}, Dap("12.5", "dGy.cm2"), cuAl),
        Event("1.2.826.0.1.3680043.10.1312.2", fluoro, gen::PlaneB(), {"75"}, Dap("8", "dGy.cm2"), cuAl),
        Event("1.2.826.0.1.3680043.10.1312.3", fluoro, gen::PlaneA(), {"75"}, std::nullopt, cuAl),
        Event("1.2.826.0.1.3680043.10.1312.4", acq, gen::PlaneB(), {"90"}, Dap("0.5", "Gy.cm2"),
              {Strip(gen::Copper(), "0.9", "0.9")}),
    };
    write("b_biplane.dcm", biplane, {"", "", "no dose-area product", ""});

    // Radiography (DX): no device observer UID, so profiles match by manufacturer, model and serial.
    gen::ReportSpec dx;
    dx.studyUid = "1.2.826.0.1.3680043.10.1310.3";
    dx.model = "DR 3";
    dx.serial = "77";
    dx.events = {
        Event("1.2.826.0.1.3680043.10.1313.1", acq, single, {"81"}, Dap("1.2", "uGy.m2"),
              {{gen::Aluminum(), gen::NumSpec{"1.0", "mm"}, gen::NumSpec{"1.0", "mm"}, {"113653", "DCM", "Flat filter"}},
               {gen::Copper(), gen::NumSpec{"0.1", "mm"}, gen::NumSpec{"0.1", "mm"}, {"113653", "DCM", "Flat filter"}}}),
        Event("1.2.826.0.1.3680043.10.1313.2", acq, single, {"109"}, Dap("25", "mGy.cm2"), {}),
        Event("1.2.826.0.1.3680043.10.1313.3", acq, single, {"125"}, Dap("4.5E-6", "Gy.m2"), {}),
    };
    write("c_dx.dcm", dx, {"", "", ""});

    // What real devices get wrong: relationship types missing, person names with six components,
    // items of no template. Its events are read all the same.
    gen::ReportSpec damaged;
    damaged.studyUid = "1.2.826.0.1.3680043.10.1310.4";
    damaged.observerUid = kNoProfileUid;
    damaged.dropRelationshipType = true;
    damaged.invalidPersonNames = true;
    damaged.outOfTemplateItems = true;
    damaged.events = {
        Event("1.2.826.0.1.3680043.10.1314.1", fluoro, single, {"80"}, Dap("1E-4", "Gy.m2"), {Strip(gen::Copper(), "0.1", "0.1")}),
        Event("1.2.826.0.1.3680043.10.1314.2", fluoro, single, {"80"}, Dap("2E-4", "Gy.m2"), {Strip(gen::Copper(), "0.1", "0.1")}),
    };
    write("d_damaged.dcm", damaged, {"", ""});

    // The angiography report sent twice: its events must not count twice.
    std::vector<std::string> copyReasons = angioReasons;
    for (std::size_t i = 0; i < 3; ++i) copyReasons[i] = "duplicate";
    write("e_angio_again.dcm", angio, copyReasons);

    if (const auto error = gen::WriteImage(folder / "f_image.dcm"); !error.empty()) {
        throw std::runtime_error("f_image.dcm: " + error);
    }
    std::ofstream(folder / "g_notes.txt") << "Not a DICOM file.\n";
    // A link back to the folder itself: searched once, not forever.
    std::filesystem::remove(folder / "h_loop");
    std::filesystem::create_directory_symlink(".", folder / "h_loop");
    corpus.unreadable = {"f_image.dcm", "g_notes.txt"};
    return corpus;
}

}  // namespace mirelo::rdsrtest

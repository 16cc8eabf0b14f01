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
              // Aluminium given in cm, as some units write it: read as 1.0 mm.
              {{gen::Aluminum(), gen::NumSpec{"0.1", "cm"}, gen::NumSpec{"0.1", "cm"}, {"113653", "DCM", "Flat filter"}},
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

    // The angiography report sent twice (another SOP instance): its events must not count twice.
    const std::vector<std::string> copyReasons(angioReasons.size(), "this irradiation event was already met in");
    write("e_angio_again.dcm", angio, copyReasons);

    if (const auto error = gen::WriteImage(folder / "f_image.dcm"); !error.empty()) {
        throw std::runtime_error("f_image.dcm: " + error);
    }
    std::ofstream(folder / "g_notes.txt") << "Not a DICOM file.\n";
    // A link back to the folder itself: searched once, not forever.
    std::filesystem::remove(folder / "h_loop");
    std::filesystem::create_directory_symlink(".", folder / "h_loop");
    corpus.unreadable = {"g_notes.txt"};  // the image is named and skipped, not an error
    return corpus;
}

namespace {

gen::EventSpec Simple(const std::string& uid, const char* dap, const char* unit, const char* kv = "80") {
    gen::EventSpec e;
    e.uid = uid;
    e.type = gen::Fluoroscopy();
    e.plane = gen::SinglePlane();
    e.kvp = {kv};
    e.dap = gen::NumSpec{dap, unit};
    return e;
}

gen::TotalsSpec Total(gen::CodeSpec plane, const char* dapGyM2) {
    gen::TotalsSpec t;
    t.plane = std::move(plane);
    t.dap = gen::NumSpec{dapGyM2, "Gy.m2"};
    return t;
}

}  // namespace

VendorCorpus WriteVendorCorpus(const std::filesystem::path& folder) {
    std::filesystem::create_directories(folder);
    VendorCorpus c;
    c.folder = folder;
    auto write = [&](const std::string& name, const gen::ReportSpec& plan) {
        if (const auto error = gen::WriteReport(plan, folder / name); !error.empty()) {
            throw std::runtime_error(name + ": " + error);
        }
    };
    auto used = [&](const std::string& file, const std::string& uid, std::string kv, std::string source, std::string dap,
                    std::string protocol = {}) {
        c.events.push_back({file, uid, "used", "", std::move(kv), std::move(source), std::move(dap), std::move(protocol)});
    };
    auto skipped = [&](const std::string& file, const std::string& uid, std::string status, std::string reason) {
        c.events.push_back({file, uid, std::move(status), std::move(reason), "", "", "", ""});
    };
    const std::string root = "1.2.826.0.1.3680043.10.1320.";

    // Every unambiguous spelling of a dose times an area, as vendors write them; the report's total agrees.
    gen::ReportSpec units;
    units.studyUid = root + "1";
    units.sopInstanceUid = root + "1.100";
    units.studyDescription = "=HYPERLINK(\"http://example.invalid\")";  // a spreadsheet must not run it
    const std::pair<const char*, const char*> spellings[] = {
        {"0.0000004", "Gym2"}, {"0.0048", "Gy.m2"}, {"12.5", "dGy.cm2"}, {"1.2", "uGy.m2"}, {"25", "mGy.cm2"},
        {"3", "cGy.cm2"},      {"2", "\xC2\xB5Gy.m2"}, {"5", "Gy*cm^2"}, {"1", "mGy.dm2"}};
    const char* const converted[] = {"0.004", "48", "1.25", "0.012", "0.025", "0.03", "0.02", "5", "0.1"};
    for (std::size_t i = 0; i < std::size(spellings); ++i) {
        const std::string uid = root + "1." + std::to_string(i + 1);
        units.events.push_back(Simple(uid, spellings[i].first, spellings[i].second));
        used("u_units.dcm", uid, "80", "single value", converted[i]);
        // Sent twice under another name: the same SOP instance.
        c.events.push_back({"u_units_again.dcm", uid, "duplicate", "this report was already met in", "", "", "", ""});
    }
    units.totals = {Total({"113622", "DCM", "Single Plane"}, "0.0054441")};
    write("u_units.dcm", units);
    write("u_units_again.dcm", units);
    c.studies.push_back({units.studyUid, "complete", "54.441", "54.441", "0", "0", "'=HYPERLINK(\"http://example.invalid\")"});

    // Spellings that are not a dose times an area stay refused, named.
    gen::ReportSpec refused;
    refused.studyUid = root + "2";
    refused.events = {Simple(root + "2.1", "1", "Gy.cm"), Simple(root + "2.2", "1", "MGy.cm2"), Simple(root + "2.3", "1", "Gy.cm2")};
    write("u_refused.dcm", refused);
    skipped("u_refused.dcm", root + "2.1", "skipped", "unit 'Gy.cm' unknown");
    skipped("u_refused.dcm", root + "2.2", "skipped", "unit 'MGy.cm2' unknown");
    used("u_refused.dcm", root + "2.3", "80", "single value", "1");
    c.studies.push_back({refused.studyUid, "incomplete", "1", "", "", "", ""});

    // "No filter" naming a material, and a material at 0 mm: not in the beam.
    gen::ReportSpec noFilter;
    noFilter.studyUid = root + "3";
    const gen::CodeSpec molybdenum{"C-150F9", "SRT", "Molybdenum or Molybdenum compound"};
    noFilter.events = {Simple(root + "3.1", "1E-4", "Gy.m2", "70"), Simple(root + "3.2", "2E-4", "Gy.m2", "70")};
    noFilter.events[0].filters = {{molybdenum, std::nullopt, std::nullopt, {"111609", "DCM", "No filter"}},
                                  {gen::Copper(), gen::NumSpec{"0.1", "mm"}, gen::NumSpec{"0.1", "mm"}}};
    noFilter.events[1].filters = {{molybdenum, gen::NumSpec{"0", "mm"}, gen::NumSpec{"0", "mm"}},
                                  {gen::Aluminum(), gen::NumSpec{"1.0", "mm"}, gen::NumSpec{"1.0", "mm"}}};
    noFilter.totals = {Total({"113622", "DCM", "Single Plane"}, "3E-4")};
    // What a dose register needs of an event beside its dose.
    noFilter.events[0].duration = gen::NumSpec{"3.5", "s"};
    noFilter.events[0].pulses = gen::NumSpec{"35", "{pulses}"};
    noFilter.events[0].doseRp = gen::NumSpec{"1.2", "mGy"};
    noFilter.events[0].fieldArea = gen::NumSpec{"0.0144", "m2"};
    noFilter.events[0].dateTime = "20160818192617.043";
    write("n_nofilter.dcm", noFilter);
    used("n_nofilter.dcm", root + "3.1", "70", "single value", "1");
    used("n_nofilter.dcm", root + "3.2", "70", "single value", "2");
    c.studies.push_back({noFilter.studyUid, "complete", "3", "3", "0", "0", ""});
    c.complete = (folder / "n_nofilter.dcm").string();

    // The same events re-sent under another study.
    gen::ReportSpec resent = noFilter;
    resent.studyUid = root + "8";
    write("w_resent.dcm", resent);
    skipped("w_resent.dcm", root + "3.1", "duplicate", "this irradiation event was already met in");
    skipped("w_resent.dcm", root + "3.2", "duplicate", "this irradiation event was already met in");
    c.studies.push_back({resent.studyUid, "duplicate", "", "3", "", "", ""});

    // Pulsed tube voltage: a value per pulse with 0 kV for pulses that did not fire, maxima beside.
    gen::ReportSpec pulsed;
    pulsed.studyUid = root + "4";
    for (int i = 1; i <= 5; ++i) pulsed.events.push_back(Simple(root + "4." + std::to_string(i), "1E-4", "Gy.m2"));
    pulsed.events[0].kvp = {};
    pulsed.events[0].kvpPulses = "0\\80\\82\\0\\84";
    pulsed.events[1].kvp = {};
    pulsed.events[1].kvpPulses = "70\\72";
    pulsed.events[1].kvpMaximum = "90";
    pulsed.events[2].kvp = {"85"};
    pulsed.events[2].kvpMeanGiven = true;
    pulsed.events[2].kvpMaximum = "95";
    pulsed.events[3].kvp = {};
    pulsed.events[3].kvpPulses = "0\\0";
    pulsed.events[4].kvp = {};
    pulsed.events[4].kvpMaximum = "100";
    write("p_pulsed.dcm", pulsed);
    used("p_pulsed.dcm", root + "4.1", "82", "mean of fired pulses", "1");
    used("p_pulsed.dcm", root + "4.2", "71", "mean of fired pulses", "1");
    used("p_pulsed.dcm", root + "4.3", "85", "stated mean", "1");
    skipped("p_pulsed.dcm", root + "4.4", "skipped", "no pulse fired");
    skipped("p_pulsed.dcm", root + "4.5", "skipped", "only as a maximum");
    c.studies.push_back({pulsed.studyUid, "incomplete", "3", "", "", "", ""});

    // Texts in Latin-1, in ISO 2022 IR 87 (Japanese), and UTF-8 with bytes that are not.
    gen::ReportSpec latin1;
    latin1.studyUid = root + "5";
    latin1.characterSet = "ISO_IR 100";
    latin1.studyDescription = "Koronarangiographie M\xFCller";
    latin1.events = {Simple(root + "5.1", "1E-4", "Gy.m2")};
    latin1.events[0].protocol = "Sch\xE4" "del a.p.";
    write("l_latin1.dcm", latin1);
    used("l_latin1.dcm", root + "5.1", "80", "single value", "1", "Sch\xC3\xA4" "del a.p.");
    c.studies.push_back({latin1.studyUid, "complete", "1", "", "", "", "Koronarangiographie M\xC3\xBCller"});

    gen::ReportSpec japanese;
    japanese.studyUid = root + "6";
    japanese.characterSet = "\\ISO 2022 IR 87";
    japanese.events = {Simple(root + "6.1", "1E-4", "Gy.m2")};
    japanese.events[0].protocol = "\x1b$B;3ED\x1b(B";  // 山田 in JIS X 0208
    write("j_jis.dcm", japanese);
    used("j_jis.dcm", root + "6.1", "80", "single value", "1", "\xE5\xB1\xB1\xE7\x94\xB0");
    c.studies.push_back({japanese.studyUid, "complete", "1", "", "", "", ""});

    gen::ReportSpec broken;
    broken.studyUid = root + "7";
    broken.characterSet = "ISO_IR 192";
    broken.events = {Simple(root + "7.1", "1E-4", "Gy.m2")};
    broken.events[0].protocol = "Abdomen \xFF";
    write("r_replaced.dcm", broken);
    used("r_replaced.dcm", root + "7.1", "80", "single value", "1", "Abdomen \xEF\xBF\xBD");
    c.studies.push_back({broken.studyUid, "complete", "1", "", "", "", ""});

    // A report whose own total is more than its events: 20 % short.
    gen::ReportSpec shortOf;
    shortOf.studyUid = root + "9";
    shortOf.events = {Simple(root + "9.1", "1E-4", "Gy.m2"), Simple(root + "9.2", "1E-4", "Gy.m2")};
    shortOf.totals = {Total({"113622", "DCM", "Single Plane"}, "2.5E-4")};
    write("t_short.dcm", shortOf);
    used("t_short.dcm", root + "9.1", "80", "single value", "1");
    used("t_short.dcm", root + "9.2", "80", "single value", "1");
    c.studies.push_back({shortOf.studyUid, "incomplete", "2", "2.5", "0.5", "20", ""});
    c.incomplete = (folder / "t_short.dcm").string();

    // Biplane totals, one container per plane, summed; within 1 % of the events.
    gen::ReportSpec biplane;
    biplane.studyUid = root + "10";
    biplane.events = {Simple(root + "10.1", "1E-4", "Gy.m2"), Simple(root + "10.2", "2E-4", "Gy.m2")};
    biplane.events[0].plane = gen::PlaneA();
    biplane.events[1].plane = gen::PlaneB();
    biplane.totals = {Total(gen::PlaneA(), "1E-4"), Total(gen::PlaneB(), "2.02E-4")};
    write("t_biplane.dcm", biplane);
    used("t_biplane.dcm", root + "10.1", "80", "single value", "1");
    used("t_biplane.dcm", root + "10.2", "80", "single value", "2");
    c.studies.push_back({biplane.studyUid, "complete", "3", "3.02", "0.02", "0.66", ""});

    // What else a PACS export holds, and a file the DICOM library cannot survive.
    gen::ReportSpec ct;
    ct.studyUid = root + "11";
    ct.procedure = {"P5-08000", "SRT", "Computed Tomography X-Ray"};
    write("y_ct.dcm", ct);
    auto check = [](const std::string& name, const std::string& error) {
        if (!error.empty()) throw std::runtime_error(name + ": " + error);
    };
    check("DICOMDIR", gen::WriteDicomDir(folder / "DICOMDIR"));
    check("z_image.dcm", gen::WriteImage(folder / "z_image.dcm"));
    check("x_deep.dcm", gen::WriteDeeplyNested(folder / "x_deep.dcm", 10000));
    c.deep = (folder / "x_deep.dcm").string();
    c.notRead = {{"y_ct.dcm", "y_ct.dcm: CT radiation dose report: not a projection X-ray report"},
                 {"DICOMDIR", "DICOMDIR: DICOMDIR: skipped"},
                 {"z_image.dcm", "z_image.dcm: Secondary Capture Image Storage: not a dose report, skipped"},
                 {"x_deep.dcm", "x_deep.dcm: cannot be read: sequences nested more than 200 levels deep"}};
    return c;
}

}  // namespace mirelo::rdsrtest

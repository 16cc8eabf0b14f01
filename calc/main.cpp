// mirelo-calc: the calculations of the main window from the command line, one at a time or a
// batch file of them.
#include <CLI/CLI.hpp>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "calc/batch_reader.h"
#include "calc/calculation.h"
#include "calc/conditions.h"
#ifdef MIRELO_WITH_RDSR
#include "calc/rdsr_command.h"
#endif
#include "calc/report.h"
#include "common/decimal.h"
#include "quality/quality.h"
#include "data_folders/data_folders.h"
#include "tables/table_error_text.h"
#include "tables/table_reader.h"

namespace {

using namespace mirelo;
using namespace mirelo::calc;

// Exit statuses: 1 when the tables (or the output) fail, 2 when the input is wrong.
constexpr int kSystemProblem = 1;
constexpr int kInputProblem = 2;

int Fail(int status, const std::string& message) {
    std::fprintf(stderr, "mirelo-calc: %s\n", message.c_str());
    return status;
}

// Writes everything or says why not.
bool Write(const std::string& text) {
    return (text.empty() || std::fwrite(text.data(), 1, text.size(), stdout) == text.size()) && !std::ferror(stdout);
}

Result<Tables, TableError> Load(const std::string& tablesDir) {
    if (!tablesDir.empty()) {
        return LoadTables({std::filesystem::path(tablesDir)});
    }
    return LoadTables(DataFolders(RunningExecutableFolder()));
}

// What --quality and --fit-hvl/--fit-kv ask for.
struct QualityRequest {
    bool quality = false;
    std::optional<std::string> fitHvl, fitKv;
};

// A strictly read number of an option, or the message naming it.
Result<double, std::string> OptionNumber(const char* name, const std::string& text) {
    if (!IsDecimalNumber(text) || !std::isfinite(DecimalValue(text))) {
        return Failure{std::string(name) + " \"" + Printable(text) + "\": not a number"};
    }
    return DecimalValue(text);
}

std::string TwoDecimals(double x) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.2f", x);
    return buffer;
}

std::string FitProblem(const FitError& e, const QualityRequest& request) {
    switch (e.kind) {
        case FitError::Kind::TargetAngle: return "--angle: its tangent is 0 or not finite";
        case FitError::Kind::TubeVoltage: return "--fit-kv \"" + Printable(*request.fitKv) + "\": outside 0-150 kV";
        case FitError::Kind::NoBeamQuality:
            return "--fit-hvl: these conditions give a spectrum without a beam quality";
        case FitError::Kind::Unreachable: break;
    }
    return "--fit-hvl \"" + Printable(*request.fitHvl) + "\": out of reach; at " + Printable(*request.fitKv) +
           " kV an inherent filtration of 0 to 20 mm Al gives a first HVL of " + TwoDecimals(e.lowestHvlMmAl) + " to " +
           TwoDecimals(e.highestHvlMmAl) + " mm Al";
}

int RunOne(const ConditionTexts& texts, const std::string& tablesDir, Format format, bool withSpectrum,
           const QualityRequest& request) {
    auto conditions = ReadConditions(texts);
    if (!conditions) {
        return Fail(kInputProblem, DescribeInputError(conditions.error(), Naming::Option));
    }
    std::optional<HvlMeasurement> measurement;
    if (request.fitHvl || request.fitKv) {
        if (!request.fitHvl || !request.fitKv) {
            return Fail(kInputProblem, request.fitHvl ? "--fit-kv: missing (the tube voltage the HVL was measured at)"
                                                      : "--fit-hvl: missing (the measured first HVL in mm Al)");
        }
        if (texts.inherent) {
            return Fail(kInputProblem, "--inherent: not with --fit-hvl (the fit gives the inherent filtration)");
        }
        const auto hvl = OptionNumber("--fit-hvl", *request.fitHvl);
        const auto kv = OptionNumber("--fit-kv", *request.fitKv);
        if (!hvl || !kv) {
            return Fail(kInputProblem, !hvl ? hvl.error() : kv.error());
        }
        if (!(*hvl > 0)) {
            return Fail(kInputProblem, "--fit-hvl \"" + Printable(*request.fitHvl) + "\": must be above 0 mm Al");
        }
        measurement = HvlMeasurement{conditions->angleDeg, conditions->alMm, conditions->cuMm, *kv, *hvl};
    }
    if (!conditions->areaDose && !withSpectrum) {
        return Fail(kInputProblem, "--area-dose: missing (the photon count and doses need it; --spectrum alone does not)");
    }
    const auto tables = Load(tablesDir);
    if (!tables) {
        return Fail(kSystemProblem, DescribeTableError(tables.error()));
    }
    if (measurement) {
        const auto fit = FitInherentFiltration(*tables, *measurement);
        if (!fit) {
            return Fail(kInputProblem, FitProblem(fit.error(), request));
        }
        conditions->inherentMm = fit->inherent_mm_al;
    }
    SpectrumCache cache;
    auto calculation = Calculate(*tables, *conditions, cache);
    if (!calculation) {
        return Fail(kInputProblem, DescribeInputError(calculation.error(), Naming::Option));
    }
    calculation->fittedTo = measurement;
    calculation->qualityAsked = request.quality;
    if (request.quality) {
        if (const auto q = ComputeBeamQuality(*tables, calculation->spectrum)) {
            calculation->quality = *q;
        }
    }
    if (!Write(Report(*calculation, *tables, format, withSpectrum)) || std::fflush(stdout) != 0) {
        return Fail(kSystemProblem, "the output could not be written");
    }
    return 0;
}

int RunBatch(const std::string& file, const std::string& tablesDir, Format format) {
    std::ifstream opened;
    std::istream* in = &std::cin;
    if (file != "-") {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(file, ec)) {
            return Fail(kInputProblem, "--batch \"" + Printable(file) + "\": not a readable file");
        }
        opened.open(file, std::ios::binary);
        if (!opened) {
            return Fail(kInputProblem, "--batch \"" + Printable(file) + "\": cannot be opened");
        }
        in = &opened;
    }
    const auto tooLong = [&file](std::size_t number) {
        return Fail(kInputProblem, "--batch \"" + Printable(file) + "\": line " + std::to_string(number) + " is longer than " +
                                       std::to_string(kMaxBatchLineBytes) + " bytes");
    };
    std::string line;
    if (const LineRead first = ReadBatchLine(*in, line); first != LineRead::Line) {
        return first == LineRead::TooLong ? tooLong(1) : Fail(kInputProblem, "--batch \"" + Printable(file) + "\": no header line");
    }
    const auto header = ReadBatchHeader(line);
    if (!header) {
        return Fail(kInputProblem, "--batch \"" + Printable(file) + "\": " + header.error());
    }
    const auto tables = Load(tablesDir);
    if (!tables) {
        return Fail(kSystemProblem, DescribeTableError(tables.error()));
    }

    SpectrumCache cache;
    // A failed write (full disk, closed pipe) ends the run there: the lines after it would be
    // computed for nobody. stdio buffers the small writes.
    const auto outputFailed = [](std::size_t number) {
        return Fail(kSystemProblem, "the output could not be written (stopped at line " + std::to_string(number) + ")");
    };
    if (!Write(BatchHeaderLine(format))) {
        return outputFailed(1);
    }
    std::size_t number = 1, lines = 0, failed = 0;
    for (;;) {
        const LineRead read = ReadBatchLine(*in, line);
        if (read == LineRead::End) {
            break;
        }
        ++number;
        if (read == LineRead::TooLong) {
            return tooLong(number);
        }
        if (IsBlankLine(line)) {
            continue;
        }
        ++lines;
        Result<Calculation, InputError> result = Failure{InputError{}};
        if (const auto texts = ReadBatchRow(*header, line); !texts) {
            result = Failure{texts.error()};
        } else if (const auto conditions = ReadConditions(*texts); !conditions) {
            result = Failure{conditions.error()};
        } else if (!conditions->areaDose) {
            result = Failure{InputError{Field::AreaDose, "", "missing"}};
        } else {
            result = Calculate(*tables, *conditions, cache);
        }
        failed += result ? 0 : 1;
        if (!Write(BatchLine(number, result, *tables, format))) {
            return outputFailed(number);
        }
    }
    if (in->bad()) {
        return Fail(kInputProblem, "--batch \"" + Printable(file) + "\": reading failed after line " + std::to_string(number));
    }
    if (std::fflush(stdout) != 0) {
        return outputFailed(number);
    }
    if (failed > 0) {
        return Fail(kInputProblem, std::to_string(failed) + " of " + std::to_string(lines) + " lines could not be computed");
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef SIGPIPE
    // A closed pipe is an output failure like a full disk: reported, with status 1, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
#endif
    CLI::App app{"Photon spectrum and patient volume dose (J, body thickness 10 to 30 cm) from the area dose of an "
                 "X-ray unit, as the Mirelo main window computes them.",
                 "mirelo-calc"};
    app.set_version_flag("--version", "mirelo-calc " MIRELO_VERSION);

    ConditionTexts texts;
    std::string tablesDir, formatName = "text", batchFile;
    bool withSpectrum = false;
    // Strings here: numbers are read by the program's own strict rule, not CLI11's.
    std::vector<CLI::Option*> single;
    const auto text = [&](const char* name, std::optional<std::string>& slot, const char* help) {
        CLI::Option* opt = app.add_option_function<std::string>(name, [&slot](const std::string& v) { slot = v; }, help);
        single.push_back(opt);
        return opt;
    };
    text("--kv", texts.kv, "tube voltage in kV, fixed (80) or a range (75-85), 0 to 150")->type_name("KV|LOW-HIGH");
    text("--spread", texts.spread, "weights over a voltage range: uniform (default) or normal")->type_name("uniform|normal");
    text("--angle", texts.angle, "target angle in degrees (default 12)")->type_name("DEG");
    text("--inherent", texts.inherent, "inherent filtration in mm aluminium (default 2.5)")->type_name("MM");
    text("--al", texts.al, "added aluminium filter in mm (default 1.0)")->type_name("MM");
    text("--cu", texts.cu, "added copper filter in mm (default 0)")->type_name("MM");
    text("--area-dose", texts.areaDose, "area dose (air kerma-area product) read off the meter")->type_name("VALUE");
    text("--unit", texts.unit, "unit of --area-dose: Gy.cm2 (default), mGy.cm2, uGy.m2, dGy.cm2, cGy.cm2, Gy.m2")
        ->type_name("UNIT");
    CLI::Option* spectrumFlag = app.add_flag("--spectrum", withSpectrum, "add the 300 bins of the photon spectrum");
    single.push_back(spectrumFlag);
    QualityRequest quality;
    single.push_back(app.add_flag("--quality", quality.quality,
                                  "add the beam quality: HVL1, HVL2 (mm Al), homogeneity, mean and effective energy"));
    text("--fit-hvl", quality.fitHvl, "fit the inherent filtration to this measured first HVL (mm Al) first")
        ->type_name("MM");
    text("--fit-kv", quality.fitKv, "the tube voltage (kV) the HVL of --fit-hvl was measured at")->type_name("KV");
    app.add_option("--tables", tablesDir, "folder with Att_coeff2021.dat and effEA.dat (default: where the program looks)")
        ->type_name("DIR");
    app.add_option("--format", formatName, "text (default), json or csv")
        ->check(CLI::IsMember({"text", "json", "csv"}))
        ->type_name("FORMAT");
    CLI::Option* batch = app.add_option("--batch", batchFile,
                                        "one calculation per line of a CSV file (- for standard input) with a header "
                                        "naming the columns kv, kv_high, spread, angle, inherent, al, cu, area_dose, unit")
                             ->type_name("FILE.csv");

#ifdef MIRELO_WITH_RDSR
    RdsrOptions rdsrOptions;
    std::string rdsrTables, rdsrFormat = "csv";
    CLI::App* rdsr = app.add_subcommand(
        "rdsr", "Patient volume dose of every irradiation event and study in DICOM X-ray radiation dose reports");
    rdsr->add_option("PATH", rdsrOptions.paths, "report files, or folders searched recursively")
        ->required()
        ->type_name("PATH...");
    rdsr->add_option("--profiles", rdsrOptions.profiles,
                     "device profiles: target angle, inherent filtration or a measured HVL (TOML)")
        ->type_name("FILE.toml");
    rdsr->add_option("--events", rdsrOptions.events, "one line per event (- for standard output)")->type_name("FILE.csv");
    rdsr->add_option("--studies", rdsrOptions.studies,
                     "one line per study (default: standard output, unless --format json)")
        ->type_name("FILE.csv");
    rdsr->add_option("--format", rdsrFormat, "csv (default), or json: events and studies as one document on standard output")
        ->check(CLI::IsMember({"csv", "json"}))
        ->type_name("FORMAT");
    rdsr->add_option("--tables", rdsrTables, "folder with Att_coeff2021.dat and effEA.dat (default: where the program looks)")
        ->type_name("DIR");

#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) {
            // --help, --version: a text nobody received is a failure too.
            const int status = app.exit(e);
            std::cout.flush();
            return std::cout.good() ? status : Fail(kSystemProblem, "the output could not be written");
        }
        std::string message = e.what();
        for (char& c : message) {
            c = c == '\n' ? ' ' : c;
        }
        return Fail(kInputProblem, message + " (see --help)");
    }
#ifdef MIRELO_WITH_RDSR
    if (rdsr->parsed()) {
        // The reports give the conditions; an option of a single calculation would be ignored.
        single.push_back(batch);
        for (const CLI::Option* opt : single) {
            if (opt->count() > 0) {
                return Fail(kInputProblem, opt->get_name() + ": not with rdsr (the reports give the conditions)");
            }
        }
        rdsrOptions.json = rdsrFormat == "json";
        const std::string dir = rdsrTables.empty() ? tablesDir : rdsrTables;
        return RunRdsr(rdsrOptions, [&dir] { return Load(dir); });
    }
#endif
    const Format format = formatName == "json" ? Format::Json : formatName == "csv" ? Format::Csv : Format::Text;
    if (batch->count() > 0) {
        // The conditions come from the file; an option beside it would be silently ignored.
        for (const CLI::Option* opt : single) {
            if (opt->count() > 0) {
                return Fail(kInputProblem, opt->get_name() + ": not with --batch (the file gives the conditions)");
            }
        }
        return RunBatch(batchFile, tablesDir, format);
    }
    if (!texts.kv) {
        return Fail(kInputProblem, "--kv: missing (or give --batch FILE.csv)");
    }
    return RunOne(texts, tablesDir, format, withSpectrum, quality);
}

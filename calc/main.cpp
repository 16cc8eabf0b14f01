// mirelo-calc: the calculations of the main window from the command line, one at a time or a
// batch file of them.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <limits>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <tuple>
#include <vector>

#include "calc/arguments.h"
#include "calc/batch_reader.h"
#include "calc/calculation.h"
#include "calc/conditions.h"
#ifdef MIRELO_WITH_RDSR
#include "calc/rdsr_command.h"
#include "calc/register_command.h"
#endif
#include "calc/report.h"
#include "common/decimal.h"
#include "common/number_text.h"
#include "common/path_text.h"
#include "quality/quality.h"
#include "data_folders/data_folders.h"
#include "spectrum/input_rules.h"
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
        return LoadTables({PathFromText(tablesDir)});
    }
    return LoadTables(DataFolders(RunningExecutableFolder()));
}

// What --quality and --fit-hvl/--fit-kv/--fit-al/--fit-cu ask for.
struct QualityRequest {
    bool quality = false;
    std::vector<std::string> fitHvl;  // "MM" with --fit-kv, or each "KV:MM" (":MM2" may follow)
    std::optional<std::string> fitKv, fitAl, fitCu;
    bool Fit() const { return !fitHvl.empty() || fitKv || fitAl || fitCu; }
};

// Why a strictly read number cannot be used, or nothing.
std::optional<std::string> NumberProblem(const std::string& text) {
    if (!IsDecimalNumber(text)) {
        return "not a number";
    }
    if (!std::isfinite(DecimalValue(text))) {
        return "too large for any measurement (beyond 1.8e308)";
    }
    return std::nullopt;
}

// A strictly read number of an option, or the message naming it.
Result<double, std::string> OptionNumber(const std::string& name, const std::string& text) {
    if (const auto problem = NumberProblem(text)) {
        return Failure{name + " \"" + Printable(text) + "\": " + *problem};
    }
    return DecimalValue(text);
}

std::string Quoted(const std::string& text) { return "\"" + Printable(text) + "\""; }

// The measurements of the request, made through --fit-al/--fit-cu (stated defaults: no added
// filter) at the tube's target angle.
Result<std::vector<HvlMeasurement>, std::string> ReadMeasurements(const QualityRequest& r, double angleDeg) {
    if (r.fitHvl.empty()) {
        return Failure{std::string(r.fitKv ? "--fit-hvl: missing (the measured first HVL in mm Al)"
                                           : "--fit-hvl: missing (--fit-al and --fit-cu describe its measurement)")};
    }
    HvlMeasurement base{angleDeg, kMeasurementAlMm, kMeasurementCuMm, 0, 0, std::nullopt};
    for (const auto& [name, text, slot] : {std::tuple{"--fit-al", &r.fitAl, &base.alMm}, std::tuple{"--fit-cu", &r.fitCu, &base.cuMm}}) {
        if (*text) {
            const auto mm = OptionNumber(name, **text);
            if (!mm) {
                return Failure{mm.error()};
            }
            if (!CheckInputs({.alMm = *mm})) {
                return Failure{std::string(name) + " " + Quoted(**text) + ": a thickness must be finite and not negative"};
            }
            *slot = *mm;
        }
    }
    std::vector<HvlMeasurement> out;
    for (const std::string& given : r.fitHvl) {
        HvlMeasurement m = base;
        std::vector<std::string> parts;
        for (std::size_t from = 0;;) {
            const std::size_t colon = given.find(':', from);
            parts.push_back(given.substr(from, colon == std::string::npos ? std::string::npos : colon - from));
            if (colon == std::string::npos) break;
            from = colon + 1;
        }
        if (parts.size() == 1) {
            if (!r.fitKv) {
                return Failure{std::string("--fit-kv: missing (the tube voltage the HVL was measured at)")};
            }
            if (r.fitHvl.size() > 1) {
                return Failure{std::string("--fit-kv: only with a single --fit-hvl MM (give several as KV:MM)")};
            }
            parts.insert(parts.begin(), *r.fitKv);
        } else if (r.fitKv) {
            return Failure{"--fit-kv: not with --fit-hvl " + Quoted(given) + " (it names its own voltage)"};
        } else if (parts.size() > 3) {
            return Failure{"--fit-hvl " + Quoted(given) + ": not KV:MM or KV:MM:MM2"};
        }
        // A message quotes what was typed: the option's whole value, or --fit-kv for its voltage.
        const std::string shown = r.fitKv ? parts[1] : given;
        if (const auto problem = NumberProblem(parts[0])) {
            return Failure{(r.fitKv ? "--fit-kv " + Quoted(*r.fitKv) : "--fit-hvl " + Quoted(given)) + ": " + *problem};
        }
        m.kv = DecimalValue(parts[0]);
        for (std::size_t i = 1; i < parts.size(); ++i) {
            if (const auto problem = NumberProblem(parts[i])) {
                return Failure{"--fit-hvl " + Quoted(shown) + ": " + *problem};
            }
            const double mm = DecimalValue(parts[i]);
            if (!CheckInputs({.hvlMmAl = mm})) {
                return Failure{"--fit-hvl " + Quoted(shown) + ": must be above 0 mm Al"};
            }
            (i == 1 ? m.hvl1MmAl : m.hvl2MmAl.emplace()) = mm;
        }
        out.push_back(m);
    }
    return out;
}

std::string FitProblem(const CurveError& ce, const QualityRequest& request, const HvlMeasurement& m) {
    const FitError& e = ce.error;
    const std::string given = request.fitHvl[ce.index];
    switch (e.kind) {
        case FitError::Kind::TargetAngle: return "--angle: its tangent is 0 or not finite";
        case FitError::Kind::TubeVoltage:
            // 0 kV is a voltage the tube may be set to, but no HVL is measured at it.
            return (request.fitKv ? "--fit-kv " + Quoted(*request.fitKv) : "--fit-hvl " + Quoted(given)) +
                   (m.kv > 0 ? ": outside 0-150 kV" : ": an HVL is measured above 0 kV");
        case FitError::Kind::NoBeamQuality:
            return "--fit-hvl " + Quoted(given) + ": these conditions give a spectrum without a beam quality";
        case FitError::Kind::SameVoltage:
            return "--fit-hvl " + Quoted(given) + ": a second measurement at " + NumberText(m.kv) + " kV";
        case FitError::Kind::Unreachable: break;
    }
    const int d = DecimalsToTellApart(m.hvl1MmAl, e.lowestHvlMmAl, e.highestHvlMmAl);
    return "--fit-hvl " + Quoted(given) + ": out of reach; at " + NumberText(m.kv) + " kV, measured through " +
           NumberText(m.alMm) + " mm Al and " + NumberText(m.cuMm) + " mm Cu, an inherent filtration of " +
           NumberText(e.lowestInherentMmAl) + " to " + FixedText(e.highestInherentMmAl, 2) +
           " mm Al gives a first HVL of " + FixedText(e.lowestHvlMmAl, d) + " to " + FixedText(e.highestHvlMmAl, d) +
           " mm Al";
}

// The voltage a fitted filtration is read at: the setting, or the middle of a range.
double FitVoltage(const Conditions& c) { return c.range ? 0.5 * (c.voltage.lowKv + c.voltage.highKv) : c.voltage.lowKv; }

int RunOne(const ConditionTexts& texts, const std::string& tablesDir, Format format, bool withSpectrum,
           const QualityRequest& request) {
    auto conditions = ReadConditions(texts);
    if (!conditions) {
        return Fail(kInputProblem, DescribeInputError(conditions.error(), Naming::Option));
    }
    std::vector<HvlMeasurement> measurements;
    if (request.Fit()) {
        auto read = ReadMeasurements(request, conditions->angleDeg);
        if (!read) {
            return Fail(kInputProblem, read.error());
        }
        if (texts.inherent) {
            return Fail(kInputProblem, "--inherent: not with --fit-hvl (the fit gives the inherent filtration)");
        }
        measurements = std::move(*read);
    }
    if (!conditions->areaDose && !withSpectrum && !request.quality && measurements.empty()) {
        return Fail(kInputProblem,
                    "--area-dose: missing (the photon count and doses need it; --spectrum, --quality or --fit-hvl "
                    "alone do not)");
    }
    const auto tables = Load(tablesDir);
    if (!tables) {
        return Fail(kSystemProblem, DescribeTableError(tables.error()));
    }
    std::optional<FiltrationCurve> curve;
    InherentAt at;
    if (!measurements.empty()) {
        auto fit = FitFiltrationCurve(*tables, measurements);
        if (!fit) {
            return Fail(kInputProblem, FitProblem(fit.error(), request, measurements[fit.error().index]));
        }
        curve = std::move(*fit);
        at = InherentAtKv(*curve, FitVoltage(*conditions));
        conditions->inherentMm = at.mmAl;
    }
    SpectrumCache cache;
    auto calculation = Calculate(*tables, *conditions, cache, request.quality);
    if (!calculation) {
        return Fail(kInputProblem, DescribeInputError(calculation.error(), Naming::Option));
    }
    calculation->fit = std::move(curve);
    calculation->fitAt = at;
    if (!Write(Report(*calculation, *tables, format, withSpectrum)) || std::fflush(stdout) != 0) {
        return Fail(kSystemProblem, "the output could not be written");
    }
    return 0;
}

// A batch is read and written this many lines at a time, two chunks in flight: while the lines of
// one are computed, the main thread writes the one before and reads the one after. A worker takes
// lines one at a time; a chunk of fewer than kLinesPerWorker lines per worker leaves some idle.
constexpr std::size_t kChunkLines = 2048;
constexpr std::size_t kLinesPerWorker = 64;

struct ChunkLine {
    std::size_t number = 0;
    std::string text;  // the input, then what is written for it
    bool failed = false;
};

// Computes the lines of one chunk after the other on helper threads that live as long as the
// batch, and on the calling thread when it asks to wait for a chunk. Each thread keeps its own
// spectra.
class ChunkWorkers {
public:
    using Compute = std::function<void(ChunkLine&, SpectrumCache&)>;

    ChunkWorkers(unsigned workers, Compute compute) : compute_(std::move(compute)), caches_(std::max(1u, workers)) {
        for (std::size_t w = 1; w < caches_.size(); ++w) {
            helpers_.emplace_back([this, w] { Help(caches_[w]); });
        }
    }
    ~ChunkWorkers() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        started_.notify_all();
        for (auto& t : helpers_) {
            t.join();
        }
    }
    ChunkWorkers(const ChunkWorkers&) = delete;
    ChunkWorkers& operator=(const ChunkWorkers&) = delete;

    // The helpers start on `chunk` (the previous one must have been waited for).
    void Start(std::vector<ChunkLine>& chunk) {
        // Short chunks need fewer helpers; the others stay asleep.
        const std::size_t wanted = (chunk.size() + kLinesPerWorker - 1) / kLinesPerWorker;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            chunk_ = &chunk;
            next_ = 0;
            called_ = std::min(helpers_.size(), wanted > 0 ? wanted - 1 : 0);
            ++generation_;
        }
        started_.notify_all();
    }

    // Computes lines of the chunk started last until none is left, then waits for the helpers
    // still on a line of it. A helper that has not woken up by then (on a busy machine) skips the
    // chunk rather than being waited for.
    void HelpAndWait() {
        Run(*chunk_, caches_[0]);
        std::unique_lock<std::mutex> lock(mutex_);
        chunk_ = nullptr;
        finished_.wait(lock, [this] { return active_ == 0; });
    }

    // Hands out no more lines of the chunk started last (its remaining lines are not computed).
    void Abandon() { next_ = std::numeric_limits<std::size_t>::max() / 2; }

private:
    void Run(std::vector<ChunkLine>& chunk, SpectrumCache& cache) {
        for (std::size_t k = next_++; k < chunk.size(); k = next_++) {
            compute_(chunk[k], cache);
        }
    }

    void Help(SpectrumCache& cache) {
        std::uint64_t seen = 0;
        const std::size_t index = static_cast<std::size_t>(&cache - caches_.data());  // 1 for the first helper
        for (;;) {
            std::vector<ChunkLine>* chunk = nullptr;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                started_.wait(lock, [&] { return stop_ || (generation_ != seen && index <= called_); });
                if (stop_) {
                    return;
                }
                seen = generation_;
                if (chunk_ == nullptr) {
                    continue;  // over before this helper woke up
                }
                chunk = chunk_;
                ++active_;
            }
            Run(*chunk, cache);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                --active_;
            }
            finished_.notify_one();
        }
    }

    Compute compute_;
    std::vector<SpectrumCache> caches_;  // [0] the calling thread's
    std::vector<std::thread> helpers_;
    std::mutex mutex_;
    std::condition_variable started_, finished_;
    std::vector<ChunkLine>* chunk_ = nullptr;
    std::atomic<std::size_t> next_{0};
    std::size_t called_ = 0, active_ = 0;
    std::uint64_t generation_ = 0;
    bool stop_ = false;
};

int RunBatch(const std::string& file, const std::string& tablesDir, Format format, bool quality, unsigned jobs) {
    std::ifstream opened;
    std::istream* in = &std::cin;
    if (file != "-") {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(PathFromText(file), ec)) {
            return Fail(kInputProblem, "--batch \"" + Printable(file) + "\": not a readable file");
        }
        opened.open(PathFromText(file), std::ios::binary);
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

    // Lines are read a chunk at a time, computed and written on every worker, and written in the
    // order they came. Each worker keeps its own spectra.
    // A failed write (full disk, closed pipe) ends the run there: the chunks after it would be
    // computed for nobody. stdio buffers the small writes.
    const auto outputFailed = [](std::size_t number) {
        return Fail(kSystemProblem, "the output could not be written (stopped at line " + std::to_string(number) + ")");
    };
    if (!Write(BatchHeaderLine(format, quality) + BatchRunLine(*tables, format))) {
        return outputFailed(1);
    }
    const auto computeLine = [&](const std::string& text, SpectrumCache& cache) -> Result<Calculation, InputError> {
        const auto texts = ReadBatchRow(*header, text);
        if (!texts) {
            return Failure{texts.error()};
        }
        const auto conditions = ReadConditions(*texts);
        if (!conditions) {
            return Failure{conditions.error()};
        }
        if (!conditions->areaDose && !quality) {
            return Failure{InputError{Field::AreaDose, "", "missing"}};
        }
        return Calculate(*tables, *conditions, cache, quality);
    };
    ChunkWorkers workers(jobs, [&](ChunkLine& l, SpectrumCache& cache) {
        const auto result = computeLine(l.text, cache);
        l.failed = !result;
        l.text = BatchLine(l.number, result, *tables, format, quality);
    });
    // Reads the next chunk into `chunk` (its strings reused); how the reading stopped.
    std::size_t number = 1, lines = 0, failed = 0;
    std::optional<std::size_t> tooLongAt;  // the line that was too long: the batch ends before it
    bool ended = false;
    const auto readChunk = [&](std::vector<ChunkLine>& chunk) {
        std::size_t used = 0;
        while (!ended && used < kChunkLines) {
            if (used == chunk.size()) {
                chunk.emplace_back();
            }
            ChunkLine& l = chunk[used];
            const LineRead read = ReadBatchLine(*in, l.text);
            if (read == LineRead::End) {
                ended = true;
                break;
            }
            ++number;
            if (read == LineRead::TooLong) {
                tooLongAt = number;
                ended = true;
                break;
            }
            if (IsBlankLine(l.text)) {
                continue;
            }
            ++lines;
            l.number = number;
            l.failed = false;
            ++used;
        }
        chunk.resize(used);
    };
    // Writes a computed chunk; the line at which writing failed.
    const auto writeChunk = [&](const std::vector<ChunkLine>& chunk) -> std::optional<std::size_t> {
        for (const ChunkLine& l : chunk) {
            failed += l.failed ? 1 : 0;
            if (!Write(l.text)) {
                return l.number;
            }
        }
        return std::nullopt;
    };
    // Two chunks that take turns (the workers hold on to the one they compute, so it never moves).
    std::vector<ChunkLine> chunks[2];
    int cur = 0;
    readChunk(chunks[cur]);
    if (!chunks[cur].empty()) {
        workers.Start(chunks[cur]);
    }
    for (;;) {
        std::vector<ChunkLine>& current = chunks[cur];
        std::vector<ChunkLine>& following = chunks[1 - cur];
        const bool last = ended;
        if (!last) {
            readChunk(following);  // while the helpers compute the current chunk
        }
        if (!current.empty()) {
            workers.HelpAndWait();
        }
        const bool more = !last && !following.empty();
        if (more) {
            workers.Start(following);
        }
        if (const auto notWritten = writeChunk(current)) {
            if (more) {
                workers.Abandon();
                workers.HelpAndWait();
            }
            return outputFailed(*notWritten);
        }
        if (last) {
            break;
        }
        cur = 1 - cur;
    }
    if (tooLongAt) {
        // The lines before it were written, as they would have been one at a time.
        return tooLong(*tooLongAt);
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
    const std::vector<std::string> args = calc::Utf8Arguments(argc, argv);
    std::vector<const char*> argPointers;
    for (const std::string& arg : args) argPointers.push_back(arg.c_str());
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
    CLI::Option* qualityFlag = app.add_flag(
        "--quality", quality.quality,
        "add the beam quality: HVL1, HVL2 (mm Al), homogeneity, mean and effective energy (with --batch too)");
    single.push_back(app.add_option("--fit-hvl", quality.fitHvl,
                                    "fit the inherent filtration to a measured first HVL (mm Al) first; repeat as "
                                    "KV:MM (or KV:MM:MM2 with the second HVL) for measurements at several voltages, "
                                    "interpolated linearly in kV")
                         ->allow_extra_args(false)
                         ->type_name("KV:MM|MM"));
    text("--fit-kv", quality.fitKv, "the tube voltage (kV) of a single --fit-hvl MM")->type_name("KV");
    text("--fit-al", quality.fitAl, "added aluminium (mm) in the beam when the HVLs were measured (default 0)")
        ->type_name("MM");
    text("--fit-cu", quality.fitCu, "added copper (mm) in the beam when the HVLs were measured (default 0)")
        ->type_name("MM");
    app.add_option("--tables", tablesDir, "folder with Att_coeff2021.dat and effEA.dat (default: where the program looks)")
        ->type_name("DIR");
    app.add_option("--format", formatName, "text (default), json or csv")
        ->check(CLI::IsMember({"text", "json", "csv"}))
        ->type_name("FORMAT");
    CLI::Option* batch = app.add_option("--batch", batchFile,
                                        "one calculation per line of a CSV file (- for standard input) with a header "
                                        "naming the columns kv, kv_high, spread, angle, inherent, al, cu, area_dose, unit")
                             ->type_name("FILE.csv");
    unsigned jobs = 0;
    CLI::Option* jobsOption =
        app.add_option("--jobs", jobs, "with --batch: lines computed at once (default: one per processor core)")
            ->check(CLI::Range(1u, 1024u))
            ->type_name("N");

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
    rdsr->add_flag("--allow-incomplete", rdsrOptions.allowIncomplete,
                   "exit with 0 rather than 3 when events were skipped or studies are incomplete");
    rdsr->add_flag("--keep-patient-id", rdsrOptions.keepPatientId,
                   "read the patient's name and ID into the study outputs (left out otherwise)");
    rdsr->footer(
        "Exit status: 0 every event of every report was used; 3 results were written, but events were skipped or "
        "studies fall short of their reports' totals (0 with --allow-incomplete); 1 a file could not be read, or the "
        "tables or an output could not be; 2 a usage or profile mistake. Images, DICOMDIR files and CT dose reports "
        "are named and skipped; duplicates are listed and counted once.");

    // The dose register: one subcommand per task, sharing the database and computing options.
    RegisterOptions reg;
    reg.programVersion = MIRELO_VERSION;
    std::string regTables;
    CLI::App* regApp = app.add_subcommand("register", "The dose register: reports kept in a database, summaries");
    regApp->require_subcommand(1);
    const auto dbOption = [&](CLI::App* sub) {
        sub->add_option("--db", reg.db, "the register's database (default: mirelo-register.sqlite in the user's data folder)")
            ->type_name("FILE");
    };
    const auto computeOptions = [&](CLI::App* sub) {
        sub->add_option("--profiles", reg.profiles, "device profiles (TOML), as for rdsr")->type_name("FILE.toml");
        sub->add_option("--tables", regTables, "folder with Att_coeff2021.dat and effEA.dat")->type_name("DIR");
    };
    const auto rangeOptions = [&](CLI::App* sub) {
        sub->add_option("--from", reg.from, "first study date (YYYY-MM-DD)")->type_name("DATE");
        sub->add_option("--to", reg.to, "last study date (YYYY-MM-DD)")->type_name("DATE");
    };
    CLI::App* regImport = regApp->add_subcommand("import", "store dose reports (files or folders) in the register");
    regImport->add_option("PATH", reg.paths, "report files, or folders searched recursively")->required()->type_name("PATH...");
    dbOption(regImport);
    computeOptions(regImport);
    CLI::App* regSummary = regApp->add_subcommand("summary", "studies per device, protocol or month");
    dbOption(regSummary);
    rangeOptions(regSummary);
    regSummary->add_option("--by", reg.by, "device (default), protocol or month")
        ->check(CLI::IsMember({"device", "protocol", "month"}));
    regSummary->add_option("--thickness", reg.thickness, "body thickness of the energy imparted, 10 to 30 cm (default 20)")
        ->type_name("CM");
    regSummary->add_option("--levels", reg.levels, "reference levels per protocol or device (TOML)")->type_name("FILE.toml");
    regSummary->add_option("--format", reg.format, "text (default), csv or json")->check(CLI::IsMember({"text", "csv", "json"}));
    CLI::App* regRecompute = regApp->add_subcommand("recompute", "compute the stored events again with these tables and profiles");
    dbOption(regRecompute);
    computeOptions(regRecompute);
    CLI::App* regExport = regApp->add_subcommand("export", "studies or events in the formats of rdsr");
    regExport->add_option("WHAT", reg.what, "studies or events")->required()->check(CLI::IsMember({"studies", "events"}));
    dbOption(regExport);
    computeOptions(regExport);
    rangeOptions(regExport);
    regExport->add_option("--device", reg.device, "only this device (as written in the devices column, or its observer UID)");
    regExport->add_option("--format", reg.format, "csv (default) or json")->check(CLI::IsMember({"csv", "json"}));
    CLI::App* regListen = regApp->add_subcommand(
        "listen", "DICOM storage service: receive dose reports from X-ray units or a PACS and store them; stops on SIGTERM/SIGINT");
    dbOption(regListen);
    computeOptions(regListen);
    regListen->add_option("--port", reg.port, "TCP port (default 11112)")->check(CLI::Range(1, 65535));
    regListen->add_option("--aet", reg.aet, "the service's AE title (default MIRELO)");
    regListen->add_option("--bind", reg.bind, "bind the port to this IPv4 address only (default 127.0.0.1; 0.0.0.0: every interface)")
        ->type_name("ADDRESS");
    regListen->add_option("--allow", reg.allow, "calling AE titles allowed, each optionally @IP (default: any)")
        ->type_name("AET[@HOST]...");
    regListen->add_option("--archive", reg.archive, "folder for the received files (default: archive beside the database)")
        ->type_name("DIR");
    regListen->add_option("--max-size", reg.maxSizeMb, "largest object accepted, in MB (default 64)")->type_name("MB");
#endif

    try {
        app.parse(static_cast<int>(argPointers.size()), argPointers.data());
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
    // The command line as typed, quoted where a shell would need it, for the outputs' provenance.
    std::string typed;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string arg = i == 0 ? std::string("mirelo-calc") : args[i];
        if (arg.empty() || arg.find_first_of(" \t'\"\\$`") != std::string::npos) {
            std::string quoted = "'";
            for (char c : arg) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
            arg = quoted + "'";
        }
        typed += std::string(i == 0 ? "" : " ") + arg;
    }
    if (rdsr->parsed()) {
        // The reports give the conditions; an option of a single calculation would be ignored.
        single.push_back(batch);
        single.push_back(qualityFlag);
        single.push_back(jobsOption);
        for (const CLI::Option* opt : single) {
            if (opt->count() > 0) {
                return Fail(kInputProblem, opt->get_name() + ": not with rdsr (the reports give the conditions)");
            }
        }
        rdsrOptions.json = rdsrFormat == "json";
        rdsrOptions.program = std::string("mirelo-calc ") + MIRELO_VERSION;
        rdsrOptions.commandLine = typed;
        const std::string dir = rdsrTables.empty() ? tablesDir : rdsrTables;
        return RunRdsr(rdsrOptions, [&dir] { return Load(dir); });
    }
    if (regApp->parsed()) {
        for (const CLI::Option* opt : single) {
            if (opt->count() > 0) {
                return Fail(kInputProblem, opt->get_name() + ": not with register (the reports give the conditions)");
            }
        }
        reg.commandLine = typed;
        const std::string dir = regTables.empty() ? tablesDir : regTables;
        const TableLoader load = [&dir] { return Load(dir); };
        if (regImport->parsed()) return RunRegisterImport(reg, load);
        if (regSummary->parsed()) return RunRegisterSummary(reg);
        if (regRecompute->parsed()) return RunRegisterRecompute(reg, load);
        if (regExport->parsed()) return RunRegisterExport(reg, load);
        if (regListen->parsed()) return RunRegisterListen(reg, load);
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
        return RunBatch(batchFile, tablesDir, format, quality.quality,
                        jobsOption->count() > 0 ? jobs : std::max(1u, std::thread::hardware_concurrency()));
    }
    if (jobsOption->count() > 0) {
        return Fail(kInputProblem, "--jobs: only with --batch");
    }
    if (!texts.kv) {
        return Fail(kInputProblem, "--kv: missing (or give --batch FILE.csv)");
    }
    return RunOne(texts, tablesDir, format, withSpectrum, quality);
}

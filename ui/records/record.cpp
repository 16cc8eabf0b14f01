#include "ui/records/record.h"

#include <filesystem>
#include <system_error>

#include "common/csv.h"
#include "common/number_text.h"
#include "common/path_text.h"
#include "common/sci_format.h"

namespace mirelo {
namespace {

std::string WithUnit(double x, const std::string& unit) { return NumberText(x) + " " + unit; }

// A record names where a table was found in full, whatever folder the program was started from.
std::string FullPath(const std::string& path) {
    if (path.empty()) {
        return path;
    }
    std::error_code ec;
    const auto full = std::filesystem::absolute(PathFromText(path), ec);
    return ec ? path : PathText(full.lexically_normal());
}

std::string VoltageText(const TubeVoltage& v) {
    return v.lowKv == v.highKv ? NumberText(v.highKv) + " kV" : NumberText(v.lowKv) + " - " + NumberText(v.highKv) + " kV";
}

}  // namespace

std::vector<RecordLine> RecordHeader(const ResultRecord& r, const RecordWords& w) {
    const std::string spread =
        r.voltage.lowKv == r.voltage.highKv ? w.fixed : (r.voltage.spread == Spread::Uniform ? w.uniform : w.normal);
    std::vector<RecordLine> lines{
        {w.program, {r.program}},
        {w.createdAt, {r.createdAt}},
        {w.attTable, {FullPath(r.attTable.path), "SHA-256", r.attTable.sha256}},
        {w.effTable, {FullPath(r.effTable.path), "SHA-256", r.effTable.sha256}},
        {w.targetAngle, {WithUnit(r.targetAngleDeg, w.degree)}},
        {w.inherent, {WithUnit(r.inherentMmAl, w.mm)}},
        {w.al, {WithUnit(r.alMm, w.mm)}},
        {w.cu, {WithUnit(r.cuMm, w.mm)}},
        {w.tubeVoltage, {VoltageText(r.voltage), spread}},
        {w.areaDose, {WithUnit(r.areaDoseGyCm2, w.areaDoseUnit), w.entered + ": " + WithUnit(r.areaDoseEntered, r.areaDoseEnteredUnit)}},
        {w.photons, {FormatSci(r.dose.photons)}},
    };
    if (r.quality) {
        const BeamQuality& q = *r.quality;
        lines.push_back({w.hvl1, {FixedText(q.hvl1MmAl, 2) + " mm Al"}});
        lines.push_back({w.hvl2, {FixedText(q.hvl2MmAl, 2) + " mm Al"}});
        lines.push_back({w.homogeneity, {FixedText(q.homogeneity, 2)}});
        lines.push_back({w.meanEnergy, {FixedText(q.meanKeV, 1) + " keV"}});
        lines.push_back({w.effectiveEnergy, {FixedText(q.effectiveKeV, 1) + " keV"}});
    }
    return lines;
}

std::vector<std::pair<std::string, std::string>> RecordResults(const ResultRecord& r) {
    std::vector<std::pair<std::string, std::string>> rows;
    for (int j = 1; j <= kThicknesses; ++j) {
        rows.emplace_back(std::to_string(ThicknessCm(j)), FormatSci(r.dose.joules[static_cast<std::size_t>(j - 1)]));
    }
    return rows;
}

std::string RecordCsv(const ResultRecord& r, const RecordWords& w) {
    std::string csv = "\xEF\xBB\xBF";
    // Cells arrive written: text through CsvText, numbers as they are.
    const auto line = [&csv](const std::vector<std::string>& cells) {
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0) {
                csv += ',';
            }
            csv += cells[i];
        }
        csv += "\r\n";
    };
    line({CsvText(w.title)});
    for (const RecordLine& h : RecordHeader(r, w)) {
        std::vector<std::string> cells{CsvText(h.caption)};
        for (const std::string& value : h.values) {
            cells.push_back(CsvText(value));
        }
        line(cells);
    }
    csv += "\r\n";
    line({CsvText(w.thickness), CsvText(w.integralDose), CsvText(w.integralDose + " " + w.fullPrecision)});
    const auto rows = RecordResults(r);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        line({rows[i].first, rows[i].second, ShortestText(r.dose.joules[i])});
    }
    return csv;
}

std::string ResultsTsv(const ResultRecord& r, const RecordWords& w) {
    std::string tsv = w.thickness + "\t" + w.integralDose + "\n";
    for (const auto& [thickness, joules] : RecordResults(r)) {
        tsv += thickness + "\t" + joules + "\n";
    }
    return tsv;
}

}  // namespace mirelo

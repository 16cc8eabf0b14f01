#include "ui/records/record.h"

#include <array>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "common/number_text.h"
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
    const auto full = std::filesystem::absolute(path, ec);
    return ec ? path : full.lexically_normal().string();
}

std::string VoltageText(const TubeVoltage& v) {
    return v.lowKv == v.highKv ? NumberText(v.highKv) + " kV" : NumberText(v.lowKv) + " - " + NumberText(v.highKv) + " kV";
}

}  // namespace

std::string RoundTripText(double x) {
    if (!std::isfinite(x)) {
        return NumberText(x);
    }
    std::array<char, 40> buf{};
    const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), x);
    return {buf.data(), res.ptr};
}

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
        {w.areaDose, {WithUnit(r.areaDoseGyCm2, w.areaDoseUnit)}},
        {w.photons, {FormatSci(r.dose.photons)}},
    };
    if (r.quality) {
        const BeamQuality& q = *r.quality;
        lines.push_back({w.hvl1, {FixedText(q.hvl1_mm_al, 2) + " mm Al"}});
        lines.push_back({w.hvl2, {FixedText(q.hvl2_mm_al, 2) + " mm Al"}});
        lines.push_back({w.homogeneity, {FixedText(q.homogeneity, 2)}});
        lines.push_back({w.meanEnergy, {FixedText(q.mean_keV, 1) + " keV"}});
        lines.push_back({w.effectiveEnergy, {FixedText(q.effective_keV, 1) + " keV"}});
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

std::string CsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string out = "\"";
    for (const char c : text) {
        out += c;
        if (c == '"') {
            out += '"';
        }
    }
    return out + "\"";
}

std::string RecordCsv(const ResultRecord& r, const RecordWords& w) {
    std::string csv = "\xEF\xBB\xBF";
    const auto line = [&csv](const std::vector<std::string>& fields) {
        for (std::size_t i = 0; i < fields.size(); ++i) {
            if (i > 0) {
                csv += ',';
            }
            csv += CsvField(fields[i]);
        }
        csv += "\r\n";
    };
    line({w.title});
    for (const RecordLine& h : RecordHeader(r, w)) {
        std::vector<std::string> fields{h.caption};
        fields.insert(fields.end(), h.values.begin(), h.values.end());
        line(fields);
    }
    csv += "\r\n";
    line({w.thickness, w.integralDose, w.integralDose + " " + w.fullPrecision});
    const auto rows = RecordResults(r);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        line({rows[i].first, rows[i].second, RoundTripText(r.dose.joules[i])});
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

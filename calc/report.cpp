#include "calc/report.h"

#include <cstdio>
#include <nlohmann/json.hpp>

#include "common/csv.h"
#include "common/dose_text.h"
#include "common/number_text.h"
#include "common/sci_format.h"

namespace mirelo::calc {
namespace {

using Json = nlohmann::ordered_json;

const char* SpreadName(Spread spread) { return spread == Spread::Normal ? "normal" : "uniform"; }

// The tube voltage as the main window's caption shows it: "80" or "75 - 85".
std::string VoltageCaption(const Conditions& c) {
    std::string caption = NumberText(c.voltage.lowKv);
    if (c.range) {
        caption += " - " + NumberText(c.voltage.highKv);
    }
    return caption;
}

// Invalid UTF-8 cannot reach here (messages quote values Printable), but a dump must never throw.
std::string Dump(const Json& j, int indent) { return j.dump(indent, ' ', false, Json::error_handler_t::replace); }

Json InputsJson(const Conditions& c) {
    Json in;
    in["kv"] = c.voltage.lowKv;
    in["kv_high"] = c.voltage.highKv;
    in["spread"] = SpreadName(c.voltage.spread);
    in["angle"] = c.angleDeg;
    in["inherent"] = c.inherentMm;
    in["al"] = c.alMm;
    in["cu"] = c.cuMm;
    in["area_dose"] = c.areaDose ? Json(*c.areaDose) : Json(nullptr);
    in["unit"] = UnitName(c.unit);
    in["area_dose_gy_cm2"] = c.areaDose ? Json(c.areaDoseGyCm2) : Json(nullptr);
    return in;
}

Json TablesJson(const Tables& tables) {
    Json t;
    t[kAttCoeffFile] = {{"path", tables.attSource.path}, {"sha256", tables.attSource.sha256}};
    t[kEffEAFile] = {{"path", tables.effSource.path}, {"sha256", tables.effSource.sha256}};
    return t;
}

// The keys every report has, in this order; results are null where there are none.
Json ReportJson(const Calculation* calculation, const Tables& tables) {
    Json j;
    j["inputs"] = calculation ? InputsJson(calculation->conditions) : Json(nullptr);
    j["tables"] = TablesJson(tables);
    j["photons"] = nullptr;
    j["volume_dose"] = nullptr;
    if (calculation && calculation->dose) {
        j["photons"] = calculation->dose->photons;
        Json doses = Json::array();
        for (int t = 1; t <= kThicknesses; ++t) {
            doses.push_back({{"thickness_cm", ThicknessCm(t)}, {"J", calculation->dose->joules[static_cast<std::size_t>(t - 1)]}});
        }
        j["volume_dose"] = std::move(doses);
    }
    if (calculation && calculation->fit) {
        j["inherent_mm_al"] = calculation->conditions.inherentMm;
        Json points = Json::array();
        for (const FittedPoint& p : calculation->fit->points) {
            const HvlMeasurement& m = p.measurement;
            points.push_back({{"kv", m.kv},
                              {"hvl1_mm_al", m.hvl1MmAl},
                              {"hvl2_mm_al", m.hvl2MmAl ? Json(*m.hvl2MmAl) : Json(nullptr)},
                              {"angle", m.targetAngleDeg},
                              {"al_mm", m.alMm},
                              {"cu_mm", m.cuMm},
                              {"inherent_mm_al", p.fit.inherentMmAl},
                              {"model_hvl2_mm_al", p.fit.quality.hvl2MmAl}});
        }
        j["fit"] = {{"points", std::move(points)},
                    {"kv_outside", calculation->fitAt.kvOutside},
                    {"far_outside", calculation->fitAt.FarOutside()}};
    }
    if (calculation && calculation->qualityAsked) {
        const auto& q = calculation->quality;
        j["quality"] = q ? Json{{"hvl1_mm_al", q->hvl1MmAl},
                                {"hvl2_mm_al", q->hvl2MmAl},
                                {"homogeneity", q->homogeneity},
                                {"mean_keV", q->meanKeV},
                                {"effective_keV", q->effectiveKeV}}
                         : Json(nullptr);
    }
    return j;
}

// Rounded as the spectrum window's quality line shows them.
std::string Decimals(double x, int decimals) { return FixedText(x, decimals); }

Json SpectrumJson(const PhotonSpectrum& spectrum) {
    Json bins = Json::array();
    for (int i = 1; i <= kBins; ++i) {
        bins.push_back({{"keV", 0.5 * i}, {"fluence", spectrum.fluence[i]}});
    }
    return bins;
}

std::string TextReport(const Calculation& calc, bool withSpectrum) {
    const Conditions& c = calc.conditions;
    std::string out;
    out += "tube voltage (kV)        " + VoltageCaption(c);
    if (c.range) {
        out += std::string(", ") + SpreadName(c.voltage.spread) + " spread";
    }
    out += "\ntarget angle (deg)       " + NumberText(c.angleDeg);
    if (!calc.fit) {
        out += "\ninherent filter (mm Al)  " + NumberText(c.inherentMm);
    } else {
        out += "\ninherent filter (mm Al)  " + FixedText(c.inherentMm, 2);
        const auto& points = calc.fit->points;
        out += points.size() == 1 ? " (fitted to the HVL below)"
                                  : " (interpolated in kV between the fits to the HVLs below)";
        for (const FittedPoint& p : points) {
            const HvlMeasurement& m = p.measurement;
            out += "\n  HVL1 " + NumberText(m.hvl1MmAl) + " mm Al at " + NumberText(m.kv) + " kV, measured through " +
                   NumberText(m.alMm) + " mm Al and " + NumberText(m.cuMm) + " mm Cu: inherent " +
                   FixedText(p.fit.inherentMmAl, 2) + " mm Al";
            if (m.hvl2MmAl) {
                out += "; HVL2 measured " + NumberText(*m.hvl2MmAl) + ", model " + FixedText(p.fit.quality.hvl2MmAl, 2) +
                       " mm Al";
            }
        }
        if (calc.fitAt.FarOutside()) {
            out += "\n  note: the tube voltage lies " + NumberText(calc.fitAt.kvOutside) +
                   " kV outside the measured ones; the nearest fit is used";
        }
    }
    out += "\nadded Al (mm)            " + NumberText(c.alMm);
    out += "\nadded Cu (mm)            " + NumberText(c.cuMm) + "\n";
    if (c.areaDose) {
        out += "area dose (Gy·cm²)       " + NumberText(c.areaDoseGyCm2);
        if (c.unit != AreaUnit::GyCm2) {
            out += " (" + NumberText(*c.areaDose) + " " + std::string(UnitName(c.unit)) + ")";
        }
        out += "\n";
    }
    if (calc.dose) {
        out += "photons                  " + FormatSci(calc.dose->photons) + "\n";
        out += "body thickness (cm)  →  volume dose (J)\n";
        for (int t = 1; t <= kThicknesses; ++t) {
            out += VolumeDoseLine(ThicknessCm(t), calc.dose->joules[static_cast<std::size_t>(t - 1)]) + "\n";
        }
    }
    if (calc.qualityAsked) {
        const auto& q = calc.quality;
        if (!q) {
            out += "beam quality             none (no air kerma in this spectrum)\n";
        } else {
            out += "HVL1 (mm Al)             " + Decimals(q->hvl1MmAl, 2) + "\n";
            out += "HVL2 (mm Al)             " + Decimals(q->hvl2MmAl, 2) + "\n";
            out += "homogeneity              " + Decimals(q->homogeneity, 2) + "\n";
            out += "mean energy (keV)        " + Decimals(q->meanKeV, 1) + "\n";
            out += "effective energy (keV)   " + Decimals(q->effectiveKeV, 1) + "\n";
        }
    }
    if (withSpectrum) {
        out += "photon energy (keV)  relative fluence\n";
        for (int i = 1; i <= kBins; ++i) {
            out += FormatSci(0.5 * i) + "  " + FormatSci(calc.spectrum.fluence[i]) + "\n";
        }
    }
    return out;
}

constexpr const char* kQualityColumns = "hvl1_mm_al,hvl2_mm_al,homogeneity,mean_keV,effective_keV";

// The five quality fields, empty when the spectrum has no quality.
std::string QualityFields(const std::optional<BeamQuality>& q) {
    if (!q) {
        return ",,,,";
    }
    return ShortestText(q->hvl1MmAl) + "," + ShortestText(q->hvl2MmAl) + "," + ShortestText(q->homogeneity) + "," + ShortestText(q->meanKeV) +
           "," + ShortestText(q->effectiveKeV);
}

// One table: per bin with the spectrum, else per thickness with doses, else one line. The fitted
// filtration and the quality, when asked for, are columns of every line.
std::string CsvReport(const Calculation& calc, bool withSpectrum) {
    std::string extraHeader, extra;
    if (calc.fit) {
        extraHeader += ",inherent_mm_al";
        extra += "," + ShortestText(calc.conditions.inherentMm);
    }
    if (calc.qualityAsked) {
        extraHeader += std::string(",") + kQualityColumns;
        extra += "," + QualityFields(calc.quality);
    }
    std::string out;
    if (withSpectrum) {
        out = "keV,fluence" + extraHeader + "\n";
        for (int i = 1; i <= kBins; ++i) {
            out += ShortestText(0.5 * i) + "," + ShortestText(calc.spectrum.fluence[i]) + extra + "\n";
        }
    } else if (calc.dose) {
        out = "thickness_cm,J" + extraHeader + "\n";
        for (int t = 1; t <= kThicknesses; ++t) {
            out += std::to_string(ThicknessCm(t)) + "," + ShortestText(calc.dose->joules[static_cast<std::size_t>(t - 1)]) +
                   extra + "\n";
        }
    } else if (!extra.empty()) {
        out = extraHeader.substr(1) + "\n" + extra.substr(1) + "\n";
    }
    return out;
}

}  // namespace

std::string Report(const Calculation& calculation, const Tables& tables, Format format, bool withSpectrum) {
    switch (format) {
        case Format::Text: return TextReport(calculation, withSpectrum);
        case Format::Csv: return CsvReport(calculation, withSpectrum);
        case Format::Json: break;
    }
    Json j = ReportJson(&calculation, tables);
    if (withSpectrum) {
        j["spectrum"] = SpectrumJson(calculation.spectrum);
    }
    return Dump(j, 2) + "\n";
}

std::string BatchHeaderLine(Format format, bool quality) {
    if (format != Format::Csv) {
        return "";
    }
    std::string header = "line,kv,kv_high,spread,angle,inherent,al,cu,area_dose_gy_cm2,photons";
    for (int t = 1; t <= kThicknesses; ++t) {
        header += ",J_" + std::to_string(ThicknessCm(t)) + "cm";
    }
    if (quality) {
        header += std::string(",") + kQualityColumns;
    }
    return header + ",error\n";
}

std::string BatchLine(std::size_t line, const Result<Calculation, InputError>& result, const Tables& tables,
                      Format format, bool quality) {
    const std::string error = result ? std::string() : DescribeInputError(result.error(), Naming::Column);
    const Calculation* calc = result ? &*result : nullptr;
    const VolumeDose* dose = calc && calc->dose ? &*calc->dose : nullptr;
    switch (format) {
        case Format::Json: {
            Json j;
            j["line"] = line;
            j.update(ReportJson(calc, tables));
            if (quality && !calc) {
                j["quality"] = nullptr;
            }
            j["error"] = result ? Json(nullptr) : Json(error);
            return Dump(j, -1) + "\n";
        }
        case Format::Csv: {
            std::string out = std::to_string(line);
            if (calc) {
                const Conditions& c = calc->conditions;
                for (double v : {c.voltage.lowKv, c.voltage.highKv}) {
                    out += "," + ShortestText(v);
                }
                out += std::string(",") + SpreadName(c.voltage.spread);
                for (double v : {c.angleDeg, c.inherentMm, c.alMm, c.cuMm}) {
                    out += "," + ShortestText(v);
                }
                out += "," + (c.areaDose ? ShortestText(c.areaDoseGyCm2) : std::string());
            } else {
                out += ",,,,,,,,";
            }
            out += "," + (dose ? ShortestText(dose->photons) : std::string());
            for (int t = 0; t < kThicknesses; ++t) {
                out += "," + (dose ? ShortestText(dose->joules[static_cast<std::size_t>(t)]) : std::string());
            }
            if (quality) {
                out += "," + QualityFields(calc ? calc->quality : std::nullopt);
            }
            return out + "," + CsvText(error) + "\n";
        }
        case Format::Text: break;
    }
    std::string out = "line " + std::to_string(line) + ": ";
    if (!calc) {
        return out + error + "\n";
    }
    if (quality) {
        const auto& q = calc->quality;
        out += q ? "HVL1 " + Decimals(q->hvl1MmAl, 2) + " mm Al, HVL2 " + Decimals(q->hvl2MmAl, 2) + " mm Al, h " +
                       Decimals(q->homogeneity, 2) + ", mean " + Decimals(q->meanKeV, 1) + " keV, effective " +
                       Decimals(q->effectiveKeV, 1) + " keV"
                 : std::string("no beam quality");
        out += dose ? "; " : "";
    }
    if (!dose) {
        return out + (quality ? "" : "no area dose") + "\n";
    }
    out += "photons " + FormatSci(dose->photons) + "; J at 10, 12, ... 30 cm:";
    for (double j : dose->joules) {
        out += " " + FormatSci(j);
    }
    return out + "\n";
}

}  // namespace mirelo::calc

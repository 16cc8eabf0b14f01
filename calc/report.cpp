#include "calc/report.h"

#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>
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

// One JSON value after another, written straight into a line: the batch writes tens of thousands
// of lines, and building a tree for each costs more than the calculation. Keys and layout are
// those the single report's JSON has.
class JsonLine {
public:
    explicit JsonLine(std::string& out) : out_(out) {}

    // Keys are the program's own: nothing in them to escape.
    JsonLine& Key(std::string_view key) {
        Separate();
        out_ += '"';
        out_ += key;
        out_ += "\":";
        fresh_ = true;  // the value follows without a comma
        return *this;
    }
    void Open(char bracket) {
        Separate();
        out_ += bracket;
        fresh_ = true;
    }
    void Close(char bracket) {
        out_ += bracket;
        fresh_ = false;
    }
    void Null() {
        Separate();
        out_ += "null";
    }
    void Bool(bool b) {
        Separate();
        out_ += b ? "true" : "false";
    }
    void Integer(long long n) {
        Separate();
        out_ += std::to_string(n);
    }
    // The shortest text that reads back to the same double, with ".0" where it would read as an
    // integer; null for infinities and NaN, which JSON has no numbers for.
    void Number(double x) {
        Separate();
        if (!std::isfinite(x)) {
            out_ += "null";
            return;
        }
        const std::string text = ShortestText(x);
        out_ += text;
        if (text.find_first_of(".e") == std::string::npos) {
            out_ += ".0";
        }
    }
    void Number(const std::optional<double>& x) { x ? Number(*x) : Null(); }
    // Escaped, and any byte that is not part of valid UTF-8 replaced by U+FFFD.
    void String(std::string_view text) {
        Separate();
        Quote(text);
    }

private:
    void Quote(std::string_view text) {
        out_ += '"';
        std::size_t plain = 0;  // bytes since the last escape, copied in one go
        const auto flush = [&](std::size_t i) {
            out_.append(text.substr(i - plain, plain));
            plain = 0;
        };
        for (std::size_t i = 0; i < text.size();) {
            const auto c = static_cast<unsigned char>(text[i]);
            if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
                ++plain;
                ++i;
                continue;
            }
            flush(i);
            if (c < 0x80) {
                switch (c) {
                    case '"': out_ += "\\\""; break;
                    case '\\': out_ += "\\\\"; break;
                    case '\n': out_ += "\\n"; break;
                    case '\r': out_ += "\\r"; break;
                    case '\t': out_ += "\\t"; break;
                    case '\b': out_ += "\\b"; break;
                    case '\f': out_ += "\\f"; break;
                    default: {
                        constexpr char kHex[] = "0123456789abcdef";
                        out_ += "\\u00";
                        out_ += kHex[c >> 4];
                        out_ += kHex[c & 15];
                    }
                }
                ++i;
                continue;
            }
            const std::size_t length = Utf8Length(text.substr(i));
            if (length == 0) {
                out_ += "\xEF\xBF\xBD";
                ++i;
            } else {
                out_.append(text.substr(i, length));
                i += length;
            }
        }
        flush(text.size());
        out_ += '"';
    }

    void Separate() {
        if (!fresh_) {
            out_ += ',';
        }
        fresh_ = false;
    }

    // The length of the well-formed UTF-8 sequence that `s` starts with (lead byte 0x80 or above),
    // or 0: no overlong forms, no surrogates, nothing past U+10FFFF.
    static std::size_t Utf8Length(std::string_view s) {
        const auto at = [&](std::size_t k) { return k < s.size() ? static_cast<unsigned char>(s[k]) : 0u; };
        const unsigned c = at(0);
        const auto continuation = [&](std::size_t k, unsigned low = 0x80, unsigned high = 0xBF) {
            return at(k) >= low && at(k) <= high;
        };
        if (c >= 0xC2 && c <= 0xDF) {
            return continuation(1) ? 2 : 0;
        }
        if (c >= 0xE0 && c <= 0xEF) {
            const unsigned low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
            return continuation(1, low, high) && continuation(2) ? 3 : 0;
        }
        if (c >= 0xF0 && c <= 0xF4) {
            const unsigned low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
            return continuation(1, low, high) && continuation(2) && continuation(3) ? 4 : 0;
        }
        return 0;
    }

    std::string& out_;
    bool fresh_ = true;
};

void InputsJsonLine(JsonLine& j, const Conditions& c) {
    j.Open('{');
    j.Key("kv").Number(c.voltage.lowKv);
    j.Key("kv_high").Number(c.voltage.highKv);
    j.Key("spread").String(SpreadName(c.voltage.spread));
    j.Key("angle").Number(c.angleDeg);
    j.Key("inherent").Number(c.inherentMm);
    j.Key("al").Number(c.alMm);
    j.Key("cu").Number(c.cuMm);
    j.Key("area_dose").Number(c.areaDose);
    j.Key("unit").String(UnitName(c.unit));
    j.Key("area_dose_gy_cm2").Number(c.areaDose ? std::optional<double>(c.areaDoseGyCm2) : std::nullopt);
    j.Close('}');
}

void QualityJsonLine(JsonLine& j, const std::optional<BeamQuality>& q) {
    if (!q) {
        j.Null();
        return;
    }
    j.Open('{');
    j.Key("hvl1_mm_al").Number(q->hvl1MmAl);
    j.Key("hvl2_mm_al").Number(q->hvl2MmAl);
    j.Key("homogeneity").Number(q->homogeneity);
    j.Key("mean_keV").Number(q->meanKeV);
    j.Key("effective_keV").Number(q->effectiveKeV);
    j.Close('}');
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

std::string BatchRunLine(const Tables& tables, Format format) {
    if (format != Format::Json) {
        return "";
    }
    std::string out;
    JsonLine j(out);
    j.Open('{');
    j.Key("run").Open('{');
    j.Key("tables").Open('{');
    for (const auto& [name, source] : {std::pair{kAttCoeffFile, &tables.attSource}, {kEffEAFile, &tables.effSource}}) {
        j.Key(name).Open('{');
        j.Key("path").String(source->path);
        j.Key("sha256").String(source->sha256);
        j.Close('}');
    }
    j.Close('}');
    j.Close('}');
    j.Close('}');
    return out + "\n";
}

std::string BatchLine(std::size_t line, const Result<Calculation, InputError>& result, const Tables& /*tables*/,
                      Format format, bool quality) {
    const std::string error = result ? std::string() : DescribeInputError(result.error(), Naming::Column);
    const Calculation* calc = result ? &*result : nullptr;
    const VolumeDose* dose = calc && calc->dose ? &*calc->dose : nullptr;
    switch (format) {
        case Format::Json: {
            std::string out;
            out.reserve(1024);
            JsonLine j(out);
            j.Open('{');
            j.Key("line").Integer(static_cast<long long>(line));
            j.Key("inputs");
            if (calc) {
                InputsJsonLine(j, calc->conditions);
            } else {
                j.Null();
            }
            j.Key("photons").Number(dose ? std::optional<double>(dose->photons) : std::nullopt);
            j.Key("volume_dose");
            if (dose) {
                j.Open('[');
                for (int t = 1; t <= kThicknesses; ++t) {
                    j.Open('{');
                    j.Key("thickness_cm").Integer(ThicknessCm(t));
                    j.Key("J").Number(dose->joules[static_cast<std::size_t>(t - 1)]);
                    j.Close('}');
                }
                j.Close(']');
            } else {
                j.Null();
            }
            if (quality) {
                j.Key("quality");
                QualityJsonLine(j, calc ? calc->quality : std::nullopt);
            }
            j.Key("error");
            if (result) {
                j.Null();
            } else {
                j.String(error);
            }
            j.Close('}');
            out += '\n';
            return out;
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

#include "register/summary.h"
#include "profiles/toml_document.h"

#include <toml++/toml.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "common/csv.h"
#include "common/number_text.h"
#include "common/path_text.h"
#include "common/text_columns.h"

namespace mirelo::registry {
namespace {

using json = nlohmann::ordered_json;
using profiles::ProfileError;

std::string Quoted(std::string_view text) {
    std::string q;
    q += '\'';
    q.append(text);
    q += '\'';
    return q;
}

struct LevelReader {
    std::string file;
    std::optional<ProfileError> error;

    void Fail(const toml::node& node, std::string message) {
        if (!error) error = ProfileError{file, node.source().begin.line, node.source().begin.column, std::move(message)};
    }
    std::string String(const toml::node& node, std::string_view key) {
        if (const auto* s = node.as_string()) {
            if (!s->get().empty()) return s->get();
        }
        Fail(node, Quoted(key) + " must be a text in quotes, not empty");
        return {};
    }
    double Positive(const toml::node& node, std::string_view key) {
        double v = 0;
        if (const auto* f = node.as_floating_point()) v = f->get();
        else if (const auto* i = node.as_integer()) v = static_cast<double>(i->get());
        else {
            Fail(node, Quoted(key) + " must be a number");
            return 0;
        }
        if (!(std::isfinite(v) && v > 0)) Fail(node, Quoted(key) + " must be a finite number above 0");
        return v;
    }
    Level Entry(const toml::table& t) {
        Level level;
        level.line = t.source().begin.line;
        for (const auto& [keyNode, value] : t) {
            const std::string_view key = keyNode.str();
            if (key == "protocol") level.protocol = String(value, key);
            else if (key == "device") level.device = String(value, key);
            else if (key == "dap_gycm2") level.dapGyCm2 = Positive(value, key);
            else if (key == "energy_j") level.energyJ = Positive(value, key);
            else Fail(value, "unknown key " + Quoted(key));
        }
        if (level.protocol.empty() == level.device.empty()) Fail(t, "every [[level]] needs either 'protocol' or 'device'");
        if (!level.dapGyCm2 && !level.energyJ) Fail(t, "a [[level]] needs 'dap_gycm2', 'energy_j' or both");
        return level;
    }
};

std::string MonthOf(const std::string& date) {
    if (date.size() < 6) return "unknown";
    return date.substr(0, 4) + "-" + date.substr(4, 2);
}

Spread SpreadOf(std::vector<double> values) {
    Spread s;
    s.count = values.size();
    if (values.empty()) return s;
    std::sort(values.begin(), values.end());
    s.median = Percentile(values, 50);
    s.p75 = Percentile(values, 75);
    s.max = values.back();
    return s;
}

std::string Short(double x) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4g", x);
    return buf;
}

std::string SpreadText(const Spread& s) {
    if (s.count == 0) return "-";
    return Short(s.median) + " / " + Short(s.p75) + " / " + Short(s.max);
}

std::string StudyName(const StoredStudy& s) {
    return s.accessionNumber.empty() ? s.studyUid : s.accessionNumber + " (" + s.studyUid + ")";
}

json SpreadJson(const Spread& s) {
    if (s.count == 0) return {{"studies", 0}, {"median", nullptr}, {"p75", nullptr}, {"max", nullptr}};
    return {{"studies", s.count}, {"median", s.median}, {"p75", s.p75}, {"max", s.max}};
}

json StudyJson(const StoredStudy& s) {
    return {{"study_uid", s.studyUid}, {"accession_number", s.accessionNumber}, {"date", s.date},
            {"device", s.device}, {"protocol", s.protocol}, {"events_used", s.used}, {"events_skipped", s.skipped},
            {"status", studies::StudyStatusName(s.status)}, {"reason", s.reason}};
}

}  // namespace

Result<Levels, ProfileError> ParseLevels(std::string_view text, std::string_view name) {
    auto document = profiles::ParseTomlDocument(text, name);
    if (!document) return Failure{std::move(document.error())};
    const toml::table& root = *document;
    LevelReader reader{std::string(name), std::nullopt};
    Levels levels;
    levels.path = std::string(name);
    for (const auto& [key, value] : root) {
        const auto* array = value.as_array();
        if (key.str() != "level" || array == nullptr || !array->is_array_of_tables()) {
            reader.Fail(value, "unknown key " + Quoted(key.str()) + " (levels are [[level]] tables)");
            continue;
        }
        for (const auto& entry : *array) levels.entries.push_back(reader.Entry(*entry.as_table()));
    }
    for (std::size_t i = 0; i < levels.entries.size() && !reader.error; ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            const Level& a = levels.entries[j];
            const Level& b = levels.entries[i];
            if (a.protocol == b.protocol && a.device == b.device) {
                reader.error = ProfileError{reader.file, b.line, 1,
                                            "the same " + std::string(b.protocol.empty() ? "device" : "protocol") +
                                                " as the entry on line " + std::to_string(a.line)};
                break;
            }
        }
    }
    if (reader.error) return Failure{*reader.error};
    return levels;
}

Result<Levels, ProfileError> LoadLevels(const std::filesystem::path& path) {
    const std::string name = PathText(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return Failure{ProfileError{name, 0, 0, ec ? ec.message() : "not a readable file"}};
    }
    const auto size = std::filesystem::file_size(path, ec);
    if (ec || size > profiles::kMaxProfileBytes) {
        return Failure{ProfileError{name, 0, 0, ec ? ec.message() : "larger than 1 MiB"}};
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return Failure{ProfileError{name, 0, 0, "cannot be read"}};
    return ParseLevels(text, name);
}

double Percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) return 0;
    const double rank = p / 100 * static_cast<double>(sorted.size() - 1);
    const auto low = static_cast<std::size_t>(std::floor(rank));
    const std::size_t high = std::min(low + 1, sorted.size() - 1);
    return sorted[low] + (rank - static_cast<double>(low)) * (sorted[high] - sorted[low]);
}

Summary Summarise(const std::vector<StoredStudy>& studies, GroupBy by, int thicknessCm, const Levels* levels) {
    Summary summary;
    summary.thicknessCm = thicknessCm;
    const auto j = static_cast<std::size_t>((thicknessCm - 10) / 2);
    struct Values {
        std::vector<double> dap, energy, fluoro;
    };
    std::map<std::string, std::pair<Group, Values>> groups;
    for (const StoredStudy& s : studies) {
        const std::string key = by == GroupBy::Device ? s.device : by == GroupBy::Protocol ? s.protocol : MonthOf(s.date);
        auto& [group, values] = groups[key];
        group.key = key;
        ++group.studies;
        group.events += s.used + s.skipped;
        // A study without a used event has no DAP or energy to give.
        if (s.used > 0) {
            values.dap.push_back(s.dapGyCm2);
            values.energy.push_back(s.joules[j]);
        }
        if (s.fluoroscopySeconds) values.fluoro.push_back(*s.fluoroscopySeconds);
        if (s.status == studies::StudyStatus::Incomplete) group.incomplete.push_back(&s);
        if (levels == nullptr || s.used == 0) continue;
        for (const Level& level : levels->entries) {
            const bool applies = level.protocol.empty() ? (level.device == s.device || level.device == s.studyUid)
                                                        : level.protocol == s.protocol;
            if (!applies) continue;
            const std::string levelFor = level.protocol.empty() ? "device " + level.device : "protocol " + level.protocol;
            if (level.dapGyCm2 && s.dapGyCm2 > *level.dapGyCm2) {
                summary.above.push_back({&s, "dap_gycm2", s.dapGyCm2, *level.dapGyCm2, levelFor});
            }
            if (level.energyJ && s.joules[j] > *level.energyJ) {
                summary.above.push_back({&s, "energy_j", s.joules[j], *level.energyJ, levelFor});
            }
        }
    }
    for (auto& [key, entry] : groups) {
        entry.first.dap = SpreadOf(std::move(entry.second.dap));
        entry.first.energy = SpreadOf(std::move(entry.second.energy));
        entry.first.fluoroscopy = SpreadOf(std::move(entry.second.fluoro));
        summary.groups.push_back(std::move(entry.first));
    }
    return summary;
}

void WriteSummaryText(std::ostream& out, const Summary& summary) {
    std::size_t studies = 0, events = 0;
    for (const Group& g : summary.groups) studies += g.studies, events += g.events;
    out << studies << " studies, " << events << " events; energy imparted at " << summary.thicknessCm
        << " cm; median / 75th percentile / maximum per study\n\n";
    // Each column as wide as its widest entry, counted in the columns a terminal gives each
    // character: a protocol "頭部" takes four, "Gy·cm²" six.
    const std::vector<std::string> headers{"group", "studies", "events", "DAP (Gy·cm²)", "energy (J)", "fluoroscopy (s)", "incomplete"};
    std::vector<std::vector<std::string>> rows;
    for (const Group& g : summary.groups) {
        rows.push_back({g.key.empty() ? "(none)" : g.key, std::to_string(g.studies), std::to_string(g.events), SpreadText(g.dap),
                        SpreadText(g.energy), SpreadText(g.fluoroscopy), std::to_string(g.incomplete.size())});
    }
    std::vector<std::size_t> widths(headers.size());
    for (std::size_t c = 0; c < headers.size(); ++c) {
        widths[c] = TextColumns(headers[c]);
        for (const auto& row : rows) widths[c] = std::max(widths[c], TextColumns(row[c]));
    }
    const auto line = [&](const std::vector<std::string>& cells) {
        std::string text;
        for (std::size_t c = 0; c < cells.size(); ++c) {
            text += c + 1 < cells.size() ? PadToColumns(cells[c], widths[c]) + "  " : cells[c];
        }
        out << text << '\n';
    };
    line(headers);
    for (const auto& row : rows) line(row);
    bool any = false;
    for (const Group& g : summary.groups) {
        for (const StoredStudy* s : g.incomplete) {
            if (!any) out << "\nincomplete studies:\n";
            any = true;
            out << "  " << StudyName(*s) << "  " << s->date << "  " << s->reason << '\n';
        }
    }
    if (!summary.above.empty()) out << "\nabove the reference levels:\n";
    for (const Exceedance& e : summary.above) {
        out << "  " << StudyName(*e.study) << "  " << e.study->date << "  "
            << (e.quantity == "dap_gycm2" ? "DAP " : "energy ") << Short(e.value)
            << (e.quantity == "dap_gycm2" ? " Gy·cm² > " : " J > ") << Short(e.level) << " (" << e.levelFor << ")\n";
    }
}

void WriteSummaryCsv(std::ostream& out, const Summary& summary) {
    out << "group,studies,events,dap_gycm2_median,dap_gycm2_p75,dap_gycm2_max,energy_j_median,energy_j_p75,energy_j_max,"
           "fluoroscopy_s_median,fluoroscopy_s_p75,fluoroscopy_s_max,incomplete_studies,thickness_cm\n";
    const auto spread = [&](const Spread& s) {
        if (s.count == 0) {
            out << ",,,";
            return;
        }
        out << ',' << ShortestText(s.median) << ',' << ShortestText(s.p75) << ',' << ShortestText(s.max);
    };
    for (const Group& g : summary.groups) {
        out << CsvText(g.key) << ',' << g.studies << ',' << g.events;
        spread(g.dap);
        spread(g.energy);
        spread(g.fluoroscopy);
        out << ',' << g.incomplete.size() << ',' << summary.thicknessCm << '\n';
    }
}

void WriteSummaryJson(std::ostream& out, const Summary& summary) {
    json groups = json::array();
    for (const Group& g : summary.groups) {
        json incomplete = json::array();
        for (const StoredStudy* s : g.incomplete) incomplete.push_back(StudyJson(*s));
        groups.push_back({{"group", g.key},
                          {"studies", g.studies},
                          {"events", g.events},
                          {"dap_gycm2", SpreadJson(g.dap)},
                          {"energy_j", SpreadJson(g.energy)},
                          {"fluoroscopy_s", SpreadJson(g.fluoroscopy)},
                          {"incomplete", incomplete}});
    }
    json above = json::array();
    for (const Exceedance& e : summary.above) {
        json s = StudyJson(*e.study);
        s["quantity"] = e.quantity;
        s["value"] = e.value;
        s["level"] = e.level;
        s["level_for"] = e.levelFor;
        above.push_back(std::move(s));
    }
    const json doc = {{"thickness_cm", summary.thicknessCm}, {"groups", groups}, {"above_levels", above}};
    out << doc.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
}

}  // namespace mirelo::registry

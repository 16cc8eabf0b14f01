#include "ui/register_window/register_view.h"

#include "common/number_text.h"
#include "common/path_text.h"

namespace mirelo {

std::shared_ptr<const RegisterView> ComputeRegisterView(const RegisterChoices& choices) {
    auto view = std::make_shared<RegisterView>();
    view->choices = choices;
    auto db = registry::Database::Open(PathFromText(choices.database));
    if (!db) {
        view->error = db.error();
        return view;
    }
    auto studies = db->Studies(choices.filter);
    if (!studies) {
        view->error = studies.error();
        return view;
    }
    view->studies = std::move(*studies);
    view->summary = registry::Summarise(view->studies, choices.by, choices.thicknessCm, choices.levels.get());
    return view;
}

double StudyEnergy(const registry::StoredStudy& study, int thicknessCm) {
    return study.joules[static_cast<std::size_t>((thicknessCm - 10) / 2)];
}

namespace {
std::string IsoDate(const std::string& d) {
    return d.size() == 8 ? d.substr(0, 4) + "-" + d.substr(4, 2) + "-" + d.substr(6, 2) : d;
}
RegisterTableModel::Cell Number(double x) { return {NumberText(x), x}; }  // as a caption shows it
RegisterTableModel::Cell Count(std::size_t n) { return {std::to_string(n), static_cast<double>(n)}; }
}  // namespace

void RegisterTableModel::SetView(std::shared_ptr<const RegisterView> view) {
    beginResetModel();
    view_ = std::move(view);
    endResetModel();
}

int RegisterTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(Columns().size());
}

QVariant RegisterTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    const auto columns = Columns();
    return section >= 0 && section < static_cast<int>(columns.size()) ? QString::fromLatin1(columns[static_cast<std::size_t>(section)])
                                                                       : QVariant();
}

QVariant RegisterTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !view_) return {};
    if (role == Qt::DisplayRole || role == kSortRole) {
        const Cell cell = At(index.row(), index.column());
        if (role == Qt::DisplayRole) return QString::fromStdString(cell.text);
        if (cell.number) return *cell.number;
        // Empty numeric cells sort before every number; texts sort as texts.
        return cell.text.empty() ? QVariant(-1.0) : QVariant(QString::fromStdString(cell.text));
    }
    if (role == Qt::TextAlignmentRole) {
        return At(index.row(), index.column()).number ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    }
    return {};
}

int GroupsModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !view_ ? 0 : static_cast<int>(view_->summary.groups.size());
}

std::vector<const char*> GroupsModel::Columns() const {
    return {"group",          "studies",        "events",       "dap_gycm2_median",     "dap_gycm2_p75",
            "dap_gycm2_max",  "energy_j_median", "energy_j_p75", "energy_j_max",         "fluoroscopy_s_median",
            "fluoroscopy_s_p75", "fluoroscopy_s_max", "incomplete_studies"};
}

RegisterTableModel::Cell GroupsModel::At(int row, int column) const {
    const registry::Group& g = view_->summary.groups[static_cast<std::size_t>(row)];
    const auto spread = [](const registry::Spread& s, int which) {
        if (s.count == 0) return Cell{};
        return Number(which == 0 ? s.median : which == 1 ? s.p75 : s.max);
    };
    switch (column) {
        case 0: return {g.key.empty() ? "(none)" : g.key, std::nullopt};
        case 1: return Count(g.studies);
        case 2: return Count(g.events);
        case 3: case 4: case 5: return spread(g.dap, column - 3);
        case 6: case 7: case 8: return spread(g.energy, column - 6);
        case 9: case 10: case 11: return spread(g.fluoroscopy, column - 9);
        default: return Count(g.incomplete.size());
    }
}

int AboveModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() || !view_ ? 0 : static_cast<int>(view_->summary.above.size());
}

std::vector<const char*> AboveModel::Columns() const {
    return {"accession_number", "date", "device", "protocol", "dap_gycm2", "energy_j", "quantity", "level", "level_for",
            "study_uid"};
}

RegisterTableModel::Cell AboveModel::At(int row, int column) const {
    const registry::Exceedance& e = view_->summary.above[static_cast<std::size_t>(row)];
    const registry::StoredStudy& s = *e.study;
    switch (column) {
        case 0: return {s.accessionNumber, std::nullopt};
        case 1: return {IsoDate(s.date), std::nullopt};
        case 2: return {s.device, std::nullopt};
        case 3: return {s.protocol, std::nullopt};
        case 4: return Number(s.dapGyCm2);
        case 5: return Number(StudyEnergy(s, view_->summary.thicknessCm));
        case 6: return {e.quantity, std::nullopt};
        case 7: return Number(e.level);
        case 8: return {e.levelFor, std::nullopt};
        default: return {s.studyUid, std::nullopt};
    }
}

}  // namespace mirelo

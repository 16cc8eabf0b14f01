#include "ui/dose_reports/report_tables.h"

#include <QColor>
#include <algorithm>
#include <cmath>
#include <unordered_map>

namespace mirelo {

std::shared_ptr<const LoadedReports> LoadReports(const Tables& tables, const std::vector<std::filesystem::path>& paths,
                                                 const profiles::Profiles& profiles,
                                                 const studies::ReadControl& control) {
    auto reports = studies::ReadReports(paths, 0, {}, control);
    if (!reports || (control.stop && control.stop())) {
        return nullptr;
    }
    auto loaded = std::make_shared<LoadedReports>();
    loaded->reports = std::move(*reports);
    loaded->batch = studies::ComputeStudies(tables, loaded->reports, profiles);
    loaded->problems = studies::ProblemLines(loaded->reports, loaded->batch);
    const auto& batch = loaded->batch;
    // A study is its UID, or the one file of a report without one (as the computing stage groups them).
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t s = 0; s < batch.studies.size(); ++s) {
        const auto& study = batch.studies[s];
        index.emplace(study.studyUid.empty() && !study.files.empty() ? "\x01" + study.files.front() : study.studyUid, s);
        loaded->studyCells.push_back(studies::StudyCells(study, loaded->output));
    }
    loaded->studyEvents.resize(batch.studies.size());
    loaded->studyProtocols.resize(batch.studies.size());
    for (std::size_t e = 0; e < batch.events.size(); ++e) {
        const auto& row = batch.events[e];
        const auto it = index.find(row.studyUid.empty() ? "\x01" + row.file : row.studyUid);
        if (it == index.end()) continue;
        loaded->studyEvents[it->second].push_back(e);
        auto& protocols = loaded->studyProtocols[it->second];
        if (std::find(protocols.begin(), protocols.end(), row.event->protocol) == protocols.end()) {
            protocols.push_back(row.event->protocol);
        }
    }
    return loaded;
}

void CellTableModel::SetRows(const std::vector<std::string>& columns, std::vector<std::vector<studies::Cell>> rows) {
    beginResetModel();
    columns_.clear();
    for (const auto& c : columns) columns_.append(QString::fromStdString(c));
    rows_ = std::move(rows);
    endResetModel();
}

int CellTableModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(rows_.size()); }
int CellTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : static_cast<int>(columns_.size()); }

QVariant CellTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount()) return {};
    const auto& row = rows_[static_cast<std::size_t>(index.row())];
    if (static_cast<std::size_t>(index.column()) >= row.size()) return {};
    const studies::Cell& cell = row[static_cast<std::size_t>(index.column())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return QString::fromStdString(cell.text);
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(cell.number ? Qt::AlignRight | Qt::AlignVCenter : Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
        // A status other than complete or used stands out, its face and text set together.
        if (columns_[index.column()] == QLatin1String("status") && cell.text != "complete" && cell.text != "used") {
            return role == Qt::BackgroundRole ? QVariant(QColor(255, 214, 170)) : QVariant(QColor(Qt::black));
        }
        return {};
    case kSortRole:
        if (cell.number) {
            return cell.text.empty() ? QVariant() : QVariant(std::strtod(cell.text.c_str(), nullptr));
        }
        return QString::fromStdString(cell.text);
    default:
        return {};
    }
}

QVariant CellTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    return section < columns_.size() ? QVariant(columns_[section]) : QVariant();
}

int CellTableModel::Column(const char* name) const { return static_cast<int>(columns_.indexOf(QLatin1String(name))); }

bool CellSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const QVariant a = left.data(CellTableModel::kSortRole), b = right.data(CellTableModel::kSortRole);
    if (!a.isValid() || !b.isValid()) return !a.isValid() && b.isValid();
    if (a.typeId() == QMetaType::Double && b.typeId() == QMetaType::Double) return a.toDouble() < b.toDouble();
    return QString::compare(a.toString(), b.toString(), Qt::CaseInsensitive) < 0;
}

void StudyFilter::SetData(std::shared_ptr<const LoadedReports> data) {
    data_ = std::move(data);
    invalidateFilter();
}

void StudyFilter::SetCriteria(const Criteria& criteria) {
    criteria_ = criteria;
    invalidateFilter();
}

bool StudyFilter::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    if (!data_ || sourceRow < 0 || static_cast<std::size_t>(sourceRow) >= data_->batch.studies.size()) return true;
    const std::size_t s = static_cast<std::size_t>(sourceRow);
    const studies::StudyRow& study = data_->batch.studies[s];
    const auto has = [](const std::vector<std::string>& items, const QString& wanted) {
        const std::string w = wanted.toStdString();
        return std::find(items.begin(), items.end(), w) != items.end();
    };
    if (criteria_.device && !has(study.devices, *criteria_.device)) return false;
    if (criteria_.protocol && !has(data_->studyProtocols[s], *criteria_.protocol)) return false;
    if (!criteria_.status.isEmpty() && criteria_.status != QLatin1String(studies::StudyStatusName(study.status))) return false;
    // DICOM dates (YYYYMMDD) compare as text; a study without a date is outside any range.
    const QString date = QString::fromStdString(study.info.date).left(8);
    const auto dicom = [](const QString& iso) { return QString(iso).remove(QLatin1Char('-')); };
    if (!criteria_.from.isEmpty() && (date.size() != 8 || date < dicom(criteria_.from))) return false;
    if (!criteria_.to.isEmpty() && (date.size() != 8 || date > dicom(criteria_.to))) return false;
    return true;
}

}  // namespace mirelo

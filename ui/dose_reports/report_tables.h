#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "studies/output.h"
#include "studies/studies.h"

namespace mirelo {

// What one opening of dose reports gave: the reports read and the batch computed from them, kept
// together because the batch's events point into the reports.
struct LoadedReports {
    std::vector<studies::ReadOutcome> reports;
    studies::Batch batch;
    studies::OutputOptions output;
    std::vector<std::vector<std::size_t>> studyEvents;  // per study, its events in the batch
    std::vector<std::vector<std::string>> studyProtocols;  // per study, its events' protocols
    std::vector<std::vector<studies::Cell>> studyCells;    // per study, the studies output's cells
    std::vector<std::string> problems;                     // as the command line names them on stderr
};

// The engine's two stages and the indexes the window needs; nothing when stopped.
std::shared_ptr<const LoadedReports> LoadReports(const Tables& tables, const std::vector<std::filesystem::path>& paths,
                                                 const profiles::Profiles& profiles,
                                                 const studies::ReadControl& control);

// Rows of output cells under the outputs' column names. Numbers sort as numbers (the sort role),
// empty cells first.
class CellTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    void SetRows(const std::vector<std::string>& columns, std::vector<std::vector<studies::Cell>> rows);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    int Column(const char* name) const;  // -1 when absent
    static constexpr int kSortRole = Qt::UserRole;

private:
    QStringList columns_;
    std::vector<std::vector<studies::Cell>> rows_;
};

// Sorts numbers as numbers.
class CellSortProxy : public QSortFilterProxyModel {
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;
};

// The studies shown: by device, protocol of any of its events, date range (inclusive, ISO dates)
// and status.
class StudyFilter : public CellSortProxy {
public:
    using CellSortProxy::CellSortProxy;
    struct Criteria {
        std::optional<QString> device;    // none: any ("" is a study without one)
        std::optional<QString> protocol;  // none: any
        QString from, to;  // "YYYY-MM-DD", empty: open
        QString status;    // "complete", "incomplete", "duplicate"; empty: any
    };
    void SetData(std::shared_ptr<const LoadedReports> data);
    void SetCriteria(const Criteria& criteria);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    std::shared_ptr<const LoadedReports> data_;
    Criteria criteria_;
};

}  // namespace mirelo

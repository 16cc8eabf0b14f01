#pragma once

#include <QAbstractTableModel>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "register/database.h"
#include "register/summary.h"

namespace mirelo {

// What the window asks of the register: the choices on screen when the question was asked.
struct RegisterChoices {
    std::string database;
    registry::GroupBy by = registry::GroupBy::Device;
    int thicknessCm = 20;
    registry::StudyFilter filter;  // dates YYYYMMDD, device text; empty: no bound
    std::shared_ptr<const registry::Levels> levels;
};

// The register's answer: the studies chosen and the summary over them, kept together because the
// summary points into the studies. Never copied or moved once the summary is made.
struct RegisterView {
    RegisterView() = default;
    RegisterView(const RegisterView&) = delete;
    RegisterView& operator=(const RegisterView&) = delete;

    RegisterChoices choices;
    std::vector<registry::StoredStudy> studies;
    registry::Summary summary;
    std::optional<registry::DbError> error;  // the register could not be opened or read
};

// Opens the register and summarises it through the register's own engine. Runs on a worker thread:
// it opens its own connection and touches nothing of the window.
std::shared_ptr<const RegisterView> ComputeRegisterView(const RegisterChoices& choices);

// The energy a study was given at the summary's thickness (10, 12, ... 30 cm).
double StudyEnergy(const registry::StoredStudy& study, int thicknessCm);

// A table over the view's values; the sort role gives numbers as numbers (an empty cell sorts first).
class RegisterTableModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;
    static constexpr int kSortRole = Qt::UserRole;
    void SetView(std::shared_ptr<const RegisterView> view);
    const RegisterView* View() const { return view_.get(); }
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    // The column names: those of the command line's CSV where it has the value.
    virtual std::vector<const char*> Columns() const = 0;
    // A cell: its text as shown, and its number when it is one (files get it in full).
    struct Cell {
        std::string text;
        std::optional<double> number;
    };
    virtual Cell At(int row, int column) const = 0;

protected:
    std::shared_ptr<const RegisterView> view_;
};

// The summary's groups, a row per group.
class GroupsModel final : public RegisterTableModel {
public:
    using RegisterTableModel::RegisterTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    std::vector<const char*> Columns() const override;
    Cell At(int row, int column) const override;
};

// The studies above the reference levels, a row per level exceeded.
class AboveModel final : public RegisterTableModel {
public:
    using RegisterTableModel::RegisterTableModel;
    int rowCount(const QModelIndex& parent = {}) const override;
    std::vector<const char*> Columns() const override;
    Cell At(int row, int column) const override;
};

}  // namespace mirelo

#pragma once

#include <QComboBox>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>

#include "profiles/profiles.h"
#include "tables/tables.h"
#include "ui/dose_reports/report_tables.h"

namespace mirelo {

// One event's conditions as the main window's fields take them (shortest texts that read back as
// the values the event was computed with).
struct EventEntry {
    QString angle, inherentMm, alMm, cuMm, kv, dapGyCm2;
};

// "線量レポートを開く": the studies of dose reports (files or folders) and the events of the selected
// study, as the command line computes them, filterable and sortable, with what was skipped and why.
// Reading runs off the window's thread and can be stopped; the tables change only when a reading
// finishes. A window of its own; it deletes itself when closed.
class DoseReportsWindow : public QWidget {
    Q_OBJECT
public:
    // `sendToMain` takes an event into the main window and computes it there.
    DoseReportsWindow(const Tables& tables, std::function<void(const EventEntry&)> sendToMain);
    ~DoseReportsWindow() override;  // stops a reading and waits for it

    void Open(const QStringList& paths);  // starts reading (a reading under way is stopped first)
    void OpenFiles();
    void OpenFolder();
    void ChooseProfiles();
    void Cancel();
    void SendSelectedEvent();
    void SaveStudiesCsv();
    void SaveEventsCsv();
    void SavePdf();

    // From the start of a reading until its result (or its stop) is handled.
    bool Reading() const { return reading_; }
    const std::shared_ptr<const LoadedReports>& Loaded() const { return loaded_; }

    QPushButton* openFilesButton = nullptr;
    QPushButton* openFolderButton = nullptr;
    QPushButton* profilesButton = nullptr;
    QLabel* profilesLabel = nullptr;
    QComboBox* deviceFilter = nullptr;
    QComboBox* protocolFilter = nullptr;
    QLineEdit* fromFilter = nullptr;
    QLineEdit* toFilter = nullptr;
    QComboBox* statusFilter = nullptr;
    QProgressBar* progressBar = nullptr;
    QPushButton* cancelButton = nullptr;
    QLabel* summaryLabel = nullptr;
    QTableView* studiesTable = nullptr;
    QTableView* eventsTable = nullptr;
    QListWidget* problemsList = nullptr;
    QPushButton* sendButton = nullptr;
    QPushButton* studiesCsvButton = nullptr;
    QPushButton* eventsCsvButton = nullptr;
    QPushButton* pdfButton = nullptr;
    QPushButton* closeButton = nullptr;

    CellTableModel* studiesModel = nullptr;
    StudyFilter* studiesProxy = nullptr;
    CellTableModel* eventsModel = nullptr;
    CellSortProxy* eventsProxy = nullptr;

protected:
    void changeEvent(QEvent* event) override;

signals:
    void readingFinished();  // also when stopped

private:
    void Finished();
    void Show(std::shared_ptr<const LoadedReports> loaded);
    void ShowStudyEvents();
    void ApplyFilters();
    void ShowProgress();
    void ShowSummary();
    enum class Summary { None, Reading, Stopped, Loaded };
    Summary summary_ = Summary::None;
    void UpdateCommands();
    studies::RunInfo Run() const;
    const studies::EventRow* SelectedEvent() const;

    const Tables& tables_;
    std::function<void(const EventEntry&)> sendToMain_;
    profiles::Profiles profiles_;
    QString profilesPath_;
    QStringList paths_, readingPaths_;
    QFutureWatcher<std::shared_ptr<const LoadedReports>> watcher_;
    bool reading_ = false;
    std::atomic<bool> stop_{false};
    std::atomic<std::size_t> done_{0}, total_{0};
    QTimer progressTimer_;
    std::shared_ptr<const LoadedReports> loaded_;
    std::vector<std::size_t> shownEvents_;  // the batch's events in the events table, in model order
};

}  // namespace mirelo
